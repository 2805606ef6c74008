#include "search/RegExprMatcher.h"

namespace {

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool isWordByte(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isGroupOp(uint8_t op, uint8_t base) { return op > base && op < base + RegExprGroupCount; }

[[noreturn]] void fail(const char* message) { throw RegExprFailure{message}; }

}  // namespace

void RegExprMatcher::Begin(const RegExprProgram& program, const uint8_t* subject, int length,
                           int64_t backtrackLimit, int64_t stepLimit) {
  program_ = nullptr;
  ClearGroups();  // every slot: the previous program may have used more groups
  program_ = &program;
  subject_ = subject;
  length_ = length;
  backtrackLimit_ = backtrackLimit;
  stepLimit_ = stepLimit;
  steps_ = 0;
}

void RegExprMatcher::ClearGroups() {
  int used = program_ ? program_->groupCount + 1 : RegExprGroupCount;
  for (int i = 0; i < used; ++i) {
    slots_[i] = -1;
    slots_[RegExprGroupCount + i] = -1;
  }
}

void RegExprMatcher::countSteps(int64_t steps) {
  steps_ += steps;
  if (steps_ > stepLimit_) fail("Regular expression too complex for this text (step limit reached)");
}

void RegExprMatcher::push(EntryKind kind, int node, int pos, int count) {
  if (static_cast<int64_t>(stack_.size()) >= backtrackLimit_)
    fail("Regular expression too complex for this text (backtrack limit reached)");
  stack_.push_back(Entry{static_cast<uint16_t>(node), kind, pos, count});
}

// A group record made later in matching order replaces an earlier one; the
// old value is kept on the stack while a pending alternative could still
// undo the part of the match that made the new one.
void RegExprMatcher::setGroupSlot(int slot, const uint8_t* p) {
  if (!stack_.empty()) push(EntryKind::Undo, slot, slots_[slot]);
  slots_[slot] = static_cast<int>(p - subject_);
}

bool RegExprMatcher::singleByteMatches(int node, uint8_t c) const {
  // c is never the terminating zero here.
  switch (program_->Op(node)) {
    case reAny: return true;
    case reExactly: return program_->OperandBytes(node)[0] == c;
    case reAnyOf: return program_->SetHas(node, c);
    case reAnyBut: return !program_->SetHas(node, c);
    case reDigit: return isDigit(c);
    case reNotDigit: return !isDigit(c);
    case reWord: return isWordByte(c);
    case reNotWord: return !isWordByte(c);
    default: fail("Internal foulup");
  }
}

// How many bytes in a row from p the single-byte node accepts.
int RegExprMatcher::countRepeats(int node, const uint8_t* p) {
  const uint8_t* q = p;
  uint8_t op = program_->Op(node);
  if (op == reAny) {
    q = subject_ + length_;
  } else if (op == reExactly) {
    uint8_t c = program_->OperandBytes(node)[0];
    while (*q == c) ++q;
  } else if (op == reAnyOf || op == reAnyBut) {
    const RegExprByteSet& set = program_->sets[program_->setOfNode[node]];
    bool want = op == reAnyOf;
    while (*q != 0 && set[*q] == want) ++q;
  } else {
    while (*q != 0 && singleByteMatches(node, *q)) ++q;
  }
  int count = static_cast<int>(q - p);
  countSteps(count);
  return count;
}

// The largest repeat count not above count (and not below the node's
// minimum) after which the rest of the program may match: when the rest
// begins with a literal, its first byte must follow. -1 when none is left.
int RegExprMatcher::nextRepeatCount(int node, const uint8_t* from, int count) const {
  int minimum = program_->Op(node) == reStar ? 0 : 1;
  int next = program_->Next(node);
  uint8_t nextByte = next != 0 && program_->Op(next) == reExactly ? program_->OperandBytes(next)[0] : 0;
  if (nextByte == 0) return count >= minimum ? count : -1;
  for (; count >= minimum; --count)
    if (from[count] == nextByte) return count;
  return -1;
}

// Pops the stack down to the most recent pending alternative and resumes it
// (restoring the group records made since); false when none is left.
bool RegExprMatcher::backtrack(int& node, const uint8_t*& p) {
  while (!stack_.empty()) {
    Entry e = stack_.back();
    stack_.pop_back();
    countSteps(1);
    switch (e.kind) {
      case EntryKind::Undo: slots_[e.node] = e.pos; break;
      case EntryKind::Branch: {
        int next = program_->Next(e.node);
        if (next != 0 && program_->Op(next) == reBranch) push(EntryKind::Branch, next, e.pos);
        node = program_->Operand(e.node);
        p = subject_ + e.pos;
        return true;
      }
      case EntryKind::Repeat: {
        const uint8_t* from = subject_ + e.pos;
        int count = nextRepeatCount(e.node, from, e.count);
        countSteps(e.count - count);
        if (count < 0) break;
        int minimum = program_->Op(e.node) == reStar ? 0 : 1;
        if (count > minimum) push(EntryKind::Repeat, e.node, e.pos, count - 1);
        node = program_->Next(e.node);
        p = from + count;
        return true;
      }
    }
  }
  return false;
}

bool RegExprMatcher::MatchAt(int start) {
  const RegExprProgram& program = *program_;
  stack_.clear();
  ClearGroups();
  int node = 1;
  const uint8_t* p = subject_ + start;
  for (;;) {
    countSteps(1);
    uint8_t op = program.Op(node);
    int next = program.Next(node);
    bool ok = true;
    switch (op) {
      case reEnd:
        stack_.clear();
        slots_[0] = start;
        slots_[RegExprGroupCount] = static_cast<int>(p - subject_);
        return true;
      case reBol: ok = p == subject_; break;
      case reEol: ok = *p == 0; break;
      case reAny:
        ok = *p != 0;
        ++p;
        break;
      case reExactly: {
        const uint8_t* literal = program.OperandBytes(node);
        while (*literal != 0 && *literal == *p) {
          ++literal;
          ++p;
        }
        ok = *literal == 0;
        break;
      }
      case reAnyOf:
        ok = *p != 0 && program.SetHas(node, *p);
        ++p;
        break;
      case reAnyBut:
        ok = *p != 0 && !program.SetHas(node, *p);
        ++p;
        break;
      case reDigit:
        ok = isDigit(*p);
        ++p;
        break;
      case reNotDigit:
        ok = *p != 0 && !isDigit(*p);
        ++p;
        break;
      case reWord:
        ok = isWordByte(*p);
        ++p;
        break;
      case reNotWord:
        ok = *p != 0 && !isWordByte(*p);
        ++p;
        break;
      case reNothing:
      case reBack: break;
      case reBranch:
        // A lone alternative needs no return point.
        if (next != 0 && program.Op(next) == reBranch) push(EntryKind::Branch, next, static_cast<int>(p - subject_));
        next = program.Operand(node);
        break;
      case reStar:
      case rePlus: {
        int count = countRepeats(program.Operand(node), p);
        int taken = nextRepeatCount(node, p, count);
        countSteps(count - taken);
        if (taken < 0) {
          ok = false;
          break;
        }
        int minimum = op == reStar ? 0 : 1;
        if (taken > minimum) push(EntryKind::Repeat, node, static_cast<int>(p - subject_), taken - 1);
        p += taken;
        break;
      }
      default:
        if (isGroupOp(op, reOpen)) {
          setGroupSlot(op - reOpen, p);
        } else if (isGroupOp(op, reClose)) {
          setGroupSlot(RegExprGroupCount + op - reClose, p);
        } else {
          fail("MatchPrim: Memory corruption");
        }
        break;
    }
    if (!ok) {
      if (!backtrack(node, p)) {
        ClearGroups();
        return false;
      }
      continue;
    }
    if (next == 0) fail("MatchPrim: Corrupted pointers");
    node = next;
  }
}
