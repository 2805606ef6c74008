#include "view/MemLineTable.h"

#include <algorithm>
#include <cstring>

#include "view/TabExpansion.h"

namespace {

// Position of the next byte `c` at or after `from`, or `end`. The result is
// cached in `next` and searched again only once `from` has passed it, so a
// text with only one kind of line end is scanned once in all.
inline const char* nextOf(const char* from, const char* end, char c, const char*& next) {
  if (next < from) {
    const void* p = std::memchr(from, c, static_cast<size_t>(end - from));
    next = p ? static_cast<const char*>(p) : end;
  }
  return next;
}

}  // namespace

void BuildMemLayout(const char* text, int32_t size, int32_t widthLimit, int32_t tabSize,
                    TMemLayout& out) {
  const size_t formerCapacity = out.Lines.capacity();
  out.Lines.clear();
  out.Logical.clear();
  out.Longest = 0;
  if (!text || size <= 0) return;

  const bool wrap = widthLimit > 0;
  const int64_t limit = wrap ? widthLimit : INT64_MAX;
  const bool tabsExpand = tabSize >= 2;
  out.Lines.reserve(std::max(formerCapacity, static_cast<size_t>(size / 32)));
  if (wrap) out.Logical.push_back({0, 0});

  const char* const begin = text;
  const char* const end = text + size;
  const char* nextCR = begin - 1;
  const char* nextLF = begin - 1;
  const char* nextTab = begin - 1;
  const char* p = begin;
  while (p < end) {
    const char* eol = std::min(nextOf(p, end, '\r', nextCR), nextOf(p, end, '\n', nextLF));
    const bool hasLineEnd = eol < end;
    if (wrap && out.Logical.size() > 0) {
      TMemLine& logical = out.Logical.back();
      logical.Length = static_cast<int32_t>(eol - begin) - logical.Start;
    }
    const bool hasTabs = tabsExpand && nextOf(p, end, '\t', nextTab) < eol;
    // The line's characters become one or more display lines.
    do {
      const char* pieceEnd;
      int64_t width;
      if (!hasTabs) {
        const int64_t n = std::min<int64_t>(eol - p, limit);
        pieceEnd = p + n;
        width = n;
      } else {
        int64_t col = 0;
        pieceEnd = p;
        while (pieceEnd < eol && col < limit) {
          col = *pieceEnd == '\t' ? ScreenColumnAfterTab(col, tabSize) : col + 1;
          ++pieceEnd;
        }
        width = col;
      }
      const int32_t start = static_cast<int32_t>(p - begin);
      const int32_t chars = static_cast<int32_t>(pieceEnd - p);
      const bool lineEndFollows = pieceEnd == eol && hasLineEnd;
      out.Lines.push_back({start, lineEndFollows ? chars : -chars});
      out.Longest = std::max(out.Longest, width);
      p = pieceEnd;
    } while (p < eol);
    if (!hasLineEnd) break;
    p = eol;
    if (p < end && *p == '\r') ++p;
    if (p < end && *p == '\n') ++p;
    if (wrap) out.Logical.push_back({static_cast<int32_t>(p - begin), 0});
  }
  if (wrap) {
    // The entry opened after a final line end is the open line after the text.
    if (out.Logical.size() > 1 && out.Logical.back().Start >= size) out.Logical.pop_back();
    TMemLine& last = out.Logical.back();
    const TMemLine& lastDisplay = out.Lines.back();
    const int32_t lastEnd = lastDisplay.Start + lastDisplay.Chars();
    last.Length = lastDisplay.FollowedByLineEnd() ? lastEnd - last.Start : -(lastEnd - last.Start);
  }
  if (out.Lines.capacity() > out.Lines.size() + out.Lines.size() / 8) out.Lines.shrink_to_fit();
}

bool MemOffsetToPoint(const std::vector<TMemLine>& lines, int32_t size, int64_t offset,
                      TTextPoint& point) {
  if (offset < 0 || offset > size) return false;
  if (offset == 0) {
    point = {0, 0};
    return true;
  }
  if (lines.empty()) return false;
  auto it = std::lower_bound(lines.begin(), lines.end(), offset,
                             [](const TMemLine& l, int64_t o) { return l.Start < o; });
  if (it != lines.end() && it->Start == offset) {
    point = {0, it - lines.begin()};
    return true;
  }
  // The offset lies in the entry before `it`.
  const int64_t index = (it - lines.begin()) - 1;
  const TMemLine& line = lines[index];
  const int64_t col = offset - line.Start;
  if (col <= line.Chars()) {
    point = {static_cast<int32_t>(col), index};
    return true;
  }
  // Inside the line end. The text size after a final line end is the open line.
  if (it == lines.end() && line.FollowedByLineEnd() && offset == size) {
    point = {0, static_cast<int64_t>(lines.size())};
    return true;
  }
  point = {line.Chars(), index};
  return false;
}

bool MemPointToOffset(const std::vector<TMemLine>& lines, int32_t size, const TTextPoint& point,
                      int64_t& offset) {
  if (point.Line < 0 || point.Col < 0) return false;
  const int64_t count = static_cast<int64_t>(lines.size());
  if (point.Line < count) {
    const TMemLine& line = lines[point.Line];
    offset = line.Start + std::min(point.Col, line.Chars());
    return true;
  }
  if (point.Line > count || point.Col != 0) return false;
  if (count == 0 || lines.back().FollowedByLineEnd()) {
    offset = count == 0 ? 0 : size;
    return true;
  }
  return false;
}
