#pragma once
// The image tool's output: lines to standard output and messages to standard
// error. Standard output is flushed before anything goes to standard error,
// so that both read in order when they share a terminal or a capture.
#include <cstdio>
#include <string>
#include <string_view>

class TOutputSink {
public:
  virtual ~TOutputSink() = default;
  virtual void Write(std::string_view text) = 0;
  // Answers false when earlier writes or the flush failed.
  virtual bool Flush() { return true; }
};

// Writes to a C stream; a closed or failing stream drops the output, as the
// tool's in-memory stand-in for an invalid handle does.
class TFileSink : public TOutputSink {
public:
  explicit TFileSink(FILE* file) : file_(file) {}
  void Write(std::string_view text) override;
  bool Flush() override;

private:
  FILE* file_;
  bool failed_ = false;
};

class TStringSink : public TOutputSink {
public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& Text() const { return text_; }
  void Clear() { text_.clear(); }

private:
  std::string text_;
};

class TConsole {
public:
  TConsole(TOutputSink& out, TOutputSink& err) : out_(out), err_(err) {}

  // One line of output, ended with LF.
  void Line(std::string_view text);
  void Text(std::string_view text) { out_.Write(text); }
  // One line on the error stream, after flushing the output.
  void ErrorLine(std::string_view text);
  // "Error: <message>" on the error stream.
  void Error(std::string_view message);

private:
  TOutputSink& out_;
  TOutputSink& err_;
};
