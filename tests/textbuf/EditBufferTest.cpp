#include "textbuf/EditBuffer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/StringList.h"
#include "textbuf/EditPos.h"
#include "textbuf/TextUndo.h"

namespace {

using Chunk = TEditBuffer::TChunkInfo;

TRefPtr<TEditBuffer> Loaded(std::string_view text) {
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  buffer->SetText(text);
  return buffer;
}

struct LoadCase {
  const char* name;
  std::string text;
  std::vector<std::string> lines;  // with their line ends
  std::vector<int> lineEnds;
};

TEST(EditBuffer, LoadSplitsLinesAtEveryKindOfLineEnd) {
  const std::vector<LoadCase> cases = {
      {"CR LF is one line end", "a\r\nb", {"a\r\n", "b"}, {leCRLF, -1}},
      {"LF CR is one line end", "a\n\rb", {"a\n\r", "b"}, {leLFCR, -1}},
      {"CR CR are two", "a\r\rb", {"a\r", "\r", "b"}, {leCR, leCR, -1}},
      {"LF LF are two", "a\n\nb", {"a\n", "\n", "b"}, {leLF, leLF, -1}},
      {"a final line end leaves no empty record", "x\r\n", {"x\r\n"}, {leCRLF}},
      {"the empty text keeps one empty line", "", {""}, {-1}},
      {"CR LF CR", "\r\n\r", {"\r\n", "\r"}, {leCRLF, leCR}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto buffer = Loaded(c.text);
    ASSERT_EQ(buffer->LineCount(), static_cast<int32_t>(c.lines.size()));
    for (int32_t i = 0; i < buffer->LineCount(); ++i) {
      std::string line;
      ASSERT_TRUE(buffer->GetLine(i, line));
      EXPECT_EQ(line, c.lines[static_cast<size_t>(i)]);
      EXPECT_EQ(buffer->LineEndOf(i), c.lineEnds[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(buffer->TotalLength(), static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(buffer->EndsWithLineEnd(), c.lineEnds.back() >= 0);
    EXPECT_EQ(buffer->GetAllText(), c.text);
    EXPECT_FALSE(buffer->Modified());
  }
}

// A text that arrives in pieces (a growing file, a tool's output) gives the
// lines of one load wherever it is cut, also between CR and LF.
TEST(EditBuffer, AppendingInPiecesGivesTheLinesOfOneLoad) {
  const std::string text = "a\r\nb\n\rc\r\rd\n\ne\r\n";
  auto whole = Loaded(text);
  struct Keeper : TBufferChangeHandler {
    std::vector<TChangeInfo> changes;
    void BufferChanged(TEditBuffer*, const TChangeInfo* c) override {
      if (c) changes.push_back(*c);
    }
  };
  for (size_t cut = 1; cut < text.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    auto pieces = Loaded(text.substr(0, cut));
    const int32_t linesBefore = pieces->LineCount();
    Keeper keeper;
    pieces->AddChangeHandler(&keeper);
    pieces->AppendText(text.substr(cut));
    pieces->RemoveChangeHandler(&keeper);
    ASSERT_EQ(pieces->GetAllText(), text);
    ASSERT_EQ(pieces->LineCount(), whole->LineCount());
    for (int32_t i = 0; i < whole->LineCount(); ++i) EXPECT_EQ(pieces->LineEndOf(i), whole->LineEndOf(i)) << "line " << i;
    ASSERT_EQ(keeper.changes.size(), 1u);
    EXPECT_EQ(keeper.changes[0].Position, static_cast<int32_t>(cut));
    EXPECT_EQ(keeper.changes[0].CharDelta, static_cast<int32_t>(text.size() - cut));
    EXPECT_EQ(keeper.changes[0].LineDelta, whole->LineCount() - linesBefore);
    std::string fault;
    EXPECT_TRUE(pieces->CheckIntegrity(&fault)) << fault;
  }
}

TEST(EditBuffer, AnyBytesLoadAndWriteBackUnchanged) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 5000), '\0');
    // Every byte value, with blanks and line ends frequent enough to matter.
    for (char& c : bytes) {
      uint32_t r = rng() % 8;
      c = r == 0 ? '\r' : r == 1 ? '\n' : r < 4 ? ' ' : static_cast<char>(rng());
    }
    if (round == 0) bytes.append(std::string(300, ' ') + "x" + std::string(500, ' '));
    auto buffer = Loaded(bytes);
    std::string fault;
    ASSERT_TRUE(buffer->CheckIntegrity(&fault)) << fault;
    ASSERT_EQ(buffer->GetAllText(), bytes);
  }
}

TEST(EditBuffer, ChunkLayoutOfLoadedLines) {
  const Chunk lf{ckLineEnd, 1, leLF};
  struct Case {
    const char* name;
    std::string line;
    std::vector<Chunk> chunks;
  } cases[] = {
      {"a line of 100000 characters takes two text chunks", std::string(100000, 'x'),
       {{ckText, 59392, -1}, {ckText, 40608, -1}, lf}},
      {"12 leading blanks are a run", std::string(12, ' ') + "x", {{ckSpaces, 12, -1}, {ckText, 1, -1}, lf}},
      {"11 leading blanks stay text", std::string(11, ' ') + "x", {{ckText, 12, -1}, lf}},
      {"32 trailing blanks are a run", "abc" + std::string(32, ' '), {{ckText, 3, -1}, {ckSpaces, 32, -1}, lf}},
      {"31 trailing blanks stay text", "abc" + std::string(31, ' '), {{ckText, 34, -1}, lf}},
      {"a long run is cut at 255", std::string(300, ' ') + "y", {{ckSpaces, 255, -1}, {ckSpaces, 45, -1}, {ckText, 1, -1}, lf}},
      {"blanks only", std::string(5, ' '), {{ckSpaces, 5, -1}, lf}},
      {"the empty line", "", {lf}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto buffer = Loaded(c.line + "\n");
    EXPECT_EQ(buffer->LineChunks(0), c.chunks);
    std::string line;
    buffer->GetLine(0, line, false);
    EXPECT_EQ(line, c.line);
  }
}

TEST(EditBuffer, FindLineMapsOffsetsIncludingTheEnds) {
  auto buffer = Loaded("ab\r\ncd\nef");
  struct {
    int32_t offset;
    bool ok;
    int32_t line, column;
  } cases[] = {{0, true, 0, 0},  {3, true, 0, 3}, {4, true, 1, 0}, {6, true, 1, 2},
               {7, true, 2, 0},  {9, true, 2, 2}, {10, false, 0, 0}, {-1, false, 0, 0}};
  for (const auto& c : cases) {
    int32_t line = -5, column = -5;
    ASSERT_EQ(buffer->FindLine(c.offset, line, column), c.ok) << c.offset;
    if (c.ok) {
      EXPECT_EQ(line, c.line) << c.offset;
      EXPECT_EQ(column, c.column) << c.offset;
    }
  }
  // The cache must not answer for a line that moved.
  int32_t line, column;
  buffer->FindLine(8, line, column);
  TEditPos pos(buffer.get());
  pos.SetPos(0);
  pos.InsertText("x\n");
  ASSERT_TRUE(buffer->FindLine(8, line, column));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(column, 2);
}

TEST(EditBuffer, TextRangesAcrossLinesAndPastTheEnd) {
  auto buffer = Loaded(std::string(20, ' ') + "ab\r\ncd\n");
  std::string s;
  EXPECT_TRUE(buffer->GetTextRange(19, 6, s));
  EXPECT_EQ(s, " ab\r\nc");
  EXPECT_TRUE(buffer->GetTextRange(24, 100, s));
  EXPECT_EQ(s, "cd\n");
  EXPECT_TRUE(buffer->GetTextRange(3, 0, s));
  EXPECT_EQ(s, "");
  EXPECT_FALSE(buffer->GetTextRange(3, -1, s));
  EXPECT_FALSE(buffer->GetTextRange(100, 1, s));
}

TEST(EditBuffer, AllTextFlagsTrimAndCloseLines) {
  auto buffer = Loaded("a \t\r\nb" + std::string(40, ' ') + "\nc  ");
  EXPECT_EQ(buffer->GetAllText(gtTrimTrailing), "a\r\nb\nc");
  EXPECT_EQ(buffer->GetAllText(gtEnsureLineEnds), buffer->GetAllText() + "\r\n");
  EXPECT_EQ(buffer->GetAllText(gtTrimTrailing | gtEnsureLineEnds), "a\r\nb\nc\r\n");
  auto closed = Loaded("a\n");
  EXPECT_EQ(closed->GetAllText(gtEnsureLineEnds), "a\n");
}

TEST(EditBuffer, SetLineEndsConvertsEveryLineAndClearsUndo) {
  auto buffer = Loaded("a\r\nb\r\nc\rd");
  TEditPos pos(buffer.get());
  pos.AttachUndo(buffer->UndoLog());
  pos.SetPos(0);
  pos.InsertText("x");
  ASSERT_TRUE(buffer->CanUndo());
  buffer->SetModified(false);
  buffer->SetLineEnds("\n");
  EXPECT_EQ(buffer->GetAllText(), "xa\nb\nc\nd");
  EXPECT_EQ(buffer->TotalLength(), 8);
  EXPECT_TRUE(buffer->Modified());
  // The log cannot replay offsets of the old text.
  EXPECT_FALSE(buffer->CanUndo());
  buffer->SetModified(false);
  buffer->SetLineEnds("x");
  buffer->SetLineEnds("\n");
  EXPECT_EQ(buffer->GetAllText(), "xa\nb\nc\nd");
  EXPECT_FALSE(buffer->Modified());
}

// A position at the end of a line's text stays there when the line end
// grows or shrinks, and one at the next line's start stays at that start:
// neither may end up between the two characters of the new line end.
TEST(EditBuffer, SetLineEndsKeepsPositionsOutsideTheLineEnds) {
  for (const char* from : {"\n", "\r\n"}) {
    const std::string lineEnd = from;
    const std::string to = lineEnd == "\n" ? "\r\n" : "\n";
    SCOPED_TRACE("from " + std::to_string(lineEnd.size()) + " characters");
    auto buffer = Loaded("ab" + lineEnd + "cd" + lineEnd);
    TEditPos atEnd(buffer.get()), atNext(buffer.get());
    atEnd.SetPos(2);
    atNext.SetPos(2 + static_cast<int64_t>(lineEnd.size()));
    buffer->SetLineEnds(to);
    EXPECT_EQ(atEnd.Position(), 2);
    EXPECT_EQ(atEnd.Line(), 0);
    EXPECT_EQ(atEnd.Column(), 2);
    EXPECT_EQ(atNext.Position(), 2 + static_cast<int64_t>(to.size()));
    EXPECT_EQ(atNext.Line(), 1);
    EXPECT_EQ(atNext.Column(), 0);
    ASSERT_TRUE(atEnd.InsertText("X"));
    ASSERT_TRUE(atNext.InsertText("Y"));
    EXPECT_EQ(buffer->GetAllText(), "abX" + to + "Ycd" + to);
    std::string fault;
    EXPECT_TRUE(buffer->CheckIntegrity(&fault)) << fault;
  }
}

TEST(EditBuffer, OverwriteReplacesInPlaceOrRefusesWithoutWriting) {
  auto buffer = Loaded(std::string(14, ' ') + "abc\nxyz\n");
  ASSERT_EQ(buffer->LineChunks(0).size(), 3u);  // blank run, text, line end
  ASSERT_TRUE(buffer->OverwriteText(12, "QRS", true));
  EXPECT_EQ(buffer->GetAllText(), std::string(12, ' ') + "QRSbc\nxyz\n");
  // Rebuilt into one text chunk and its line end.
  EXPECT_EQ(buffer->LineChunks(0), (std::vector<Chunk>{{ckText, 17, -1}, {ckLineEnd, 1, leLF}}));

  const std::string before = buffer->GetAllText();
  EXPECT_FALSE(buffer->OverwriteText(16, "1234", true)) << "reaches the line end";
  EXPECT_FALSE(buffer->OverwriteText(18, "ab\ncd", true)) << "carries a line end";
  EXPECT_FALSE(buffer->OverwriteText(0, std::string(0x10000, 'z'), true)) << "longer than a record holds";
  EXPECT_FALSE(buffer->OverwriteText(100, "a", true)) << "outside the text";
  EXPECT_EQ(buffer->GetAllText(), before);

  // A line of 60001 characters with a blank run cannot be rebuilt.
  auto longLine = Loaded(std::string(20, ' ') + std::string(59981, 'y') + "\n");
  ASSERT_EQ(longLine->LineChunks(0)[0].kind, ckSpaces);
  EXPECT_FALSE(longLine->OverwriteText(30, "Z", true));
  EXPECT_EQ(longLine->GetAllText()[30], 'y');
  auto justShortEnough = Loaded(std::string(20, ' ') + std::string(59980, 'y') + "\n");
  EXPECT_TRUE(justShortEnough->OverwriteText(30, "Z", true));

  // Undo writes the old characters back.
  int32_t start, length;
  ASSERT_TRUE(buffer->Undo(nullptr, start, length));
  EXPECT_EQ(buffer->GetAllText(), std::string(14, ' ') + "abc\nxyz\n");
  EXPECT_EQ(start, 12);
  ASSERT_TRUE(buffer->Redo(nullptr, start, length));
  EXPECT_EQ(buffer->GetAllText(), before);
  EXPECT_EQ(start, 15);
}

class Recorder : public TBufferChangeHandler {
public:
  std::vector<std::string> calls;
  std::string name;
  std::function<void()> onCall;
  void BufferChanged(TEditBuffer*, const TChangeInfo* change) override {
    calls.push_back(change ? (change->Deferred ? "deferred" : "change") : "all");
    if (onCall) onCall();
  }
};

TEST(EditBuffer, HandlersRemovedDuringNotificationSkipNobody) {
  auto buffer = Loaded("abc");
  Recorder first, second, third;
  buffer->AddChangeHandler(&first);
  buffer->AddChangeHandler(&second);
  buffer->AddChangeHandler(&third);
  first.onCall = [&] { buffer->RemoveChangeHandler(&first); };
  second.onCall = [&] { buffer->RemoveChangeHandler(&third); };
  buffer->AppendText("d");
  EXPECT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(second.calls.size(), 1u);
  EXPECT_EQ(third.calls.size(), 0u) << "removed before its turn";
  buffer->AppendText("e");
  EXPECT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(second.calls.size(), 2u);
  buffer->RemoveChangeHandler(&second);
}

TEST(EditBuffer, AFailingHandlerDoesNotStopTheOthers) {
  auto buffer = Loaded("abc");
  Recorder thrower, after;
  thrower.onCall = [] { throw Exception("handler failed"); };
  buffer->AddChangeHandler(&thrower);
  buffer->AddChangeHandler(&after);
  EXPECT_NO_THROW(buffer->AppendText("d"));
  EXPECT_EQ(after.calls.size(), 1u);
  buffer->RemoveChangeHandler(&thrower);
  buffer->RemoveChangeHandler(&after);
}

TEST(EditBuffer, UpdateBracketsDeferAndNotifyOnceAtTheEnd) {
  auto buffer = Loaded("abc");
  Recorder r;
  buffer->AddChangeHandler(&r);
  buffer->BeginUpdate();
  buffer->BeginUpdate();
  buffer->AppendText("d");
  buffer->EndUpdate();
  buffer->AppendText("e");
  EXPECT_EQ(r.calls, (std::vector<std::string>{"deferred", "deferred"}));
  buffer->EndUpdate();
  EXPECT_EQ(r.calls.back(), "all");
  buffer->BeginUpdate();
  buffer->EndUpdate();
  EXPECT_EQ(r.calls.size(), 3u) << "an empty bracket reports nothing";
  buffer->RemoveChangeHandler(&r);
}

TEST(EditBuffer, ChangeRecordsOfAppendAndClear) {
  auto buffer = Loaded("ab\n");
  struct Keeper : TBufferChangeHandler {
    std::vector<TChangeInfo> changes;
    void BufferChanged(TEditBuffer*, const TChangeInfo* c) override {
      if (c) changes.push_back(*c);
    }
  } keeper;
  buffer->AddChangeHandler(&keeper);
  buffer->AppendText("cd\nef");
  buffer->ClearText();
  buffer->RemoveChangeHandler(&keeper);
  ASSERT_EQ(keeper.changes.size(), 2u);
  EXPECT_EQ(keeper.changes[0].Position, 3);
  EXPECT_EQ(keeper.changes[0].Line, 1);
  EXPECT_EQ(keeper.changes[0].CharDelta, 5);
  EXPECT_EQ(keeper.changes[0].LineDelta, 2);
  EXPECT_EQ(keeper.changes[1].CharDelta, -8);
  EXPECT_EQ(keeper.changes[1].LineDelta, -3);
  EXPECT_EQ(buffer->LineCount(), 1);
  EXPECT_EQ(buffer->TotalLength(), 0);
}

// A text of 2 GiB cannot be addressed with 32-bit offsets: it is refused
// before the buffer changes. The text is a mapping of zero pages that is
// never touched.
TEST(EditBuffer, TextsOf2GiBAreRefusedBeforeAnythingChanges) {
  const size_t size = size_t(1) << 31;
  void* zeros = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(zeros, MAP_FAILED);
  const std::string_view huge(static_cast<const char*>(zeros), size);
  auto buffer = Loaded("keep me\n");
  EXPECT_THROW(buffer->SetText(huge), Exception);
  EXPECT_THROW(buffer->AppendText(huge.substr(0, size - 4)), Exception);
  TEditPos pos(buffer.get());
  pos.SetPos(0);
  EXPECT_THROW(pos.InsertText(huge.substr(0, size - 8)), Exception);
  EXPECT_EQ(buffer->GetAllText(), "keep me\n");
  ::munmap(zeros, size);
}

// Under AddressSanitizer the address-space limit below cannot be set: its
// shadow memory alone takes terabytes of address space.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanLimitAddressSpace = false;
#else
constexpr bool kCanLimitAddressSpace = true;
#endif

TEST(EditBuffer, ALoadThatRunsOutOfMemoryLeavesAnEmptyUnmodifiedBuffer) {
  if (!kCanLimitAddressSpace) GTEST_SKIP() << "the address space cannot be limited under AddressSanitizer";
  // The child loads 256 MB of text with 64 MB of address space to spare and
  // reports how it ended: 0 when the load failed and left nothing behind.
  const std::string text(size_t(256) << 20, 'x');
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto buffer = Loaded("old text\n");
    buffer->SetModified(true);
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    std::ifstream maps("/proc/self/statm");
    size_t pages = 0;
    maps >> pages;
    limit.rlim_cur = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) + (size_t(64) << 20);
    ::setrlimit(RLIMIT_AS, &limit);
    int status = 3;
    try {
      buffer->SetText(text);
      status = 2;  // the load did not run out of memory: the test proves nothing
    } catch (const Exception& e) {
      const bool clear = e.Message() == "Not enough memory to load the text (256 MB).";
      status = buffer->GetAllText().empty() && !buffer->Modified() && clear ? 0 : 1;
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: partial text left behind or an unclear message, 2: no failure, 3: another exception";
}

class Counted : public TLineTagObject {
public:
  explicit Counted(int& deaths) : deaths_(deaths) {}
  ~Counted() override { ++deaths_; }

private:
  int& deaths_;
};

TEST(EditBuffer, LineTagsTravelWithTheTextAndReleaseOwnedValues) {
  auto buffer = Loaded("abcdef\nghi\n");
  ASSERT_TRUE(buffer->AddLineTag(1, 1, false, 77, 5));
  ASSERT_TRUE(buffer->AddLineTag(0, 3, false, 66, 9));
  EXPECT_FALSE(buffer->AddLineTag(0, 7, false, 1, 1)) << "past the line's text";
  EXPECT_EQ(buffer->LineTextLength(0), 6) << "a tag has no length";
  int32_t offset = -1;
  EXPECT_EQ(buffer->FindLineTag(0, offset, 0), 66);
  EXPECT_EQ(offset, 3);
  EXPECT_EQ(buffer->FindTaggedLine(77, 5, 0, 1), 1);
  EXPECT_EQ(buffer->FindTaggedLine(77, 5, 1, 0), 1);

  // Joining the lines brings line 1's tag along, shifted by line 0's text.
  TEditPos pos(buffer.get());
  pos.SetPos(6);
  ASSERT_TRUE(pos.DeleteText(1));
  offset = -1;
  EXPECT_EQ(buffer->FindLineTag(0, offset, 5), 77);
  EXPECT_EQ(offset, 7);
  // Text inserted before a tag pushes it on.
  pos.SetPos(0);
  pos.InsertText("XY");
  offset = -1;
  EXPECT_EQ(buffer->FindLineTag(0, offset, 9), 66);
  EXPECT_EQ(offset, 5);
  EXPECT_EQ(buffer->GetAllText(), "XYabcdefghi\n");

  int deaths = 0;
  auto* owned = new Counted(deaths);
  ASSERT_TRUE(buffer->AddLineTag(0, 0, true, reinterpret_cast<intptr_t>(owned), 3));
  EXPECT_TRUE(buffer->RemoveLineTags(0, 3, 0, -1));
  EXPECT_EQ(deaths, 1);
  EXPECT_FALSE(buffer->RemoveLineTags(0, 3, 0, -1));
  // Deleting the text around a tag frees it; clearing frees the rest.
  buffer->AddLineTag(0, 4, true, reinterpret_cast<intptr_t>(new Counted(deaths)), 3);
  buffer->AddLineTag(0, 8, true, reinterpret_cast<intptr_t>(new Counted(deaths)), 3);
  pos.SetPos(2);
  pos.DeleteText(4);
  EXPECT_EQ(deaths, 2);
  buffer->ClearText();
  EXPECT_EQ(deaths, 3);
}

TEST(EditBuffer, StringListsInAndOut) {
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  TStringList list;
  list.Add("one");
  list.Add("");
  list.Add("three");
  buffer->AssignFromStrings(list);
  EXPECT_EQ(buffer->GetAllText(), "one\r\n\r\nthree\r\n");
  buffer->SetText("a\r\nb\n\rc\r\r");
  TStringList out;
  out.Add("old");
  buffer->AssignToStrings(out);
  ASSERT_EQ(out.Count(), 4);
  EXPECT_EQ(out[0], "a");
  EXPECT_EQ(out[1], "b");
  EXPECT_EQ(out[2], "c");
  EXPECT_EQ(out[3], "");
}

TEST(EditBuffer, EnsureLineEndAddsThePreviousLinesKind) {
  auto buffer = Loaded("a\nb");
  buffer->UndoLog()->Record(ukInsert, 0, {}, "a");
  EXPECT_TRUE(buffer->EnsureLineEnd(nullptr, 0));
  EXPECT_FALSE(buffer->EnsureLineEnd(nullptr, 5));
  EXPECT_FALSE(buffer->EnsureLineEnd(nullptr, 1));
  EXPECT_EQ(buffer->GetAllText(), "a\nb\n");
  EXPECT_FALSE(buffer->CanUndo()) << "a change without the log clears it";
  auto single = Loaded("x");
  single->EnsureLineEnd(nullptr, 0);
  EXPECT_EQ(single->GetAllText(), "x\r\n");
}

TEST(EditBuffer, UseCountingFreesTheBufferWithItsLastUse) {
  auto* buffer = new TEditBuffer();
  buffer->AddRef();
  {
    TEditPos pos(buffer);
    EXPECT_EQ(buffer->RefCount(), 2);
  }
  EXPECT_EQ(buffer->RefCount(), 1);
  buffer->Release();  // the sanitizer reports a leak if this did not free it
}

}  // namespace
