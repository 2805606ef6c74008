#pragma once
// The process-wide diagnostic log: an in-memory text that components of the
// text engine and the views write lines to, and that a log window may show
// live. It records only while its stream exists; the program that shows the
// log creates it, and in a program that never does every write is a no-op.
// Every function may be called from any thread.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Format.h"

// The log keeps at most this many bytes: when a line would pass the limit,
// the oldest lines are dropped, leaving about half of it.
constexpr int64_t kLogStreamLimit = 16 << 20;
// LogFmt keeps at most this many characters of the formatted text.
constexpr size_t kLogFmtMaxLength = 255;

// Creates the log stream when there is none yet.
void CreateLogStream();
bool LogStreamExists();
// Empties the log (the stream stays).
void ClearLogStream();
// Removes the stream, so that writes are no-ops again (tests, shutdown).
void DestroyLogStream();
// The size of the log, and its bytes from offset on; the reader keeps the
// offset it has seen, and a size below it means the log was emptied.
int64_t LogStreamSize();
std::string LogStreamRead(int64_t offset = 0);

// Appends text and CR LF. Errors while writing are swallowed; nothing
// happens while there is no stream.
void LogLine(std::string_view text);

// Formats into at most kLogFmtMaxLength characters and appends the result as
// LogLine does. A format that does not fit its arguments logs the format itself.
template <class... Args>
void LogFmt(std::string_view format, const Args&... args) {
  if (!LogStreamExists()) return;
  std::string text;
  try {
    text = Format(format, args...);
  } catch (...) {
    text = format;
  }
  if (text.size() > kLogFmtMaxLength) text.resize(kLogFmtMaxLength);
  LogLine(text);
}

// The component that reports an exception: its name and its class name.
struct TLogSender {
  std::string_view Name;
  std::string_view ClassName;
};

// Called in an exception handler: writes
//   -(Exc)!: '<message>', Ctx="<context>", Sender="<name>: <class>" 
// (the sender part only with a sender). A call made while one is running on
// the same thread writes nothing.
void LogException(const TLogSender* sender, std::string_view context);
