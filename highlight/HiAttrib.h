#pragma once
// One named element of a highlighter ("Default", "Keyword", "Comment" ...)
// with its colours and font style. Unset values are inherited from the
// "Default" element, which always shows the view's own colours.
#include <cstdint>
#include <string>
#include <string_view>

#include "highlight/DrawLineInfo.h"
#include "platform/Colors.h"

class TCustomHighlighter;

class THiAttrib {
public:
  // Flags: which values are set explicitly.
  static constexpr uint8_t afColor = 1;
  static constexpr uint8_t afBackground = 2;
  static constexpr uint8_t afStyle = 4;
  // Bit of StyleNo set while painting when the style differs from the view's.
  static constexpr uint8_t kStyleDiffers = 0x80;

  explicit THiAttrib(std::string_view name, TCustomHighlighter* owner = nullptr);
  virtual ~THiAttrib();

  const std::string& Name() const { return name_; }
  uint8_t Hash() const { return hash_; }
  static uint8_t HashOf(std::string_view name);
  TCustomHighlighter* Owner() const { return owner_; }
  void SetOwner(TCustomHighlighter* owner) { owner_ = owner; }

  TColor Color = clWindowText;
  TColor Background = clWindow;
  uint8_t Flags = 0;
  uint8_t StyleNo = 0;
  uint8_t Style = 0;

  virtual void Assign(const THiAttrib& source);
  // Takes the view's colours and style; nothing counts as set.
  void AssignFromView(TColor fontColor, TColor color, uint8_t fontStyle);
  // Makes this the colours and style of the run being painted.
  void Apply(TDrawLineInfo& info);
  bool SameAs(const THiAttrib* other) const;
  // index 0 = text colour, 1 = background.
  void SetColor(int index, TColor value);
  void SetStyle(uint8_t bits);
  void Changed();

private:
  std::string name_;
  uint8_t hash_ = 0;
  TCustomHighlighter* owner_ = nullptr;
};
