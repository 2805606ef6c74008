#pragma once
// A place in a text held three ways at once: an absolute offset, a line
// index and a column (the character offset inside the line; a tab counts as
// one). Descendants supply the mapping between offsets and lines: the edit
// position works on an edit buffer, the view position on any text view.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RefCounted.h"

class TCustomTextPos : public TRefCounted {
public:
  int64_t Position() const { return position_; }
  int32_t Line() const { return line_; }
  int32_t Column() const { return column_; }
  // The last attempt to place the position failed; the coordinates kept
  // their previous values.
  bool Invalid() const { return invalid_; }

  virtual void SetPos(int64_t offset);
  virtual void SetLine(int32_t line);
  virtual void SetCol(int32_t column) { column_ = column; }
  // Makes the column valid for the current line (edit positions).
  virtual void SyncLine() {}
  virtual bool PosToLineCol(int64_t offset, int32_t& line, int32_t& column) = 0;
  virtual bool LineColToPos(int32_t line, int32_t column, int64_t& offset) = 0;
  virtual bool GetText(int32_t count, std::string& text) = 0;
  // The current line with its line end.
  virtual bool GetLineText(std::string& text) = 0;
  // Moves by characters / lines; true when the place reached is the one asked for.
  virtual bool MoveBy(int64_t delta);
  virtual bool MoveLines(int32_t delta);
  // Word movement needs the word classes of a view; positions without one
  // answer false. Flags: 1 backward, 2 forward, 4 to a word start, 8 to a word end.
  virtual bool MoveWord(int flags) { return false; }

protected:
  int64_t position_ = 0;
  int32_t line_ = 0;
  int32_t column_ = 0;
  bool invalid_ = false;
};

// The base of the positions that change the text.
class TCustomEditPos : public TCustomTextPos {
public:
  virtual bool InsertText(std::string_view text) = 0;
  virtual bool DeleteText(int32_t count) = 0;
  virtual bool ReplaceText(int32_t count, std::string_view text) = 0;
  virtual void BeginUpdate() { ++updateDepth_; }
  virtual void EndUpdate();
  // Called when the outermost update bracket of the position ends.
  virtual void Changed() {}

protected:
  int32_t updateDepth_ = 0;
};
