#include "textbuf/LineChunks.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "util/DataAllocator.h"

namespace linechunks {
namespace {

// A text chunk holds its characters, a zero byte and up to 7 spare bytes,
// plus whatever more room the arena grants; appends may fill that room.
size_t textAllocSize(int32_t n) { return TLineChunk::kTextOffset + ((static_cast<size_t>(n) + 8) & ~size_t(7)); }

int32_t textRoom(const TDataAllocator& arena, const TLineChunk* c) {
  size_t usable = arena.UsableSize(c) - TLineChunk::kTextOffset - 1;  // the zero byte stays
  return static_cast<int32_t>(std::min<size_t>(usable, 0xFFFF));
}

TLineChunk* newChunk(TDataAllocator& arena, size_t size, TChunkKind kind, uint16_t length) {
  auto* c = static_cast<TLineChunk*>(arena.Alloc(size));
  c->next = nullptr;
  c->kind = kind;
  c->flags = 0;
  c->length = length;
  return c;
}

// Unlinks cur (whose predecessor is prev, nullptr for the first chunk).
void unlink(TLineRec* rec, TLineChunk* prev, TLineChunk* cur) {
  if (prev)
    prev->next = cur->next;
  else
    rec->first = cur->next;
}

// Splits a text or blank chunk at the inner offset k; prev is the chunk
// before it. Answers the first part, which may have moved: a text chunk whose
// tail is large enough gets an allocation that fits its remaining head.
TLineChunk* splitChunk(TDataAllocator& arena, TLineRec* rec, TLineChunk* prev, TLineChunk* c, int32_t k) {
  assert(k > 0 && k < c->length);
  int32_t rest = c->length - k;
  TLineChunk* tail;
  if (c->kind == ckSpaces) {
    tail = NewSpaces(arena, rest);
  } else {
    tail = NewText(arena, c->Text() + k, rest);
  }
  tail->next = c->next;
  c->next = tail;
  c->length = static_cast<uint16_t>(k);
  if (c->kind == ckText) {
    c->Text()[k] = 0;
    if (rest > 15 && arena.UsableSize(c) > textAllocSize(k)) {
      TLineChunk* head = NewText(arena, c->Text(), k);
      head->next = tail;
      if (prev)
        prev->next = head;
      else
        rec->first = head;
      arena.Free(c);
      c = head;
    }
  }
  return c;
}

// Finds the place for column col: the last chunk with a length that ends at
// col (nullptr when col is 0), splitting the chunk that col falls inside.
// Tags standing at col come after the answered chunk.
TLineChunk* chunkEndingAt(TDataAllocator& arena, TLineRec* rec, int32_t col) {
  TLineChunk* prev = nullptr;  // the chunk before cur in the chain
  TLineChunk* answer = nullptr;
  TLineChunk* cur = rec->first;
  int32_t pos = 0;
  while (pos < col) {
    assert(cur && cur->kind != ckLineEnd);
    if (cur->length > 0) {
      if (pos + cur->length > col) return splitChunk(arena, rec, prev, cur, col - pos);
      pos += cur->length;
      answer = cur;
    }
    prev = cur;
    cur = cur->next;
  }
  return answer;
}

}  // namespace

TLineRec* NewLine(TDataAllocator& arena) {
  auto* rec = static_cast<TLineRec*>(arena.Alloc(sizeof(TLineRec)));
  rec->first = nullptr;
  rec->length = 0;
  rec->tag = kLineRecTag;
  return rec;
}

void ReleaseTagValue(TLineChunk* chunk) {
  if (chunk->kind != ckTag || !(chunk->flags & kTagOwnsValue)) return;
  chunk->flags &= static_cast<uint8_t>(~kTagOwnsValue);
  auto* object = reinterpret_cast<TLineTagObject*>(reinterpret_cast<TLineTagChunk*>(chunk)->tag.value);
  try {
    if (object && !object->TagOwnerRelease()) delete object;
  } catch (...) {
    // An owned object that fails to go away must not stop the edit.
  }
}

void FreeChunk(TDataAllocator& arena, TLineChunk* chunk) {
  ReleaseTagValue(chunk);
  arena.Free(chunk);
}

void FreeLine(TDataAllocator& arena, TLineRec* rec) {
  TLineChunk* c = rec->first;
  while (c) {
    TLineChunk* next = c->next;
    FreeChunk(arena, c);
    c = next;
  }
  rec->tag = 0;
  arena.Free(rec);
}

TLineChunk* NewText(TDataAllocator& arena, const char* text, int32_t n) {
  assert(n >= 0 && n <= 0xFFFF);
  TLineChunk* c = newChunk(arena, textAllocSize(n), ckText, static_cast<uint16_t>(n));
  std::memcpy(c->Text(), text, static_cast<size_t>(n));
  c->Text()[n] = 0;
  return c;
}

TLineChunk* NewSpaces(TDataAllocator& arena, int32_t n) {
  assert(n > 0 && n <= kMaxSpacesRun);
  return newChunk(arena, sizeof(TLineChunk), ckSpaces, static_cast<uint16_t>(n));
}

TLineChunk* NewLineEnd(TDataAllocator& arena, TLineEndKind kind) {
  TLineChunk* c = newChunk(arena, sizeof(TLineChunk), ckLineEnd, static_cast<uint16_t>(LineEndLength(kind)));
  c->flags = kind;
  return c;
}

TLineChunk* NewTag(TDataAllocator& arena, intptr_t value, uint16_t key, bool ownsValue) {
  auto* t = static_cast<TLineTagChunk*>(arena.Alloc(sizeof(TLineTagChunk)));
  t->header.next = nullptr;
  t->header.kind = ckTag;
  t->header.flags = ownsValue ? kTagOwnsValue : 0;
  t->header.length = 0;
  t->tag.value = value;
  t->tag.key = key;
  return &t->header;
}

TLineChunk* LastChunk(const TLineRec* rec) {
  TLineChunk* c = rec->first;
  if (!c) return nullptr;
  while (c->next) c = c->next;
  return c;
}

int LineEndOf(const TLineRec* rec) {
  const TLineChunk* last = LastChunk(rec);
  return last && last->kind == ckLineEnd ? (last->flags & 3) : -1;
}

TLineChunk* LinkAfter(TLineRec* rec, TLineChunk* tail, TLineChunk* chunk) {
  if (tail) {
    chunk->next = tail->next;
    tail->next = chunk;
  } else {
    chunk->next = rec->first;
    rec->first = chunk;
  }
  return chunk;
}

TLineChunk* AppendContent(TDataAllocator& arena, TLineRec* rec, TLineChunk* tail, const char* p, int32_t n) {
  rec->length += n;
  while (n > 0) {
    int32_t piece = std::min(n, kMaxChunkText);
    const char* q = p;
    int32_t left = piece;
    while (left > 0) {
      int32_t blanks = 0;
      while (blanks < left && q[blanks] == ' ') ++blanks;
      TLineChunk* c;
      if (blanks > 11 || blanks == left) {
        int32_t run = std::min(blanks, kMaxSpacesRun);
        c = NewSpaces(arena, run);
        q += run;
        left -= run;
      } else {
        int32_t len = left;
        if (left > 32) {
          bool blankTail = true;
          for (int32_t i = left - 32; i < left && blankTail; ++i) blankTail = q[i] == ' ';
          if (blankTail) {
            // The text ends at the last non-blank before the blank tail;
            // one exists, as the piece does not start with 12 blanks.
            len = left - 32;
            while (len > 0 && q[len - 1] == ' ') --len;
          }
        }
        c = NewText(arena, q, len);
        q += len;
        left -= len;
      }
      tail = LinkAfter(rec, tail, c);
    }
    p += piece;
    n -= piece;
  }
  return tail;
}

void InsertChars(TDataAllocator& arena, TLineRec* rec, int32_t col, const char* text, int32_t n) {
  if (n <= 0) return;
  TLineChunk* at = chunkEndingAt(arena, rec, col);
  if (at && at->kind == ckText && at->length + n <= textRoom(arena, at)) {
    std::memcpy(at->Text() + at->length, text, static_cast<size_t>(n));
    at->length = static_cast<uint16_t>(at->length + n);
    at->Text()[at->length] = 0;
  } else {
    for (int32_t done = 0; done < n;) {
      int32_t piece = std::min(n - done, kMaxChunkText);
      at = LinkAfter(rec, at, NewText(arena, text + done, piece));
      done += piece;
    }
  }
  rec->length += n;
}

TLineChunk* CutAt(TDataAllocator& arena, TLineRec* rec, int32_t col) {
  TLineChunk* at = chunkEndingAt(arena, rec, col);
  TLineChunk* chain;
  if (at) {
    chain = at->next;
    at->next = nullptr;
  } else {
    chain = rec->first;
    rec->first = nullptr;
  }
  rec->length = col;
  return chain;
}

void AppendChain(TLineRec* rec, TLineChunk* chain, int32_t chainLength) {
  TLineChunk* last = LastChunk(rec);
  assert(!last || last->kind != ckLineEnd);
  if (last)
    last->next = chain;
  else
    rec->first = chain;
  rec->length += chainLength;
}

bool DeleteRange(TDataAllocator& arena, TLineRec* rec, int32_t col, int32_t count) {
  const int32_t end = col + count;
  bool lostLineEnd = false;
  TLineChunk* prev = nullptr;
  TLineChunk* cur = rec->first;
  int32_t pos = 0;
  while (cur && pos <= end) {
    TLineChunk* next = cur->next;
    const int32_t len = cur->length;
    if (len == 0) {
      if (pos > col && pos < end) {
        unlink(rec, prev, cur);
        FreeChunk(arena, cur);
      } else {
        prev = cur;
      }
      cur = next;
      continue;
    }
    if (pos >= end) break;
    const int32_t a = std::max(pos, col), b = std::min(pos + len, end);
    if (a < b) {
      if (a == pos && b == pos + len) {
        if (cur->kind == ckLineEnd) lostLineEnd = true;
        unlink(rec, prev, cur);
        FreeChunk(arena, cur);
        pos += len;
        cur = next;
        continue;
      }
      if (cur->kind == ckText) {
        char* t = cur->Text();
        std::memmove(t + (a - pos), t + (b - pos), static_cast<size_t>(pos + len - b));
        cur->length = static_cast<uint16_t>(len - (b - a));
        t[cur->length] = 0;
      } else if (cur->kind == ckSpaces) {
        cur->length = static_cast<uint16_t>(len - (b - a));
      } else {
        // One character of a two-character line end goes: the other one
        // stays, as a line end of its own kind.
        std::string_view chars = LineEndStrings[cur->flags & 3];
        char kept = a == pos ? chars[1] : chars[0];
        cur->flags = SingleLineEnd(kept);
        cur->length = 1;
      }
    }
    pos += len;
    prev = cur;
    cur = next;
  }
  rec->length -= count;
  return lostLineEnd;
}

void ReadRange(const TLineRec* rec, int32_t from, int32_t count, char* dst) {
  const TLineChunk* c = rec->first;
  int32_t pos = 0;
  while (c && count > 0) {
    const int32_t len = c->length;
    if (pos + len > from) {
      int32_t skip = from - pos;
      int32_t take = std::min(len - skip, count);
      switch (c->kind) {
        case ckText:
          std::memcpy(dst, c->Text() + skip, static_cast<size_t>(take));
          break;
        case ckSpaces:
          std::memset(dst, ' ', static_cast<size_t>(take));
          break;
        case ckLineEnd:
          std::memcpy(dst, LineEndStrings[c->flags & 3].data() + skip, static_cast<size_t>(take));
          break;
        default:
          break;
      }
      dst += take;
      count -= take;
      from += take;
    }
    pos += len;
    c = c->next;
  }
}

void InsertTag(TDataAllocator& arena, TLineRec* rec, int32_t col, TLineChunk* tag) {
  TLineChunk* at = chunkEndingAt(arena, rec, col);
  TLineChunk* next = at ? at->next : rec->first;
  while (next && next->kind == ckTag) {
    at = next;
    next = next->next;
  }
  LinkAfter(rec, at, tag);
}

bool OnlyText(const TLineRec* rec) {
  for (const TLineChunk* c = rec->first; c; c = c->next)
    if (c->kind != ckText && c->kind != ckLineEnd) return false;
  return true;
}

bool RebuildAsOneText(TDataAllocator& arena, TLineRec* rec) {
  const int kind = LineEndOf(rec);
  const int32_t textLength = TextLength(rec);
  if (textLength > kMaxRebuildLength) return false;
  std::vector<char> text(static_cast<size_t>(textLength));
  ReadRange(rec, 0, textLength, text.data());
  TLineChunk* textChunk = textLength > 0 ? NewText(arena, text.data(), textLength) : nullptr;
  TLineChunk* lineEnd = kind >= 0 ? NewLineEnd(arena, static_cast<TLineEndKind>(kind)) : nullptr;
  for (TLineChunk* c = rec->first; c;) {
    TLineChunk* next = c->next;
    FreeChunk(arena, c);
    c = next;
  }
  rec->first = nullptr;
  TLineChunk* tail = nullptr;
  if (textChunk) tail = LinkAfter(rec, tail, textChunk);
  if (lineEnd) LinkAfter(rec, tail, lineEnd);
  return true;
}

void OverwriteChars(TLineRec* rec, int32_t col, const char* text, int32_t n, char* old) {
  int32_t pos = 0;
  for (TLineChunk* c = rec->first; c && n > 0; c = c->next) {
    const int32_t len = c->length;
    if (pos + len > col) {
      assert(c->kind == ckText);
      int32_t skip = col - pos;
      int32_t take = std::min(len - skip, n);
      std::memcpy(old, c->Text() + skip, static_cast<size_t>(take));
      std::memcpy(c->Text() + skip, text, static_cast<size_t>(take));
      old += take;
      text += take;
      n -= take;
      col += take;
    }
    pos += len;
  }
}

}  // namespace linechunks
