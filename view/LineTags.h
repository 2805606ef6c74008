#pragma once
// Line tags of the line views: zero-length marks with a value and a key at a
// character offset in a line, kept per line as a singly linked chain sorted
// by offset. A tag that owns its value holds a TLineTagObject, which is asked
// to release itself when the tag goes (and freed when it does not).
#include <algorithm>
#include <cstdint>

#include "textbuf/LineChunks.h"

struct TLineTag {
  TLineTag* Next = nullptr;
  int32_t Offset = 0;
  uint16_t Key = 0;
  uint8_t Flags = 0;  // tfOwnsValue
  intptr_t Value = 0;

  static constexpr uint8_t tfOwnsValue = 0x80;
};

namespace linetags {

// Inserts after every tag at or before the offset.
void Add(TLineTag*& chain, int32_t offset, bool ownsValue, intptr_t value, uint16_t key);
// Offset −1 matches any tag; otherwise tags from the offset on are considered
// until one lies beyond it. Key 0 matches any. Answers the value (0 when
// none) and the tag's offset.
intptr_t Find(const TLineTag* chain, int32_t& offset, uint16_t key);
// Whether a tag with the value (and key, 0 = any) is in the chain.
bool Holds(const TLineTag* chain, intptr_t value, uint16_t key);
// Removes the matching tags (offset −1 = any; key and value 0 = any); with a
// value only the first match. Answers whether one was removed.
bool Remove(TLineTag*& chain, uint16_t key, intptr_t value, int32_t offset);
// Frees the whole chain, releasing owned values.
void Free(TLineTag*& chain);

// The first of `count` lines, from `first` to `last` (backwards when last <
// first; all lines when first < 0), whose chain (chainAt(line)) holds the
// value; -1 when none.
template <class ChainAt>
int64_t FindTaggedLine(int64_t count, intptr_t value, uint16_t key, int64_t first, int64_t last,
                       ChainAt chainAt) {
  if (count <= 0) return -1;
  if (first < 0) {
    first = 0;
    last = count - 1;
  }
  const int64_t step = last < first ? -1 : 1;
  first = std::clamp<int64_t>(first, 0, count - 1);
  last = std::clamp<int64_t>(last, 0, count - 1);
  for (int64_t line = first;; line += step) {
    if (Holds(chainAt(line), value, key)) return line;
    if (line == last) return -1;
  }
}

}  // namespace linetags
