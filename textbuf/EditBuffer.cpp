#include "textbuf/EditBuffer.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/StringList.h"
#include "textbuf/EditPos.h"
#include "textbuf/TextUndo.h"
#include "util/DataAllocator.h"
#include "util/DiagLog.h"

namespace lc = linechunks;

namespace {

constexpr size_t kArenaPageSize = 0x10000;

// The first CR or LF in [p, end), or end. Sixteen bytes at a time: the load
// path scans every byte, and lines are long compared to their line ends.
const char* findLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i crs = _mm_set1_epi8('\r'), lfs = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, crs), _mm_cmpeq_epi8(v, lfs)));
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '\r' && *p != '\n') ++p;
  return p;
}

// The number of lines to make room for before a load: exact for texts with
// one kind of line end, a lower bound for mixed ones (the index then grows).
size_t estimateLineEnds(std::string_view text) {
  size_t crs = 0, lfs = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
#if defined(__SSE2__)
  // Byte counters (a match subtracts -1) summed up before they can overflow.
  const __m128i crv = _mm_set1_epi8('\r'), lfv = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i crAcc = zero, lfAcc = zero;
    for (int i = 0; i < 255 && end - p >= 16; ++i, p += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      crAcc = _mm_sub_epi8(crAcc, _mm_cmpeq_epi8(v, crv));
      lfAcc = _mm_sub_epi8(lfAcc, _mm_cmpeq_epi8(v, lfv));
    }
    const __m128i crSum = _mm_sad_epu8(crAcc, zero), lfSum = _mm_sad_epu8(lfAcc, zero);
    crs += static_cast<size_t>(_mm_cvtsi128_si64(crSum) + _mm_extract_epi16(crSum, 4));
    lfs += static_cast<size_t>(_mm_cvtsi128_si64(lfSum) + _mm_extract_epi16(lfSum, 4));
  }
#endif
  for (; p < end; ++p) {
    crs += *p == '\r';
    lfs += *p == '\n';
  }
  return std::max(crs, lfs);
}

}  // namespace

TEditBuffer::TEditBuffer(TTextEditor* owner)
    : owner_(owner), arena_(DsCreateDataAllocator(kArenaPageSize)) {
  undo_ = new TTextUndo();
  undo_->AddRef();
  appendLine(lc::NewLine(*arena_), 0);
}

TEditBuffer::~TEditBuffer() {
  MarkDestroying();
  handlers_.clear();
  if (hasOwnedTags_) releaseOwnedTags();
  index_.Clear();
  if (undo_) undo_->Release();
  undo_ = nullptr;
  markers_.reset();
  arena_.reset();
}

// ---- notification -----------------------------------------------------------

void TEditBuffer::AddChangeHandler(TBufferChangeHandler* handler) {
  if (handler) handlers_.push_back(handler);
}

void TEditBuffer::RemoveChangeHandler(TBufferChangeHandler* handler) {
  auto it = std::find(handlers_.begin(), handlers_.end(), handler);
  if (it == handlers_.end()) return;
  if (notifyDepth_ > 0)
    *it = nullptr;  // the running notification skips it; swept afterwards
  else
    handlers_.erase(it);
}

void TEditBuffer::callHandlers(const TChangeInfo* change) {
  ++notifyDepth_;
  // Handlers added during the call are not called for this change.
  const size_t count = handlers_.size();
  for (size_t i = 0; i < count; ++i) {
    TBufferChangeHandler* handler = handlers_[i];
    if (!handler) continue;
    try {
      handler->BufferChanged(this, change);
    } catch (...) {
      // A handler's failure must not reach the code that changed the text.
      LogException(nullptr, "TEditBuffer.NotifyChange");
    }
  }
  if (--notifyDepth_ == 0) handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), nullptr), handlers_.end());
}

void TEditBuffer::NotifyChange(TChangeInfo& change) {
  if (change.CharDelta == 0 && change.LineDelta == 0) return;
  modified_ = true;
  if (updateDepth_ > 0) {
    change.Deferred = true;
    if (change.CharDelta != 0) pendingChars_ = true;
    if (change.LineDelta != 0) pendingLines_ = true;
  } else {
    change.Deferred = false;
  }
  if (markers_ && change.CharDelta != 0) {
    try {
      markers_->ShiftMarkers(change.CharDelta, change.Position);
    } catch (...) {
      LogException(nullptr, "TEditBuffer.ShiftMarkers");
    }
  }
  callHandlers(&change);
}

void TEditBuffer::EndUpdate() {
  if (updateDepth_ <= 0) return;
  if (--updateDepth_ > 0) return;
  if (pendingChars_ || pendingLines_) {
    pendingChars_ = pendingLines_ = false;
    callHandlers(nullptr);
  }
}

// ---- reading ----------------------------------------------------------------

const TLineRec* TEditBuffer::LineRecord(int32_t line) const {
  return line >= 0 && line < LineCount() ? rec(line) : nullptr;
}

int32_t TEditBuffer::LineStart(int32_t line) const {
  return line >= 0 && line <= LineCount() ? index_.Start(line) : 0;
}

int32_t TEditBuffer::LineLength(int32_t line) const {
  return line >= 0 && line < LineCount() ? rec(line)->length : 0;
}

int32_t TEditBuffer::LineTextLength(int32_t line) const {
  return line >= 0 && line < LineCount() ? lc::TextLength(rec(line)) : 0;
}

int TEditBuffer::LineEndOf(int32_t line) const {
  return line >= 0 && line < LineCount() ? lc::LineEndOf(rec(line)) : -1;
}

bool TEditBuffer::EndsWithLineEnd() const { return LineCount() > 0 && lc::LineEndOf(rec(LineCount() - 1)) >= 0; }

bool TEditBuffer::GetLine(int32_t line, std::string& text, bool withLineEnd) const {
  text.clear();
  const TLineRec* r = LineRecord(line);
  if (!r || r->tag != kLineRecTag) return false;
  const int32_t n = withLineEnd ? r->length : lc::TextLength(r);
  // Fast path: one text chunk, then at most the line end.
  const TLineChunk* first = r->first;
  if (first && first->kind == ckText && first->length >= n) {
    text.assign(first->Text(), static_cast<size_t>(n));
    return true;
  }
  text.resize(static_cast<size_t>(n));
  lc::ReadRange(r, 0, n, text.data());
  return true;
}

bool TEditBuffer::FindLine(int32_t offset, int32_t& line, int32_t& column) const {
  const int32_t count = LineCount();
  if (count == 0) return false;
  if (offset <= 0) {
    line = 0;
    column = 0;
    return offset == 0;
  }
  if (offset >= TotalLength()) {
    const int32_t last = count - 1;
    const int32_t start = index_.Start(last);
    if (offset - start > rec(last)->length) return false;
    line = last;
    column = offset - start;
    return true;
  }
  // The line found last, or the one after it (reading on), answer most
  // requests; the others search the offset table.
  int32_t found = -1;
  const int32_t cached = cachedLine_;
  if (cached >= 0 && cached < count) {
    const int32_t start = index_.Start(cached);
    if (offset >= start) {
      const int32_t next = start + rec(cached)->length;
      if (offset < next)
        found = cached;
      else if (cached + 1 < count && offset < next + rec(cached + 1)->length)
        found = cached + 1;
    }
  }
  if (found < 0) found = index_.LineOf(offset);
  cachedLine_ = found;
  line = found;
  column = offset - index_.Start(found);
  return true;
}

void TEditBuffer::readRange(int32_t offset, int32_t count, char* dst) const {
  int32_t line, column;
  if (count <= 0 || !FindLine(offset, line, column)) return;
  while (count > 0 && line < LineCount()) {
    const TLineRec* r = rec(line);
    const int32_t take = std::min(count, r->length - column);
    if (take > 0) {
      lc::ReadRange(r, column, take, dst);
      dst += take;
      count -= take;
    }
    ++line;
    column = 0;
  }
}

bool TEditBuffer::GetTextRange(int32_t offset, int32_t count, std::string& text) const {
  text.clear();
  int32_t line, column;
  if (!FindLine(offset, line, column)) return false;
  if (count <= 0) return count == 0;
  const int32_t n = std::min(count, TotalLength() - offset);
  text.resize(static_cast<size_t>(std::max(n, 0)));
  readRange(offset, n, text.data());
  return true;
}

bool TEditBuffer::GetAllText(std::string& text, int flags) const {
  text.clear();
  if (LineCount() == 0) return false;
  text.resize(static_cast<size_t>(TotalLength()) + ((flags & gtEnsureLineEnds) ? 2 : 0));
  char* const begin = text.data();
  char* p = begin;
  index_.ForEach([&](const TLineRec* r) {
    char* lineStart = p;
    const TLineChunk* c = r->first;
    for (; c && c->kind != ckLineEnd; c = c->next) {
      if (c->kind == ckText) {
        std::memcpy(p, c->Text(), c->length);
        p += c->length;
      } else if (c->kind == ckSpaces) {
        std::memset(p, ' ', c->length);
        p += c->length;
      }
    }
    if (flags & gtTrimTrailing)
      while (p > lineStart && static_cast<unsigned char>(p[-1]) < 33) --p;
    if (c) {
      std::string_view lineEnd = LineEndStrings[c->flags & 3];
      std::memcpy(p, lineEnd.data(), lineEnd.size());
      p += lineEnd.size();
    } else if (flags & gtEnsureLineEnds) {
      *p++ = '\r';
      *p++ = '\n';
    }
  });
  text.resize(static_cast<size_t>(p - begin));
  return true;
}

std::string TEditBuffer::GetAllText(int flags) const {
  std::string text;
  GetAllText(text, flags);
  return text;
}

// ---- writing ----------------------------------------------------------------

namespace {
[[noreturn]] void refuseTextSize(int64_t size) {
  throw Exception(Format("The text is too large to edit: %d MB; the limit is 2047 MB.", static_cast<int>(size >> 20)));
}
bool isOutOfMemory(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return true;
  } catch (...) {
  }
  return false;
}
}  // namespace

void TEditBuffer::checkGrowth(int64_t added) const {
  const int64_t size = static_cast<int64_t>(TotalLength()) + added;
  if (size > kMaxTextLength) refuseTextSize(size);
}

void TEditBuffer::appendLine(TLineRec* r, int32_t length) { index_.AppendLine(length, r); }

void TEditBuffer::SetText(std::string_view text) {
  if (static_cast<int64_t>(text.size()) > kMaxTextLength) refuseTextSize(static_cast<int64_t>(text.size()));
  BeginUpdate();
  try {
    ClearText(text.empty());
    AppendText(text);
  } catch (...) {
    // A load that failed half-way (out of memory) must not leave part of the
    // text behind as a modified document, which a save would write over the
    // file: the buffer is left empty and unmodified.
    const bool outOfMemory = isOutOfMemory(std::current_exception());
    try {
      ClearText(true);
    } catch (...) {
    }
    modified_ = false;
    EndUpdate();
    if (outOfMemory)
      throw Exception(Format("Not enough memory to load the text (%d MB).", static_cast<int>(text.size() >> 20)));
    throw;
  }
  modified_ = false;
  EndUpdate();
}

void TEditBuffer::AppendText(std::string_view text) {
  if (text.empty()) return;
  checkGrowth(static_cast<int64_t>(text.size()));
  const size_t lineEnds = estimateLineEnds(text);
  index_.Reserve(static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(LineCount()) + lineEnds + 4, INT32_MAX)));

  TChangeInfo change;
  change.Position = TotalLength();
  change.Line = LineCount();
  change.CharDelta = static_cast<int32_t>(text.size());

  // The line the text continues: a new one after a final line end, line 0 of
  // an empty index (not counted as added), or the last line.
  int32_t lineIndex;
  TLineRec* r;
  int32_t oldLength = 0;
  bool isNew;
  if (LineCount() == 0) {
    r = lc::NewLine(*arena_);
    appendLine(r, 0);
    lineIndex = 0;
    isNew = false;
  } else if (EndsWithLineEnd()) {
    // The text may complete a CR LF or LF CR that the previous append cut in
    // two (a pipe or a growing file is read in arbitrary pieces): then it is
    // one line end, as a load of the whole text makes it.
    const int32_t last = LineCount() - 1;
    TLineRec* lastRec = rec(last);
    TLineChunk* lineEnd = lc::LastChunk(lastRec);
    const char first = LineEndStrings[lineEnd->flags & 3][0];
    if (lineEnd->length == 1 && (text[0] == '\r' || text[0] == '\n') && text[0] != first) {
      lineEnd->flags = first == '\r' ? leCRLF : leLFCR;
      lineEnd->length = 2;
      lastRec->length += 1;
      index_.Shift(last, 1);
      text.remove_prefix(1);
      if (text.empty()) {
        NotifyChange(change);
        return;
      }
    }
    r = lc::NewLine(*arena_);
    lineIndex = -1;
    isNew = true;
  } else {
    lineIndex = LineCount() - 1;
    r = rec(lineIndex);
    oldLength = r->length;
    isNew = false;
  }
  resetCache();
  TLineChunk* tail = lc::LastChunk(r);

  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    const char* q = findLineEnd(p, end);
    if (q > p) tail = lc::AppendContent(*arena_, r, tail, p, static_cast<int32_t>(q - p));
    if (q < end) {
      const TLineEndKind kind = RecogniseLineEnd(q, q + 1 < end);
      tail = lc::LinkAfter(r, tail, lc::NewLineEnd(*arena_, kind));
      r->length += LineEndLength(kind);
      p = q + LineEndLength(kind);
    } else {
      p = end;
    }
    if (isNew) {
      appendLine(r, r->length);
      ++change.LineDelta;
    } else {
      index_.Shift(lineIndex, r->length - oldLength);
    }
    if (p >= end) break;
    r = lc::NewLine(*arena_);
    tail = nullptr;
    isNew = true;
  }
  NotifyChange(change);
}

void TEditBuffer::releaseOwnedTags() {
  index_.ForEach([](TLineRec* r) {
    for (TLineChunk* c = r->first; c; c = c->next) lc::ReleaseTagValue(c);
  });
  hasOwnedTags_ = false;
}

void TEditBuffer::ClearText(bool keepLine) {
  TChangeInfo change;
  change.Position = TotalLength();
  change.Line = LineCount();
  change.CharDelta = -TotalLength();
  change.LineDelta = -LineCount();
  if (hasOwnedTags_) releaseOwnedTags();
  // Records and chunks go with their arena at once.
  index_.Clear();
  resetCache();
  arena_ = DsCreateDataAllocator(kArenaPageSize);
  if (markers_) {
    try {
      markers_->ClearMarkers();
    } catch (...) {
      LogException(nullptr, "TEditBuffer.ClearMarkers");
    }
  }
  NotifyChange(change);
  if (keepLine) appendLine(lc::NewLine(*arena_), 0);
  ClearUndo();
}

bool TEditBuffer::OverwriteText(int32_t offset, std::string_view text, bool recordUndo) {
  int32_t line, column;
  if (!FindLine(offset, line, column)) return false;
  if (text.empty()) return true;
  // The undo record keeps a 16-bit length; a longer overwrite is left to a
  // deletion and an insertion. Line ends cannot be written into text chunks.
  if (text.size() > 0xFFFF || text.find_first_of("\r\n") != std::string_view::npos) return false;
  const int32_t n = static_cast<int32_t>(text.size());
  TLineRec* r = rec(line);
  const int32_t textLength = lc::TextLength(r);
  if (column + n > textLength) return false;
  if (!lc::OnlyText(r) && !lc::RebuildAsOneText(*arena_, r)) return false;
  std::string old(static_cast<size_t>(n), '\0');
  lc::OverwriteChars(r, column, text.data(), n, old.data());
  if (recordUndo && undo_) undo_->Record(ukOverwrite, offset, old, text);
  return true;
}

void TEditBuffer::SetLineEnds(std::string_view lineEnd) {
  int kind = -1;
  for (int k = 0; k < 4; ++k)
    if (lineEnd == LineEndStrings[k]) kind = k;
  if (kind < 0) return;
  const int32_t newLength = LineEndLength(kind);
  bool changed = false;
  BeginUpdate();
  for (int32_t i = 0; i < LineCount(); ++i) {
    TLineRec* r = rec(i);
    TLineChunk* last = lc::LastChunk(r);
    if (!last || last->kind != ckLineEnd || (last->flags & 3) == kind) continue;
    const int32_t oldLength = last->length;
    last->flags = static_cast<uint8_t>(kind);
    last->length = static_cast<uint16_t>(newLength);
    changed = true;
    // The change lies after the characters the two line ends share in
    // length: a position at the end of the line's text stays there, one at
    // the next line's start moves with it, and none lands inside the line end.
    TChangeInfo change;
    change.Position = index_.Start(i) + r->length - oldLength + std::min(oldLength, newLength);
    change.Line = i;
    change.CharDelta = newLength - oldLength;
    if (change.CharDelta != 0) {
      r->length += change.CharDelta;
      index_.Shift(i, change.CharDelta);
    }
    NotifyChange(change);
  }
  EndUpdate();
  if (changed) {
    modified_ = true;
    // The lengths changed without records: the log's offsets no longer fit.
    ClearUndo();
  }
}

bool TEditBuffer::EnsureLineEnd(TTextEditor* editor, int32_t line) {
  if (line < 0 || line >= LineCount()) return false;
  if (LineEndOf(line) >= 0) return true;
  int kind = line > 0 ? LineEndOf(line - 1) : -1;
  if (kind < 0) kind = leCRLF;
  TEditPos pos(this, editor);
  pos.SetPos(static_cast<int64_t>(LineStart(line)) + LineTextLength(line));
  if (!pos.Invalid()) pos.InsertText(LineEndStrings[kind]);
  return false;
}

// ---- line operations for edit positions ----------------------------------------

TLineRec* TEditBuffer::lineForInsert(int32_t line) {
  if (line < LineCount()) return rec(line);
  TLineRec* r = lc::NewLine(*arena_);
  if (LineCount() == 0)
    appendLine(r, 0);
  else
    index_.InsertLine(LineCount(), TotalLength(), r);
  resetCache();
  return r;
}

void TEditBuffer::insertChars(int32_t line, int32_t column, const char* text, int32_t n) {
  TLineRec* r = lineForInsert(line);
  lc::InsertChars(*arena_, r, column, text, n);
  index_.Shift(line, n);
}

bool TEditBuffer::insertLineEnd(int32_t line, int32_t column, TLineEndKind kind) {
  TLineRec* r = lineForInsert(line);
  const int32_t length = LineEndLength(kind);
  const bool hasLineEnd = lc::LineEndOf(r) >= 0;
  if (!hasLineEnd && column >= lc::TextLength(r)) {
    lc::LinkAfter(r, lc::LastChunk(r), lc::NewLineEnd(*arena_, kind));
    r->length += length;
    index_.Shift(line, length);
    return false;
  }
  // Split: the part from the column on, with the old line end, becomes the
  // next line; this one ends with the new line end.
  const int32_t oldLength = r->length;
  TLineRec* next = lc::NewLine(*arena_);
  next->first = lc::CutAt(*arena_, r, column);
  next->length = oldLength - column;
  lc::LinkAfter(r, lc::LastChunk(r), lc::NewLineEnd(*arena_, kind));
  r->length += length;
  index_.Shift(line, length);
  index_.InsertLine(line + 1, index_.Start(line) + r->length, next);
  resetCache();
  return true;
}

void TEditBuffer::separateLineEnd(int32_t line) {
  TLineRec* r = rec(line);
  TLineChunk* last = lc::LastChunk(r);
  if (!last || last->kind != ckLineEnd || last->length != 2) return;
  const std::string_view chars = LineEndStrings[last->flags & 3];
  last->flags = SingleLineEnd(chars[0]);
  last->length = 1;
  r->length -= 1;
  TLineRec* next = lc::NewLine(*arena_);
  lc::LinkAfter(next, nullptr, lc::NewLineEnd(*arena_, SingleLineEnd(chars[1])));
  next->length = 1;
  // The total stays: the line's last character now starts the new line.
  index_.InsertLine(line + 1, index_.Start(line) + r->length, next);
  resetCache();
}

int32_t TEditBuffer::deleteChars(int32_t line, int32_t column, int32_t count, int32_t& linesRemoved) {
  if (line < 0 || line >= LineCount() || count <= 0) return 0;
  // Lines are counted as positions see them: every record, and the open
  // line after a final line end, which goes when that line end goes. Only a
  // deletion reaching into the last line can change the final line end.
  const int32_t recordsBefore = LineCount();
  const bool reachesLastLine = static_cast<int64_t>(index_.Start(line)) + column + count > index_.Start(LineCount() - 1);
  const bool endedWithLineEnd = reachesLastLine && EndsWithLineEnd();
  TLineRec* r = rec(line);
  int32_t deleted = std::min(count, r->length - column);
  bool lostLineEnd = false;
  if (deleted > 0) {
    lostLineEnd = lc::DeleteRange(*arena_, r, column, deleted);
    index_.Shift(line, -deleted);
  } else {
    deleted = 0;
  }
  int32_t remaining = count - deleted;

  // Lines covered in full go at once.
  int32_t whole = 0;
  int32_t wholeLength = 0;
  while (remaining > 0 && line + 1 + whole < LineCount() && rec(line + 1 + whole)->length <= remaining) {
    remaining -= rec(line + 1 + whole)->length;
    wholeLength += rec(line + 1 + whole)->length;
    ++whole;
  }
  if (whole > 0) {
    for (int32_t i = 0; i < whole; ++i) lc::FreeLine(*arena_, rec(line + 1 + i));
    index_.RemoveLines(line + 1, whole);
    index_.Shift(line, -wholeLength);
    deleted += wholeLength;
    resetCache();
  }
  if (remaining > 0 && line + 1 < LineCount()) {
    lc::DeleteRange(*arena_, rec(line + 1), 0, remaining);
    index_.Shift(line + 1, -remaining);
    deleted += remaining;
  }
  if (lostLineEnd && line + 1 < LineCount()) {
    TLineRec* next = rec(line + 1);
    lc::AppendChain(r, next->first, next->length);
    next->first = nullptr;
    lc::FreeLine(*arena_, next);
    index_.RemoveLines(line + 1, 1);
    resetCache();
  }
  // A last line emptied after a line end becomes the open position again, as
  // a loaded text has it; an empty record there would read as one more line
  // (one more line end when saved, one more string when listed). Tags left
  // on it go with it, as with every line that a deletion removes.
  const int32_t last = LineCount() - 1;
  if (last > 0 && rec(last)->length == 0) {
    lc::FreeLine(*arena_, rec(last));
    index_.RemoveLines(last, 1);
    resetCache();
  }
  const bool endsWithLineEnd = reachesLastLine && EndsWithLineEnd();
  linesRemoved += recordsBefore - LineCount() + (endedWithLineEnd ? 1 : 0) - (endsWithLineEnd ? 1 : 0);
  return deleted;
}

// ---- string lists -----------------------------------------------------------------

void TEditBuffer::AssignFromStrings(const TStrings& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    text += list.Get(i);
    text += "\r\n";
  }
  SetText(text);
}

void TEditBuffer::AssignToStrings(TStrings& list) const {
  list.BeginUpdate();
  try {
    list.Clear();
    std::string line;
    for (int32_t i = 0; i < LineCount(); ++i) {
      GetLine(i, line, true);
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      list.Add(line);
    }
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

// ---- undo ---------------------------------------------------------------------------

bool TEditBuffer::CanUndo() const { return undo_ && undo_->CanUndo(); }
bool TEditBuffer::CanRedo() const { return undo_ && undo_->CanRedo(); }

void TEditBuffer::ClearUndo() {
  if (undo_) undo_->ClearUndo();
}

bool TEditBuffer::Undo(TTextEditor* editor, int32_t& start, int32_t& length) {
  if (!CanUndo()) return false;
  TEditPos pos(this, editor);
  return undo_->Replay(pos, -1, start, length);
}

bool TEditBuffer::Redo(TTextEditor* editor, int32_t& start, int32_t& length) {
  if (!CanRedo()) return false;
  TEditPos pos(this, editor);
  return undo_->Replay(pos, +1, start, length);
}

// ---- line tags ------------------------------------------------------------------------

bool TEditBuffer::AddLineTag(int32_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key) {
  if (line < 0 || line >= LineCount() || offset < 0) return false;
  TLineRec* r = rec(line);
  if (offset > lc::TextLength(r)) return false;
  lc::InsertTag(*arena_, r, offset, lc::NewTag(*arena_, value, key, ownsValue));
  if (ownsValue) hasOwnedTags_ = true;
  return true;
}

intptr_t TEditBuffer::FindLineTag(int32_t line, int32_t& offset, uint16_t key) const {
  const TLineRec* r = LineRecord(line);
  if (!r) return 0;
  int32_t pos = 0;
  for (const TLineChunk* c = r->first; c; c = c->next) {
    if (c->kind == ckTag && (offset == -1 || pos == offset)) {
      const auto* t = reinterpret_cast<const TLineTagChunk*>(c);
      if (key == 0 || t->tag.key == key) {
        offset = pos;
        return t->tag.value;
      }
    }
    pos += c->length;
    if (offset != -1 && pos > offset) break;
  }
  return 0;
}

int32_t TEditBuffer::FindTaggedLine(intptr_t value, uint16_t key, int32_t first, int32_t last) const {
  if (LineCount() == 0) return -1;
  first = std::clamp(first, 0, LineCount() - 1);
  last = std::clamp(last, 0, LineCount() - 1);
  const int32_t step = last < first ? -1 : 1;
  for (int32_t i = first;; i += step) {
    for (const TLineChunk* c = rec(i)->first; c; c = c->next) {
      if (c->kind != ckTag) continue;
      const auto* t = reinterpret_cast<const TLineTagChunk*>(c);
      if ((value == 0 || t->tag.value == value) && (key == 0 || t->tag.key == key)) return i;
    }
    if (i == last) break;
  }
  return -1;
}

bool TEditBuffer::RemoveLineTags(int32_t line, uint16_t key, intptr_t value, int32_t offset) {
  if (line < 0 || line >= LineCount()) return false;
  TLineRec* r = rec(line);
  bool removed = false;
  int32_t pos = 0;
  TLineChunk* prev = nullptr;
  for (TLineChunk* c = r->first; c;) {
    TLineChunk* next = c->next;
    if (c->kind == ckTag && (offset == -1 || pos == offset)) {
      const auto* t = reinterpret_cast<const TLineTagChunk*>(c);
      if ((key == 0 || t->tag.key == key) && (value == 0 || t->tag.value == value)) {
        if (prev)
          prev->next = next;
        else
          r->first = next;
        lc::FreeChunk(*arena_, c);
        removed = true;
        if (value != 0) break;
        c = next;
        continue;
      }
    }
    pos += c->length;
    prev = c;
    c = next;
  }
  return removed;
}

// ---- editors and markers ---------------------------------------------------------------

void TEditBuffer::AttachEditor(TTextEditor* editor) {
  if (editor && std::find(editors_.begin(), editors_.end(), editor) == editors_.end()) editors_.push_back(editor);
}

void TEditBuffer::DetachEditor(TTextEditor* editor) {
  editors_.erase(std::remove(editors_.begin(), editors_.end(), editor), editors_.end());
}

void TEditBuffer::SetMarkerList(std::unique_ptr<TBufferMarkers> markers) { markers_ = std::move(markers); }

// ---- inspection ------------------------------------------------------------------------

std::vector<TEditBuffer::TChunkInfo> TEditBuffer::LineChunks(int32_t line) const {
  std::vector<TChunkInfo> chunks;
  if (const TLineRec* r = LineRecord(line))
    for (const TLineChunk* c = r->first; c; c = c->next)
      chunks.push_back({static_cast<TChunkKind>(c->kind), c->length, c->kind == ckLineEnd ? (c->flags & 3) : -1});
  return chunks;
}

bool TEditBuffer::CheckIntegrity(std::string* fault) const {
  auto fail = [&](const std::string& what) {
    if (fault) *fault = what;
    return false;
  };
  if (index_.Count() != LineCount()) return fail("offset table and line index differ in length");
  int64_t total = 0;
  for (int32_t i = 0; i < LineCount(); ++i) {
    const TLineRec* r = rec(i);
    if (r->tag != kLineRecTag) return fail(Format("line %d: record without its tag", i));
    if (index_.Start(i) != total) return fail(Format("line %d: start %d, expected %d", i, index_.Start(i), static_cast<int>(total)));
    int32_t sum = 0;
    for (const TLineChunk* c = r->first; c; c = c->next) {
      if (c->kind == ckLineEnd && c->next) return fail(Format("line %d: line end is not the last chunk", i));
      if (c->kind == ckSpaces && (c->length == 0 || c->length > kMaxSpacesRun))
        return fail(Format("line %d: blank run of %d", i, static_cast<int>(c->length)));
      if (c->kind == ckLineEnd && c->length != LineEndLength(c->flags & 3))
        return fail(Format("line %d: line end length %d", i, static_cast<int>(c->length)));
      if (c->kind == ckText) {
        if (std::memchr(c->Text(), '\r', c->length) || std::memchr(c->Text(), '\n', c->length))
          return fail(Format("line %d: line end inside a text chunk", i));
        if (c->Text()[c->length] != 0) return fail(Format("line %d: text chunk without its zero byte", i));
      }
      sum += c->length;
    }
    if (sum != r->length) return fail(Format("line %d: length %d, chunks %d", i, r->length, sum));
    if (i + 1 < LineCount() && lc::LineEndOf(r) < 0) return fail(Format("line %d: no line end before the last line", i));
    total += r->length;
  }
  if (total != TotalLength()) return fail("total length differs from the sum of the lines");
  return true;
}

size_t TEditBuffer::MemoryUsed() const {
  return arena_->BytesReserved() + index_.MemoryUsed();
}
