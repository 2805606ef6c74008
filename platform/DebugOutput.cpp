#include "platform/DebugOutput.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/Exceptions.h"

namespace {

std::mutex debugLock;
std::FILE* debugFile = nullptr;
std::string debugFileName;
std::atomic<bool> debugActive{false};

std::string demangled(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> readable(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

}  // namespace

bool SetDebugLogFile(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(debugLock);
  if (debugFile) std::fclose(debugFile);
  debugFile = fileName.empty() ? nullptr : std::fopen(fileName.c_str(), "ae");
  debugFileName = debugFile ? fileName : std::string();
  debugActive = debugFile != nullptr;
  return debugActive;
}

std::string DebugLogFile() {
  std::lock_guard<std::mutex> lock(debugLock);
  return debugFileName;
}

bool DebugOutputActive() { return debugActive; }

void DebugLine(std::string_view text) {
  std::lock_guard<std::mutex> lock(debugLock);
  if (!debugFile) return;
  // One write per line, flushed at once, so that lines from several threads
  // never interleave and a crash loses nothing that was written.
  std::string line(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), debugFile);
  std::fflush(debugFile);
}

void LogException(const std::exception& exception, std::string_view where) {
  if (!DebugOutputActive()) return;
  try {
    const auto* known = dynamic_cast<const Exception*>(&exception);
    std::string className = known ? known->ClassName() : demangled(typeid(exception).name());
    DebugLine(Format("EXC in %s: %s (%s)", where, exception.what(), className));
  } catch (...) {
  }
}
