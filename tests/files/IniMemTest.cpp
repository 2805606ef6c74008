#include "files/IniMem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/StringList.h"
#include "platform/Streams.h"
#include "util/DualStringList.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::unique_ptr<TMemoryIniFile> fromText(const std::string& text) {
  auto ini = std::make_unique<TMemoryIniFile>();
  ini->SetText(text);
  ini->SetModified(false);
  return ini;
}

std::vector<std::string> items(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

}  // namespace

// Reading and writing back a file unchanged gives the same bytes, whatever
// its line breaks, comments, leading text or last line.
TEST(MemoryIniFile, UnchangedFilesAreWrittenBackByteForByte) {
  const std::string texts[] = {
      "",
      "no sections at all\r\njust text\r\n",
      "; leading comment\n\n[A]\nk=v\n",
      "[A]\r\nk=v\r\n; comment\r\n\r\n[B]\r\nx = y \r\n",
      "[A]\rk=v\r[B]\rx=y\r",
      "[A]\nk=v",                       // no final line break
      "[A]",                            // header at the very end
      "[A]\n[B]\n\n\n[C]\n",            // empty sections and blank lines
      "  [A] ; trailing\t\nk=v\n [a]\nk=w\n",
      "[A\n[unclosed]x]\nk=1\n",
      "[A]\nnul\0byte=1\n\xFF\xFE=\x80\n"s,
      "[A]\r\nmixed=1\nbreaks=2\rlast=3",
  };
  TTempDir dir;
  for (const std::string& text : texts) {
    EXPECT_EQ(fromText(text)->GetText(), text);
    std::string file = dir / "t.ini";
    WriteTestFile(file, text);
    {
      TMemoryIniFile ini(file);
      ini.UpdateFile();
    }
    EXPECT_EQ(ReadTestFile(file), text);
  }
}

// Each change rewrites only its own line; the rest of the text stays.
TEST(MemoryIniFile, ChangesTouchOnlyTheirLines) {
  struct Case {
    const char* what;
    std::string before;
    std::function<void(TMemoryIniFile&)> change;
    std::string after;
  } cases[] = {
      {"comments and blank lines stay", "; top\n[A]\n; c\nk=1\n\nx=2\n",
       [](auto& i) { i.WriteString("A", "k", "5"); }, "; top\n[A]\n; c\nk=5\n\nx=2\n"},
      {"blanks around = and the value", "[A]\r\nkey = value \r\n", [](auto& i) { i.WriteString("A", "KEY", "new"); },
       "[A]\r\nKEY=new\r\n"},
      {"new key before the blank lines that end a section", "[A]\nk=v\n\n[B]\n",
       [](auto& i) { i.WriteString("A", "n", "1"); }, "[A]\nk=v\nn=1\n\n[B]\n"},
      {"new key in a section without a final break", "[A]\nk=v", [](auto& i) { i.WriteString("A", "n", "1"); },
       "[A]\nk=v\nn=1"},
      {"the same with CR line breaks", "[A]\rk=v", [](auto& i) { i.WriteString("A", "n", "1"); }, "[A]\rk=v\rn=1"},
      {"new key below a header at the end", "[A]", [](auto& i) { i.WriteString("A", "n", "1"); }, "[A]\nn=1\n"},
      {"new section after the last, apart by a blank line", "[A]\r\nk=v", [](auto& i) { i.WriteString("B", "x", "1"); },
       "[A]\r\nk=v\r\n\r\n[B]\r\nx=1\r\n"},
      {"new section in an empty file", "", [](auto& i) { i.WriteString("S", "k", "v"); }, "[S]\nk=v\n"},
      {"new section after leading text only", "; just a comment\n", [](auto& i) { i.WriteString("S", "k", "v"); },
       "; just a comment\n[S]\nk=v\n"},
      {"[A] and [a]: the first one is written", "[A]\nk=1\n[a]\nk=2\n", [](auto& i) { i.WriteString("a", "k", "3"); },
       "[A]\nk=3\n[a]\nk=2\n"},
      {"deleting a key takes its line", "[A]\nk=1\nx=2\n", [](auto& i) { i.DeleteKey("A", "k"); }, "[A]\nx=2\n"},
      {"erasing a section takes its header and body", "; top\n[A]\nk=1\n[B]\nx=2\n",
       [](auto& i) { i.EraseSection("a"); }, "; top\n[B]\nx=2\n"},
      {"a comment line is not a key", "[A]\n;k=1\n", [](auto& i) { i.WriteString("A", "k", "2"); }, "[A]\n;k=1\nk=2\n"},
      {"a longer key is another key", "[A]\nkey2=1\n", [](auto& i) { i.WriteString("A", "key", "2"); },
       "[A]\nkey2=1\nkey=2\n"},
      {"an indented key is found", "[A]\n  k = 1\n", [](auto& i) { i.WriteString("A", "k", "2"); }, "[A]\nk=2\n"},
      {"writing the same value changes nothing", "[A]\nk=1\n", [](auto& i) { i.WriteString("A", "k", "1"); },
       "[A]\nk=1\n"},
  };
  for (Case& c : cases) {
    auto ini = fromText(c.before);
    c.change(*ini);
    EXPECT_EQ(ini->GetText(), c.after) << c.what;
    // The result reads back to the same text.
    EXPECT_EQ(fromText(ini->GetText())->GetText(), c.after) << c.what;
  }
}

TEST(MemoryIniFile, EditedLinesReadBackAsTheSameLines) {
  // A body line next to a CR-only break must not merge with it on reading.
  auto ini = fromText("\n[A]\r");
  ini->FindSection("A")->AddLine("");
  auto back = fromText(ini->GetText());
  EXPECT_EQ(back->FindSection("A")->GetBody(), ini->FindSection("A")->GetBody());
  EXPECT_EQ(back->FindSection("A")->LineCount(), 1);
}

TEST(MemoryIniFile, TwoWriteCyclesGiveTheSameBytes) {
  TTempDir dir;
  std::string file = dir / "c.ini";
  WriteTestFile(file, "; settings\r\n[Main]\r\nA=1\r\n[Other]\r\nB=2");
  std::string first;
  for (int cycle = 0; cycle < 2; ++cycle) {
    TMemoryIniFile ini(file);
    ini.WriteString("Main", "A", "7");
    ini.WriteString("Other", "C", "3");
    ini.WriteString("New", "D", "4");
    ini.UpdateFile();
    if (cycle == 0) first = ReadTestFile(file);
  }
  EXPECT_EQ(ReadTestFile(file), first);
  EXPECT_EQ(first, "; settings\r\n[Main]\r\nA=7\r\n[Other]\r\nB=2\r\nC=3\r\n\r\n[New]\r\nD=4\r\n");

  // A file written from scratch: LF line breaks, one empty line between
  // sections, new keys at the end of their section.
  std::string fresh = dir / "fresh.ini";
  for (int cycle = 0; cycle < 3; ++cycle) {
    TMemoryIniFile ini(fresh);
    ini.WriteString("A", "k", "1");
    ini.WriteString("B", "x", "2");
    if (cycle > 0) ini.WriteString("A", "n", "3");
    ini.UpdateFile();
    EXPECT_EQ(ReadTestFile(fresh), cycle == 0 ? "[A]\nk=1\n\n[B]\nx=2\n" : "[A]\nk=1\nn=3\n\n[B]\nx=2\n") << cycle;
  }
}

TEST(MemoryIniFile, LookupsAndLists) {
  auto owner = fromText(
      "lead=not a key\n[Sec]\n; c=1\n# d=2\n\n  name = value  \nempty=\nblank =   \nnoequals\n=novalue\n"
      "dup=1\n[SEC]\ndup=2\n[Other]\n");
  TMemoryIniFile& ini = *owner;
  EXPECT_EQ(ini.ReadString("sec", "NAME", "def"), "value");
  EXPECT_EQ(ini.ReadString("Sec", "empty", "def"), "");
  EXPECT_EQ(ini.ReadString("Sec", "blank", "def"), "");
  EXPECT_EQ(ini.ReadString("Sec", "dup", "def"), "1");
  EXPECT_EQ(ini.ReadString("Sec", "", "def"), "def") << "an empty key matches no line";
  EXPECT_EQ(ini.ReadString("Sec", "c", "def"), "def");
  EXPECT_EQ(ini.ReadString("Sec", "noequals", "def"), "def");
  EXPECT_EQ(ini.ReadString("", "lead", "def"), "def") << "leading text belongs to no section";
  EXPECT_EQ(ini.ReadString("Missing", "x", "def"), "def");
  EXPECT_TRUE(ini.SectionExists("other"));
  EXPECT_FALSE(ini.SectionExists("Missing"));
  EXPECT_TRUE(ini.ValueExists("Sec", "empty"));
  EXPECT_FALSE(ini.ValueExists("Sec", "c"));

  TStringList names, values, sections;
  ini.ReadSection("Sec", names);
  ini.ReadSectionValues("Sec", values);
  ini.ReadSections(sections);
  EXPECT_EQ(items(names), (std::vector<std::string>{"name", "empty", "blank", "dup"}));
  EXPECT_EQ(items(values), (std::vector<std::string>{"name = value  ", "empty=", "blank =   ", "noequals", "=novalue", "dup=1"}));
  EXPECT_EQ(items(sections), (std::vector<std::string>{"Sec", "SEC", "Other"}));
}

TEST(MemoryIniFile, TextsThatWouldInjectLinesAreRefused) {
  struct {
    std::string section, key, value;
  } cases[] = {
      {"A", "k", "1\n[Injected]"}, {"A", "k", "1\rx=2"}, {"A", "k\nx", "1"}, {"A\n", "k", "1"},
      {"A]x", "k", "1"},           {"A", "", "1"},       {"A", "k=x", "1"}, {"A", "[B]", "1"},
      {"A", ";k", "1"},            {"A", " k", "1"},
  };
  auto owner = fromText("[A]\nk=0\n");
  TMemoryIniFile& ini = *owner;
  for (const auto& c : cases)
    EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), EIniFileException) << c.section << "/" << c.key << "/" << c.value;
  TMemIniSection& section = *ini.FindSection("A");
  EXPECT_THROW(section.AddLine(" [B]"), EIniFileException);
  EXPECT_THROW(section.SetLine(0, "x\ny"), EIniFileException);
  EXPECT_THROW(section.SetBody("k=1\n[B]\n"), EIniFileException);
  EXPECT_EQ(ini.GetText(), "[A]\nk=0\n");
  EXPECT_FALSE(ini.Modified());
}

TEST(MemoryIniFile, ReadOnlyObjectsIgnoreChanges) {
  TTempDir dir;
  std::string file = dir / "ro.ini";
  WriteTestFile(file, "[A]\nk=1\n");
  TMemoryIniFile ini(file);
  ini.SetReadOnly(true);
  ini.WriteString("A", "k", "2");
  ini.DeleteKey("A", "k");
  ini.EraseSection("A");
  ini.UpdateFile();
  EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(ReadTestFile(file), "[A]\nk=1\n");
}

TEST(MemoryIniFile, UpdateFileIsAtomicKeepsTheModeAndReportsFailure) {
  TTempDir dir;
  std::string file = dir / "m.ini";
  WriteTestFile(file, "[A]\nk=1\n");
  ::chmod(file.c_str(), 0640);
  TMemoryIniFile ini(file);
  ini.WriteString("A", "k", "2");
  ini.UpdateFile();
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(ini.Modified());

  // A file whose folder has gone cannot be written: the caller hears of it.
  std::string lost = dir / "gone/x.ini";
  TMemoryIniFile orphan(lost);
  orphan.WriteString("A", "k", "1");
  EXPECT_THROW(orphan.UpdateFile(), Exception);
  EXPECT_TRUE(orphan.Modified());
  EXPECT_FALSE(fs::exists(lost));
}

TEST(MemoryIniFile, ReloadIfChangedSeesEveryChangeOnDisk) {
  TTempDir dir;
  std::string file = dir / "r.ini";
  WriteTestFile(file, "[A]\nk=1\n");
  TMemoryIniFile ini(file);
  EXPECT_FALSE(ini.ReloadIfChanged(true));
  // Same size, within the same second.
  WriteTestFile(file, "[A]\nk=2\n");
  EXPECT_TRUE(ini.ReloadIfChanged(false));
  EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
  EXPECT_TRUE(ini.ReloadIfChanged(true));
  EXPECT_EQ(ini.ReadString("A", "k", ""), "2");
  EXPECT_FALSE(ini.ReloadIfChanged(true));
  // Our own write is not a change from outside.
  ini.WriteString("A", "k", "3");
  ini.UpdateFile();
  EXPECT_FALSE(ini.ReloadIfChanged(true));
  fs::remove(file);
  EXPECT_TRUE(ini.ReloadIfChanged(true));
  EXPECT_EQ(ini.SectionCount(), 0);
}

TEST(MemoryIniFile, ListenersHearOnceAfterAnUpdateBracket) {
  TMemoryIniFile ini;
  std::vector<bool> heard;
  ini.AddChangeListener([&](TMemoryIniFile&, bool modified) { heard.push_back(modified); });
  int failing = ini.AddChangeListener([](TMemoryIniFile&, bool) { throw Exception("listener failure"); });
  ini.WriteString("A", "k", "1");
  EXPECT_EQ(heard.size(), 1u);
  ini.BeginUpdate();
  ini.BeginUpdate();
  ini.WriteString("A", "k", "2");
  ini.WriteString("B", "k", "3");
  ini.EndUpdate();
  EXPECT_EQ(heard.size(), 1u);
  ini.EndUpdate();
  EXPECT_EQ(heard, (std::vector<bool>{true, true}));
  ini.RemoveChangeListener(failing);
  ini.BeginUpdate();
  ini.EndUpdate();
  EXPECT_EQ(heard.size(), 2u) << "an empty bracket tells nobody";
}

TEST(MemoryIniFile, SaveOnDestroyOnlyWhenTheFileWasNotChangedMeanwhile) {
  TTempDir dir;
  std::string file = dir / "d.ini";
  WriteTestFile(file, "[A]\nk=1\n");
  {
    TMemoryIniFile ini(file);
    ini.SetSaveOnDestroy(true);
    ini.WriteString("A", "k", "2");
  }
  EXPECT_EQ(ReadTestFile(file), "[A]\nk=2\n");
  {
    TMemoryIniFile ini(file);
    ini.SetSaveOnDestroy(true);
    ini.WriteString("A", "k", "3");
    WriteTestFile(file, "[A]\nk=other program\n");
  }
  EXPECT_EQ(ReadTestFile(file), "[A]\nk=other program\n");
  {
    TMemoryIniFile ini(file);
    ini.WriteString("A", "k", "4");  // not asked to save
  }
  EXPECT_EQ(ReadTestFile(file), "[A]\nk=other program\n");
}

TEST(MemoryIniFile, MergeByEntryOrByWholeSection) {
  auto source = fromText("[A]\n; from source\nk=new\nn=1\n[C]\nc=1\n");
  auto byEntry = fromText("[A]\n; mine\nk=old\nm=0\n");
  byEntry->Merge(*source, false);
  EXPECT_EQ(byEntry->GetText(), "[A]\n; mine\nk=new\nm=0\nn=1\n\n[C]\nc=1\n");
  auto whole = fromText("[A]\n; mine\nk=old\nm=0\n");
  whole->Merge(*source, true);
  EXPECT_EQ(whole->GetText(), "[A]\n; from source\nk=new\nn=1\n\n[C]\nc=1\n");
}

TEST(MemoryIniFile, StreamsListsAndSections) {
  TMemoryStream in;
  in.WriteString("[A]\r\nk=1\r\n");
  in.SetPosition(0);
  TMemoryIniFile ini;
  ini.LoadFromStream(in);
  EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
  TMemoryStream out;
  ini.SaveToStream(out);
  EXPECT_EQ(out.ToString(), "[A]\r\nk=1\r\n");

  TStringList lines;
  ini.SaveToStrings(lines);
  EXPECT_EQ(items(lines), (std::vector<std::string>{"[A]", "k=1"}));
  lines.Add("[B]");
  lines.Add("x=2");
  ini.LoadFromStrings(lines);
  EXPECT_EQ(ini.GetText(), "[A]\r\nk=1\r\n[B]\r\nx=2\r\n");

  TMemIniSection* b = ini.FindSection("b");
  ASSERT_NE(b, nullptr);
  TStringList body;
  body.Add("; replaced");
  body.Add("y=3");
  b->Assign(body);
  EXPECT_EQ(ini.ReadString("B", "y", ""), "3");
  EXPECT_EQ(ini.ReadString("B", "x", "gone"), "gone");
  TStringList back;
  b->AssignTo(back);
  EXPECT_EQ(items(back), (std::vector<std::string>{"; replaced", "y=3"}));

  TDualStringList pairs;
  pairs.AddValue("p", "1");
  pairs.AddValue("q", "two words");
  b->Assign(pairs);
  EXPECT_EQ(b->GetBody(), "p=1\r\nq=two words\r\n");
  EXPECT_EQ(ini.ReadString("B", "q", ""), "two words");

  // An item or a value holding a line break would add lines of its own.
  TDualStringList twoLines;
  twoLines.AddValue("p", "1\ninjected=2");
  EXPECT_THROW(b->Assign(twoLines), EIniFileException);
  TStringList brokenItem;
  brokenItem.Add("p=1\rinjected=2");
  EXPECT_THROW(b->Assign(brokenItem), EIniFileException);
  EXPECT_EQ(b->GetBody(), "p=1\r\nq=two words\r\n");
}

TEST(MemoryIniFile, AFileThatCannotBeReadIsReportedNotTakenAsEmpty) {
  TTempDir dir;
  std::string folder = dir / "folder.ini";
  fs::create_directory(folder);
  try {
    TMemoryIniFile ini(folder);
    ADD_FAILURE() << "a folder was read as a settings file";
  } catch (const EIniFileException& e) {
    EXPECT_NE(e.Message().find("folder.ini"), std::string::npos) << e.Message();
  }
}
