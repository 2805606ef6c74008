#include "view/LineScrivel.h"

#include <algorithm>
#include <cstring>

#include "view/TabExpansion.h"

void TTaggedLines::Delete(int index) {
  TLineTag* chain = static_cast<TLineTag*>(GetObject(index));
  TStringList::Delete(index);
  linetags::Free(chain);
}

void TTaggedLines::Clear() {
  std::vector<TLineTag*> chains;
  for (int i = 0; i < Count(); ++i)
    if (auto* chain = static_cast<TLineTag*>(GetObject(i))) chains.push_back(chain);
  TStringList::Clear();
  for (TLineTag*& chain : chains) linetags::Free(chain);
}

TLineScrivel::TLineScrivel(QWidget* parent) : TCustomScrivel(parent) {
  list_.OnChange = [this](TStringList&) { listChanged(); };
  starts_.push_back(0);
}

TLineScrivel::~TLineScrivel() {
  list_.OnChange = nullptr;
  dropTags();
}

void TLineScrivel::listChanged() {
  if (ignoreListChange_) return;
  Reformat();
  if (textSet_) {
    textSet_ = false;
    TextReplaced();
  }
}

void TLineScrivel::setChain(int line, TLineTag* chain) {
  ignoreListChange_ = true;
  list_.PutObject(line, chain);
  ignoreListChange_ = false;
}

void TLineScrivel::dropTags() {
  ignoreListChange_ = true;
  for (int i = 0; i < list_.Count(); ++i) {
    TLineTag* chain = chainOf(i);
    if (!chain) continue;
    linetags::Free(chain);
    list_.PutObject(i, nullptr);
  }
  ignoreListChange_ = false;
}

void TLineScrivel::SetText(std::string_view text) {
  dropTags();
  textSet_ = true;
  list_.SetText(text);
  if (textSet_) listChanged();  // an unchanged empty list sends no notification
}

void TLineScrivel::SetStrings(const TStrings* list) {
  dropTags();
  if (list == &list_) {
    // The view's own lines stay as they are (clearing first would lose them).
    listChanged();
    TextReplaced();
    return;
  }
  textSet_ = true;
  ignoreListChange_ = true;
  list_.BeginUpdate();
  list_.Clear();
  if (list)
    for (int i = 0; i < list->Count(); ++i) list_.Add(list->Get(i));
  ignoreListChange_ = false;
  list_.EndUpdate();
  if (textSet_) listChanged();
}

void TLineScrivel::SetDoubleLineEnd(bool value) {
  if (value == DoubleLineEnd()) return;
  TCustomScrivel::SetDoubleLineEnd(value);
  Reformat();
  // The same points stand for other offsets now.
  const TTextPoint s = SelStartPoint(), e = SelEndPoint();
  SetSelectionByPoints(&s, &e);
}

void TLineScrivel::Reformat() {
  const int count = list_.Count();
  const int64_t le = LineEndLength();
  starts_.resize(static_cast<size_t>(count) + 1);
  LayOutLines([&](int32_t wrapWidth) {
    entries_.clear();
    firstEntry_.clear();
    int64_t offset = 0;
    int64_t longest = 0;
    entries_.reserve(static_cast<size_t>(count));
    if (wrapWidth > 0) firstEntry_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const std::string& s = list_.Item(i);
      const int32_t len = static_cast<int32_t>(std::min<size_t>(s.size(), INT32_MAX));
      starts_[static_cast<size_t>(i)] = offset;
      offset += len + le;
      if (wrapWidth <= 0) {
        entries_.push_back({i, 0, len});
        // The scroll range is the painted width, which tabs widen.
        const bool hasTabs = std::memchr(s.data(), '\t', static_cast<size_t>(len)) != nullptr;
        longest = std::max<int64_t>(longest, hasTabs ? ScreenWidth(s, TabSize()) : len);
        continue;
      }
      firstEntry_.push_back(static_cast<int64_t>(entries_.size()));
      int32_t at = 0;
      do {
        const int32_t piece = std::min(wrapWidth, len - at);
        entries_.push_back({i, at, piece});
        longest = std::max<int64_t>(longest, piece);
        at += piece;
      } while (at < len);
    }
    starts_[static_cast<size_t>(count)] = offset;
    total_ = offset;
    return longest;
  });
}

int32_t TLineScrivel::DisplayLineLength(int64_t line) {
  if (line < 0 || line >= DisplayLineCount()) return 0;
  return entries_[static_cast<size_t>(line)].Length;
}

bool TLineScrivel::GetDisplayLine(int64_t line, std::string& text) {
  text.clear();
  if (line < 0 || line >= DisplayLineCount()) return false;
  const TLineViewEntry& e = entries_[static_cast<size_t>(line)];
  const std::string& s = list_.Item(e.Line);
  if (e.Offset == 0 && static_cast<size_t>(e.Length) == s.size())
    text = s;
  else
    text.assign(s, static_cast<size_t>(e.Offset), static_cast<size_t>(e.Length));
  return true;
}

bool TLineScrivel::GetDisplayLineView(int64_t line, std::string_view& text, std::string&) {
  if (line < 0 || line >= DisplayLineCount()) {
    text = {};
    return false;
  }
  const TLineViewEntry& e = entries_[static_cast<size_t>(line)];
  text = std::string_view(list_.Item(e.Line)).substr(static_cast<size_t>(e.Offset), static_cast<size_t>(e.Length));
  return true;
}

int32_t TLineScrivel::LineLength(int64_t line) {
  if (line < 0 || line >= list_.Count()) return 0;
  return static_cast<int32_t>(list_.Item(static_cast<int>(line)).size());
}

bool TLineScrivel::GetLine(int64_t line, std::string& text) {
  text.clear();
  if (line < 0 || line >= list_.Count()) return false;
  text = list_.Item(static_cast<int>(line));
  return true;
}

void TLineScrivel::GetAllText(std::string& text) {
  text.clear();
  for (int i = 0; i < list_.Count(); ++i) {
    text += list_.Item(i);
    text += "\r\n";
  }
}

int64_t TLineScrivel::lineOfOffset(int64_t offset) const {
  if (offset < 0 || offset >= total_) return -1;
  auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  return (it - starts_.begin()) - 1;
}

bool TLineScrivel::OffsetToLine(int64_t offset, int64_t& line, int32_t& column) {
  if (offset < 0 || offset > total_) return false;
  if (offset == total_) {
    line = list_.Count();
    column = 0;
    return true;
  }
  line = lineOfOffset(offset);
  column = static_cast<int32_t>(offset - lineStart(line));
  return true;
}

bool TLineScrivel::LineToOffset(int32_t column, int64_t line, int64_t& offset) {
  if (line < 0 || line > list_.Count() || column < 0) return false;
  if (line == list_.Count()) {
    offset = total_;
    return true;
  }
  offset = lineStart(line) + std::min<int64_t>(column, LineLength(line));
  return true;
}

bool TLineScrivel::OffsetToPoint(int64_t offset, TTextPoint& point) {
  if (offset < 0 || offset > total_) return false;
  if (offset == total_) {
    point = {0, DisplayLineCount()};
    return true;
  }
  const int64_t line = lineOfOffset(offset);
  const int32_t column = static_cast<int32_t>(offset - lineStart(line));
  if (column > LineLength(line)) return false;  // inside the line end
  if (!WordWrap()) {
    point = {column, line};
    return true;
  }
  int64_t entry = firstEntry_[static_cast<size_t>(line)];
  const int64_t lastEntry = line + 1 < static_cast<int64_t>(firstEntry_.size())
                                ? firstEntry_[static_cast<size_t>(line + 1)] - 1
                                : DisplayLineCount() - 1;
  // A column at a piece boundary belongs to the next piece.
  while (entry < lastEntry && column >= entries_[static_cast<size_t>(entry + 1)].Offset) ++entry;
  point = {column - entries_[static_cast<size_t>(entry)].Offset, entry};
  return true;
}

bool TLineScrivel::PointToOffset(const TTextPoint& point, int64_t& offset) {
  if (point.Line < 0 || point.Col < 0) return false;
  const int64_t count = DisplayLineCount();
  if (point.Line == count) {
    if (point.Col != 0) return false;
    offset = total_;
    return true;
  }
  if (point.Line > count) return false;
  const TLineViewEntry& e = entries_[static_cast<size_t>(point.Line)];
  offset = lineStart(e.Line) + e.Offset + std::min(point.Col, e.Length);
  return true;
}

int64_t TLineScrivel::ReadText(char* buffer, int64_t size, int64_t offset) {
  if (!buffer || size < 1) return 0;
  buffer[0] = 0;
  int64_t line;
  int32_t column;
  if (!OffsetToLine(offset, line, column)) return 0;
  const char lineEnd[2] = {'\r', '\n'};
  const int32_t le = LineEndLength();
  int64_t written = 0;
  const int64_t room = size - 1;
  for (; line < list_.Count() && written < room; ++line, column = 0) {
    const std::string& s = list_.Item(static_cast<int>(line));
    const int64_t len = static_cast<int64_t>(s.size());
    if (column < len) {
      const int64_t n = std::min(len - column, room - written);
      std::memcpy(buffer + written, s.data() + column, static_cast<size_t>(n));
      written += n;
    }
    for (int32_t k = std::max<int64_t>(column - len, 0); k < le && written < room; ++k)
      buffer[written++] = lineEnd[k];
  }
  buffer[written] = 0;
  return written;
}

intptr_t TLineScrivel::FindLineTag(int64_t line, int32_t& offset, uint16_t key) {
  if (line < 0 || line >= list_.Count()) return 0;
  return linetags::Find(chainOf(static_cast<int>(line)), offset, key);
}

int64_t TLineScrivel::FindTaggedLine(intptr_t value, uint16_t key, int64_t first, int64_t last) {
  return linetags::FindTaggedLine(list_.Count(), value, key, first, last,
                                  [this](int64_t line) { return chainOf(static_cast<int>(line)); });
}

bool TLineScrivel::AddLineTag(int64_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) {
  if (line < 0 || line >= list_.Count()) return false;
  TLineTag* chain = chainOf(static_cast<int>(line));
  linetags::Add(chain, offset, ownsValue, value, key);
  setChain(static_cast<int>(line), chain);
  return true;
}

bool TLineScrivel::RemoveLineTags(int64_t line, uint16_t key, intptr_t value, int32_t offset) {
  if (line < 0 || line >= list_.Count()) return false;
  TLineTag* chain = chainOf(static_cast<int>(line));
  const bool removed = linetags::Remove(chain, key, value, offset);
  setChain(static_cast<int>(line), chain);
  return removed;
}
