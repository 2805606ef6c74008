#pragma once
// The failure types of the suite. A failure is an exception carrying a
// message in the ANSI code page; commands catch it and show the message.
#include <exception>
#include <string>

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  // The name of the failure's type as the diagnostic log shows it.
  virtual const char* ClassName() const noexcept { return "Exception"; }

private:
  std::string message_;
};

// Ends an operation without a message: handlers catch it and say nothing.
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
  const char* ClassName() const noexcept override { return "EAbort"; }
};

// Raised by the list classes for bad indexes, counts and capacities.
class EListError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EListError"; }
};

// Raised by the formatter for a format that does not fit its arguments.
class EConvertError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

// Raised by streams and file operations.
class EStreamError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EStreamError"; }
};

[[noreturn]] inline void Abort() { throw EAbort(); }

// The message of the exception being handled: the text of an Exception or a
// std::exception, empty for anything else or when nothing is being handled.
std::string CurrentExceptionMessage();
