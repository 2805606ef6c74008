#include "textbuf/CustomTextPos.h"

void TCustomTextPos::SetPos(int64_t offset) {
  int32_t line, column;
  if (!PosToLineCol(offset, line, column)) {
    invalid_ = true;
    return;
  }
  position_ = offset;
  line_ = line;
  column_ = column;
  invalid_ = false;
  SyncLine();
}

void TCustomTextPos::SetLine(int32_t line) {
  int64_t offset;
  if (!LineColToPos(line, 0, offset)) {
    invalid_ = true;
    return;
  }
  position_ = offset;
  line_ = line;
  column_ = 0;
  invalid_ = false;
  SyncLine();
}

bool TCustomTextPos::MoveBy(int64_t delta) {
  const int64_t wanted = position_ + delta;
  SetPos(wanted);
  return !invalid_ && position_ == wanted;
}

bool TCustomTextPos::MoveLines(int32_t delta) {
  const int64_t wanted = static_cast<int64_t>(line_) + delta;
  if (wanted < INT32_MIN || wanted > INT32_MAX) {
    invalid_ = true;
    return false;
  }
  SetLine(static_cast<int32_t>(wanted));
  return !invalid_ && line_ == wanted;
}

void TCustomEditPos::EndUpdate() {
  if (updateDepth_ <= 0) return;
  if (--updateDepth_ == 0) Changed();
}
