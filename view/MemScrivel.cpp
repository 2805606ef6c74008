#include "view/MemScrivel.h"

#include <algorithm>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Streams.h"
#include "view/TabExpansion.h"

TMemScrivel::TMemScrivel(QWidget* parent) : TCustomScrivel(parent) {}

TMemScrivel::~TMemScrivel() { dropTags(); }

void TMemScrivel::dropTags() {
  for (TLineTag*& chain : tags_) linetags::Free(chain);
  tags_.clear();
}

void TMemScrivel::SetData(const char* data, int64_t size, bool copy) {
  if (size < 0 || (size > 0 && !data)) throw Exception("Invalid text block");
  if (size > kMaxDataSize)
    throw Exception(Format("The text is too large to show (%d bytes; the limit is %d bytes)", size,
                           kMaxDataSize));
  std::unique_ptr<char[]> copyBlock;
  if (copy && size > 0) {
    copyBlock.reset(new char[static_cast<size_t>(size)]);
    std::memcpy(copyBlock.get(), data, static_cast<size_t>(size));
  }
  dropTags();
  ownedText_ = std::move(copyBlock);
  ownsText_ = copy && size > 0;
  text_ = ownsText_ ? ownedText_.get() : data;
  size_ = static_cast<int32_t>(size);
  Reformat();
  TextReplaced();
}

void TMemScrivel::SetText(std::string_view text) {
  SetData(text.data(), static_cast<int64_t>(text.size()), true);
}

bool TMemScrivel::LoadFromStream(TStream& stream, const std::string& extension) {
  const int64_t size = stream.Size() - stream.Position();
  if (size > kMaxDataSize)
    throw Exception(Format("The text is too large to show (%d bytes; the limit is %d bytes)", size,
                           kMaxDataSize));
  return TCustomScrivel::LoadFromStream(stream, extension);
}

void TMemScrivel::Reformat() {
  LayOutLines([this](int32_t wrapWidth) {
    BuildMemLayout(text_, size_, wrapWidth, TabSize(), layout_);
    return layout_.Longest;
  });
}

int32_t TMemScrivel::DisplayLineLength(int64_t line) {
  if (line < 0 || line >= DisplayLineCount()) return 0;
  return layout_.Lines[static_cast<size_t>(line)].Chars();
}

bool TMemScrivel::GetDisplayLine(int64_t line, std::string& text) {
  if (line < 0 || line >= DisplayLineCount()) {
    text.clear();
    return false;
  }
  const TMemLine& l = layout_.Lines[static_cast<size_t>(line)];
  text.assign(text_ + l.Start, static_cast<size_t>(l.Chars()));
  return true;
}

bool TMemScrivel::GetDisplayLineView(int64_t line, std::string_view& text, std::string&) {
  if (line < 0 || line >= DisplayLineCount()) {
    text = {};
    return false;
  }
  const TMemLine& l = layout_.Lines[static_cast<size_t>(line)];
  text = std::string_view(text_ + l.Start, static_cast<size_t>(l.Chars()));
  return true;
}

int64_t TMemScrivel::LineCount() { return static_cast<int64_t>(logicalLines().size()); }

int32_t TMemScrivel::LineLength(int64_t line) {
  int64_t a, b;
  if (!LineToOffset(0, line, a)) return 0;
  if (!LineToOffset(0, line + 1, b)) b = size_;
  return static_cast<int32_t>(std::max<int64_t>(b - a, 0));
}

bool TMemScrivel::GetLine(int64_t line, std::string& text) {
  text.clear();
  const auto& lines = logicalLines();
  if (line < 0 || line >= static_cast<int64_t>(lines.size())) return false;
  const int64_t a = lines[static_cast<size_t>(line)].Start;
  const int64_t b = line + 1 < static_cast<int64_t>(lines.size()) ? lines[static_cast<size_t>(line + 1)].Start : size_;
  text.assign(text_ + a, static_cast<size_t>(b - a));
  return true;
}

void TMemScrivel::GetAllText(std::string& text) {
  if (text_ && size_ > 0)
    text.assign(text_, static_cast<size_t>(size_));
  else
    text.clear();
}

const char* TMemScrivel::GetTextBuffer(int64_t& length) {
  length = size_;
  return text_;
}

int64_t TMemScrivel::ReadText(char* buffer, int64_t size, int64_t offset) {
  if (!buffer || size < 1) return 0;
  buffer[0] = 0;
  if (!text_ || offset < 0 || offset >= size_) return 0;
  // Room for the terminator: never more than size − 1 characters.
  const int64_t n = std::min<int64_t>(size - 1, size_ - offset);
  std::memcpy(buffer, text_ + offset, static_cast<size_t>(n));
  buffer[n] = 0;
  return n;
}

bool TMemScrivel::OffsetToPoint(int64_t offset, TTextPoint& point) {
  return MemOffsetToPoint(layout_.Lines, size_, offset, point);
}

bool TMemScrivel::PointToOffset(const TTextPoint& point, int64_t& offset) {
  return MemPointToOffset(layout_.Lines, size_, point, offset);
}

bool TMemScrivel::OffsetToLine(int64_t offset, int64_t& line, int32_t& column) {
  TTextPoint p;
  if (!MemOffsetToPoint(logicalLines(), size_, offset, p)) return false;
  line = p.Line;
  column = p.Col;
  return true;
}

bool TMemScrivel::LineToOffset(int32_t column, int64_t line, int64_t& offset) {
  return MemPointToOffset(logicalLines(), size_, {column, line}, offset);
}

intptr_t TMemScrivel::FindLineTag(int64_t line, int32_t& offset, uint16_t key) {
  if (line < 0 || line >= static_cast<int64_t>(tags_.size())) return 0;
  return linetags::Find(tags_[static_cast<size_t>(line)], offset, key);
}

int64_t TMemScrivel::FindTaggedLine(intptr_t value, uint16_t key, int64_t first, int64_t last) {
  return linetags::FindTaggedLine(static_cast<int64_t>(tags_.size()), value, key, first, last,
                                  [this](int64_t line) { return tags_[static_cast<size_t>(line)]; });
}

bool TMemScrivel::AddLineTag(int64_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) {
  if (line < 0) return false;
  const int64_t count = LineCount();
  // A line beyond the last is filed under the index equal to the line count.
  const int64_t index = std::min(line, count);
  if (static_cast<int64_t>(tags_.size()) < count + 1) tags_.resize(static_cast<size_t>(count + 1), nullptr);
  linetags::Add(tags_[static_cast<size_t>(index)], offset, ownsValue, value, key);
  return true;
}

bool TMemScrivel::RemoveLineTags(int64_t line, uint16_t key, intptr_t value, int32_t offset) {
  if (line < 0 || line >= static_cast<int64_t>(tags_.size())) return false;
  return linetags::Remove(tags_[static_cast<size_t>(line)], key, value, offset);
}
