#include "view/TabExpansion.h"

#include <algorithm>
#include <limits>

namespace {
int32_t clampColumn(int64_t c) {
  return static_cast<int32_t>(std::min<int64_t>(c, std::numeric_limits<int32_t>::max()));
}
}  // namespace

bool CharToScreenColumn(std::string_view line, int32_t& col, int32_t tabSize) {
  if (col <= 0) return col == 0;
  const int64_t n = std::min<int64_t>(col, static_cast<int64_t>(line.size()));
  int64_t d = 0;
  for (int64_t i = 0; i < n; ++i) {
    ++d;
    if (line[i] == '\t') d = ScreenColumnAfterTab(d - 1, tabSize);
  }
  const bool inside = col <= static_cast<int64_t>(line.size());
  d += col - n;
  col = clampColumn(d);
  return inside;
}

bool ScreenToCharColumn(std::string_view line, int32_t& col, int32_t tabSize) {
  if (col < 0) return false;
  int64_t d = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const int64_t next = line[i] == '\t' ? ScreenColumnAfterTab(d, tabSize) : d + 1;
    if (next > col) {
      col = static_cast<int32_t>(i);
      return true;
    }
    d = next;
  }
  col = clampColumn(static_cast<int64_t>(line.size()) + (col - d));
  return false;
}

int64_t ScreenWidth(std::string_view line, int32_t tabSize) {
  // From tab to tab: the characters between two tabs are one column each.
  int64_t d = 0;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string_view::npos; from = tab + 1)
    d = ScreenColumnAfterTab(d + static_cast<int64_t>(tab - from), tabSize);
  return d + static_cast<int64_t>(line.size() - from);
}
