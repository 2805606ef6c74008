#pragma once
// TRegExpr: regular expressions over 8-bit text, compiled to a small node
// program and matched by backtracking. Matching is byte-exact (no case
// folding); up to nine parenthesised groups are captured.
//
// Syntax: "|" alternatives, "(...)" groups, "*" "+" "?" (greedy), "^" and
// "$" (start and end of the subject), "." (any byte), "[...]" and "[^...]"
// sets with ranges, and the escapes \d \D \w \W \e \n \r \t \xHH. Outside a
// set the bytes 0xF6 and 0xD6 stand for \d and \D.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"
#include "search/RegExprMatcher.h"
#include "search/RegExprProgram.h"

// The failure of a compile or a search; the message is the engine's text.
class ERegExpr : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ERegExpr"; }
};

// Bounds of one search. The backtrack stack holds the pending alternatives
// and the group records they may have to restore (12 bytes each, so at most
// 12 MiB); a loop such as (a|b)* leaves up to four entries per byte it
// repeats. A step is one node tried or one byte counted by a repetition
// (about a second of work at the limit). Exceeding either ends the search
// with an error through Error instead of exhausting memory or hanging the
// caller; ordinary searches of a line stay far below both.
inline constexpr int64_t RegExprBacktrackLimit = int64_t{1} << 20;
inline constexpr int64_t RegExprStepLimit = 250'000'000;

class TRegExpr {
public:
  TRegExpr() = default;
  virtual ~TRegExpr() = default;
  TRegExpr(const TRegExpr&) = delete;
  TRegExpr& operator=(const TRegExpr&) = delete;

  const std::string& Expression() const { return expression_; }
  // Compiles the text (up to its first zero byte) unless it equals the
  // current expression. A compile error raises through Error and leaves no
  // program, so a later Exec raises too; setting the same failing text again
  // raises the same error. A null pointer raises "NULL argument".
  void SetExpression(std::string_view text);
  void SetExpression(const char* text);

  // Searches a copy of subject (up to its first zero byte) for the first
  // match; true when one is found, and the groups then describe it.
  bool Exec(std::string_view subject);
  // The same search, but trying only start positions from startOffset
  // (0-based) on; "^" still means the start of the subject. Used to find the
  // next match after one ending at startOffset. An offset outside the
  // subject answers false.
  bool ExecFrom(std::string_view subject, int startOffset);

  // 1-based position in the subject where group i (0 = whole match) matched
  // and its length; -1 when i is not 0..9, nothing was searched or matched,
  // or the group did not take part.
  int GroupPos(int i) const;
  int GroupLen(int i) const;

  int64_t BacktrackLimit() const { return backtrackLimit_; }
  void SetBacktrackLimit(int64_t entries) { backtrackLimit_ = entries; }
  int64_t StepLimit() const { return stepLimit_; }
  void SetStepLimit(int64_t steps) { stepLimit_ = steps; }

  // Raises ERegExpr with the message. Every compile and search failure comes
  // here; a descendant may raise something else, but the operation ends
  // either way.
  virtual void Error(const std::string& message);

private:
  [[noreturn]] void fail(const std::string& message);
  bool search(int startOffset);
  bool tryAt(int pos);
  int findLiteral(const std::string& literal, int from) const;
  bool startsWithStartLiteral(int pos) const;

  std::string expression_;
  bool assigned_ = false;         // an expression was set (it may have failed)
  std::string compileError_;      // why the current expression has no program
  RegExprProgram program_;
  std::string subject_;           // the copy the group offsets refer to
  bool matched_ = false;
  RegExprMatcher matcher_;
  int64_t backtrackLimit_ = RegExprBacktrackLimit;
  int64_t stepLimit_ = RegExprStepLimit;
};
