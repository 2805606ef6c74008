#pragma once
// The debug output: formatted lines for the developer, written to a debug
// log file once the program directs it there, and dropped until then.
// Every function may be called from any thread; none raises.
#include <exception>
#include <string>
#include <string_view>

#include "platform/Format.h"

// Directs the debug output to fileName, appending; an empty name (or a file
// that cannot be opened) turns it off again. Answers whether it is on.
bool SetDebugLogFile(const std::string& fileName);
std::string DebugLogFile();
bool DebugOutputActive();

// Writes one line as it is.
void DebugLine(std::string_view text);

// Writes one formatted line. A format that does not fit its arguments
// writes the format itself.
template <class... Args>
void Debug(std::string_view format, const Args&... args) {
  if (!DebugOutputActive()) return;
  std::string text;
  try {
    text = Format(format, args...);
  } catch (...) {
    text = format;
  }
  DebugLine(text);
}

// Records an exception: "EXC in <where>: <message> (<class>)".
void LogException(const std::exception& exception, std::string_view where);
