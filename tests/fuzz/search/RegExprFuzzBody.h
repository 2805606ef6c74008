#pragma once
// One fuzz case for TRegExpr, shared by the libFuzzer target and the test
// that replays the inputs the fuzzer once found failing.
//
// Input: a start-offset byte, then the pattern up to the first zero byte,
// then the subject. The case compiles the pattern, searches the subject, and
// checks the result against a plain search that tries every position
// without the shortcuts (required literal, first literal, start bytes).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "search/RegExpr.h"
#include "search/RegExprCompiler.h"
#include "search/RegExprMatcher.h"

namespace regexprfuzz {

// Small enough that a case never takes long or much memory.
constexpr int64_t StepLimit = 200000;
constexpr int64_t BacktrackLimit = 100000;

[[noreturn]] inline void violated(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

// Every message a compile may end with; the hex-digit one names the digit.
inline bool isCompileMessage(const std::string& message) {
  static const char* const known[] = {
      "regexp too big", "too many ()", "unmatched ()", "junk on end", "*+ operand could be empty",
      "nested *?+", "?+* follows nothing", "Unmatched []", "Invalid [] range", "Trailing \\",
      "No hex code after \\x",
  };
  for (const char* text : known)
    if (message == text) return true;
  return message.size() == 17 && message.compare(0, 15, "Bad hex digit \"") == 0 && message[16] == '"';
}

inline bool isLimitMessage(const std::string& message) {
  return message == "Regular expression too complex for this text (step limit reached)" ||
         message == "Regular expression too complex for this text (backtrack limit reached)";
}

// The first match at a position from offset on by trying every position;
// -2 when a limit was reached.
inline int plainSearch(const RegExprProgram& program, const std::string& subject, int offset, int& end) {
  RegExprMatcher matcher;
  int length = static_cast<int>(subject.size());
  try {
    matcher.Begin(program, reinterpret_cast<const uint8_t*>(subject.c_str()), length, BacktrackLimit, StepLimit);
    for (int pos = offset; pos < length || (pos == 0 && length == 0); ++pos) {
      if (matcher.MatchAt(pos)) {
        end = matcher.GroupEnd(0);
        return pos;
      }
    }
  } catch (const RegExprFailure&) {
    return -2;
  }
  return -1;
}

inline void runCase(const uint8_t* data, size_t size) {
  if (size == 0) return;
  int offset = data[0] % 8;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t zero = rest.find('\0');
  std::string pattern(rest.substr(0, zero));
  std::string subject(zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1));
  subject = subject.substr(0, subject.find('\0'));

  TRegExpr re;
  re.SetStepLimit(StepLimit);
  re.SetBacktrackLimit(BacktrackLimit);
  try {
    re.SetExpression(pattern);
  } catch (const ERegExpr& e) {
    if (!isCompileMessage(e.Message())) violated("unknown compile message");
    return;
  }
  RegExprProgram program = compileRegExpr(pattern);
  if (program.code.size() >= RegExprProgramLimit || program.code[0] != RegExprMagic) violated("program size or magic");

  int length = static_cast<int>(subject.size());
  if (offset > length) offset = length;
  bool matched;
  try {
    matched = re.ExecFrom(subject, offset);
  } catch (const ERegExpr& e) {
    if (!isLimitMessage(e.Message())) violated("unexpected search failure");
    return;
  }
  int plainEnd = -1;
  int plainStart = plainSearch(program, subject, offset, plainEnd);
  if (plainStart == -2) return;
  if (matched != (plainStart >= 0)) violated("shortcut search and plain search disagree on a match");
  if (!matched) {
    if (re.GroupPos(0) != -1) violated("group set without a match");
    return;
  }
  if (re.GroupPos(0) - 1 != plainStart || re.GroupPos(0) - 1 + re.GroupLen(0) != plainEnd)
    violated("shortcut search and plain search disagree on the match");
  if (plainStart < offset) violated("match before the start offset");
  for (int g = 0; g < RegExprGroupCount; ++g) {
    int pos = re.GroupPos(g), len = re.GroupLen(g);
    if ((pos < 0) != (len < 0)) violated("group half set");
    if (pos >= 0 && (pos < 1 || len < 0 || pos - 1 + len > length)) violated("group outside the subject");
  }
}

}  // namespace regexprfuzz
