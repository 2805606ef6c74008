#pragma once
// The undo and redo log of an edit buffer: one byte stream of records, one
// per primitive change, with a cursor between the done records (before it)
// and the undone ones (after it). The stream lives in memory until it grows
// past 64 KiB, then in an unlinked temporary file, so the history is limited
// by disk space only and nothing is left behind after a crash.
//
// Record layout (little-endian): size (32-bit, 13 + payload), previous
// record's size (32-bit), text offset (32-bit), kind (8-bit), payload. After
// the last record an 8-byte trailer (0, size of the last record) reads like
// the start of an empty header; the next record is written over it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/RefCounted.h"

class TStream;
class TEditPos;

// Record kinds; replaying a record in reverse performs its inverse kind.
enum TUndoKind : uint8_t {
  ukTyped = 2,        // a typed character or CR/LF pair; adjacent ones merge
  ukTypedDelete = 3,  // only as the inverse of ukTyped
  ukInsert = 4,
  ukDelete = 5,
  ukOverwrite = 7,    // payload: 16-bit length n, n new characters, n old ones
};

class TTextUndo : public TRefCounted {
public:
  TTextUndo();
  ~TTextUndo() override;

  // Appends a record, dropping undone records first. A stream failure clears
  // the log rather than leaving it out of step with the text.
  void Record(TUndoKind kind, int32_t position, std::string_view oldText, std::string_view newText);
  // Empties the log (ignored while a record is being replayed).
  void ClearUndo();
  // The next typed character starts a record of its own.
  void BreakMerge() { hasMergeHeader_ = false; }
  bool CanUndo() const { return cursor_ > 0; }
  bool CanRedo() const;

  // Replays one record through pos (direction -1 undo, +1 redo). On success,
  // start and length give the text to select afterwards. A failure leaves
  // the cursor where it was.
  bool Replay(TEditPos& pos, int direction, int32_t& start, int32_t& length);

  bool Replaying() const { return replaying_; }
  // The log has moved to its temporary file.
  bool Spilled() const { return spilled_; }
  int64_t StreamSize() const;
  int32_t Cursor() const { return cursor_; }

  static constexpr int32_t kHeaderSize = 13;
  static constexpr int32_t kTrailerSize = 8;
  static constexpr int32_t kSpillThreshold = 0x10000;

private:
  struct Header {
    int32_t size = 0;
    int32_t previousSize = 0;
    int32_t position = 0;
    uint8_t kind = 0;
  };
  void recordUndo(TUndoKind kind, int32_t position, std::string_view oldText, std::string_view newText);
  static void putHeader(char* at, const Header& h);
  static void putTrailer(char* at, int32_t lastSize);
  bool readHeader(int64_t at, Header& h);
  bool perform(TEditPos& pos, const Header& h, int64_t payloadAt, int direction, int32_t& start,
               int32_t& length);
  void spill();
  void resetToMemory();
  void failed(const std::string& what);

  std::unique_ptr<TStream> stream_;
  int64_t streamSize_ = 0;  // kept here: asking a file stream costs system calls
  int32_t cursor_ = 0;
  int32_t lastSize_ = 0;
  Header mergeHeader_;
  bool hasMergeHeader_ = false;
  bool replaying_ = false;
  bool spilled_ = false;
  bool spillFailed_ = false;  // shown once; the log then stays in memory
};
