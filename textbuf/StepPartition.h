#pragma once
// A partition of a text into consecutive parts (lines, or blocks of lines),
// kept as the start offset of every part, so that a change of one part's
// length costs no work proportional to the number of parts.
//
// The table holds Count() + 1 starts: the start of every part and, last, the
// total length. A change of length is not written into every following start
// at once: it is kept as a pending step, a delta that applies to every entry
// after stepLine_. The next change moves the step to its own part, applying
// (or taking back) the delta only for the entries in between, so that edits
// at one place cost O(1), and reading any start costs O(1) as well.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

class TStepPartition {
public:
  TStepPartition() { clear(); }

  int32_t Count() const { return static_cast<int32_t>(starts_.size()) - 1; }
  int32_t Total() const { return Start(Count()); }

  // The start of a line, 0 <= line <= Count(); Start(Count()) is the total.
  int32_t Start(int32_t line) const {
    assert(line >= 0 && line <= Count());
    int32_t value = starts_[static_cast<size_t>(line)];
    return line > stepLine_ ? value + stepLength_ : value;
  }
  int32_t Length(int32_t line) const { return Start(line + 1) - Start(line); }

  // Empties the table and gives its memory back.
  void Clear() {
    std::vector<int32_t>().swap(starts_);
    clear();
  }
  size_t Capacity() const { return starts_.capacity(); }
  void Reserve(int32_t lines) { starts_.reserve(static_cast<size_t>(lines) + 1); }

  // Appends a line of the given length after the last one.
  void AppendLine(int32_t length) {
    applyAll();
    starts_.push_back(starts_.back() + length);
  }

  // The length of a line changes by delta: every later start moves.
  void Shift(int32_t line, int32_t delta) {
    assert(line >= 0 && line < Count());
    if (delta == 0) return;
    if (stepLength_ == 0) {
      stepLine_ = line;
      stepLength_ = delta;
      return;
    }
    if (line >= stepLine_) {
      applyTo(line);
    } else if (stepLine_ - line <= Count() - stepLine_) {
      takeBackTo(line);
    } else {
      applyAll();
      stepLine_ = line;
      stepLength_ = delta;
      return;
    }
    stepLength_ += delta;
  }

  // Splits the text before `line` at the offset start: a new line begins
  // there and the old line `line` (if any) becomes line + 1. start must lie
  // between Start(line - 1) and Start(line); line may be Count().
  void InsertLine(int32_t line, int32_t start) {
    assert(line >= 1 && line <= Count());
    if (line <= stepLine_) {
      starts_.insert(starts_.begin() + line, start);
      ++stepLine_;
    } else {
      starts_.insert(starts_.begin() + line, start - stepLength_);
    }
  }

  // Removes the line boundaries first .. first + count - 1: those lines are
  // merged into line first - 1, whose length grows by theirs.
  void RemoveLines(int32_t first, int32_t count) {
    assert(first >= 1 && count >= 0 && first + count <= Count());
    if (count == 0) return;
    starts_.erase(starts_.begin() + first, starts_.begin() + first + count);
    if (stepLine_ >= first + count)
      stepLine_ -= count;
    else if (stepLine_ >= first)
      stepLine_ = first - 1;
  }

  // The line holding offset: Start(line) <= offset < Start(line + 1); an
  // offset at or past the total gives the last line.
  int32_t LineOf(int32_t offset) const { return LineOfIn(offset, 0, Count() - 1); }

  // The same, searching only lines lo .. hi (the caller knows it lies there).
  int32_t LineOfIn(int32_t offset, int32_t lo, int32_t hi) const {
    while (lo < hi) {
      int32_t mid = lo + (hi - lo + 1) / 2;
      if (Start(mid) <= offset)
        lo = mid;
      else
        hi = mid - 1;
    }
    return lo;
  }

  // The line after which the pending step applies (for tests).
  int32_t PendingStepLine() const { return stepLength_ == 0 ? Count() : stepLine_; }

private:
  void clear() {
    starts_.assign(1, 0);
    stepLine_ = 0;
    stepLength_ = 0;
  }
  void applyTo(int32_t line) {
    int32_t* p = starts_.data();
    for (int32_t i = stepLine_ + 1; i <= line; ++i) p[i] += stepLength_;
    stepLine_ = line;
  }
  void takeBackTo(int32_t line) {
    int32_t* p = starts_.data();
    for (int32_t i = line + 1; i <= stepLine_; ++i) p[i] -= stepLength_;
    stepLine_ = line;
  }
  void applyAll() {
    if (stepLength_ != 0) applyTo(Count());
    stepLine_ = Count();
    stepLength_ = 0;
  }

  std::vector<int32_t> starts_;
  int32_t stepLine_ = 0;    // entries after this one carry stepLength_ still unapplied
  int32_t stepLength_ = 0;
};
