#include "files/CustomIniFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Format.h"
#include "platform/StringList.h"

// ---- conversions -----------------------------------------------------------

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Days from 0000-03-01 based civil arithmetic, shifted to 1899-12-30.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr int64_t kDaysTo18991230 = -25569;  // daysFromCivil(1899, 12, 30)

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(int64_t y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Reads an unsigned decimal of 1 to maxDigits digits at s[pos].
bool readNumber(std::string_view s, size_t& pos, int maxDigits, unsigned& value) {
  size_t start = pos;
  value = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && static_cast<int>(pos - start) < maxDigits)
    value = value * 10 + static_cast<unsigned>(s[pos++] - '0');
  return pos > start;
}

bool parseDatePart(std::string_view s, size_t& pos, TDateTime& out) {
  unsigned y, m, d;
  if (!readNumber(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-') return false;
  if (!readNumber(s, pos, 2, m) || pos >= s.size() || s[pos++] != '-') return false;
  if (!readNumber(s, pos, 2, d)) return false;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return false;
  out = static_cast<double>(daysFromCivil(y, m, d) - kDaysTo18991230);
  return true;
}

bool parseTimePart(std::string_view s, size_t& pos, TDateTime& out) {
  unsigned h, n, sec = 0, ms = 0;
  if (!readNumber(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':') return false;
  if (!readNumber(s, pos, 2, n)) return false;
  if (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!readNumber(s, pos, 2, sec)) return false;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      if (!readNumber(s, pos, 3, ms)) return false;
    }
  }
  if (h > 23 || n > 59 || sec > 59) return false;
  out = (((h * 60.0 + n) * 60.0 + sec) * 1000.0 + ms) / 86400000.0;
  return true;
}

// A text that is one date or time part and nothing else but blanks around.
std::optional<TDateTime> parseWholeText(std::string_view text, bool (*parsePart)(std::string_view, size_t&, TDateTime&)) {
  text = trimBlanks(text);
  size_t pos = 0;
  TDateTime value;
  if (!parsePart(text, pos, value) || pos != text.size()) return std::nullopt;
  return value;
}

// The days the texts can hold: 0001-01-01 to 9999-12-31.
constexpr int64_t kFirstDay = -693593;
constexpr int64_t kLastDay = 2958465;

// Splits a date-time into the day and the time of day; a negative value
// counts days back from 1899-12-30 and its fraction is still the time.
// Raises EConvertError for a value outside the days above (or not a number),
// which no text could hold.
void splitDateTime(TDateTime value, int64_t& day, int64_t& msOfDay) {
  auto invalid = [value] { return EConvertError(Format("%s is not a valid date and time", FloatToIniText(value))); };
  if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(kLastDay + 1)) throw invalid();
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
  day = static_cast<int64_t>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    day += value < 0 ? -1 : 1;
  }
  if (day < kFirstDay || day > kLastDay) throw invalid();
  msOfDay = ms;
}

TDateTime joinDateTime(TDateTime date, TDateTime time) { return date < 0 ? date - time : date + time; }

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  int base = 10;
  if (pos < text.size() && text[pos] == '$') {
    base = 16;
    ++pos;
  } else if (text.size() - pos > 1 && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos >= text.size()) return std::nullopt;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (base == 16) {
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
  }
  if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
  int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<int32_t>(v);
}

std::optional<double> ParseIniFloat(std::string_view text) {
  text = trimBlanks(text);
  if (text.empty()) return std::nullopt;
  std::string_view body = text;
  if (body.front() == '+') body.remove_prefix(1);
  // Only digits, one ".", and an exponent: no "inf", "nan" or hex floats.
  size_t i = 0;
  if (i < body.size() && body[i] == '-') ++i;
  size_t digits = 0;
  while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  if (i < body.size() && body[i] == '.') {
    ++i;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '-' || body[i] == '+')) ++i;
    size_t expDigits = 0;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != body.size()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FloatToIniText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);  // 15 significant digits
  std::string s(buf);
  size_t e = s.find('e');
  int exponent = std::atoi(s.c_str() + e + 1);
  std::string mantissa = s.substr(0, e);
  bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits = mantissa;
  digits.erase(1, 1);  // the decimal point
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out;
  if (negative) out += '-';
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    size_t intDigits = static_cast<size_t>(exponent) + 1;
    out.append(digits, 0, intDigits);
    if (digits.size() <= intDigits) {
      out.append(intDigits - digits.size(), '0');
    } else {
      out += '.';
      out.append(digits, intDigits, std::string::npos);
    }
  }
  return out;
}

std::optional<TDateTime> ParseIniDate(std::string_view text) { return parseWholeText(text, parseDatePart); }

std::optional<TDateTime> ParseIniTime(std::string_view text) { return parseWholeText(text, parseTimePart); }

std::optional<TDateTime> ParseIniDateTime(std::string_view text) {
  text = trimBlanks(text);
  size_t pos = 0;
  TDateTime date = 0, time = 0;
  if (text.find('-', 1) != std::string_view::npos) {
    if (!parseDatePart(text, pos, date)) return std::nullopt;
    if (pos == text.size()) return date;
    if (!isBlank(text[pos])) return std::nullopt;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
  }
  if (!parseTimePart(text, pos, time) || pos != text.size()) return std::nullopt;
  return joinDateTime(date, time);
}

std::string DateToIniText(TDateTime value) {
  int64_t day, ms;
  splitDateTime(value, day, ms);
  int64_t y;
  unsigned m, d;
  civilFromDays(day + kDaysTo18991230, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return buf;
}

std::string TimeToIniText(TDateTime value) {
  int64_t day, ms;
  splitDateTime(value, day, ms);
  int64_t sec = ms / 1000;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(sec / 3600),
                static_cast<long long>(sec / 60 % 60), static_cast<long long>(sec % 60));
  return buf;
}

std::string DateTimeToIniText(TDateTime value) {
  int64_t day, ms;
  splitDateTime(value, day, ms);
  if (ms / 1000 == 0) return DateToIniText(value);
  return DateToIniText(value) + " " + TimeToIniText(value);
}

// ---- typed access ----------------------------------------------------------

bool TCustomIniFile::SectionExists(const std::string& section) {
  TStringList keys;
  ReadSection(section, keys);
  return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const std::string& section, const std::string& ident) {
  TStringList keys;
  ReadSection(section, keys);
  return keys.IndexOf(ident) >= 0;
}

int32_t TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def) {
  return ParseIniInteger(ReadString(section, ident, "")).value_or(def);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& section, const std::string& ident, double def) {
  return ParseIniFloat(ReadString(section, ident, "")).value_or(def);
}

void TCustomIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  WriteString(section, ident, FloatToIniText(value));
}

TDateTime TCustomIniFile::ReadDate(const std::string& section, const std::string& ident, TDateTime def) {
  return ParseIniDate(ReadString(section, ident, "")).value_or(def);
}

TDateTime TCustomIniFile::ReadDateTime(const std::string& section, const std::string& ident, TDateTime def) {
  return ParseIniDateTime(ReadString(section, ident, "")).value_or(def);
}

TDateTime TCustomIniFile::ReadTime(const std::string& section, const std::string& ident, TDateTime def) {
  return ParseIniTime(ReadString(section, ident, "")).value_or(def);
}

void TCustomIniFile::WriteDate(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, DateToIniText(value));
}

void TCustomIniFile::WriteDateTime(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, DateTimeToIniText(value));
}

void TCustomIniFile::WriteTime(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, TimeToIniText(value));
}
