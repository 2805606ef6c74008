#pragma once
// The text store of the editor: an 8-bit text held as lines of chunks, every
// line with its own line end, so that a file with mixed line ends is written
// back exactly as it was read. Several editors may share one buffer (use
// counted); every change goes through an edit position (TEditPos), which
// calls the line operations here and reports the change, and the buffer
// broadcasts it to its change handlers.
//
// Offsets are absolute character offsets from the start of the text, line
// ends included; they are 32-bit, so a text of 2 GiB or more is refused.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RefCounted.h"
#include "textbuf/BufferMarkers.h"
#include "textbuf/LineChunks.h"
#include "textbuf/LineIndex.h"

class TDataAllocator;
class TTextUndo;
class TTextEditor;  // the editing control; the buffer only keeps pointers to it
class TEditBuffer;
class TStrings;

// The change record sent to change handlers.
struct TChangeInfo {
  int32_t Position = 0;   // absolute offset where the change starts
  int32_t Line = 0;       // first line concerned
  int32_t CharDelta = 0;  // change of TotalLength (positive: inserted)
  int32_t LineDelta = 0;  // change of LineCount
  bool Deferred = false;  // the change happened inside an update bracket
};

// Receives the buffer's changes. A null change means that anything may have
// changed (the end of an update bracket in which changes were deferred).
class TBufferChangeHandler {
public:
  virtual void BufferChanged(TEditBuffer* sender, const TChangeInfo* change) = 0;

protected:
  ~TBufferChangeHandler() = default;
};

// GetAllText flags.
enum : int {
  gtTrimTrailing = 1,     // drop characters below 33 at the end of every line
  gtEnsureLineEnds = 2,   // give a last line without line end a CR LF
};

class TEditBuffer : public TRefCounted {
public:
  explicit TEditBuffer(TTextEditor* owner = nullptr);
  ~TEditBuffer() override;

  TTextEditor* Owner() const { return owner_; }

  // ---- updates and notification
  void BeginUpdate() { ++updateDepth_; }
  void EndUpdate();
  int32_t UpdateDepth() const { return updateDepth_; }
  void AddChangeHandler(TBufferChangeHandler* handler);
  void RemoveChangeHandler(TBufferChangeHandler* handler);
  // Broadcasts a change that the line operations have already made. A change
  // without deltas is ignored.
  void NotifyChange(TChangeInfo& change);
  // Makes the end of the current update bracket notify, for a change made
  // without a report (an in-place overwrite inside a bracket).
  void RaisePendingChars() { if (updateDepth_ > 0) pendingChars_ = true; }

  // ---- reading
  int32_t LineCount() const { return index_.Count(); }
  int32_t TotalLength() const { return index_.Total(); }
  const TLineRec* LineRecord(int32_t line) const;
  int32_t LineStart(int32_t line) const;  // LineCount() gives TotalLength()
  int32_t LineLength(int32_t line) const;
  int32_t LineTextLength(int32_t line) const;
  // The line end kind of a line, -1 when it has none or is out of range.
  int LineEndOf(int32_t line) const;
  bool GetLine(int32_t line, std::string& text, bool withLineEnd = true) const;
  // Maps an offset to a line and the offset inside it; see the .cpp.
  bool FindLine(int32_t offset, int32_t& line, int32_t& column) const;
  bool GetTextRange(int32_t offset, int32_t count, std::string& text) const;
  bool GetAllText(std::string& text, int flags = 0) const;
  std::string GetAllText(int flags = 0) const;
  bool EndsWithLineEnd() const;

  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  // ---- writing (edit positions make the other changes)
  void SetText(std::string_view text);
  void AppendText(std::string_view text);
  void ClearText(bool keepLine = true);
  bool OverwriteText(int32_t offset, std::string_view text, bool recordUndo);
  void SetLineEnds(std::string_view lineEnd);
  bool EnsureLineEnd(TTextEditor* editor, int32_t line);

  // ---- string lists: every line, with "\r\n" on the way in and without
  // trailing CR and LF characters on the way out.
  void AssignFromStrings(const TStrings& list);
  void AssignToStrings(TStrings& list) const;

  // ---- undo
  TTextUndo* UndoLog() const { return undo_; }
  bool CanUndo() const;
  bool CanRedo() const;
  void ClearUndo();
  // Replay one record through a temporary position; start and length give
  // the text to select afterwards. False when there is nothing to replay.
  bool Undo(TTextEditor* editor, int32_t& start, int32_t& length);
  bool Redo(TTextEditor* editor, int32_t& start, int32_t& length);

  // ---- line tags: zero-length marks inside a line that travel with the text
  bool AddLineTag(int32_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key);
  intptr_t FindLineTag(int32_t line, int32_t& offset, uint16_t key) const;
  int32_t FindTaggedLine(intptr_t value, uint16_t key, int32_t first, int32_t last) const;
  bool RemoveLineTags(int32_t line, uint16_t key, intptr_t value, int32_t offset);

  // ---- editors and markers
  void AttachEditor(TTextEditor* editor);
  void DetachEditor(TTextEditor* editor);
  const std::vector<TTextEditor*>& Editors() const { return editors_; }
  void SetMarkerList(std::unique_ptr<TBufferMarkers> markers);
  TBufferMarkers* MarkerList() const { return markers_.get(); }

  // ---- inspection (tests, diagnostics, benchmarks)
  struct TChunkInfo {
    TChunkKind kind;
    int32_t length;
    int lineEnd;  // the kind of a line end chunk, else -1
    bool operator==(const TChunkInfo&) const = default;
  };
  std::vector<TChunkInfo> LineChunks(int32_t line) const;
  // Checks the invariants of lines, chunks and offsets; the first fault found
  // is described in fault.
  bool CheckIntegrity(std::string* fault = nullptr) const;
  // Bytes held: the arena's pages and the line index.
  size_t MemoryUsed() const;

  // The largest text a buffer holds (offsets are 32-bit).
  static constexpr int64_t kMaxTextLength = 0x7FFFFFFF;

private:
  friend class TEditPos;

  // ---- line operations for edit positions; they keep offsets and lengths
  // current and report nothing.
  // The record of a line; for line == LineCount() a new empty last line
  // (the open position after a final line end).
  TLineRec* lineForInsert(int32_t line);
  void insertChars(int32_t line, int32_t column, const char* text, int32_t n);
  // Inserts a line end at the column; answers whether a line was added.
  bool insertLineEnd(int32_t line, int32_t column, TLineEndKind kind);
  // Deletes up to count characters from (line, column); answers the number
  // deleted and adds the lines removed to linesRemoved: line records, and
  // the open line after a final line end that went.
  int32_t deleteChars(int32_t line, int32_t column, int32_t count, int32_t& linesRemoved);
  // Splits the two-character line end of a line into two one-character
  // line ends, the second on a new empty line: the text stays the same, but
  // the offset between the two characters becomes a line start.
  void separateLineEnd(int32_t line);
  // Refuses a growth that would not fit the 32-bit offsets.
  void checkGrowth(int64_t added) const;

  TLineRec* rec(int32_t line) const { return index_.At(line); }
  void readRange(int32_t offset, int32_t count, char* dst) const;
  void resetCache() const { cachedLine_ = -1; }
  void appendLine(TLineRec* r, int32_t length);
  void releaseOwnedTags();
  void callHandlers(const TChangeInfo* change);

  int32_t updateDepth_ = 0;
  bool pendingChars_ = false;
  bool pendingLines_ = false;
  bool modified_ = false;
  TTextUndo* undo_ = nullptr;
  TTextEditor* owner_ = nullptr;
  TLineIndex<TLineRec*> index_;  // every line's start offset and record
  std::vector<TTextEditor*> editors_;
  // Handlers; a handler removed during a notification leaves a null entry
  // that is swept when the outermost notification ends.
  std::vector<TBufferChangeHandler*> handlers_;
  int32_t notifyDepth_ = 0;
  mutable int32_t cachedLine_ = -1;  // the line found by the last FindLine
  std::unique_ptr<TBufferMarkers> markers_;
  std::unique_ptr<TDataAllocator> arena_;
  bool hasOwnedTags_ = false;  // owned tag values must be released before the arena goes
};
