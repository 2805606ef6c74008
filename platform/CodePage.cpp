#include "platform/CodePage.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace {

// The locale whose character classification, case mapping and
// transliteration describe Unicode characters. C.UTF-8 ships with glibc; on
// a system without it only ASCII characters get case and classes.
locale_t unicodeLocale() {
  static const locale_t locale = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(nullptr))) return l;
    }
    return newlocale(LC_CTYPE_MASK, "C", locale_t(nullptr));
  }();
  return locale;
}

// Makes the Unicode locale current on this thread for iconv's
// transliteration, which follows the thread's character-type locale.
class UnicodeLocaleScope {
public:
  UnicodeLocaleScope() : old_(uselocale(unicodeLocale())) {}
  ~UnicodeLocaleScope() { uselocale(old_); }
  UnicodeLocaleScope(const UnicodeLocaleScope&) = delete;
  UnicodeLocaleScope& operator=(const UnicodeLocaleScope&) = delete;

private:
  locale_t old_;
};

class IconvHandle {
public:
  IconvHandle(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~IconvHandle() {
    if (ok()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

private:
  iconv_t cd_;
};

// iconv's name of code page `number`, or empty when it knows none.
std::string iconvName(int number) {
  for (const char* pattern : {"CP%d", "IBM%d", "WINDOWS-%d"}) {
    std::string name = Format(pattern, number);
    IconvHandle probe("UTF-32LE", name);
    if (probe.ok()) return name;
  }
  return {};
}

enum class ConvertResult { Ok, Invalid, Incomplete };

// Converts all of `in` and flushes the shift state; `out` receives the bytes.
ConvertResult convertAll(iconv_t cd, std::string_view in, std::string& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 8 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char* op = out.data();
  size_t outLeft = out.size();
  ConvertResult result = ConvertResult::Ok;
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1))
    result = errno == EINVAL ? ConvertResult::Incomplete : ConvertResult::Invalid;
  else if (iconv(cd, nullptr, nullptr, &op, &outLeft) == static_cast<size_t>(-1))
    result = ConvertResult::Invalid;
  out.resize(out.size() - outLeft);
  return result;
}

std::string utf32Of(char32_t ch) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((ch >> (8 * i)) & 0xFF);
  return s;
}

char32_t firstUtf32(const std::string& s) {
  char32_t ch = 0;
  for (int i = 3; i >= 0; --i) ch = (ch << 8) | static_cast<unsigned char>(s[static_cast<size_t>(i)]);
  return ch;
}

// The ASCII letters a character transliterates to, upper-cased ("Č" -> "C",
// "ß" -> "SS"); empty when it has no transliteration made only of letters.
std::string latinBaseOf(char32_t ch) {
  UnicodeLocaleScope scope;
  IconvHandle cd("ASCII//TRANSLIT", "UTF-32LE");
  std::string out;
  if (!cd.ok() || convertAll(cd.get(), utf32Of(ch), out) != ConvertResult::Ok || out.empty()) return {};
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    else if (c < 'A' || c > 'Z') return {};
  }
  return out;
}

bool isSurrogate(char32_t ch) { return ch >= 0xD800 && ch <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t ch) {
  if (ch < 0x80) {
    out += static_cast<char>(ch);
  } else if (ch < 0x800) {
    out += static_cast<char>(0xC0 | (ch >> 6));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else if (ch < 0x10000) {
    out += static_cast<char>(0xE0 | (ch >> 12));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (ch >> 18));
    out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; answers its length, or 0 for a byte
// that does not start a well-formed sequence (overlong forms, surrogates and
// values above U+10FFFF are not well-formed).
size_t decodeUtf8(std::string_view text, size_t i, char32_t& ch) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    ch = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, ch = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, ch = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, ch = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    ch = (ch << 6) | (c & 0x3F);
  }
  if (ch < minimum || ch > 0x10FFFF || isSurrogate(ch)) return 0;
  return length;
}

int sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// ---- TCodePage ---------------------------------------------------------------

TCodePage::TCodePage(int number) : number_(number) {
  buildConversion();
  buildCaseAndTypes();
  buildCollation();
}

void TCodePage::buildConversion() {
  std::string name = iconvName(number_);
  if (name.empty()) throw Exception(Format("Code page %d is not known to iconv", number_));
  IconvHandle cd("UTF-32LE", name);
  std::array<char32_t, 256> unicode{};
  for (int c = 0; c < 256; ++c) {
    std::string out;
    ConvertResult r = convertAll(cd.get(), std::string(1, static_cast<char>(c)), out);
    if (r == ConvertResult::Incomplete)
      throw Exception(Format("Code page %d is not a single-byte code page", number_));
    if (r == ConvertResult::Ok && out.size() == 4) {
      char32_t ch = firstUtf32(out);
      if (ch <= 0xFFFF && !isSurrogate(ch)) {
        unicode[static_cast<size_t>(c)] = ch;
        defined_[static_cast<size_t>(c)] = true;
      }
    }
  }
  if (!defined_[0] || unicode[0] != 0) throw Exception(Format("Code page %d does not map byte 0 to NUL", number_));

  // An undefined byte stands for the character of its own number when no
  // defined byte takes that character, else for the replacement character.
  std::array<bool, 256> taken{};
  for (int c = 0; c < 256; ++c)
    if (defined_[static_cast<size_t>(c)] && unicode[static_cast<size_t>(c)] < 256) taken[unicode[static_cast<size_t>(c)]] = true;
  for (size_t c = 0; c < 256; ++c) {
    if (defined_[c]) toUnicode_[c] = static_cast<char16_t>(unicode[c]);
    else toUnicode_[c] = taken[c] ? u'\uFFFD' : static_cast<char16_t>(c);
  }

  // The first byte of a character wins when a code page maps two bytes to it.
  for (size_t c = 0; c < 256; ++c) {
    char16_t ch = toUnicode_[c];
    if (ch == u'\uFFFD' && !defined_[c]) continue;
    size_t high = ch >> 8;
    if (pageOf_[high] == 0) {
      pages_.emplace_back();
      pages_.back().fill(-1);
      pageOf_[high] = static_cast<uint8_t>(pages_.size());
    }
    int16_t& slot = pages_[pageOf_[high] - 1u][ch & 0xFF];
    if (slot < 0) slot = static_cast<int16_t>(c);
  }
}

int TCodePage::FromUnicode(char32_t ch) const {
  if (ch > 0xFFFF) return -1;
  uint8_t page = pageOf_[ch >> 8];
  return page == 0 ? -1 : pages_[page - 1u][ch & 0xFF];
}

void TCodePage::buildCaseAndTypes() {
  locale_t loc = unicodeLocale();
  for (size_t c = 0; c < 256; ++c) {
    wint_t ch = toUnicode_[c];
    uint16_t type = 0;
    if (iswupper_l(ch, loc)) type |= ctUpper;
    if (iswlower_l(ch, loc)) type |= ctLower;
    if (iswdigit_l(ch, loc)) type |= ctDigit;
    if (iswspace_l(ch, loc)) type |= ctSpace;
    if (iswpunct_l(ch, loc)) type |= ctPunct;
    if (iswcntrl_l(ch, loc)) type |= ctControl;
    if (iswblank_l(ch, loc)) type |= ctBlank;
    if (iswxdigit_l(ch, loc)) type |= ctXDigit;
    if (iswalpha_l(ch, loc)) type |= ctAlpha;
    charType_[c] = type;

    upper_[c] = lower_[c] = static_cast<unsigned char>(c);
    if (c <= 32) continue;
    int up = FromUnicode(static_cast<char32_t>(towupper_l(ch, loc)));
    int low = FromUnicode(static_cast<char32_t>(towlower_l(ch, loc)));
    if (up >= 0) upper_[c] = static_cast<unsigned char>(up);
    if (low >= 0) lower_[c] = static_cast<unsigned char>(low);
  }
}

// The collation table orders the upper-case images of the bytes the way a
// reader expects a case-insensitive sort to come out: control characters,
// blanks, punctuation and symbols (by code point), digits, Latin letters and
// then the letters of other scripts. A Latin letter sorts by the letters it
// transliterates to, the plain letter before its accented forms, and accented
// forms among themselves by code point: A < Á < Ä < B < C < Ć < Č < D, and
// "ß" sorts as "SS". Each byte maps to 1 + the index of its upper-case image
// in that sorted list (first occurrence), so code 0 alone maps to 0 and two
// different characters never compare equal.
void TCodePage::buildCollation() {
  using Key = std::tuple<int, std::string, int, char32_t>;
  auto keyOf = [this](unsigned char image) -> Key {
    char32_t ch = toUnicode_[image];
    uint16_t type = charType_[image];
    if (!defined_[image] || (type & ctControl)) return {0, {}, 0, ch};
    if (type & ctSpace) return {1, {}, 0, ch};
    if (type & ctDigit) return {3, {}, 0, ch};
    if (!(type & ctAlpha)) return {2, {}, 0, ch};
    std::string base = latinBaseOf(ch);
    if (base.empty()) return {5, {}, 0, ch};
    bool plain = base.size() == 1 && static_cast<char32_t>(base[0]) == ch;
    return {4, base, plain ? 0 : 1, ch};
  };
  std::array<Key, 256> keys;
  for (size_t c = 0; c < 256; ++c) keys[c] = keyOf(static_cast<unsigned char>(c));

  std::vector<unsigned char> order;
  for (int c = 1; c < 256; ++c) order.push_back(upper_[static_cast<size_t>(c)]);
  std::stable_sort(order.begin(), order.end(), [&](unsigned char a, unsigned char b) {
    return std::tie(keys[a], a) < std::tie(keys[b], b);
  });
  collation_[0] = 0;
  for (size_t c = 1; c < 256; ++c) {
    auto first = std::find(order.begin(), order.end(), upper_[c]);
    collation_[c] = static_cast<unsigned char>(1 + (first - order.begin()));
  }
}

std::u16string TCodePage::ToUtf16(std::string_view text) const {
  std::u16string out(text.size(), u'\0');
  ToUtf16(text, out.data());
  return out;
}

void TCodePage::ToUtf16(std::string_view text, char16_t* out) const {
  for (unsigned char c : text) *out++ = toUnicode_[c];
}

std::string TCodePage::nearestOf(char32_t ch) const {
  if (isSurrogate(ch) || ch > 0x10FFFF) return "?";
  std::lock_guard<std::mutex> lock(nearestLock_);
  auto known = nearest_.find(ch);
  if (known != nearest_.end()) return known->second;
  std::string result = "?";
  {
    UnicodeLocaleScope scope;
    IconvHandle cd(iconvName(number_) + "//TRANSLIT", "UTF-32LE");
    std::string out;
    if (cd.ok() && convertAll(cd.get(), utf32Of(ch), out) == ConvertResult::Ok && !out.empty()) result = out;
  }
  nearest_.emplace(ch, result);
  return result;
}

namespace {

// Output of the conversions to the code page: one byte per character as a
// rule, so the buffer is sized for that up front; a character replaced by a
// longer equivalent makes room for itself and the input still to come.
class ByteWriter {
public:
  explicit ByteWriter(size_t expected) : out_(expected, '\0') {}
  void put(char c) { out_[used_++] = c; }
  void put(const std::string& s, size_t inputLeft) {
    if (used_ + s.size() + inputLeft > out_.size()) out_.resize(used_ + s.size() + inputLeft);
    s.copy(out_.data() + used_, s.size());
    used_ += s.size();
  }
  std::string finish() {
    out_.resize(used_);
    return std::move(out_);
  }

private:
  std::string out_;
  size_t used_ = 0;
};

}  // namespace

std::string TCodePage::FromUtf16(std::u16string_view text) const {
  ByteWriter out(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t ch = text[i];
    int byte = FromUnicode(ch);
    if (byte >= 0) {
      out.put(static_cast<char>(byte));
      continue;
    }
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    out.put(nearestOf(ch), text.size() - i - 1);
  }
  return out.finish();
}

std::string TCodePage::ToUtf8(std::string_view text) const {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) appendUtf8(out, toUnicode_[c]);
  return out;
}

std::string TCodePage::FromUtf8(std::string_view text) const {
  ByteWriter out(text.size());
  for (size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      int byte = FromUnicode(static_cast<unsigned char>(text[i++]));
      if (byte >= 0) {
        out.put(static_cast<char>(byte));
        continue;
      }
      out.put(nearestOf(static_cast<unsigned char>(text[i - 1])), text.size() - i);
      continue;
    }
    char32_t ch;
    size_t length = decodeUtf8(text, i, ch);
    if (length == 0) {
      out.put('?');
      ++i;
      continue;
    }
    i += length;
    int byte = FromUnicode(ch);
    if (byte >= 0) out.put(static_cast<char>(byte));
    else out.put(nearestOf(ch), text.size() - i);
  }
  return out.finish();
}

std::string TCodePage::UpperCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(upper_[static_cast<unsigned char>(c)]);
  return out;
}

std::string TCodePage::LowerCase(std::string_view text) const {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(lower_[static_cast<unsigned char>(c)]);
  return out;
}

int TCodePage::CompareText(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = collation_[static_cast<unsigned char>(a[i])] - collation_[static_cast<unsigned char>(b[i])];
    if (d != 0) return sign(d);
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int TCodePage::CompareStr(std::string_view a, std::string_view b) const {
  int byText = CompareText(a, b);
  if (byText != 0) return byText;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca == cb) continue;
    bool lowerA = charType_[ca] & ctLower, lowerB = charType_[cb] & ctLower;
    if (lowerA != lowerB) return lowerA ? -1 : 1;
    return ca < cb ? -1 : 1;
  }
  return 0;
}

bool TCodePage::SameText(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (collation_[static_cast<unsigned char>(a[i])] != collation_[static_cast<unsigned char>(b[i])]) return false;
  return true;
}

// ---- The process's code pages ------------------------------------------------------

std::unique_ptr<TCodePage> CodePageFromEnvironment(const char* variable, int fallback) {
  const char* value = std::getenv(variable);
  if (value && *value) {
    char* end = nullptr;
    long number = std::strtol(value, &end, 10);
    if (*end == '\0' && number > 0 && number <= 65535) {
      try {
        return std::make_unique<TCodePage>(static_cast<int>(number));
      } catch (const Exception& e) {
        std::fprintf(stderr, "%s=%s: %s; using code page %d\n", variable, value, e.Message().c_str(), fallback);
      }
    } else {
      std::fprintf(stderr, "%s=%s: not a code page number; using code page %d\n", variable, value, fallback);
    }
  }
  return std::make_unique<TCodePage>(fallback);
}

// Built once and kept for the life of the process, so that code running in
// static destructors can still convert text.
const TCodePage& AnsiCodePage() {
  static const TCodePage* codePage = CodePageFromEnvironment("ORVEL_ACP", kDefaultAnsiCodePage).release();
  return *codePage;
}

const TCodePage& OemCodePage() {
  static const TCodePage* codePage = CodePageFromEnvironment("ORVEL_OEMCP", kDefaultOemCodePage).release();
  return *codePage;
}

std::u16string AnsiToUtf16(std::string_view text) { return AnsiCodePage().ToUtf16(text); }
std::string Utf16ToAnsi(std::u16string_view text) { return AnsiCodePage().FromUtf16(text); }
std::string AnsiToUtf8(std::string_view text) { return AnsiCodePage().ToUtf8(text); }
std::string Utf8ToAnsi(std::string_view text) { return AnsiCodePage().FromUtf8(text); }

namespace {

using ByteTable = std::array<unsigned char, 256>;

ByteTable translationTable(const TCodePage& from, const TCodePage& to) {
  ByteTable table{};
  for (size_t c = 0; c < 256; ++c) {
    std::string mapped = to.FromUtf16(std::u16string(1, from.ToUnicode(static_cast<unsigned char>(c))));
    table[c] = mapped.size() == 1 ? static_cast<unsigned char>(mapped[0]) : '?';
  }
  return table;
}

std::string translate(std::string_view text, const ByteTable& table) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
  return out;
}

}  // namespace

std::string AnsiToOem(std::string_view text) {
  static const ByteTable table = translationTable(AnsiCodePage(), OemCodePage());
  return translate(text, table);
}

std::string OemToAnsi(std::string_view text) {
  static const ByteTable table = translationTable(OemCodePage(), AnsiCodePage());
  return translate(text, table);
}

std::string AnsiUpperCase(std::string_view text) { return AnsiCodePage().UpperCase(text); }
std::string AnsiLowerCase(std::string_view text) { return AnsiCodePage().LowerCase(text); }
int AnsiCompareText(std::string_view a, std::string_view b) { return AnsiCodePage().CompareText(a, b); }
int AnsiCompareStr(std::string_view a, std::string_view b) { return AnsiCodePage().CompareStr(a, b); }
bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCodePage().SameText(a, b); }
