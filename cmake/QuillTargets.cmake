# quill_library(<name> [QT] SOURCES ... [DEPS ...])
#   A static library for one subsystem folder, named quill_<name>, whose
#   headers are included as "<folder>/Header.h" from the source root.
#   QT runs the meta-object compiler over its sources.
function(quill_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  add_library(quill_${name} STATIC ${ARG_SOURCES})
  if(ARG_QT)
    set_target_properties(quill_${name} PROPERTIES AUTOMOC ON)
  endif()
  target_include_directories(quill_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(quill_${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# quill_test(<name> SOURCES ... [DEPS ...])
#   A GoogleTest program run by CTest. Tests run headless and with their own
#   settings folder, so they never touch the user's configuration.
function(quill_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    QUILL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUILL_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVEL_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/${name}.config;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# quill_bench(<name> SOURCES ... [DEPS ...])
function(quill_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# quill_fuzzer(<name> SOURCES ... [DEPS ...]): a libFuzzer target.
function(quill_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
