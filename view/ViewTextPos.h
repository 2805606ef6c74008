#pragma once
// A read-only text position on a view: offset, logical line and column,
// mapped through the view's own offset and line operations.
#include <QPointer>

#include "textbuf/CustomTextPos.h"

class TCustomScrivel;

class TViewTextPos : public TCustomTextPos {
public:
  explicit TViewTextPos(TCustomScrivel* view);

  TCustomScrivel* View() const { return view_.data(); }

  bool PosToLineCol(int64_t offset, int32_t& line, int32_t& column) override;
  bool LineColToPos(int32_t line, int32_t column, int64_t& offset) override;
  bool GetText(int32_t count, std::string& text) override;
  bool GetLineText(std::string& text) override;
  // Flags: 1 backward, 2 forward, 4 to a word start, 8 to a word end.
  bool MoveWord(int flags) override;

  static constexpr int mwBackward = 1;
  static constexpr int mwForward = 2;
  static constexpr int mwWordStart = 4;
  static constexpr int mwWordEnd = 8;

private:
  // The view may go first; the position then fails every placement.
  QPointer<TCustomScrivel> view_;
};
