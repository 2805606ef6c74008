#include "highlight/HiAttrib.h"

#include "highlight/CustomHighlighter.h"

THiAttrib::THiAttrib(std::string_view name, TCustomHighlighter* owner)
    : name_(name), hash_(HashOf(name)), owner_(owner) {}

THiAttrib::~THiAttrib() = default;

uint8_t THiAttrib::HashOf(std::string_view name) {
  // Case-blind so that names differing only in case hash alike.
  uint8_t h = 0;
  for (char c : name) h ^= static_cast<uint8_t>((c >= 'a' && c <= 'z') ? c - 32 : c);
  return h;
}

void THiAttrib::Assign(const THiAttrib& source) {
  Color = source.Color;
  Background = source.Background;
  Style = source.Style;
  Flags = source.Flags;
}

void THiAttrib::AssignFromView(TColor fontColor, TColor color, uint8_t fontStyle) {
  Color = fontColor;
  Background = color;
  Style = fontStyle;
  Flags = 0;
}

void THiAttrib::Apply(TDrawLineInfo& info) {
  if (Style != info.BaseStyle)
    StyleNo |= kStyleDiffers;
  else
    StyleNo &= static_cast<uint8_t>(~kStyleDiffers);
  info.CurStyle = StyleNo;
  info.RunStyle = Style;
  info.RunColor = Color;
  info.RunBackground = Background;
}

bool THiAttrib::SameAs(const THiAttrib* other) const {
  return other && other->Color == Color && other->Background == Background && other->Style == Style;
}

void THiAttrib::SetColor(int index, TColor value) {
  TColor* target;
  if (index == 0) {
    target = &Color;
    Flags |= afColor;
  } else if (index == 1) {
    target = &Background;
    Flags |= afBackground;
  } else {
    return;
  }
  if (*target != value) {
    *target = value;
    Changed();
  }
}

void THiAttrib::SetStyle(uint8_t bits) {
  if (Style == bits) return;
  Style = bits;
  Flags |= afStyle;
  Changed();
}

void THiAttrib::Changed() {
  if (owner_) owner_->AttribChanged(this);
}
