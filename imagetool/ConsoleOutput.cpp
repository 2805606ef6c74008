#include "imagetool/ConsoleOutput.h"

void TFileSink::Write(std::string_view text) {
  if (!file_ || failed_ || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool TFileSink::Flush() {
  if (file_ && std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}

void TConsole::Line(std::string_view text) {
  out_.Write(text);
  out_.Write("\n");
}

void TConsole::ErrorLine(std::string_view text) {
  out_.Flush();
  err_.Write(text);
  err_.Write("\n");
  err_.Flush();
}

void TConsole::Error(std::string_view message) {
  std::string line = "Error: ";
  line.append(message);
  ErrorLine(line);
}
