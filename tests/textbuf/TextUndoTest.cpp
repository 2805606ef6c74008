#include "textbuf/TextUndo.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/MessageDialogs.h"
#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "tests/common/TestFiles.h"

namespace {

// A buffer with a caret position carrying the buffer's log, as an editor has.
struct Editing {
  TRefPtr<TEditBuffer> buffer{new TEditBuffer()};
  TEditPos caret{buffer.get()};
  explicit Editing(std::string_view text) {
    buffer->SetText(text);
    caret.AttachUndo(buffer->UndoLog());
  }
  void Type(int64_t at, std::string_view chars) {
    caret.SetPos(at);
    for (char c : chars) ASSERT_TRUE(caret.InsertText(std::string(1, c)));
  }
  std::string Text() const { return buffer->GetAllText(); }
  TTextUndo& Log() const { return *buffer->UndoLog(); }
};

TEST(TextUndo, TypedCharactersMergeIntoOneRecord) {
  Editing e("0123456789----");
  e.Type(10, "abc");
  EXPECT_EQ(e.Log().StreamSize(), TTextUndo::kHeaderSize + 3 + TTextUndo::kTrailerSize);
  int32_t start = -1, length = -1;
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0123456789----");
  EXPECT_EQ(start, 10);
  EXPECT_EQ(length, 0);
  EXPECT_FALSE(e.buffer->CanUndo());
  ASSERT_TRUE(e.buffer->Redo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0123456789abc----");
  EXPECT_EQ(start, 10);
  EXPECT_EQ(length, 3);
}

TEST(TextUndo, BrokenMergesAndNonAdjacentTypingMakeSeparateRecords) {
  Editing e("0123456789");
  e.Type(1, "a");
  e.Log().BreakMerge();  // the caret moved
  e.Type(2, "b");
  e.Type(0, "c");  // not adjacent
  int32_t start, length;
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0ab123456789");
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0a123456789");
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0123456789");
}

TEST(TextUndo, UndoingADeletionReinsertsAndSelectsIt) {
  Editing e("0123xyz789");
  e.caret.SetPos(4);
  ASSERT_TRUE(e.caret.DeleteText(3));
  int32_t start, length;
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "0123xyz789");
  EXPECT_EQ(start, 4);
  EXPECT_EQ(length, 3);
}

TEST(TextUndo, RecordingAfterUndoDropsTheRedoRecords) {
  Editing e("abc");
  e.caret.SetPos(0);
  e.caret.InsertText("12");
  e.caret.InsertText("34");
  int32_t start, length;
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  ASSERT_TRUE(e.buffer->CanRedo());
  e.caret.SetPos(0);
  e.caret.InsertText("Z");
  EXPECT_FALSE(e.buffer->CanRedo());
  EXPECT_FALSE(e.buffer->Redo(nullptr, start, length));
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "abc");
  EXPECT_FALSE(e.buffer->CanUndo());
}

// The X lay between a CR and an LF that were separate line ends; after the
// later deletion is undone they form one CR LF, and undoing the deletion of
// X must put it back between them.
TEST(TextUndo, ReplayReachesAnOffsetBetweenTheCharactersOfALineEnd) {
  Editing e("a\rX\nb");
  e.caret.SetPos(2);
  ASSERT_TRUE(e.caret.DeleteText(1));
  e.caret.SetPos(1);
  ASSERT_TRUE(e.caret.DeleteText(2));
  ASSERT_EQ(e.Text(), "ab");
  int32_t start, length;
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  ASSERT_EQ(e.buffer->LineEndOf(0), leCRLF);
  ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "a\rX\nb");
  EXPECT_EQ(start, 2);
  EXPECT_EQ(length, 1);
  ASSERT_TRUE(e.buffer->Redo(nullptr, start, length));
  ASSERT_TRUE(e.buffer->Redo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "ab");
}

TEST(TextUndo, AnEmptyLogHasNothingToReplay) {
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  EXPECT_FALSE(buffer->CanUndo());
  EXPECT_FALSE(buffer->CanRedo());
  TEditPos pos(buffer.get());
  int32_t start, length;
  EXPECT_FALSE(buffer->UndoLog()->Replay(pos, -1, start, length));
  EXPECT_FALSE(buffer->UndoLog()->Replay(pos, +1, start, length));
}

TEST(TextUndo, ABadRecordFailsAndLeavesTheCursor) {
  Editing e("abcdef");
  e.caret.SetPos(0);
  e.caret.InsertText("12");
  // An overwrite whose old text does not have the new text's length, and a
  // kind that is never written: neither may be replayed.
  e.Log().Record(ukOverwrite, 0, "abc", "12");
  const int32_t cursor = e.Log().Cursor();
  int32_t start, length;
  EXPECT_FALSE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Log().Cursor(), cursor);
  e.Log().Record(static_cast<TUndoKind>(6), 0, {}, "x");
  EXPECT_FALSE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "12abcdef");
  // A deletion past the end of the text cannot be replayed either.
  e.Log().Record(ukInsert, 500, {}, "x");
  EXPECT_FALSE(e.buffer->Undo(nullptr, start, length));
}

std::vector<std::string> UndoFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* entry = readdir(d))
      if (std::string(entry->d_name).rfind("und", 0) == 0) names.push_back(entry->d_name);
    closedir(d);
  }
  return names;
}

// Counts the open descriptors of this process that point at deleted "und" files.
int OpenDeletedUndoFiles(const std::string& folder) {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(d)) {
      char target[4096];
      std::string link = std::string("/proc/self/fd/") + entry->d_name;
      ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      std::string t(target);
      if (t.rfind(folder + "/und", 0) == 0 && t.find("(deleted)") != std::string::npos) ++count;
    }
    closedir(d);
  }
  return count;
}

class TempFolder : public ::testing::Test {
protected:
  TTempDir dir_{"textbuf-undo"};
  TTmpDirOverride tmp_{dir_.Path().string()};
  std::string folder_ = dir_.Path().string();
};

TEST_F(TempFolder, ALogPast64KiBMovesToAnUnlinkedFileAndKeepsWorking) {
  {
    Editing e("start\n");
    e.caret.SetPos(0);
    for (int i = 0; i < 80; ++i) ASSERT_TRUE(e.caret.InsertText(std::string(1000, static_cast<char>('a' + i % 26)) + "\n"));
    EXPECT_TRUE(e.Log().Spilled());
    EXPECT_TRUE(UndoFilesIn(folder_).empty()) << "the file has no name from the start";
    EXPECT_EQ(OpenDeletedUndoFiles(folder_), 1);
    int32_t start, length;
    for (int i = 0; i < 80; ++i) ASSERT_TRUE(e.buffer->Undo(nullptr, start, length)) << i;
    EXPECT_EQ(e.Text(), "start\n");
    for (int i = 0; i < 80; ++i) ASSERT_TRUE(e.buffer->Redo(nullptr, start, length)) << i;
    EXPECT_EQ(e.buffer->LineCount(), 81);
  }
  EXPECT_EQ(OpenDeletedUndoFiles(folder_), 0) << "the log's file closes with the log";
}

TEST_F(TempFolder, AFailedSpillReportsOnceAndStaysInMemory) {
  TRecordingMessageSink messages;
  TScopedMessageSink scope(messages);
  setenv("TMPDIR", (folder_ + "/missing").c_str(), 1);
  Editing e("");
  e.caret.SetPos(0);
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(e.caret.InsertText(std::string(1000, 'x')));
  ASSERT_EQ(messages.Requests().size(), 1u);
  EXPECT_EQ(messages.Requests()[0].Type, TMsgDlgType::mtError);
  EXPECT_NE(messages.Texts()[0].find("undo file"), std::string::npos) << messages.Texts()[0];
  EXPECT_FALSE(e.Log().Spilled());
  int32_t start, length;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(e.buffer->Undo(nullptr, start, length));
  EXPECT_EQ(e.Text(), "");
}

}  // namespace
