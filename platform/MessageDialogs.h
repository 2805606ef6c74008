#pragma once
// Modal messages and questions. Every message goes through one replaceable
// sink: standard error by default (console tools), a message box in the GUI
// programs (InstallQtMessageSink, platform/QtMessageDialogs.h), and a
// recorder in tests.
//
// A text is shown as it is; a format with its arguments goes through Format:
//   WarnDlg("Cannot open \"%s\"", {fileName});
#include <deque>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Format.h"

// The answers, with the class library's values.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
};

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TMsgDlgButtons { mbOK, mbYesNo, mbYesNoCancel };

struct TMessageRequest {
  TMsgDlgType Type;
  TMsgDlgButtons Buttons;
  std::string Text;  // ANSI code page
  int DefaultAnswer;  // mrOk, mrYes or mrNo
};

// The caption of a message box of that type: "Warning", "Error",
// "Information" or "Confirm".
const char* MessageCaption(TMsgDlgType type);

class TMessageSink {
public:
  virtual ~TMessageSink() = default;
  // Shows the message modally and answers the button chosen.
  virtual int Show(const TMessageRequest& request) = 0;
};

// Writes messages to standard error. A console tool never waits for an
// answer (its standard input may be data), so a question takes its default.
class TConsoleMessageSink : public TMessageSink {
public:
  int Show(const TMessageRequest& request) override;
};

// Records every message; answers questions from a queue, and with the
// default answer when the queue is empty.
class TRecordingMessageSink : public TMessageSink {
public:
  int Show(const TMessageRequest& request) override;
  void QueueAnswer(int answer);
  std::vector<TMessageRequest> Requests() const;
  std::vector<std::string> Texts() const;
  void Clear();

private:
  mutable std::mutex lock_;
  std::vector<TMessageRequest> requests_;
  std::deque<int> answers_;
};

// The sink in use.
TMessageSink& MessageSink();
// Installs sink (not owned; nullptr restores standard error) and answers the previous one.
TMessageSink* SetMessageSink(TMessageSink* sink);

// Installs a sink for the lifetime of this object (tests).
class TScopedMessageSink {
public:
  explicit TScopedMessageSink(TMessageSink& sink) : previous_(SetMessageSink(&sink)) {}
  ~TScopedMessageSink() { SetMessageSink(previous_); }
  TScopedMessageSink(const TScopedMessageSink&) = delete;
  TScopedMessageSink& operator=(const TScopedMessageSink&) = delete;

private:
  TMessageSink* previous_;
};

// A message with one OK button.
void WarnDlg(std::string_view text);
void WarnDlg(std::string_view format, std::initializer_list<FormatArg> args);
void ErrorDlg(std::string_view text);
void ErrorDlg(std::string_view format, std::initializer_list<FormatArg> args);
void InfoDlg(std::string_view text);
void InfoDlg(std::string_view format, std::initializer_list<FormatArg> args);

// A question answered mrYes or mrNo; defaultYes chooses the default button
// (Yes, else No).
int YesNoDlg(std::string_view text, bool defaultYes = true);
int YesNoDlg(std::string_view format, std::initializer_list<FormatArg> args, bool defaultYes = true);
// A question answered mrYes, mrNo or mrCancel; defaultYes as above.
int YesNoCancelDlg(std::string_view text, bool defaultYes = true);
int YesNoCancelDlg(std::string_view format, std::initializer_list<FormatArg> args, bool defaultYes = true);
