#include "util/StrUtils.h"

#include <algorithm>

#include "platform/StringList.h"

namespace {

// Index of the first occurrence of sub in text, comparing through the
// collation table; npos when there is none. An empty sub is found at 0.
size_t findIgnoringCase(std::string_view text, std::string_view sub) {
  if (sub.size() > text.size()) return std::string_view::npos;
  const auto& collation = AnsiCodePage().CollationTable();
  unsigned char first = collation[static_cast<unsigned char>(sub.empty() ? 0 : sub[0])];
  for (size_t i = 0; i + sub.size() <= text.size(); ++i) {
    if (!sub.empty() && collation[static_cast<unsigned char>(text[i])] != first) continue;
    if (AnsiSame(text.data() + i, sub.data(), sub.size())) return i;
  }
  return std::string_view::npos;
}

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int CharPos(char ch, std::string_view s) {
  size_t i = s.find(ch);
  return i == std::string_view::npos ? 0 : static_cast<int>(i + 1);
}

int ICPos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  size_t i = findIgnoringCase(s, sub);
  return i == std::string_view::npos ? 0 : static_cast<int>(i + 1);
}

std::string DoTrim(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && isBlank(s[begin])) ++begin;
  while (end > begin && isBlank(s[end - 1])) --end;
  return std::string(s.substr(begin, end - begin));
}

void SetTrimString(std::string& dst, const char* p, size_t len) { dst = DoTrim(std::string_view(p, len)); }

bool AnsiSame(const char* p, const char* q, size_t len) {
  return len == 0 || AnsiSameText(std::string_view(p, len), std::string_view(q, len));
}

int AnsiCmp(std::string_view a, std::string_view b) { return AnsiCompareText(a, b); }

bool AnsiFind(std::string_view text, std::string_view sub) { return findIgnoringCase(text, sub) != std::string_view::npos; }

bool liComp(std::string_view a, std::string_view b, size_t n) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  for (size_t i = 0; i < n; ++i) {
    bool endA = i >= a.size(), endB = i >= b.size();
    if (endA || endB) return endA && endB;
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  }
  return true;
}

bool extComp(std::string_view name, std::string_view ext) {
  return ext.size() <= name.size() && AnsiSameText(name.substr(name.size() - ext.size()), ext);
}

void AnsiLoStr(char* p, size_t len) {
  const auto& lower = AnsiCodePage().LowerTable();
  for (size_t i = 0; i < len; ++i) p[i] = static_cast<char>(lower[static_cast<unsigned char>(p[i])]);
}

void AnsiUpStr(char* p, size_t len) {
  const auto& upper = AnsiCodePage().UpperTable();
  for (size_t i = 0; i < len; ++i) p[i] = static_cast<char>(upper[static_cast<unsigned char>(p[i])]);
}

std::string ExtractToken(std::string& s, char ch) {
  size_t i = s.find(ch);
  std::string token;
  if (i == std::string::npos) {
    token.swap(s);
  } else {
    token = s.substr(0, i);
    s.erase(0, i + 1);
  }
  return token;
}

void DeleteToken(std::string& s, char ch) {
  size_t i = s.find(ch);
  if (i == std::string::npos) s.clear();
  else s.erase(0, i + 1);
}

void BreakApart(std::string_view s, std::string_view separator, TStrings& list) {
  list.BeginUpdate();
  try {
    list.Clear();
    if (!s.empty()) {
      if (separator.empty()) {
        list.Add(std::string(s));
      } else {
        size_t start = 0;
        for (;;) {
          size_t i = s.find(separator, start);
          list.Add(std::string(s.substr(start, i == std::string_view::npos ? std::string_view::npos : i - start)));
          if (i == std::string_view::npos) break;
          start = i + separator.size();
        }
      }
    }
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

std::string PutTogether(const TStrings& list, std::string_view separator) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) out += separator;
    out += list.Get(i);
  }
  return out;
}

std::string SListGet(const TStrings* list, int index) {
  if (!list || index < 0 || index >= list->Count()) return {};
  return list->Get(index);
}

std::string Subst(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  size_t start = 0;
  for (size_t i; (i = s.find(from, start)) != std::string_view::npos; start = i + from.size()) {
    out.append(s, start, i - start);
    out += to;
  }
  out.append(s, start);
  return out;
}
