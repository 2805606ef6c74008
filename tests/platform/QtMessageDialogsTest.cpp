#include "platform/QtMessageDialogs.h"
#include "tests/common/QtTestApp.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

QApplication& app() { return EnsureQtApp(); }

struct SeenBox {
  QString caption, text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Once the box is up, notes what it shows and clicks the given button.
void clickWhenShown(QMessageBox::StandardButton button, SeenBox& seen) {
  QTimer::singleShot(0, [button, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      clickWhenShown(button, seen);
      return;
    }
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.buttons = box->standardButtons();
    seen.defaultButton = box->standardButton(box->defaultButton());
    box->button(button)->click();
  });
}

}  // namespace

TEST(QtMessageSink, ShowsTheQuestionAndAnswersTheButtonClicked) {
  app();
  InstallQtMessageSink();
  SeenBox seen;
  clickWhenShown(QMessageBox::No, seen);
  EXPECT_EQ(YesNoCancelDlg("Store \x8E\xE1" "ba?"), mrNo);  // "Žába" in 1250
  EXPECT_EQ(seen.caption, "Confirm");
  EXPECT_EQ(seen.text, QString::fromUtf8("Store Žába?"));
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);

  clickWhenShown(QMessageBox::Yes, seen);
  EXPECT_EQ(YesNoDlg("Replace?", false), mrYes);
  EXPECT_EQ(seen.defaultButton, QMessageBox::No);

  clickWhenShown(QMessageBox::Ok, seen);
  ErrorDlg("Cannot write %s", {"x"});
  EXPECT_EQ(seen.caption, "Error");
  EXPECT_EQ(seen.text, "Cannot write x");
  SetMessageSink(nullptr);
}

TEST(QtMessageSink, AMessageFromAnotherThreadIsShownByTheGuiThread) {
  app();
  TQtMessageSink sink;
  TScopedMessageSink scope(sink);
  SeenBox seen;
  clickWhenShown(QMessageBox::Cancel, seen);
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = YesNoCancelDlg("From a worker"); });
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (answer != -1) loop.quit();
  });
  poll.start(5);
  loop.exec();
  worker.join();
  EXPECT_EQ(answer, mrCancel);
  EXPECT_EQ(seen.text, "From a worker");
}
