// The view driven through Qt's own events: keys, mouse and wheel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDevice>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWheelEvent>

#include "ViewTestSupport.h"
#include "platform/Exceptions.h"
#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "util/DiagLog.h"
#include "view/GutterOptions.h"

namespace {

// Own devices: Qt's default device objects are never freed. They belong to
// the application, so they go with it at the end of the run.
const QInputDevice& keyboard() {
  static const QInputDevice* device =
      new QInputDevice("test keyboard", 1, QInputDevice::DeviceType::Keyboard, QString(), &EnsureQtApp());
  return *device;
}
const QPointingDevice& mouse() {
  static const QPointingDevice* device = new QPointingDevice(
      "test mouse", 2, QInputDevice::DeviceType::Mouse, QPointingDevice::PointerType::Generic,
      QInputDevice::Capability::Position, 1, 3, QString(), QPointingDeviceUniqueId(), &EnsureQtApp());
  return *device;
}

void key(QWidget* w, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(QEvent::KeyPress, qtKey, mods, 0, 0, 0, QString(), false, 1, &keyboard());
  QApplication::sendEvent(w, &e);
}

void mouseEvent(QWidget* viewport, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QMouseEvent e(type, pos, viewport->mapToGlobal(pos), button, buttons, mods, &mouse());
  QApplication::sendEvent(viewport, &e);
}

QPoint cellCentre(TMemScrivel* v, int col, int line) {
  return QPoint(v->TextRect().left() + col * v->CharWidth() + 1,
                v->TextRect().top() + line * v->LineHeight() + v->LineHeight() / 2);
}

TEST(ViewEvents, KeysReachTheCaret) {
  TestMemView v("abc def\nxyz\n");
  v->SetCaretKeys(true);
  v->SetCaretAndClearSel(0);
  key(v.view, Qt::Key_Right, Qt::ShiftModifier);
  key(v.view, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(2, v->SelLength());
  key(v.view, Qt::Key_Right, Qt::ControlModifier);  // to the end of the word, collapsing
  EXPECT_EQ(3, v->CaretPos());
  EXPECT_EQ(0, v->SelLength());
  key(v.view, Qt::Key_Down);
  EXPECT_EQ((TTextPoint{3, 1}), v->CaretPoint());
}

TEST(ViewEvents, ClickDragAndGutterClick) {
  TestMemView v("first line\nsecond line\nthird\n");
  v->SetCaretKeys(true);
  v->Gutter()->SetWidth(10);
  v->Gutter()->SetLineSelect(true);
  QWidget* vp = v->viewport();
  mouseEvent(vp, QEvent::MouseButtonPress, cellCentre(v.view, 3, 0), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(3, v->CaretPos());
  mouseEvent(vp, QEvent::MouseMove, cellCentre(v.view, 2, 1), Qt::NoButton, Qt::LeftButton);
  mouseEvent(vp, QEvent::MouseButtonRelease, cellCentre(v.view, 2, 1), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(3, v->SelStart());
  EXPECT_EQ(10, v->SelLength());  // to (2, 1) = offset 13
  // Shift+click extends from the anchor.
  mouseEvent(vp, QEvent::MouseButtonPress, cellCentre(v.view, 1, 2), Qt::LeftButton, Qt::LeftButton,
             Qt::ShiftModifier);
  mouseEvent(vp, QEvent::MouseButtonRelease, cellCentre(v.view, 1, 2), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(3, v->SelStart());
  EXPECT_EQ(21, v->SelLength());  // to (1, 2) = offset 24
  // A click in the gutter selects the line.
  const QPoint gutter(v->TextRect().left() - 5, cellCentre(v.view, 0, 1).y());
  mouseEvent(vp, QEvent::MouseButtonPress, gutter, Qt::LeftButton, Qt::LeftButton);
  mouseEvent(vp, QEvent::MouseButtonRelease, gutter, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(11, v->SelStart());
  EXPECT_EQ(11, v->SelLength());
}

TEST(ViewEvents, WheelScrollsLinesOrPages) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line\n";
  TestMemView v(text, 300, 150);
  auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(20, 20), v->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, mods, Qt::NoScrollPhase, false, Qt::MouseEventNotSynthesized, &mouse());
    QApplication::sendEvent(v->viewport(), &e);
  };
  wheel(-120, Qt::NoModifier);
  EXPECT_EQ(QApplication::wheelScrollLines(), v->TopLine());
  wheel(120, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::wheelScrollLines() - 1, v->TopLine());
  wheel(-120, Qt::ControlModifier);
  EXPECT_EQ(QApplication::wheelScrollLines() - 1 + v->VisibleLines(), v->TopLine());
}

TEST(ViewEvents, HighlighterFailuresAreLoggedAndPaintingGoesOn) {
  struct Failing : TFiveRunHighlighter {
    void LineInit(TDrawLineInfo&) override { throw Exception("broken line"); }
  };
  CreateLogStream();
  ClearLogStream();
  TestMemView v("one\ntwo\n");
  v->SetHighlighter(new Failing);
  const QImage img = v->Render();
  const std::string log = LogStreamRead();
  EXPECT_NE(std::string::npos, log.find("-(Exc)!: 'broken line', Ctx=\"Highlighter.LineInit\"")) << log;
  // The text is still painted.
  bool ink = false;
  for (int x = v->TextRect().left(); x < v->TextRect().left() + 3 * v->CharWidth(); ++x)
    for (int y = v->TextRect().top(); y < v->TextRect().top() + v->LineHeight(); ++y)
      ink = ink || img.pixelColor(x, y) != img.pixelColor(v->TextRect().right() - 2, y);
  EXPECT_TRUE(ink);
  DestroyLogStream();
}

TEST(ViewEvents, BufferMarkerListFollowsBufferEdits) {
  EnsureQtApp();
  TRefPtr<TEditBuffer> buffer(new TEditBuffer);
  buffer->SetText("0123456789\nabcdef\n");
  auto owned = std::make_unique<TBookmarkList>(buffer.get());
  TBookmarkList* markers = owned.get();
  buffer->SetMarkerList(std::move(owned));
  TestMemView v("0123456789\nabcdef\n");
  v->SetMarkerList(markers);  // shared: the view no longer shifts markers itself
  EXPECT_FALSE(v->OwnsMarkers());
  v->SetMarker(2, 3, 12);
  {
    TRefPtr<TEditPos> pos(new TEditPos(buffer.get()));
    pos->SetPos(4);
    ASSERT_TRUE(pos->InsertText("xyz"));
  }
  EXPECT_EQ(15, v->FindMarker(2, -1)->Offset);
  v->TextChangedAt(0, 5);  // the view's own change report leaves a buffer's list alone
  EXPECT_EQ(15, v->FindMarker(2, -1)->Offset);
  v->SetMarkerList(nullptr);
  EXPECT_TRUE(v->OwnsMarkers());
  EXPECT_EQ(nullptr, v->FindMarker(2, -1));
}

}  // namespace
