#include "platform/MessageDialogs.h"

#include <atomic>
#include <cstdio>
#include <span>

namespace {

TConsoleMessageSink consoleSink;
std::atomic<TMessageSink*> currentSink{&consoleSink};

int show(TMsgDlgType type, TMsgDlgButtons buttons, std::string text, int defaultAnswer) {
  return MessageSink().Show(TMessageRequest{type, buttons, std::move(text), defaultAnswer});
}

std::string formatted(std::string_view format, std::initializer_list<FormatArg> args) {
  return FormatList(format, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace

const char* MessageCaption(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return "Warning";
    case TMsgDlgType::mtError: return "Error";
    case TMsgDlgType::mtInformation: return "Information";
    case TMsgDlgType::mtConfirmation: return "Confirm";
  }
  return "";
}

int TConsoleMessageSink::Show(const TMessageRequest& request) {
  std::string line = std::string(MessageCaption(request.Type)) + ": " + request.Text;
  if (request.Buttons != TMsgDlgButtons::mbOK) line += request.DefaultAnswer == mrYes ? " [Yes]" : " [No]";
  line += '\n';
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  return request.DefaultAnswer;
}

int TRecordingMessageSink::Show(const TMessageRequest& request) {
  std::lock_guard<std::mutex> lock(lock_);
  requests_.push_back(request);
  if (request.Buttons == TMsgDlgButtons::mbOK || answers_.empty()) return request.DefaultAnswer;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void TRecordingMessageSink::QueueAnswer(int answer) {
  std::lock_guard<std::mutex> lock(lock_);
  answers_.push_back(answer);
}

std::vector<TMessageRequest> TRecordingMessageSink::Requests() const {
  std::lock_guard<std::mutex> lock(lock_);
  return requests_;
}

std::vector<std::string> TRecordingMessageSink::Texts() const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<std::string> texts;
  for (const TMessageRequest& r : requests_) texts.push_back(r.Text);
  return texts;
}

void TRecordingMessageSink::Clear() {
  std::lock_guard<std::mutex> lock(lock_);
  requests_.clear();
  answers_.clear();
}

TMessageSink& MessageSink() { return *currentSink.load(); }

TMessageSink* SetMessageSink(TMessageSink* sink) { return currentSink.exchange(sink ? sink : &consoleSink); }

void WarnDlg(std::string_view text) { show(TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, std::string(text), mrOk); }
void WarnDlg(std::string_view format, std::initializer_list<FormatArg> args) { WarnDlg(formatted(format, args)); }
void ErrorDlg(std::string_view text) { show(TMsgDlgType::mtError, TMsgDlgButtons::mbOK, std::string(text), mrOk); }
void ErrorDlg(std::string_view format, std::initializer_list<FormatArg> args) { ErrorDlg(formatted(format, args)); }
void InfoDlg(std::string_view text) { show(TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, std::string(text), mrOk); }
void InfoDlg(std::string_view format, std::initializer_list<FormatArg> args) { InfoDlg(formatted(format, args)); }

int YesNoDlg(std::string_view text, bool defaultYes) {
  return show(TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, std::string(text), defaultYes ? mrYes : mrNo);
}
int YesNoDlg(std::string_view format, std::initializer_list<FormatArg> args, bool defaultYes) {
  return YesNoDlg(formatted(format, args), defaultYes);
}
int YesNoCancelDlg(std::string_view text, bool defaultYes) {
  return show(TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNoCancel, std::string(text), defaultYes ? mrYes : mrNo);
}
int YesNoCancelDlg(std::string_view format, std::initializer_list<FormatArg> args, bool defaultYes) {
  return YesNoCancelDlg(formatted(format, args), defaultYes);
}
