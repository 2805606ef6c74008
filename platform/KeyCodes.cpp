#include "platform/KeyCodes.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace {

struct KeyPair {
  int qt;
  uint16_t vk;
};

// Keys whose codes differ between Qt and the virtual keys. Letters and digits
// share their codes and are handled before this table.
const KeyPair kKeyTable[] = {
    {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB}, {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Clear, VK_CLEAR}, {Qt::Key_Return, VK_RETURN}, {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT}, {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},
    {Qt::Key_Pause, VK_PAUSE}, {Qt::Key_CapsLock, VK_CAPITAL}, {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE}, {Qt::Key_PageUp, VK_PRIOR}, {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END}, {Qt::Key_Home, VK_HOME}, {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP}, {Qt::Key_Right, VK_RIGHT}, {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Select, VK_SELECT}, {Qt::Key_Printer, VK_PRINT}, {Qt::Key_Execute, VK_EXECUTE},
    {Qt::Key_Print, VK_SNAPSHOT}, {Qt::Key_Insert, VK_INSERT}, {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Help, VK_HELP}, {Qt::Key_Super_L, VK_LWIN}, {Qt::Key_Super_R, VK_RWIN},
    {Qt::Key_Meta, VK_LWIN}, {Qt::Key_Menu, VK_APPS}, {Qt::Key_Sleep, VK_SLEEP},
    {Qt::Key_NumLock, VK_NUMLOCK}, {Qt::Key_ScrollLock, VK_SCROLL},
    // Punctuation keys of a US layout and their shifted symbols.
    {Qt::Key_Semicolon, VK_OEM_1}, {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS}, {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA}, {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Minus, VK_OEM_MINUS}, {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD}, {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Slash, VK_OEM_2}, {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3}, {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4}, {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5}, {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6}, {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7}, {Qt::Key_QuoteDbl, VK_OEM_7},
    // Shifted digits of a US layout (used when the scan code is unknown).
    {Qt::Key_ParenRight, '0'}, {Qt::Key_Exclam, '1'}, {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'}, {Qt::Key_Dollar, '4'}, {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'}, {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
};

// Keys of the numeric keypad.
const KeyPair kKeypadTable[] = {
    {Qt::Key_Asterisk, VK_MULTIPLY}, {Qt::Key_Plus, VK_ADD}, {Qt::Key_Minus, VK_SUBTRACT},
    {Qt::Key_Period, VK_DECIMAL}, {Qt::Key_Comma, VK_DECIMAL}, {Qt::Key_Slash, VK_DIVIDE},
    {Qt::Key_Enter, VK_RETURN},
};

// The digit row's key codes of the X keyboard (evdev code + 8), which both
// X11 and Wayland report as the native scan code: 1 ... 9, 0.
constexpr uint32_t kDigitRowFirstScanCode = 10;
constexpr uint32_t kDigitRowLastScanCode = 19;

}  // namespace

uint16_t VirtualKeyFromQtKey(int qtKey, bool keypad, uint32_t nativeScanCode) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint16_t>(VK_NUMPAD0 + (qtKey - Qt::Key_0));
    for (const KeyPair& p : kKeypadTable)
      if (p.qt == qtKey) return p.vk;
  }
  if (nativeScanCode >= kDigitRowFirstScanCode && nativeScanCode <= kDigitRowLastScanCode) {
    // The digit row gives the digit's code whatever symbol the layout and
    // Shift put on the key, as Ctrl+Shift+digit shortcuts expect.
    const uint32_t n = nativeScanCode - kDigitRowFirstScanCode + 1;
    return static_cast<uint16_t>(n == 10 ? uint32_t{'0'} : '0' + n);
  }
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
    return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<uint16_t>(VK_F1 + (qtKey - Qt::Key_F1));
  for (const KeyPair& p : kKeyTable)
    if (p.qt == qtKey) return p.vk;
  return 0;
}

int QtKeyFromVirtualKey(uint16_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;
  if (vk >= VK_F1 && vk <= VK_F24) return Qt::Key_F1 + (vk - VK_F1);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return Qt::Key_0 + (vk - VK_NUMPAD0);
  for (const KeyPair& p : kKeypadTable)
    if (p.vk == vk) return p.qt;
  for (const KeyPair& p : kKeyTable)  // the first entry of a key is its unshifted Qt key
    if (p.vk == vk) return p.qt;
  return 0;
}

TShiftState ShiftStateFromQt(int modifiers, int buttons) {
  TShiftState s = 0;
  if (modifiers & Qt::ShiftModifier) s |= ssShift;
  if (modifiers & Qt::ControlModifier) s |= ssCtrl;
  if (modifiers & Qt::AltModifier) s |= ssAlt;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

uint16_t VirtualKeyOf(const QKeyEvent& event) {
  return VirtualKeyFromQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier),
                             event.nativeScanCode());
}

TShiftState ShiftStateOf(const QKeyEvent& event) {
  return ShiftStateFromQt(event.modifiers().toInt());
}

TShortCut ShortCutOf(const QKeyEvent& event) {
  const uint16_t vk = VirtualKeyOf(event);
  return vk ? ShortCut(vk, ShiftStateOf(event)) : TShortCut{scNone};
}

QKeySequence ShortCutToKeySequence(TShortCut sc) {
  const int key = QtKeyFromVirtualKey(ShortCutKey(sc));
  if (!key) return QKeySequence();
  int mods = 0;
  if (sc & scShift) mods |= Qt::ShiftModifier;
  if (sc & scCtrl) mods |= Qt::ControlModifier;
  if (sc & scAlt) mods |= Qt::AltModifier;
  return QKeySequence(key | mods);
}
