#pragma once
// The code-page service. Text inside the programs is 8-bit, in the ANSI code
// page (1250 unless ORVEL_ACP names another); console and DOS text is in the
// OEM code page (852 unless ORVEL_OEMCP names another). This file converts
// that text to and from UTF-16 and UTF-8, converts between ANSI and OEM, and
// holds the case, collation and character-type tables of a code page.
//
// Every table is derived once, through glibc's iconv, from the code page's
// mapping to Unicode; case and character types come from the Unicode
// character of each byte (the C.UTF-8 locale's classification).
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Character-type flags of a byte, with the values of the original platform's
// character typing, so that tables written against them keep their meaning.
enum : uint16_t {
  ctUpper = 0x0001,
  ctLower = 0x0002,
  ctDigit = 0x0004,
  ctSpace = 0x0008,
  ctPunct = 0x0010,
  ctControl = 0x0020,
  ctBlank = 0x0040,
  ctXDigit = 0x0080,
  ctAlpha = 0x0100,
};

constexpr int kDefaultAnsiCodePage = 1250;
constexpr int kDefaultOemCodePage = 852;

// One single-byte code page with its conversion and character tables.
// Immutable once built, so one object may be used from any thread.
class TCodePage {
public:
  // Builds the tables of code page `number` (1250, 852, 1252, ...). Raises
  // Exception when iconv does not know it as a single-byte code page.
  explicit TCodePage(int number);
  TCodePage(const TCodePage&) = delete;
  TCodePage& operator=(const TCodePage&) = delete;

  int Number() const { return number_; }

  // The UTF-16 unit of a byte. A byte the code page leaves undefined stands
  // for the Unicode character of the same number (0x81 -> U+0081), so that
  // any byte string survives a round trip through UTF-16.
  char16_t ToUnicode(unsigned char c) const { return toUnicode_[c]; }
  bool IsDefined(unsigned char c) const { return defined_[c]; }

  std::u16string ToUtf16(std::string_view text) const;
  // Writes text.size() units to out.
  void ToUtf16(std::string_view text, char16_t* out) const;
  // Characters outside the code page become their nearest equivalent where
  // one exists ("č" -> "c" in 1252) and "?" otherwise; one "?" per character,
  // also for surrogate pairs and for broken UTF-8 bytes.
  std::string FromUtf16(std::u16string_view text) const;
  std::string ToUtf8(std::string_view text) const;
  std::string FromUtf8(std::string_view text) const;
  // The byte of one Unicode character, or -1 when the code page has none.
  int FromUnicode(char32_t ch) const;

  // Case table: codes 0 to 32 map to themselves, the others through the
  // upper-case form of their Unicode character when the code page holds it.
  unsigned char Upper(unsigned char c) const { return upper_[c]; }
  unsigned char Lower(unsigned char c) const { return lower_[c]; }
  // Collation table: equal values for the two cases of a letter, and the
  // order of the values is the case-insensitive order of the characters.
  unsigned char Collation(unsigned char c) const { return collation_[c]; }
  uint16_t CharType(unsigned char c) const { return charType_[c]; }

  const std::array<unsigned char, 256>& UpperTable() const { return upper_; }
  const std::array<unsigned char, 256>& LowerTable() const { return lower_; }
  const std::array<unsigned char, 256>& CollationTable() const { return collation_; }
  const std::array<uint16_t, 256>& CharTypeTable() const { return charType_; }

  std::string UpperCase(std::string_view text) const;
  std::string LowerCase(std::string_view text) const;
  // Ordering ignoring case through the collation table; a prefix sorts first.
  // Answers -1, 0 or 1.
  int CompareText(std::string_view a, std::string_view b) const;
  // Ordering with case: as CompareText, and between texts that differ only
  // in case, at the first difference a lower-case letter sorts first.
  int CompareStr(std::string_view a, std::string_view b) const;
  bool SameText(std::string_view a, std::string_view b) const;

private:
  void buildConversion();
  void buildCaseAndTypes();
  void buildCollation();
  std::string nearestOf(char32_t ch) const;

  int number_;
  std::array<char16_t, 256> toUnicode_{};
  std::array<bool, 256> defined_{};
  // Reverse map from UTF-16: pageOf_[high byte] is 0 (no byte maps there) or
  // 1 + the index in pages_, whose entries are a byte or -1.
  std::array<uint8_t, 256> pageOf_{};
  std::vector<std::array<int16_t, 256>> pages_;
  std::array<unsigned char, 256> upper_{};
  std::array<unsigned char, 256> lower_{};
  std::array<unsigned char, 256> collation_{};
  std::array<uint16_t, 256> charType_{};

  mutable std::mutex nearestLock_;
  mutable std::unordered_map<char32_t, std::string> nearest_;
};

// The process's ANSI and OEM code pages, built on first use from ORVEL_ACP
// and ORVEL_OEMCP. A value that is not a single-byte code page known to iconv
// is reported once on standard error and the default is used.
const TCodePage& AnsiCodePage();
const TCodePage& OemCodePage();
// The code page the environment variable names, or fallback.
std::unique_ptr<TCodePage> CodePageFromEnvironment(const char* variable, int fallback);

std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);
// Byte-for-byte conversions between the two code pages (a character the
// other page lacks becomes its nearest equivalent or "?").
std::string AnsiToOem(std::string_view text);
std::string OemToAnsi(std::string_view text);

// The ANSI code page's case and ordering operations.
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
int AnsiCompareText(std::string_view a, std::string_view b);
int AnsiCompareStr(std::string_view a, std::string_view b);
// False when the lengths differ; otherwise equal through the collation table.
bool AnsiSameText(std::string_view a, std::string_view b);
