#include "util/StrUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/StringList.h"
#include "util/FileText.h"

namespace {

// Test texts are written in UTF-8 and used as ANSI (1250) bytes.
std::string ansi(const char* utf8) { return Utf8ToAnsi(utf8); }

}  // namespace

TEST(StrUtils, ExtractTokenAndDeleteToken) {
  struct Case {
    const char* s;
    const char* token;
    const char* rest;
  } cases[] = {
      {"a=b=c", "a", "b=c"}, {"abc", "abc", ""}, {"=x", "", "x"}, {"x=", "x", ""}, {"", "", ""},
  };
  for (const Case& c : cases) {
    std::string s = c.s;
    EXPECT_EQ(ExtractToken(s, '='), c.token) << c.s;
    EXPECT_EQ(s, c.rest) << c.s;
    std::string d = c.s;
    DeleteToken(d, '=');
    EXPECT_EQ(d, c.rest) << c.s;
  }
}

TEST(StrUtils, DoTrimRemovesCodes32AndBelowOnly) {
  struct Case {
    std::string s;
    std::string trimmed;
  } cases[] = {
      {" \t \t ", ""},
      {"", ""},
      {"  a b\t\r\n", "a b"},
      {std::string("\0\x01x\x1F", 4), "x"},
      {"\xA0x\xA0", "\xA0x\xA0"},  // no-break space is above 32 as an unsigned byte
  };
  for (const Case& c : cases) EXPECT_EQ(DoTrim(c.s), c.trimmed) << c.s;
  std::string dst = "old";
  const char buffer[] = "  mid  XXXX";
  SetTrimString(dst, buffer, 7);
  EXPECT_EQ(dst, "mid");
}

TEST(StrUtils, PositionsAreOneBasedAndIgnoreCaseWhereAsked) {
  EXPECT_EQ(CharPos('b', "abcb"), 2);
  EXPECT_EQ(CharPos('z', "abc"), 0);
  EXPECT_EQ(CharPos('a', ""), 0);
  EXPECT_EQ(ICPos(ansi("ŠT"), ansi("čeština")), 3);
  EXPECT_EQ(ICPos("x", "abc"), 0);
  EXPECT_EQ(ICPos("", "abc"), 0);
  EXPECT_EQ(ICPos("abcd", "abc"), 0);
}

TEST(StrUtils, CaseInsensitiveComparisons) {
  EXPECT_TRUE(AnsiSame("ABCdef", "abcXYZ", 3));
  EXPECT_FALSE(AnsiSame("ABCdef", "abcXYZ", 4));
  EXPECT_TRUE(AnsiSame("a", "b", 0));
  EXPECT_EQ(AnsiCmp(ansi("Žába"), ansi("žÁBA")), 0);
  EXPECT_LT(AnsiCmp("apple", "Banana"), 0);

  struct FindCase {
    const char* text;
    const char* sub;
    bool found;
  } finds[] = {{"Příliš žluťoučký", "ŽLUŤ", true}, {"abc", "", true}, {"abc", "abcd", false}, {"aab", "AB", true}, {"", "a", false}};
  for (const FindCase& c : finds) EXPECT_EQ(AnsiFind(ansi(c.text), ansi(c.sub)), c.found) << c.text << " / " << c.sub;

  struct LiCase {
    const char* a;
    const char* b;
    size_t n;
    bool same;
  } lis[] = {
      {"", "", 3, true},      {"", "a", 3, false},     {"a", "", 3, false},   {"Abc", "aBd", 2, true},
      {"Abc", "aBd", 3, false}, {"ab", "AB", 5, true}, {"ab", "abc", 3, false}, {"abc", "ab", 2, true},
  };
  for (const LiCase& c : lis) EXPECT_EQ(liComp(c.a, c.b, c.n), c.same) << c.a << " / " << c.b << " / " << c.n;

  EXPECT_TRUE(extComp("Unit1.PAS", ".pas"));
  EXPECT_FALSE(extComp("Unit1.pas", ".dpr"));
  EXPECT_FALSE(extComp("as", ".pas"));
}

TEST(StrUtils, InPlaceCaseConversionCoversTheCodePagesLetters) {
  std::string s = ansi("Žluťoučký kůň");
  AnsiUpStr(s.data(), s.size());
  EXPECT_EQ(s, ansi("ŽLUŤOUČKÝ KŮŇ"));
  AnsiLoStr(s.data(), 5);
  EXPECT_EQ(s, ansi("žluťoUČKÝ KŮŇ"));
}

TEST(StrUtils, SubstReplacesEveryOccurrenceOnce) {
  struct Case {
    const char* s;
    const char* from;
    const char* to;
    const char* result;
  } cases[] = {
      {"aaa", "a", "b", "bbb"},
      {"abc", "", "x", "abc"},  // an empty "from" leaves the text as it is
      {"aXbX", "X", "XX", "aXXbXX"},
      {"abab", "ab", "", ""},
      {"", "a", "b", ""},
      {"aaa", "aa", "b", "ba"},
  };
  for (const Case& c : cases) EXPECT_EQ(Subst(c.s, c.from, c.to), c.result) << c.s << " " << c.from << " " << c.to;
}

TEST(StrUtils, BreakApartAndPutTogether) {
  TStringList list;
  list.Add("stale");
  BreakApart("a;b;;c", ";", list);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[2], "");
  EXPECT_EQ(PutTogether(list, "\r\n"), "a\r\nb\r\n\r\nc");
  BreakApart("", ";", list);
  EXPECT_EQ(list.Count(), 0);
  BreakApart("one, two", ", ", list);
  EXPECT_EQ(PutTogether(list, ","), "one,two");

  EXPECT_EQ(SListGet(&list, 1), "two");
  EXPECT_EQ(SListGet(&list, 2), "");
  EXPECT_EQ(SListGet(&list, -1), "");
  EXPECT_EQ(SListGet(nullptr, 0), "");
}

TEST(FileText, StoreAndLoadAWholeFile) {
  std::string name = ::testing::TempDir() + "filetext-test.txt";
  std::string content("line 1\r\n\0binary\xFF", 16);
  StrStoreFile(name, content);
  EXPECT_EQ(StrLoadFile(name), content);
  StrStoreFile(name, "");
  EXPECT_EQ(StrLoadFile(name), "");
  std::remove(name.c_str());
  EXPECT_THROW(StrLoadFile(name), EStreamError);
  EXPECT_THROW(StrStoreFile("/nonexistent-folder/x.txt", "x"), EStreamError);
}

TEST(FileText, AFailedReplaceRaisesAndLeavesNoTemporaryFile) {
  namespace fs = std::filesystem;
  fs::path folder = fs::path(::testing::TempDir()) / "filetext-replace";
  fs::remove_all(folder);
  fs::create_directories(folder / "target");
  fs::path kept = folder / "target" / "kept.txt";
  StrStoreFile(kept.string(), "old");
  // Renaming the new content over a folder fails at the very end of the save.
  EXPECT_THROW(StrStoreFile((folder / "target").string(), "new"), EStreamError);
  EXPECT_EQ(StrLoadFile(kept.string()), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  fs::remove_all(folder);
}
