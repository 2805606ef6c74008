#pragma once
// The position that changes an edit buffer. Every insertion and deletion
// goes through one: it changes the buffer's lines, records undo when a log
// is attached and reports the change, which moves every other position.
#include <cstdint>
#include <string>
#include <string_view>

#include "textbuf/CustomTextPos.h"
#include "textbuf/EditBuffer.h"

class TTextUndo;
class TTextEditor;

class TEditPos : public TCustomEditPos, private TBufferChangeHandler {
public:
  // Takes a use of the buffer for the position's lifetime.
  explicit TEditPos(TEditBuffer* buffer, TTextEditor* editor = nullptr);
  ~TEditPos() override;
  TEditPos(const TEditPos&) = delete;
  TEditPos& operator=(const TEditPos&) = delete;

  TEditBuffer* Buffer() const { return buffer_; }
  TTextEditor* Editor() const { return editor_; }
  // Attaches an undo log (or none): changes made through the position are
  // recorded there. A position without a log clears the buffer's log at
  // every change, so that the log never goes out of step with the text.
  void AttachUndo(TTextUndo* undo);
  TTextUndo* UndoLog() const { return undo_; }

  void SetCol(int32_t column) override;
  void SyncLine() override;
  bool PosToLineCol(int64_t offset, int32_t& line, int32_t& column) override;
  bool LineColToPos(int32_t line, int32_t column, int64_t& offset) override;
  bool GetText(int32_t count, std::string& text) override;
  bool GetLineText(std::string& text) override;

  // Places the position at exactly this offset, also between the two
  // characters of a CR LF or LF CR line end, which is then split into two
  // line ends (the text stays the same). Replaying the undo log needs this:
  // a recorded offset may lie between two line-end characters that were on
  // different lines when the change was made.
  bool PlaceExactly(int64_t offset);

  bool InsertText(std::string_view text) override;
  bool DeleteText(int32_t count) override;
  // A deletion of count characters followed by the insertion of text.
  bool ReplaceText(int32_t count, std::string_view text) override;
  void BeginUpdate() override { buffer_->BeginUpdate(); }
  void EndUpdate() override { buffer_->EndUpdate(); }

private:
  void BufferChanged(TEditBuffer* sender, const TChangeInfo* change) override;
  void report(TChangeInfo& change);
  bool isOpenPosition(int32_t line) const;

  TEditBuffer* buffer_;
  TTextEditor* editor_;
  TTextUndo* undo_ = nullptr;
  bool reporting_ = false;
};
