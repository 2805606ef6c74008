#include "platform/QtMessageDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "platform/QtText.h"

namespace {

QMessageBox::Icon iconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

int showOnThisThread(const TMessageRequest& request) {
  QMessageBox box(iconOf(request.Type), QString::fromLatin1(MessageCaption(request.Type)), ToQString(request.Text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  switch (request.Buttons) {
    case TMsgDlgButtons::mbOK:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case TMsgDlgButtons::mbYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(request.DefaultAnswer == mrNo ? QMessageBox::No : QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    case TMsgDlgButtons::mbYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(request.DefaultAnswer == mrNo ? QMessageBox::No : QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  box.exec();
  auto* clicked = box.clickedButton();
  switch (box.standardButton(clicked)) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Cancel: return mrCancel;
    case QMessageBox::Ok: return mrOk;
    default: return request.Buttons == TMsgDlgButtons::mbYesNoCancel ? mrCancel : request.Buttons == TMsgDlgButtons::mbYesNo ? mrNo : mrOk;
  }
}

}  // namespace

int TQtMessageSink::Show(const TMessageRequest& request) {
  auto* app = QCoreApplication::instance();
  if (!app) return request.DefaultAnswer;
  if (QThread::currentThread() == app->thread()) return showOnThisThread(request);
  int answer = request.DefaultAnswer;
  QMetaObject::invokeMethod(app, [&] { answer = showOnThisThread(request); }, Qt::BlockingQueuedConnection);
  return answer;
}

void InstallQtMessageSink() {
  static TQtMessageSink sink;
  SetMessageSink(&sink);
}
