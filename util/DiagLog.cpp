#include "util/DiagLog.h"

#include <memory>
#include <mutex>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

std::mutex logLock;
std::unique_ptr<TMemoryStream> logStream;

// Drops whole lines from the front so that at most half the limit remains.
void dropOldestLines(TMemoryStream& stream) {
  const char* data = stream.Memory();
  int64_t size = stream.Size();
  int64_t cut = size - kLogStreamLimit / 2;
  if (cut <= 0) return;
  while (cut < size && data[cut - 1] != '\n') ++cut;
  std::string rest(data + cut, static_cast<size_t>(size - cut));
  stream.Clear();
  stream.WriteString(rest);
}

}  // namespace

void CreateLogStream() {
  std::lock_guard<std::mutex> lock(logLock);
  if (!logStream) logStream = std::make_unique<TMemoryStream>();
}

bool LogStreamExists() {
  std::lock_guard<std::mutex> lock(logLock);
  return logStream != nullptr;
}

void ClearLogStream() {
  std::lock_guard<std::mutex> lock(logLock);
  if (logStream) logStream->Clear();
}

void DestroyLogStream() {
  std::lock_guard<std::mutex> lock(logLock);
  logStream.reset();
}

int64_t LogStreamSize() {
  std::lock_guard<std::mutex> lock(logLock);
  return logStream ? logStream->Size() : 0;
}

std::string LogStreamRead(int64_t offset) {
  std::lock_guard<std::mutex> lock(logLock);
  if (!logStream || offset < 0 || offset >= logStream->Size()) return {};
  return std::string(logStream->Memory() + offset, static_cast<size_t>(logStream->Size() - offset));
}

void LogLine(std::string_view text) {
  std::lock_guard<std::mutex> lock(logLock);
  if (!logStream) return;
  try {
    text = text.substr(0, kLogStreamLimit / 2 - 2);
    if (logStream->Size() + static_cast<int64_t>(text.size()) + 2 > kLogStreamLimit) dropOldestLines(*logStream);
    logStream->Seek(0, TSeekOrigin::soEnd);
    logStream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    logStream->WriteBuffer("\r\n", 2);
  } catch (...) {
    // A diagnostic log must never be the cause of a failure.
  }
}

void LogException(const TLogSender* sender, std::string_view context) {
  thread_local bool running = false;
  if (running || !LogStreamExists()) return;
  running = true;
  try {
    std::string senderText;
    if (sender) senderText = Format(", Sender=\"%s: %s\" ", sender->Name, sender->ClassName);
    LogLine(Format("-(Exc)!: '%s', Ctx=\"%s\"%s", CurrentExceptionMessage(), context, senderText));
  } catch (...) {
  }
  running = false;
}
