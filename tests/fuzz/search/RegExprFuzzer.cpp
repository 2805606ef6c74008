// libFuzzer target: compile any pattern and search any subject with it.
#include "tests/fuzz/search/RegExprFuzzBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  regexprfuzz::runCase(data, size);
  return 0;
}
