#include "textbuf/EditPos.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "textbuf/TextUndo.h"

TEditPos::TEditPos(TEditBuffer* buffer, TTextEditor* editor) : buffer_(buffer), editor_(editor) {
  if (!buffer_) throw Exception("An edit position needs a buffer");
  buffer_->AddRef();
  buffer_->AddChangeHandler(this);
}

TEditPos::~TEditPos() {
  AttachUndo(nullptr);
  buffer_->RemoveChangeHandler(this);
  buffer_->Release();
}

void TEditPos::AttachUndo(TTextUndo* undo) {
  if (undo == undo_) return;
  if (undo) undo->AddRef();
  TTextUndo* old = undo_;
  undo_ = undo;
  if (old) old->Release();
}

bool TEditPos::isOpenPosition(int32_t line) const {
  const int32_t count = buffer_->LineCount();
  return line == count && (count == 0 || buffer_->EndsWithLineEnd());
}

void TEditPos::SetCol(int32_t column) {
  const int32_t count = buffer_->LineCount();
  if (line_ < 0 || line_ > count || (line_ == count && !isOpenPosition(line_))) {
    invalid_ = true;
    return;
  }
  if (line_ == count) {
    column_ = 0;
    position_ = buffer_->TotalLength();
  } else {
    column_ = std::clamp(column, 0, buffer_->LineTextLength(line_));
    position_ = static_cast<int64_t>(buffer_->LineStart(line_)) + column_;
  }
  invalid_ = false;
}

void TEditPos::SyncLine() { SetCol(column_); }

bool TEditPos::PosToLineCol(int64_t offset, int32_t& line, int32_t& column) {
  const int32_t total = buffer_->TotalLength();
  if (offset < 0 || offset > total) return false;
  if (offset == total && isOpenPosition(buffer_->LineCount())) {
    line = buffer_->LineCount();
    column = 0;
    return true;
  }
  return buffer_->FindLine(static_cast<int32_t>(offset), line, column);
}

bool TEditPos::LineColToPos(int32_t line, int32_t column, int64_t& offset) {
  const int32_t count = buffer_->LineCount();
  if (line < 0 || line > count) return false;
  if (line == count) {
    // Only the open position after a final line end lies on this line.
    if (column != 0 || !isOpenPosition(line)) return false;
    offset = buffer_->TotalLength();
    return true;
  }
  offset = static_cast<int64_t>(buffer_->LineStart(line)) + std::clamp(column, 0, buffer_->LineLength(line));
  return true;
}

bool TEditPos::GetText(int32_t count, std::string& text) {
  text.clear();
  if (position_ < 0) return false;
  if (count == 0) return true;
  return buffer_->GetTextRange(static_cast<int32_t>(position_), count, text);
}

bool TEditPos::GetLineText(std::string& text) { return buffer_->GetLine(line_, text, true); }

bool TEditPos::PlaceExactly(int64_t offset) {
  SetPos(offset);
  if (invalid_) return false;
  if (position_ == offset) return true;
  int32_t line, column;
  if (!buffer_->FindLine(static_cast<int32_t>(offset), line, column) ||
      column != buffer_->LineTextLength(line) + 1 || buffer_->LineLength(line) != column + 1)
    return false;
  buffer_->separateLineEnd(line);
  TChangeInfo change;
  change.Position = static_cast<int32_t>(offset);
  change.Line = line;
  change.LineDelta = 1;
  report(change);
  SetPos(offset);
  return !invalid_ && position_ == offset;
}

void TEditPos::report(TChangeInfo& change) {
  reporting_ = true;
  try {
    buffer_->NotifyChange(change);
  } catch (...) {
    reporting_ = false;
    throw;
  }
  reporting_ = false;
}

bool TEditPos::InsertText(std::string_view text) {
  if (text.empty()) return true;
  if (invalid_ || position_ < 0) return false;
  const int32_t count = buffer_->LineCount();
  if (line_ < 0 || line_ > count || (line_ == count && !isOpenPosition(line_))) return false;
  buffer_->checkGrowth(static_cast<int64_t>(text.size()));

  const int32_t n = static_cast<int32_t>(text.size());
  const int32_t start = static_cast<int32_t>(position_);
  const int32_t startLine = line_;
  int32_t linesAdded = 0;
  size_t p = 0;
  while (p < text.size()) {
    const size_t q = text.find_first_of("\r\n", p);
    const size_t end = q == std::string_view::npos ? text.size() : q;
    if (end > p) {
      buffer_->insertChars(line_, column_, text.data() + p, static_cast<int32_t>(end - p));
      column_ += static_cast<int32_t>(end - p);
    }
    if (q == std::string_view::npos) break;
    const TLineEndKind kind = RecogniseLineEnd(text.data() + q, q + 1 < text.size());
    buffer_->insertLineEnd(line_, column_, kind);
    ++linesAdded;
    ++line_;
    column_ = 0;
    p = q + static_cast<size_t>(LineEndLength(kind));
  }
  position_ = static_cast<int64_t>(start) + n;
  invalid_ = false;

  if (undo_) {
    const bool typed = n == 1 || (n == 2 && (text[0] == '\r' || text[0] == '\n') && (text[1] == '\r' || text[1] == '\n'));
    undo_->Record(typed ? ukTyped : ukInsert, start, {}, text);
  } else {
    buffer_->ClearUndo();
  }
  TChangeInfo change;
  change.Position = start;
  change.Line = startLine;
  change.CharDelta = n;
  change.LineDelta = linesAdded;
  report(change);
  return true;
}

bool TEditPos::DeleteText(int32_t count) {
  if (invalid_ || count <= 0 || position_ < 0) return false;
  const int32_t total = buffer_->TotalLength();
  if (position_ >= total) return false;
  count = static_cast<int32_t>(std::min<int64_t>(count, total - position_));
  std::string removed;
  // The log must hold what goes; text that cannot be read is not deleted.
  if (undo_ && !buffer_->GetTextRange(static_cast<int32_t>(position_), count, removed)) return false;

  int32_t linesRemoved = 0;
  const int32_t deleted = buffer_->deleteChars(line_, column_, count, linesRemoved);
  if (deleted == 0 && linesRemoved == 0) return false;
  if (undo_) {
    removed.resize(static_cast<size_t>(deleted));
    undo_->Record(ukDelete, static_cast<int32_t>(position_), {}, removed);
  } else {
    buffer_->ClearUndo();
  }
  TChangeInfo change;
  change.Position = static_cast<int32_t>(position_);
  change.Line = line_;
  change.CharDelta = -deleted;
  change.LineDelta = -linesRemoved;
  report(change);
  SyncLine();
  return true;
}

bool TEditPos::ReplaceText(int32_t count, std::string_view text) {
  if (count == 0 && text.empty()) return true;
  if (invalid_) return false;
  buffer_->BeginUpdate();
  bool ok = true;
  try {
    const int64_t start = position_;
    if (count > 0) ok = DeleteText(count);
    if (ok && !text.empty()) {
      SetPos(start);
      ok = !invalid_ && InsertText(text);
    }
  } catch (...) {
    buffer_->EndUpdate();
    throw;
  }
  buffer_->EndUpdate();
  return ok;
}

void TEditPos::BufferChanged(TEditBuffer* sender, const TChangeInfo* change) {
  if (reporting_ || sender != buffer_ || !change) return;
  if (change->CharDelta != 0 && position_ >= change->Position) {
    const int64_t deletedEnd = static_cast<int64_t>(change->Position) - change->CharDelta;
    if (change->CharDelta < 0 && position_ < deletedEnd)
      position_ = change->Position;  // inside the deleted range: to its start
    else
      position_ += change->CharDelta;
  }
  position_ = std::clamp<int64_t>(position_, 0, buffer_->TotalLength());
  int32_t line, column;
  if (PosToLineCol(position_, line, column)) {
    line_ = line;
    column_ = column;
  } else if (change->LineDelta != 0 && line_ >= change->Line) {
    line_ = std::max(change->Line, line_ + change->LineDelta);
  }
}
