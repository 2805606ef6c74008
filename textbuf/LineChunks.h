#pragma once
// One line of an edit buffer: a record and a singly linked chain of chunks
// taken from the buffer's arena. A chunk is a piece of text, a run of blanks
// kept as a count, a zero-length tag, or the line end, which is always the
// last chunk of its line. The functions here work on one line; the buffer
// keeps the lines, their offsets and the notifications.
#include <cstdint>
#include <cstring>
#include <string_view>

class TDataAllocator;

enum TLineEndKind : uint8_t { leCR = 0, leCRLF = 1, leLF = 2, leLFCR = 3 };

// The characters of the line ends, indexed by TLineEndKind.
inline constexpr std::string_view LineEndStrings[4] = {"\r", "\r\n", "\n", "\n\r"};
inline int32_t LineEndLength(int kind) { return static_cast<int32_t>(LineEndStrings[kind].size()); }

// The kind of the line end that starts at p (p[0] is CR or LF), given that
// p[1] exists when hasNext: CR LF and LF CR are one line end each.
inline TLineEndKind RecogniseLineEnd(const char* p, bool hasNext) {
  if (p[0] == '\r') return hasNext && p[1] == '\n' ? leCRLF : leCR;
  return hasNext && p[1] == '\r' ? leLFCR : leLF;
}

// The one-character kind of a single CR or LF.
inline TLineEndKind SingleLineEnd(char c) { return c == '\r' ? leCR : leLF; }

enum TChunkKind : uint8_t { ckLineEnd = 0, ckText = 1, ckSpaces = 2, ckTag = 16 };

// Flag of a tag chunk: its value is an object that the tag owns.
constexpr uint8_t kTagOwnsValue = 0x80;

// Text pieces are cut at this length when loaded or inserted, so a chunk's
// 16-bit length always leaves room for appending in place.
constexpr int32_t kMaxChunkText = 59392;
// The longest run of blanks one chunk stands for.
constexpr int32_t kMaxSpacesRun = 255;

struct TLineChunk {
  TLineChunk* next;
  uint8_t kind;
  uint8_t flags;   // line end: the TLineEndKind in the low two bits
  uint16_t length; // characters the chunk stands for (0 for a tag)
  // The characters of a text chunk start here, followed by a zero byte.
  char* Text() { return reinterpret_cast<char*>(this) + kTextOffset; }
  const char* Text() const { return reinterpret_cast<const char*>(this) + kTextOffset; }
  static constexpr size_t kTextOffset = 12;
};

// The payload of a tag chunk, behind its header.
struct TLineTagPayload {
  intptr_t value;
  uint16_t key;
};
struct TLineTagChunk {
  TLineChunk header;
  TLineTagPayload tag;
};

// An object a line tag owns: freed when the tag is removed, unless it takes
// care of itself by answering the release query with true.
class TLineTagObject {
public:
  virtual ~TLineTagObject() = default;
  virtual bool TagOwnerRelease() { return false; }
};

constexpr uint32_t kLineRecTag = 0xDF2DC673;

struct TLineRec {
  TLineChunk* first;
  int32_t length;  // characters including the line end
  uint32_t tag;    // kLineRecTag while alive, 0 once freed
};

namespace linechunks {

TLineRec* NewLine(TDataAllocator& arena);
// Frees the chunks and the record (tags release their owned values).
void FreeLine(TDataAllocator& arena, TLineRec* rec);
void FreeChunk(TDataAllocator& arena, TLineChunk* chunk);
// Frees the object an owning tag holds (unless it answers the release query)
// and leaves the tag owning nothing; other chunks are left alone.
void ReleaseTagValue(TLineChunk* chunk);

TLineChunk* NewText(TDataAllocator& arena, const char* text, int32_t n);
TLineChunk* NewSpaces(TDataAllocator& arena, int32_t n);
TLineChunk* NewLineEnd(TDataAllocator& arena, TLineEndKind kind);
TLineChunk* NewTag(TDataAllocator& arena, intptr_t value, uint16_t key, bool ownsValue);

TLineChunk* LastChunk(const TLineRec* rec);
// The line end kind of the line, or -1 when it has none.
int LineEndOf(const TLineRec* rec);
inline int32_t TextLength(const TLineRec* rec) {
  int kind = LineEndOf(rec);
  return rec->length - (kind < 0 ? 0 : LineEndLength(kind));
}

// Load path: turns line content (no line ends) into chunks appended after
// tail (nullptr: the line is empty), storing long leading blank runs and
// trailing runs of 32 or more blanks as counts. Returns the new tail.
TLineChunk* AppendContent(TDataAllocator& arena, TLineRec* rec, TLineChunk* tail, const char* p,
                          int32_t n);
// Appends a chunk after tail (nullptr: as the first chunk); returns it.
TLineChunk* LinkAfter(TLineRec* rec, TLineChunk* tail, TLineChunk* chunk);

// Inserts n characters (no line ends) at column col <= the text length.
void InsertChars(TDataAllocator& arena, TLineRec* rec, int32_t col, const char* text, int32_t n);
// Cuts the line at column col <= the text length: the chunks from col on,
// line end included, are returned as a chain and the line keeps the rest
// (its length becomes col). Tags at col go with the returned chain.
TLineChunk* CutAt(TDataAllocator& arena, TLineRec* rec, int32_t col);
// Appends a chain of chunks to the line (the line must have no line end).
void AppendChain(TLineRec* rec, TLineChunk* chain, int32_t chainLength);
// Deletes count characters from column col (col + count <= length). Tags
// strictly inside the range are freed. A line end of two characters that
// loses one keeps the other as a line end of its own. Answers whether the
// line end is gone.
bool DeleteRange(TDataAllocator& arena, TLineRec* rec, int32_t col, int32_t count);
// Copies count characters from column from (within the line) to dst.
void ReadRange(const TLineRec* rec, int32_t from, int32_t count, char* dst);
// Rebuilds a line of text chunks, blank runs and tags as one text chunk and
// its line end; tags are dropped. Lines longer than kMaxRebuildLength fail.
constexpr int32_t kMaxRebuildLength = 60000;
bool RebuildAsOneText(TDataAllocator& arena, TLineRec* rec);
// Inserts a tag chunk at column col <= the text length, after the tags
// already there (col 0: before the first chunk that has a length).
void InsertTag(TDataAllocator& arena, TLineRec* rec, int32_t col, TLineChunk* tag);
// True when the line has nothing but text chunks and its line end.
bool OnlyText(const TLineRec* rec);
// Overwrites characters of text chunks from column col (the caller checked
// that only text chunks lie there); the old characters go to old.
void OverwriteChars(TLineRec* rec, int32_t col, const char* text, int32_t n, char* old);

}  // namespace linechunks
