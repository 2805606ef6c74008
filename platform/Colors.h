#pragma once
// Colours as the suite stores them: 32-bit values 0x00BBGGRR (red in the low
// byte). A value 0x800000nn is the system colour nn, resolved through the
// palette of the widget that paints it; 0x20000000 is the "default" marker
// whose meaning the user of the colour decides. Stored settings, highlighter
// configurations and macros hold these numbers, so they never change.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class QColor;
class QPalette;

using TColor = int32_t;

// System colours.
constexpr TColor clScrollBar = static_cast<TColor>(0x80000000);
constexpr TColor clBackground = static_cast<TColor>(0x80000001);
constexpr TColor clActiveCaption = static_cast<TColor>(0x80000002);
constexpr TColor clInactiveCaption = static_cast<TColor>(0x80000003);
constexpr TColor clMenu = static_cast<TColor>(0x80000004);
constexpr TColor clWindow = static_cast<TColor>(0x80000005);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006);
constexpr TColor clMenuText = static_cast<TColor>(0x80000007);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
constexpr TColor clCaptionText = static_cast<TColor>(0x80000009);
constexpr TColor clActiveBorder = static_cast<TColor>(0x8000000A);
constexpr TColor clInactiveBorder = static_cast<TColor>(0x8000000B);
constexpr TColor clAppWorkSpace = static_cast<TColor>(0x8000000C);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
constexpr TColor clHighlightText = static_cast<TColor>(0x8000000E);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
constexpr TColor clGrayText = static_cast<TColor>(0x80000011);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
constexpr TColor clInactiveCaptionText = static_cast<TColor>(0x80000013);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
constexpr TColor cl3DLight = static_cast<TColor>(0x80000016);
constexpr TColor clInfoText = static_cast<TColor>(0x80000017);
constexpr TColor clInfoBk = static_cast<TColor>(0x80000018);
constexpr TColor clHotLight = static_cast<TColor>(0x8000001A);
constexpr TColor clGradientActiveCaption = static_cast<TColor>(0x8000001B);
constexpr TColor clGradientInactiveCaption = static_cast<TColor>(0x8000001C);
constexpr TColor clMenuHighlight = static_cast<TColor>(0x8000001D);
constexpr TColor clMenuBar = static_cast<TColor>(0x8000001E);

// Special values.
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Fixed colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

constexpr bool IsSystemColor(TColor c) { return (static_cast<uint32_t>(c) & 0xFF000000u) == 0x80000000u; }
constexpr TColor RGBColor(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(TColor c) { return c & 0xFF; }
constexpr int GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr int BlueOf(TColor c) { return (c >> 16) & 0xFF; }

// The colour to paint with. A system colour takes the palette role that
// stands for it (window, highlight, button face ...); an unknown system
// index, clNone and clDefault give an invalid QColor so that the caller's
// fallback applies.
QColor ColorToQColor(TColor color, const QPalette& palette);
// Same with the application's palette.
QColor ColorToQColor(TColor color);
// A fixed 0x00BBGGRR value of a QColor (alpha dropped).
TColor QColorToColor(const QColor& color);

// Colour identifiers of the class library ("clBtnFace", "clRed"), used where
// stored text names a colour. IdentToColor ignores case; both answer nothing
// for an unknown name or value.
std::optional<std::string> ColorToIdent(TColor color);
std::optional<TColor> IdentToColor(std::string_view ident);
