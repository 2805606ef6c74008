#include "search/RegExpr.h"

#include <climits>
#include <cstring>

#include "search/RegExprCompiler.h"

void TRegExpr::Error(const std::string& message) { throw ERegExpr(message); }

void TRegExpr::fail(const std::string& message) {
  Error(message);
  // A descendant's Error returned: the operation still cannot go on.
  throw ERegExpr(message);
}

void TRegExpr::SetExpression(const char* text) {
  if (text == nullptr) {
    expression_.clear();
    assigned_ = false;
    compileError_.clear();
    program_ = RegExprProgram();
    fail("NULL argument");
  }
  SetExpression(std::string_view(text));
}

void TRegExpr::SetExpression(std::string_view text) {
  if (assigned_ && text == expression_) {
    if (!compileError_.empty()) fail(compileError_);
    return;
  }
  expression_.assign(text);
  assigned_ = true;
  compileError_.clear();
  program_ = RegExprProgram();
  try {
    program_ = compileRegExpr(expression_);
  } catch (const RegExprFailure& failure) {
    compileError_ = failure.message;
    fail(compileError_);
  }
}

bool TRegExpr::Exec(std::string_view subject) { return ExecFrom(subject, 0); }

bool TRegExpr::ExecFrom(std::string_view subject, int startOffset) {
  matched_ = false;
  matcher_.ClearGroups();
  if (program_.Empty()) fail(compileError_.empty() ? "Not assigned expression property" : compileError_);
  if (program_.code[0] != RegExprMagic) fail("Exec: Corrupted program");

  size_t length = subject.size();
  if (const void* zero = length ? std::memchr(subject.data(), 0, length) : nullptr)
    length = static_cast<const char*>(zero) - subject.data();
  if (length >= static_cast<size_t>(INT_MAX)) fail("Exec: subject too long");
  subject_.assign(subject.data(), length);

  try {
    matched_ = search(startOffset);
  } catch (const RegExprFailure& failure) {
    matcher_.ClearGroups();
    fail(failure.message);
  }
  return matched_;
}

// The first occurrence of literal at or after from, or -1. memchr finds the
// candidates for the first byte with vector instructions; for the short
// subjects of a line-by-line search that beats a general substring search,
// whose set-up costs more than the scan.
int TRegExpr::findLiteral(const std::string& literal, int from) const {
  const char* text = subject_.data();
  const char* end = text + subject_.size();
  const char* p = text + from;
  size_t rest = literal.size() - 1;
  char first = literal[0];
  while (end - p > static_cast<ptrdiff_t>(rest)) {
    p = static_cast<const char*>(std::memchr(p, first, (end - p) - rest));
    if (p == nullptr) return -1;
    if (std::memcmp(p + 1, literal.data() + 1, rest) == 0) return static_cast<int>(p - text);
    ++p;
  }
  return -1;
}

bool TRegExpr::startsWithStartLiteral(int pos) const {
  const char* p = subject_.data() + pos;
  size_t rest = subject_.size() - pos;
  for (const std::string& literal : program_.startLiterals)
    if (literal.size() <= rest && std::memcmp(p, literal.data(), literal.size()) == 0) return true;
  return false;
}

bool TRegExpr::tryAt(int pos) { return matcher_.MatchAt(pos); }

bool TRegExpr::search(int from) {
  int length = static_cast<int>(subject_.size());
  // The empty position after the last byte is tried only in an empty subject.
  if (from < 0 || from > length || (from == length && length > 0)) return false;

  const std::string& firstLiteral = program_.firstLiteral;
  int firstAt = 0;
  if (!firstLiteral.empty()) {
    firstAt = findLiteral(firstLiteral, from);
    if (firstAt < 0) return false;
  }
  if (!program_.requiredLiteral.empty() && program_.requiredLiteral != firstLiteral &&
      findLiteral(program_.requiredLiteral, from) < 0)
    return false;

  matcher_.Begin(program_, reinterpret_cast<const uint8_t*>(subject_.c_str()), length, backtrackLimit_,
                 stepLimit_);
  if (program_.anchored) return from == 0 && tryAt(0);

  if (!firstLiteral.empty()) {
    // Every match begins with this literal: try only where it occurs.
    for (int pos = firstAt; pos >= 0; pos = findLiteral(firstLiteral, pos + 1))
      if (tryAt(pos)) return true;
    return false;
  }

  if (program_.startSetComplete) {
    const RegExprByteSet& start = program_.startSet;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(subject_.data());
    bool literals = !program_.startLiterals.empty();
    for (int pos = from; pos < length; ++pos)
      if (start[bytes[pos]] && (!literals || startsWithStartLiteral(pos)) && tryAt(pos)) return true;
    return false;
  }

  for (int pos = from; pos < length || pos == 0; ++pos)
    if (tryAt(pos)) return true;
  return false;
}

int TRegExpr::GroupPos(int i) const {
  if (!matched_ || i < 0 || i >= RegExprGroupCount) return -1;
  int start = matcher_.GroupStart(i);
  if (start < 0 || matcher_.GroupEnd(i) < 0) return -1;
  return start + 1;
}

int TRegExpr::GroupLen(int i) const {
  if (!matched_ || i < 0 || i >= RegExprGroupCount) return -1;
  int start = matcher_.GroupStart(i);
  int end = matcher_.GroupEnd(i);
  if (start < 0 || end < 0) return -1;
  return end - start;
}
