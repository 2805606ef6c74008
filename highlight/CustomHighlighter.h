#pragma once
// The base of all highlighters: tells a text view how to colour each painted
// line, run by run. The view calls UpdateAttribs and PaintInit at every paint,
// LineInit and NextRun per line, TextChanged on every change and TextInit
// when its whole text is replaced. A highlighter is use counted: each view it
// is attached to holds one use.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/DrawLineInfo.h"
#include "highlight/HiAttrib.h"
#include "platform/RefCounted.h"

class THighlightedView;

class TCustomHighlighter : public TRefCounted {
public:
  TCustomHighlighter();
  ~TCustomHighlighter() override;

  // ---- virtual operations, in their fixed order
  // Attaches to a view or detaches (none). Attaching takes a use, takes the
  // "Default" colours from the view and analyses the text; detaching forgets
  // the recorded analysis and gives the use back (which may free this).
  virtual void SetView(THighlightedView* view);
  // Rebuilds the attribute list with only "Default"; descendants add theirs.
  virtual void InitAttributes();
  // Whether a token starts at Column of the line `text` (the rest of the line
  // from Column on, `length` characters); if so its length and attribute
  // (none = the view's colours).
  virtual bool GetToken(const char* text, int32_t length, int32_t& tokenLength, THiAttrib*& attrib);
  virtual void PaintInit(THighlightedView* view, TDrawLineInfo& info);
  virtual void LineInit(TDrawLineInfo& info);
  virtual void TextChanged(int64_t offset, int64_t delta);
  virtual void TextInit();
  virtual void TextDone();
  virtual int64_t FindDeclaration(int direction, int64_t offset);
  virtual std::string BracketChars();
  // (dynamic) An attribute changed: restyle and repaint the view.
  virtual void AttribChanged(THiAttrib* attrib);

  // ---- attributes
  THiAttrib* AddAttrib(std::string_view name);
  THiAttrib* FindAttrib(std::string_view name) const;
  int AttribCount();
  THiAttrib* AttribByIndex(int index);
  void RemoveAttrib(std::string_view name);
  // Inherits unset values from "Default" (which takes the view's colours when
  // attached) and numbers the distinct styles from 16 upward.
  void UpdateAttribs();

  // The run driver: the length of the run starting at `column` of the line
  // in `info`, with its colours applied to `info`; 0 = the rest of the line.
  int32_t NextRun(TDrawLineInfo& info, int32_t column);

  // Offsets of the bracket pair to underline (-1 = none); the lines of the old
  // and new marks are repainted.
  virtual void SetBracketMarks(int64_t a, int64_t b);
  int64_t BracketMark(int index) const { return index == 0 ? bracket1_ : bracket2_; }

  THighlightedView* View() const { return view_; }
  TDrawLineInfo* CurLine() const { return curLine_; }
  int32_t Column() const { return column_; }
  void SetColumn(int32_t column) { column_ = column; }
  const std::string& HighlighterName() const { return name_; }
  void SetHighlighterName(std::string name) { name_ = std::move(name); }

  static constexpr uint8_t kFirstStyleNo = 16;

protected:
  bool Initializing() const { return initializing_; }

private:
  std::vector<std::unique_ptr<THiAttrib>> attribs_;
  THighlightedView* view_ = nullptr;
  TDrawLineInfo* curLine_ = nullptr;
  int32_t column_ = 0;
  std::string name_;
  int64_t bracket1_ = -1;
  int64_t bracket2_ = -1;
  bool initializing_ = false;
};
