// The platform's key codes and colours, as the views use them.
#include <gtest/gtest.h>

#include <QInputDevice>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPalette>

#include "platform/Colors.h"
#include "platform/KeyCodes.h"
#include "tests/common/QtTestApp.h"

namespace {

TEST(KeyCodes, QtKeysMapToVirtualKeys) {
  struct Case {
    int qt;
    bool keypad;
    uint32_t scan;
    uint16_t vk;
  };
  const Case cases[] = {
      {Qt::Key_A, false, 0, 'A'},          {Qt::Key_7, false, 0, '7'},
      {Qt::Key_Left, false, 0, VK_LEFT},   {Qt::Key_PageDown, false, 0, VK_NEXT},
      {Qt::Key_F12, false, 0, VK_F12},     {Qt::Key_Return, false, 0, VK_RETURN},
      {Qt::Key_Enter, true, 0, VK_RETURN}, {Qt::Key_5, true, 0, VK_NUMPAD5},
      {Qt::Key_Plus, true, 0, VK_ADD},     {Qt::Key_Semicolon, false, 0, VK_OEM_1},
      {Qt::Key_Exclam, false, 0, '1'},     // Shift+1 without a scan code
      {Qt::Key_Eacute, false, 11, '2'},    // a layout's symbol on the digit row
      {Qt::Key_unknown, false, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.vk, VirtualKeyFromQtKey(c.qt, c.keypad, c.scan)) << c.qt;
}

TEST(KeyCodes, ShortcutsCarryTheShiftBits) {
  EXPECT_EQ(0x4000 | 'C', ShortCut('C', ssCtrl));
  EXPECT_EQ(0x2000 | 0x8000 | VK_F5, ShortCut(VK_F5, ssShift | ssAlt));
  EnsureQtApp();
  // An own device: Qt's default keyboard object is never freed.
  const QInputDevice keyboard("test keyboard", 1, QInputDevice::DeviceType::Keyboard);
  QKeyEvent e(QEvent::KeyPress, Qt::Key_Insert, Qt::ShiftModifier | Qt::ControlModifier, 0, 0, 0,
              QString(), false, 1, &keyboard);
  EXPECT_EQ(scShift | scCtrl | VK_INSERT, ShortCutOf(e));
  EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_S), ShortCutToKeySequence(ShortCut('S', ssCtrl)));
  for (uint16_t vk : {uint16_t{'Q'}, uint16_t{VK_HOME}, uint16_t{VK_F3}, uint16_t{VK_OEM_4}, uint16_t{VK_NUMPAD2}})
    EXPECT_EQ(vk, VirtualKeyFromQtKey(QtKeyFromVirtualKey(vk), vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)) << vk;
}

TEST(Colors, FixedAndSystemColours) {
  EnsureQtApp();
  QPalette pal;
  pal.setColor(QPalette::Active, QPalette::Base, QColor(1, 2, 3));
  pal.setColor(QPalette::Active, QPalette::Highlight, QColor(4, 5, 6));
  EXPECT_EQ(QColor(1, 2, 3), ColorToQColor(clWindow, pal));
  EXPECT_EQ(QColor(4, 5, 6), ColorToQColor(clHighlight, pal));
  EXPECT_EQ(QColor(0xFF, 0, 0), ColorToQColor(clRed, pal));       // red in the low byte
  EXPECT_EQ(QColor(0x12, 0x34, 0x56), ColorToQColor(0x563412, pal));
  EXPECT_FALSE(ColorToQColor(clDefault, pal).isValid());
  EXPECT_FALSE(ColorToQColor(static_cast<TColor>(0x80000040), pal).isValid());
  EXPECT_EQ(0x563412, QColorToColor(QColor(0x12, 0x34, 0x56)));
  EXPECT_EQ("clBtnFace", ColorToIdent(clBtnFace).value());
  EXPECT_EQ(clAqua, IdentToColor("CLAQUA").value());
  EXPECT_FALSE(IdentToColor("clNoSuchColour").has_value());
}

}  // namespace
