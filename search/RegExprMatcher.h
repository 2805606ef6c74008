#pragma once
// Runs a compiled node program against a subject by backtracking. The
// pending alternatives live on an explicit stack of bounded size, and the
// work of one search is bounded too, so no pattern can exhaust the thread's
// stack or hang the caller: exceeding a bound throws RegExprFailure.
#include <cstdint>
#include <vector>

#include "search/RegExprProgram.h"

class RegExprMatcher {
public:
  RegExprMatcher() { ClearGroups(); }

  // Starts a search of subject (length bytes followed by a zero byte, which
  // the program's single-byte tests rely on). Resets the work count.
  void Begin(const RegExprProgram& program, const uint8_t* subject, int length,
             int64_t backtrackLimit, int64_t stepLimit);

  // Tries to match the program starting at offset start. On success the
  // group records hold the match; on failure they are all unset.
  bool MatchAt(int start);

  // Offsets of group i's start and end, or -1 when it did not take part.
  int GroupStart(int i) const { return slots_[i]; }
  int GroupEnd(int i) const { return slots_[RegExprGroupCount + i]; }
  void ClearGroups();

private:
  enum class EntryKind : uint8_t {
    Branch,  // resume with the alternative of node at pos
    Repeat,  // resume the star or plus node at pos with at most count bytes
    Undo,    // restore group slot node to the offset pos
  };
  struct Entry {
    uint16_t node;
    EntryKind kind;
    int32_t pos;
    int32_t count;
  };

  void push(EntryKind kind, int node, int pos, int count = 0);
  bool backtrack(int& node, const uint8_t*& p);
  void setGroupSlot(int slot, const uint8_t* p);
  int countRepeats(int node, const uint8_t* p);
  int nextRepeatCount(int node, const uint8_t* from, int count) const;
  void countSteps(int64_t steps);
  bool singleByteMatches(int node, uint8_t byte) const;

  const RegExprProgram* program_ = nullptr;
  const uint8_t* subject_ = nullptr;
  int length_ = 0;
  int64_t backtrackLimit_ = 0;
  int64_t stepLimit_ = 0;
  int64_t steps_ = 0;
  int slots_[2 * RegExprGroupCount];  // starts of groups 0-9, then their ends
  std::vector<Entry> stack_;
};
