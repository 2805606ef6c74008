#include "textbuf/EditPos.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/StringList.h"
#include "textbuf/EditBuffer.h"
#include "textbuf/TextUndo.h"

namespace {

TRefPtr<TEditBuffer> Loaded(std::string_view text) {
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  buffer->SetText(text);
  return buffer;
}

std::string Line(TEditBuffer& buffer, int32_t i) {
  std::string s;
  buffer.GetLine(i, s);
  return s;
}

TEST(EditPos, TheOpenPositionAfterAFinalLineEndTakesText) {
  auto buffer = Loaded("x\r\n");
  TEditPos pos(buffer.get());
  pos.SetPos(3);
  ASSERT_FALSE(pos.Invalid());
  EXPECT_EQ(pos.Line(), 1);
  EXPECT_EQ(pos.Column(), 0);
  ASSERT_TRUE(pos.InsertText("y"));
  EXPECT_EQ(buffer->LineCount(), 2);
  EXPECT_EQ(Line(*buffer, 1), "y");
  EXPECT_EQ(pos.Position(), 4);
  // Deleting it again gives back the open position, not an empty last line:
  // the same text must save and list the same whatever its history.
  pos.SetPos(3);
  ASSERT_TRUE(pos.DeleteText(1));
  EXPECT_EQ(buffer->LineCount(), 1);
  EXPECT_TRUE(buffer->EndsWithLineEnd());
  EXPECT_EQ(buffer->GetAllText(gtEnsureLineEnds), "x\r\n");
  EXPECT_EQ(pos.Line(), 1);
  EXPECT_EQ(pos.Position(), 3);
  TStringList lines;
  buffer->AssignToStrings(lines);
  EXPECT_EQ(lines.Count(), 1);
  // Also when a tag stood on that line: it goes with the line.
  ASSERT_TRUE(pos.InsertText("y"));
  ASSERT_TRUE(buffer->AddLineTag(1, 0, false, 7, 1));
  pos.SetPos(3);
  ASSERT_TRUE(pos.DeleteText(1));
  EXPECT_EQ(buffer->LineCount(), 1);
  EXPECT_EQ(buffer->GetAllText(gtEnsureLineEnds), "x\r\n");
  // Without a final line end the end of the text is the end of the last line.
  auto open = Loaded("x");
  TEditPos end(open.get());
  end.SetPos(1);
  EXPECT_EQ(end.Line(), 0);
  EXPECT_EQ(end.Column(), 1);
  int64_t offset;
  EXPECT_FALSE(end.LineColToPos(1, 1, offset));
  // There is no line after it: moving there fails and keeps the place.
  EXPECT_FALSE(end.LineColToPos(1, 0, offset));
  EXPECT_FALSE(end.MoveLines(1));
  EXPECT_TRUE(end.Invalid());
  EXPECT_EQ(end.Line(), 0);
  EXPECT_EQ(end.Column(), 1);
  EXPECT_EQ(end.Position(), 1);
}

TEST(EditPos, ALineEndTypedMidLineKeepsTheOldEndOnTheSecondHalf) {
  auto buffer = Loaded("abcd\nz");
  TEditPos pos(buffer.get());
  pos.SetPos(2);
  ASSERT_TRUE(pos.InsertText("\r\n"));
  EXPECT_EQ(Line(*buffer, 0), "ab\r\n");
  EXPECT_EQ(Line(*buffer, 1), "cd\n");
  EXPECT_EQ(pos.Line(), 1);
  EXPECT_EQ(pos.Column(), 0);
  EXPECT_EQ(pos.Position(), 4);
}

TEST(EditPos, UndoKindsOfInsertions) {
  struct {
    std::string text;
    int kind;
  } cases[] = {{"a", ukTyped}, {"\r\n", ukTyped}, {"\n\n", ukTyped}, {"ab", ukInsert}, {"a\n", ukInsert}};
  for (const auto& c : cases) {
    auto buffer = Loaded("0123456789");
    TEditPos pos(buffer.get());
    pos.AttachUndo(buffer->UndoLog());
    pos.SetPos(4);
    ASSERT_TRUE(pos.InsertText(c.text));
    // A record of kind 2 merges with the next adjacent typed character.
    pos.InsertText("q");
    const int64_t records = buffer->UndoLog()->StreamSize();
    const int64_t one = TTextUndo::kHeaderSize + static_cast<int64_t>(c.text.size()) + 1 + TTextUndo::kTrailerSize;
    EXPECT_EQ(records == one, c.kind == ukTyped) << c.text;
  }
}

TEST(EditPos, SetColStopsBeforeTheLineEnd) {
  auto buffer = Loaded("abc\r\ndef");
  TEditPos pos(buffer.get());
  pos.SetPos(0);
  pos.SetCol(50);
  EXPECT_EQ(pos.Column(), 3);
  EXPECT_EQ(pos.Position(), 3);
  // An offset between CR and LF places the position before the line end.
  pos.SetPos(4);
  EXPECT_EQ(pos.Position(), 3);
  EXPECT_FALSE(pos.MoveBy(1)) << "lands inside the line end";
  EXPECT_TRUE(pos.MoveBy(2));
  EXPECT_EQ(pos.Line(), 1);
  EXPECT_FALSE(pos.MoveBy(10));
  EXPECT_TRUE(pos.Invalid());
  EXPECT_EQ(pos.Position(), 5) << "a failed placement keeps the coordinates";
  EXPECT_FALSE(pos.DeleteText(1)) << "an invalid position deletes nothing";
  EXPECT_TRUE(pos.MoveLines(-1));
  EXPECT_EQ(pos.Position(), 0);
  EXPECT_FALSE(pos.MoveLines(5));
}

TEST(EditPos, OtherPositionsFollowInsertionsAndDeletions) {
  auto buffer = Loaded("0123456789\nabcdefghij\n");
  TEditPos editor(buffer.get());
  TEditPos before(buffer.get()), at(buffer.get()), after(buffer.get()), inside(buffer.get());
  before.SetPos(3);
  at.SetPos(5);
  after.SetPos(15);
  inside.SetPos(7);
  editor.SetPos(5);
  ASSERT_TRUE(editor.InsertText("XYZ\n"));
  EXPECT_EQ(before.Position(), 3);
  EXPECT_EQ(at.Position(), 9) << "a position at the insertion point moves";
  EXPECT_EQ(after.Position(), 19);
  EXPECT_EQ(after.Line(), 2);
  EXPECT_EQ(after.Column(), 4);
  // Deleting "YZ\n567" (6 characters from 6): inside (now at 11) lies in the
  // range and goes to its start, never below it.
  editor.SetPos(6);
  ASSERT_TRUE(editor.DeleteText(6));
  EXPECT_EQ(inside.Position(), 6);
  EXPECT_EQ(after.Position(), 13);
  EXPECT_EQ(before.Position(), 3);
  EXPECT_EQ(buffer->GetAllText(), "01234X89\nabcdefghij\n");
}

TEST(EditPos, DeletingAcrossLinesJoinsThem) {
  auto buffer = Loaded("ab\r\ncd\r\nef\r\ngh");
  TEditPos pos(buffer.get());
  pos.SetPos(1);
  ASSERT_TRUE(pos.DeleteText(8));  // b CR LF cd CR LF e
  EXPECT_EQ(buffer->GetAllText(), "af\r\ngh");
  EXPECT_EQ(buffer->LineCount(), 2);
  // Only one character of a CR LF: the other one stays a line end.
  auto partial = Loaded("ab\r\ncd");
  TEditPos p(partial.get());
  p.SetPos(2);
  ASSERT_TRUE(p.DeleteText(1));
  EXPECT_EQ(partial->LineEndOf(0), leLF);
  EXPECT_EQ(partial->LineCount(), 2);
  // Past the end of the text deletes what exists.
  p.SetPos(4);
  EXPECT_TRUE(p.DeleteText(100));
  EXPECT_EQ(partial->GetAllText(), "ab\nc");
  p.SetPos(4);
  EXPECT_FALSE(p.DeleteText(1));
}

TEST(EditPos, LongPastesAreCutIntoChunksThatFit16Bits) {
  auto buffer = Loaded("<>");
  TEditPos pos(buffer.get());
  pos.SetPos(1);
  ASSERT_TRUE(pos.InsertText(std::string(150000, 'p')));
  for (const auto& c : buffer->LineChunks(0)) EXPECT_LE(c.length, 59392);
  // Appending in place never takes a chunk past its 16-bit length.
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(pos.InsertText("0123456789"));
  for (const auto& c : buffer->LineChunks(0)) EXPECT_LE(c.length, 0xFFFF);
  std::string fault;
  EXPECT_TRUE(buffer->CheckIntegrity(&fault)) << fault;
  EXPECT_EQ(buffer->TotalLength(), 2 + 150000 + 30000);
}

TEST(EditPos, InsertingIntoBlankRunsAndTypingIntoTheRoom) {
  auto buffer = Loaded(std::string(20, ' ') + "x\n");
  TEditPos pos(buffer.get());
  pos.SetPos(10);
  ASSERT_TRUE(pos.InsertText("ab"));
  ASSERT_TRUE(pos.InsertText("c"));
  EXPECT_EQ(buffer->GetAllText(), std::string(10, ' ') + "abc" + std::string(10, ' ') + "x\n");
  for (const auto& c : buffer->LineChunks(0)) EXPECT_NE(c.length, 0) << "no empty chunks";
}

TEST(EditPos, ChangesWithoutALogClearTheLog) {
  auto buffer = Loaded("abc");
  TEditPos logged(buffer.get());
  logged.AttachUndo(buffer->UndoLog());
  logged.SetPos(0);
  logged.InsertText("x");
  ASSERT_TRUE(buffer->CanUndo());
  TEditPos plain(buffer.get());
  plain.SetPos(1);
  plain.DeleteText(1);
  EXPECT_FALSE(buffer->CanUndo());
  EXPECT_EQ(buffer->GetAllText(), "xbc");
}

TEST(EditPos, ReplaceTextIsADeletionAndAnInsertion) {
  auto buffer = Loaded(std::string(30, ' ') + "tail\n");
  TEditPos pos(buffer.get());
  pos.AttachUndo(buffer->UndoLog());
  pos.SetPos(5);
  ASSERT_TRUE(pos.ReplaceText(20, "abc"));
  EXPECT_EQ(buffer->GetAllText(), std::string(5, ' ') + "abc" + std::string(5, ' ') + "tail\n");
  int32_t start, length;
  ASSERT_TRUE(buffer->Undo(nullptr, start, length));
  ASSERT_TRUE(buffer->Undo(nullptr, start, length));
  EXPECT_EQ(buffer->GetAllText(), std::string(30, ' ') + "tail\n");
}

}  // namespace
