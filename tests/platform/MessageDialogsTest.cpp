#include "platform/MessageDialogs.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(MessageDialogs, MessagesReachTheInstalledSinkWithTheirKindAndDefault) {
  TRecordingMessageSink recorder;
  TScopedMessageSink scope(recorder);
  WarnDlg("100% literal");
  ErrorDlg("Cannot open \"%s\": %d", {"a.txt", 2});
  InfoDlg("%s of %d", {std::string("3"), 4});
  recorder.QueueAnswer(mrNo);
  EXPECT_EQ(YesNoDlg("Save %s?", {"x"}), mrNo);
  EXPECT_EQ(YesNoDlg("Really?", false), mrNo);  // the queue is empty: the default answers
  recorder.QueueAnswer(mrCancel);
  EXPECT_EQ(YesNoCancelDlg("Store changes?"), mrCancel);
  EXPECT_EQ(YesNoCancelDlg("Store %d changes?", {3}), mrYes);

  std::vector<TMessageRequest> requests = recorder.Requests();
  ASSERT_EQ(requests.size(), 7u);
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{"100% literal", "Cannot open \"a.txt\": 2", "3 of 4", "Save x?",
                                                       "Really?", "Store changes?", "Store 3 changes?"}));
  struct Expected {
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    int defaultAnswer;
  } expected[] = {
      {TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, mrOk},
      {TMsgDlgType::mtError, TMsgDlgButtons::mbOK, mrOk},
      {TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, mrOk},
      {TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, mrYes},
      {TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, mrNo},
      {TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNoCancel, mrYes},
      {TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNoCancel, mrYes},
  };
  for (size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].Type, expected[i].type) << i;
    EXPECT_EQ(requests[i].Buttons, expected[i].buttons) << i;
    EXPECT_EQ(requests[i].DefaultAnswer, expected[i].defaultAnswer) << i;
  }
}

TEST(MessageDialogs, ConsoleSinkWritesToStandardErrorAndTakesTheDefault) {
  EXPECT_EQ(&MessageSink(), SetMessageSink(nullptr));  // the console sink is the default
  testing::internal::CaptureStderr();
  WarnDlg("disk %s", {"full"});
  int answer = YesNoDlg("Overwrite?", false);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, mrNo);
  EXPECT_EQ(written, "Warning: disk full\nConfirm: Overwrite? [No]\n");
}
