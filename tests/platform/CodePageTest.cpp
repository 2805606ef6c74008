#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "platform/Exceptions.h"

namespace {

// iconv's own conversion, independent of the service's tables.
std::string iconvConvert(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
  std::string out(text.size() * 4 + 4, '\0');
  char* ip = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* op = out.data();
  size_t outLeft = out.size();
  EXPECT_NE(iconv(cd, &ip, &inLeft, &op, &outLeft), static_cast<size_t>(-1)) << text;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string cp1250(const std::string& utf8) { return iconvConvert("CP1250", "UTF-8", utf8); }

const TCodePage& page1250() {
  static const TCodePage page(1250);
  return page;
}

unsigned char byteOf(const std::string& s) { return static_cast<unsigned char>(s.at(0)); }

}  // namespace

TEST(CodePage, DefaultsAre1250And852) {
  // The test environment leaves ORVEL_ACP / ORVEL_OEMCP unset.
  EXPECT_EQ(AnsiCodePage().Number(), 1250);
  EXPECT_EQ(OemCodePage().Number(), 852);
}

TEST(CodePage, EveryDefinedByteMapsAsIconvSaysAndEveryByteRoundTrips) {
  const TCodePage& page = page1250();
  int undefined = 0;
  for (int c = 0; c < 256; ++c) {
    unsigned char byte = static_cast<unsigned char>(c);
    std::string one(1, static_cast<char>(c));
    if (page.IsDefined(byte)) {
      std::string utf16 = iconvConvert("UTF-16LE", "CP1250", one);
      ASSERT_EQ(utf16.size(), 2u);
      char16_t expected = static_cast<char16_t>(static_cast<unsigned char>(utf16[0]) | static_cast<unsigned char>(utf16[1]) << 8);
      EXPECT_EQ(page.ToUnicode(byte), expected) << c;
    } else {
      ++undefined;
      EXPECT_EQ(page.ToUnicode(byte), static_cast<char16_t>(c)) << c;
    }
  }
  EXPECT_EQ(undefined, 5);  // 0x81, 0x83, 0x88, 0x90, 0x98

  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(page.FromUtf16(page.ToUtf16(all)), all);
  EXPECT_EQ(page.FromUtf8(page.ToUtf8(all)), all);
}

TEST(CodePage, Utf8AndUtf16AgreeWithIconv) {
  std::string text = cp1250("Příliš žluťoučký kůň úpěl ďábelské ódy – „€“");
  EXPECT_EQ(AnsiToUtf8(text), "Příliš žluťoučký kůň úpěl ďábelské ódy – „€“");
  EXPECT_EQ(Utf8ToAnsi("Příliš žluťoučký kůň úpěl ďábelské ódy – „€“"), text);
  std::u16string utf16 = AnsiToUtf16(text);
  EXPECT_EQ(utf16, u"Příliš žluťoučký kůň úpěl ďábelské ódy – „€“");
  EXPECT_EQ(Utf16ToAnsi(utf16), text);
}

TEST(CodePage, CharactersOutsideThePageBecomeTheirNearestOrOneQuestionMark) {
  struct Case {
    const char* name;
    std::u16string utf16;
    std::string ansi;
  } cases[] = {
      {"ideograph", u"a日b", "a?b"},
      {"surrogate pair is one character", u"a\U0001F600b", "a?b"},
      {"lone surrogate", std::u16string{u'a', char16_t(0xD800), u'b'}, "a?b"},
      {"ligature", u"ﬁ", "fi"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf16ToAnsi(c.utf16), c.ansi) << c.name;

  TCodePage western(1252);
  EXPECT_EQ(western.FromUtf8("Čeština"), "Ce\x9Atina");  // 1252 has š but no Č

  struct Utf8Case {
    const char* name;
    std::string utf8;
    std::string ansi;
  } broken[] = {
      {"truncated sequence", "a\xC3", "a?"},
      {"stray continuation", "\x80z", "?z"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"encoded surrogate", "\xED\xA0\x80", "???"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
  };
  for (const Utf8Case& c : broken) EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.name;
}

TEST(CodePage, CaseTablesFollowIconvsViewOfTheLetters) {
  const std::string upper = "ÁÄČĎÉĚÍĹĽŇÓÔŐÖŘŔŠŚŤÚŮŰÜÝŽŹŻĄĘŁŃĂŞŢ";
  const std::string lower = "áäčďéěíĺľňóôőöřŕšśťúůűüýžźżąęłńăşţ";
  std::string up = cp1250(upper), low = cp1250(lower);
  ASSERT_EQ(up.size(), low.size());
  for (size_t i = 0; i < up.size(); ++i) {
    unsigned char u = static_cast<unsigned char>(up[i]), l = static_cast<unsigned char>(low[i]);
    EXPECT_EQ(page1250().Upper(l), u) << i;
    EXPECT_EQ(page1250().Lower(u), l) << i;
    EXPECT_EQ(page1250().Upper(u), u) << i;
    EXPECT_EQ(page1250().CharType(u) & (ctUpper | ctAlpha), ctUpper | ctAlpha) << i;
    EXPECT_EQ(page1250().CharType(l) & (ctLower | ctAlpha), ctLower | ctAlpha) << i;
  }
  EXPECT_EQ(AnsiUpperCase(cp1250("žluťoučký kůň 42")), cp1250("ŽLUŤOUČKÝ KŮŇ 42"));
  EXPECT_EQ(AnsiLowerCase(cp1250("ŽLUŤOUČKÝ KŮŇ 42")), cp1250("žluťoučký kůň 42"));

  // Codes up to 32 are their own images; a letter without an upper-case
  // form in the page (ß) keeps itself.
  for (int c = 0; c <= 32; ++c) EXPECT_EQ(page1250().Upper(static_cast<unsigned char>(c)), c);
  EXPECT_EQ(page1250().Upper(byteOf(cp1250("ß"))), byteOf(cp1250("ß")));
}

TEST(CodePage, CharacterTypes) {
  struct Case {
    const char* character;
    uint16_t type;
  } cases[] = {
      {"7", ctDigit | ctXDigit},
      {"f", ctLower | ctAlpha | ctXDigit},
      {" ", ctSpace | ctBlank},
      {"\t", ctSpace | ctBlank | ctControl},
      {";", ctPunct},
      {"„", ctPunct},
      {"Ř", ctUpper | ctAlpha},
      {"ß", ctLower | ctAlpha},
  };
  for (const Case& c : cases) EXPECT_EQ(page1250().CharType(byteOf(cp1250(c.character))), c.type) << c.character;
}

TEST(CodePage, SameTextIgnoresCaseOfThePagesLetters) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Čeština", "čEŠTINA", true},
      {"Příliš žluťoučký kůň", "PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ", true},
      {"Łódź", "łÓDŹ", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"Čeština", "Cestina", false},
      {"č", "ć", false},
  };
  for (const Case& c : cases) EXPECT_EQ(AnsiSameText(cp1250(c.a), cp1250(c.b)), c.same) << c.a << " / " << c.b;
}

TEST(CodePage, CompareTextSortsAccentedLettersBesideTheirBaseLetter) {
  const std::vector<std::string> expected = {"", "!", "0", "9", "a", "ab", "Á", "ä", "b", "c", "cz", "Ć", "č", "d", "s", "Š", "ß", "t", "z", "Ž"};
  std::vector<std::string> words;
  for (const std::string& w : expected) words.push_back(cp1250(w));
  std::vector<std::string> sorted = words;
  std::reverse(sorted.begin(), sorted.end());
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
  EXPECT_EQ(sorted, words);

  EXPECT_EQ(AnsiCompareText(cp1250("čEŠTINA"), cp1250("Čeština")), 0);
  EXPECT_EQ(AnsiCompareText("abc", "ABD"), -1);
  EXPECT_EQ(AnsiCompareText("b", "A"), 1);
  EXPECT_EQ(page1250().Collation(0), 0);
  for (int c = 1; c < 256; ++c) EXPECT_NE(page1250().Collation(static_cast<unsigned char>(c)), 0) << c;
}

TEST(CodePage, CompareStrPutsLowerCaseFirstOnlyBetweenOtherwiseEqualTexts) {
  struct Case {
    const char* a;
    const char* b;
    int result;
  } cases[] = {{"a", "A", -1}, {"A", "a", 1}, {"A", "b", -1}, {"abc", "abc", 0}, {"čeština", "Čeština", -1}, {"Ab", "aC", -1}};
  for (const Case& c : cases) EXPECT_EQ(AnsiCompareStr(cp1250(c.a), cp1250(c.b)), c.result) << c.a << " / " << c.b;
}

TEST(CodePage, AnsiAndOemConvertAsIconvDoes) {
  const std::string utf8 = "Čeština: žluťoučký kůň ÁÉÍÓÚ";
  std::string oem = iconvConvert("CP852", "UTF-8", utf8);
  EXPECT_EQ(AnsiToOem(cp1250(utf8)), oem);
  EXPECT_EQ(OemToAnsi(oem), cp1250(utf8));
  EXPECT_EQ(AnsiToOem(cp1250("€")), "?");  // 852 has no euro sign
}

TEST(CodePage, OtherSingleBytePagesAndRefusals) {
  TCodePage western(1252);
  EXPECT_EQ(western.FromUtf8("ÿŸ"), "\xFF\x9F");
  EXPECT_EQ(western.Upper(0xFF), 0x9F);  // ÿ -> Ÿ
  EXPECT_TRUE(western.SameText("\xC4rger", "\xE4RGER"));

  TCodePage cyrillic(1251);
  EXPECT_EQ(cyrillic.ToUtf8(cyrillic.UpperCase(cyrillic.FromUtf8("привет"))), "ПРИВЕТ");
  EXPECT_LT(cyrillic.CompareText(cyrillic.FromUtf8("Z"), cyrillic.FromUtf8("а")), 0);  // Latin before other scripts

  EXPECT_THROW(TCodePage(932), Exception);    // multi-byte
  EXPECT_THROW(TCodePage(65001), Exception);  // UTF-8
  EXPECT_THROW(TCodePage(4711), Exception);   // unknown
}

TEST(CodePage, EnvironmentChoosesThePageAndABadValueFallsBackWithAMessage) {
  struct Case {
    const char* value;  // nullptr: unset
    int number;
    bool complains;
  } cases[] = {
      {nullptr, 1250, false}, {"", 1250, false}, {"1252", 1252, false}, {"850", 850, false},
      {"932", 1250, true},    {"abc", 1250, true}, {"1252x", 1250, true}, {"-1", 1250, true},
  };
  for (const Case& c : cases) {
    if (c.value) ::setenv("QUILL_TEST_CODEPAGE", c.value, 1);
    else ::unsetenv("QUILL_TEST_CODEPAGE");
    testing::internal::CaptureStderr();
    auto page = CodePageFromEnvironment("QUILL_TEST_CODEPAGE", 1250);
    std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_EQ(page->Number(), c.number) << (c.value ? c.value : "unset");
    EXPECT_EQ(!complaint.empty(), c.complains) << complaint;
    if (c.complains) {
      EXPECT_NE(complaint.find("QUILL_TEST_CODEPAGE="), std::string::npos) << complaint;
    }
  }
  ::unsetenv("QUILL_TEST_CODEPAGE");
}
