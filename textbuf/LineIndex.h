#pragma once
// The line index of a text: for every line its start offset and an item
// (the buffer's line record), kept so that no edit costs work proportional
// to the number of lines, wherever it happens.
//
// Lines are grouped in blocks of about kBlockLines. A block keeps the items
// and the starts of its lines, the starts relative to its own start; the
// blocks' starts form a TStepPartition, whose pending step makes a change of
// one block's length cheap. A change of one line's length therefore rewrites
// at most a block of local starts plus the block starts between the last
// change and this one, and inserting or removing a line moves at most a
// block of entries: O(kBlockLines + blocks) in the worst case, O(kBlockLines)
// while typing at one place. Reading a start or an item costs a binary
// search over the blocks.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "textbuf/StepPartition.h"

template <class Item>
class TLineIndex {
public:
  static constexpr int32_t kBlockLines = 1024;

  int32_t Count() const { return count_; }
  int32_t Total() const { return blocks_.Total(); }

  // The start of a line, 0 <= line <= Count(); Start(Count()) is the total.
  int32_t Start(int32_t line) const {
    assert(line >= 0 && line <= count_);
    if (line == count_) return Total();
    const int32_t b = blockOf(line);
    return blocks_.Start(b) + local_[static_cast<size_t>(b)][static_cast<size_t>(line - firsts_[static_cast<size_t>(b)])];
  }
  int32_t Length(int32_t line) const { return Start(line + 1) - Start(line); }

  Item& At(int32_t line) {
    assert(line >= 0 && line < count_);
    const int32_t b = blockOf(line);
    return items_[static_cast<size_t>(b)][static_cast<size_t>(line - firsts_[static_cast<size_t>(b)])];
  }
  const Item& At(int32_t line) const { return const_cast<TLineIndex*>(this)->At(line); }

  // Calls f(item) for every line in order.
  template <class F>
  void ForEach(F&& f) const {
    for (const auto& block : items_)
      for (const Item& item : block) f(item);
  }

  void Clear() {
    blocks_.Clear();
    std::vector<std::vector<int32_t>>().swap(local_);
    std::vector<std::vector<Item>>().swap(items_);
    std::vector<int32_t>().swap(firsts_);
    count_ = 0;
  }
  void Reserve(int32_t lines) {
    const auto blocks = static_cast<size_t>(lines / kBlockLines + 1);
    local_.reserve(blocks);
    items_.reserve(blocks);
    firsts_.reserve(blocks);
    blocks_.Reserve(static_cast<int32_t>(blocks));
  }

  // Appends a line of the given length after the last one.
  void AppendLine(int32_t length, Item item) {
    if (local_.empty() || local_.back().size() >= static_cast<size_t>(kBlockLines)) {
      blocks_.AppendLine(length);
      local_.emplace_back();
      local_.back().reserve(kBlockLines);
      local_.back().push_back(0);
      items_.emplace_back();
      items_.back().reserve(kBlockLines);
      firsts_.push_back(count_);
    } else {
      const int32_t last = static_cast<int32_t>(local_.size()) - 1;
      local_.back().push_back(blocks_.Length(last));
      blocks_.Shift(last, length);
    }
    items_.back().push_back(std::move(item));
    ++count_;
  }

  // The length of a line changes by delta: every later start moves.
  void Shift(int32_t line, int32_t delta) {
    assert(line >= 0 && line < count_);
    if (delta == 0) return;
    const int32_t b = blockOf(line);
    std::vector<int32_t>& starts = local_[static_cast<size_t>(b)];
    int32_t* p = starts.data();
    const auto n = static_cast<int32_t>(starts.size());
    for (int32_t i = line - firsts_[static_cast<size_t>(b)] + 1; i < n; ++i) p[i] += delta;
    blocks_.Shift(b, delta);
  }

  // Splits the text before `line` at the offset start: a new line begins
  // there and the old line `line` (if any) becomes line + 1. start must lie
  // between Start(line - 1) and Start(line); line may be Count().
  void InsertLine(int32_t line, int32_t start, Item item) {
    assert(line >= 1 && line <= count_);
    const int32_t b = blockOf(line - 1);
    std::vector<int32_t>& starts = local_[static_cast<size_t>(b)];
    const int32_t k = line - firsts_[static_cast<size_t>(b)];
    starts.insert(starts.begin() + k, start - blocks_.Start(b));
    std::vector<Item>& items = items_[static_cast<size_t>(b)];
    items.insert(items.begin() + k, std::move(item));
    ++count_;
    for (size_t i = static_cast<size_t>(b) + 1; i < firsts_.size(); ++i) ++firsts_[i];
    if (starts.size() > static_cast<size_t>(2 * kBlockLines)) splitBlock(b);
  }

  // Removes the line boundaries first .. first + count - 1, with their
  // items: those lines are merged into line first - 1, whose length grows
  // by theirs.
  void RemoveLines(int32_t first, int32_t count) {
    assert(first >= 1 && count >= 0 && first + count <= count_);
    if (count == 0) return;
    const int32_t end = first + count;
    // From the last block concerned back to the first, so that the blocks
    // still to be handled keep their numbers.
    for (int32_t b = blockOf(end - 1); b >= 0 && firsts_[static_cast<size_t>(b)] + blockSize(b) > first; --b) {
      const int32_t fb = firsts_[static_cast<size_t>(b)];
      const int32_t from = std::max(first, fb) - fb;
      const int32_t to = std::min(end, fb + blockSize(b)) - fb;
      std::vector<int32_t>& starts = local_[static_cast<size_t>(b)];
      std::vector<Item>& items = items_[static_cast<size_t>(b)];
      if (from > 0) {
        starts.erase(starts.begin() + from, starts.begin() + to);
        items.erase(items.begin() + from, items.begin() + to);
      } else if (to < blockSize(b)) {
        // The block's first lines join the previous block's last line: the
        // block now starts at its first remaining line.
        const int32_t moved = starts[static_cast<size_t>(to)];
        starts.erase(starts.begin(), starts.begin() + to);
        items.erase(items.begin(), items.begin() + to);
        for (int32_t& s : starts) s -= moved;
        blocks_.Shift(b - 1, moved);
        blocks_.Shift(b, -moved);
      } else {
        blocks_.RemoveLines(b, 1);
        local_.erase(local_.begin() + b);
        items_.erase(items_.begin() + b);
        firsts_.erase(firsts_.begin() + b);
      }
    }
    count_ -= count;
    renumberFrom(std::max(0, blockOf(first - 1)));
  }

  // The line holding offset: Start(line) <= offset < Start(line + 1); an
  // offset at or past the total gives the last line.
  int32_t LineOf(int32_t offset) const {
    assert(count_ > 0);
    // The last block that starts at or before the offset and has lines
    // there (a block may be empty when it holds just an empty last line).
    const int32_t b = blocks_.LineOf(offset);
    const std::vector<int32_t>& starts = local_[static_cast<size_t>(b)];
    const int32_t rel = offset - blocks_.Start(b);
    size_t lo = 0, hi = starts.size() - 1;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo + 1) / 2;
      if (starts[mid] <= rel)
        lo = mid;
      else
        hi = mid - 1;
    }
    return firsts_[static_cast<size_t>(b)] + static_cast<int32_t>(lo);
  }

  // Bytes held by the index.
  size_t MemoryUsed() const {
    size_t n = 0;
    for (const auto& starts : local_) n += starts.capacity() * sizeof(int32_t);
    for (const auto& items : items_) n += items.capacity() * sizeof(Item);
    return n + firsts_.capacity() * sizeof(int32_t) + blocks_.Capacity() * sizeof(int32_t);
  }

private:
  int32_t blockSize(int32_t b) const { return static_cast<int32_t>(local_[static_cast<size_t>(b)].size()); }

  int32_t blockOf(int32_t line) const {
    size_t lo = 0, hi = firsts_.size() - 1;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo + 1) / 2;
      if (firsts_[mid] <= line)
        lo = mid;
      else
        hi = mid - 1;
    }
    return static_cast<int32_t>(lo);
  }

  void renumberFrom(int32_t b) {
    for (size_t i = static_cast<size_t>(b) + 1; i < firsts_.size(); ++i)
      firsts_[i] = firsts_[i - 1] + static_cast<int32_t>(local_[i - 1].size());
  }

  void splitBlock(int32_t b) {
    std::vector<int32_t>& starts = local_[static_cast<size_t>(b)];
    const size_t half = starts.size() / 2;
    const int32_t cut = starts[half];
    std::vector<int32_t> tail(starts.begin() + static_cast<long>(half), starts.end());
    for (int32_t& s : tail) s -= cut;
    starts.resize(half);
    std::vector<Item>& items = items_[static_cast<size_t>(b)];
    std::vector<Item> tailItems(std::make_move_iterator(items.begin() + static_cast<long>(half)),
                                std::make_move_iterator(items.end()));
    items.resize(half);
    blocks_.InsertLine(b + 1, blocks_.Start(b) + cut);
    local_.insert(local_.begin() + b + 1, std::move(tail));
    items_.insert(items_.begin() + b + 1, std::move(tailItems));
    firsts_.insert(firsts_.begin() + b + 1, firsts_[static_cast<size_t>(b)] + static_cast<int32_t>(half));
  }

  TStepPartition blocks_;                  // the blocks' starts
  std::vector<std::vector<int32_t>> local_; // per block: its lines' starts, relative
  std::vector<std::vector<Item>> items_;    // per block: its lines' items
  std::vector<int32_t> firsts_;            // per block: its first line
  int32_t count_ = 0;
};
