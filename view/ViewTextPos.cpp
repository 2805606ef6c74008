#include "view/ViewTextPos.h"

#include <climits>

#include "view/CustomScrivel.h"

TViewTextPos::TViewTextPos(TCustomScrivel* view) : view_(view) {}

bool TViewTextPos::PosToLineCol(int64_t offset, int32_t& line, int32_t& column) {
  if (!view_) return false;
  int64_t l;
  int32_t c;
  if (!view_->OffsetToLine(offset, l, c) || l > INT32_MAX) return false;
  line = static_cast<int32_t>(l);
  column = c;
  return true;
}

bool TViewTextPos::LineColToPos(int32_t line, int32_t column, int64_t& offset) {
  return view_ && view_->LineToOffset(column, line, offset);
}

bool TViewTextPos::GetText(int32_t count, std::string& text) {
  text.clear();
  if (!view_ || position_ < 0 || count < 0) return false;
  if (count == 0) return true;
  text.resize(static_cast<size_t>(count) + 1);
  const int64_t n = view_->ReadText(text.data(), int64_t{count} + 1, position_);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return n > 0;
}

bool TViewTextPos::GetLineText(std::string& text) {
  text.clear();
  return view_ && view_->GetLine(line_, text);
}

bool TViewTextPos::MoveWord(int flags) {
  if (!view_) return false;
  TTextPoint p;
  if (!view_->OffsetToPoint(position_, p)) return false;
  int64_t offset = position_;
  int32_t col = p.Col;
  bool moved = false;
  if (flags & mwBackward) {
    moved = (flags & mwWordEnd) ? view_->WordEndBackward(offset, col, p.Line)
                                : view_->WordStartBackward(offset, col, p.Line);
  } else if (flags & mwForward) {
    moved = (flags & mwWordEnd) ? view_->WordEndForward(offset, col, p.Line)
                                : view_->WordStartForward(offset, col, p.Line);
  }
  if (!moved) return false;
  SetPos(offset);
  return !invalid_;
}
