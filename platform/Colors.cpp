#include "platform/Colors.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <strings.h>

namespace {

// Palette role and group standing in for each system colour index.
struct SystemColorRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};

constexpr int kSystemColorCount = 31;

const SystemColorRole kSystemColorRoles[kSystemColorCount] = {
    {QPalette::Active, QPalette::Button},          // 0 scroll bar
    {QPalette::Active, QPalette::Window},          // 1 desktop
    {QPalette::Active, QPalette::Highlight},       // 2 active caption
    {QPalette::Inactive, QPalette::Window},        // 3 inactive caption
    {QPalette::Active, QPalette::Window},          // 4 menu
    {QPalette::Active, QPalette::Base},            // 5 window
    {QPalette::Active, QPalette::Shadow},          // 6 window frame
    {QPalette::Active, QPalette::WindowText},      // 7 menu text
    {QPalette::Active, QPalette::Text},            // 8 window text
    {QPalette::Active, QPalette::HighlightedText}, // 9 caption text
    {QPalette::Active, QPalette::Window},          // 10 active border
    {QPalette::Inactive, QPalette::Window},        // 11 inactive border
    {QPalette::Active, QPalette::Dark},            // 12 application workspace
    {QPalette::Active, QPalette::Highlight},       // 13 highlight
    {QPalette::Active, QPalette::HighlightedText}, // 14 highlight text
    {QPalette::Active, QPalette::Button},          // 15 button face
    {QPalette::Active, QPalette::Dark},            // 16 button shadow
    {QPalette::Disabled, QPalette::Text},          // 17 grey text
    {QPalette::Active, QPalette::ButtonText},      // 18 button text
    {QPalette::Inactive, QPalette::WindowText},    // 19 inactive caption text
    {QPalette::Active, QPalette::Light},           // 20 button highlight
    {QPalette::Active, QPalette::Shadow},          // 21 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},        // 22 3-D light
    {QPalette::Active, QPalette::ToolTipText},     // 23 info text
    {QPalette::Active, QPalette::ToolTipBase},     // 24 info background
    {QPalette::Active, QPalette::Window},          // 25 (unused index)
    {QPalette::Active, QPalette::Link},            // 26 hot light
    {QPalette::Active, QPalette::Highlight},       // 27 gradient active caption
    {QPalette::Inactive, QPalette::Window},        // 28 gradient inactive caption
    {QPalette::Active, QPalette::Highlight},       // 29 menu highlight
    {QPalette::Active, QPalette::Window},          // 30 menu bar
};

struct ColorIdent {
  TColor color;
  const char* name;
};

const ColorIdent kColorIdents[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"}, {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"}, {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"}, {clWindowText, "clWindowText"}, {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"}, {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"}, {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"}, {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"}, {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"}, {clHotLight, "clHotLight"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clMenuHighlight, "clMenuHighlight"}, {clMenuBar, "clMenuBar"},
    {clNone, "clNone"}, {clDefault, "clDefault"},
};

}  // namespace

QColor ColorToQColor(TColor color, const QPalette& palette) {
  if (IsSystemColor(color)) {
    const uint32_t index = static_cast<uint32_t>(color) & 0xFFFFFFu;
    if (index >= kSystemColorCount) return QColor();
    const SystemColorRole& r = kSystemColorRoles[index];
    return palette.color(r.group, r.role);
  }
  if (color == clNone || color == clDefault || (static_cast<uint32_t>(color) & 0xFF000000u) != 0)
    return QColor();
  return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

QColor ColorToQColor(TColor color) {
  if (!IsSystemColor(color)) return ColorToQColor(color, QPalette());
  return ColorToQColor(color, QGuiApplication::palette());
}

TColor QColorToColor(const QColor& color) {
  return RGBColor(color.red(), color.green(), color.blue());
}

std::optional<std::string> ColorToIdent(TColor color) {
  for (const ColorIdent& c : kColorIdents)
    if (c.color == color) return std::string(c.name);
  return std::nullopt;
}

std::optional<TColor> IdentToColor(std::string_view ident) {
  for (const ColorIdent& c : kColorIdents) {
    const size_t n = std::char_traits<char>::length(c.name);
    if (n == ident.size() && strncasecmp(c.name, ident.data(), n) == 0) return c.color;
  }
  return std::nullopt;
}
