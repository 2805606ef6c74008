#include "view/LineCharTypes.h"

#include <cstdint>

#include "platform/CodePage.h"
#include "platform/StringList.h"

namespace {

std::array<uint8_t, 256> buildClassTable() {
  std::array<uint8_t, 256> table{};
  const TCodePage& cp = AnsiCodePage();
  for (int c = 0; c < 256; ++c) {
    uint8_t cls = ccOther;
    if (c >= '0' && c <= '9') {
      cls = ccDigit;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') {
      cls = ccLetter;
    } else if (c >= 33 && c <= 126) {
      cls = ccPunctuation;
    } else if (c >= 128) {
      const uint16_t t = cp.CharType(static_cast<unsigned char>(c));
      const char16_t u = cp.ToUnicode(static_cast<unsigned char>(c));
      // Space separators such as the no-break space count as blanks, as the
      // original platform's typing has them, whatever the C library says.
      const bool spaceSeparator = u == 0x00A0 || (u >= 0x2000 && u <= 0x200B) || u == 0x202F ||
                                  u == 0x205F || u == 0x3000;
      if (t & (ctDigit | ctXDigit))
        cls = ccDigit;
      else if (t & (ctUpper | ctLower | ctAlpha))
        cls = ccLetter;
      else if (!spaceSeparator && !(t & (ctSpace | ctControl | ctBlank)) &&
               cp.IsDefined(static_cast<unsigned char>(c)))
        cls = ccPunctuation;
    }
    table[c] = cls;
  }
  return table;
}

}  // namespace

const std::array<uint8_t, 256>& CharClassTable() {
  static const std::array<uint8_t, 256> table = buildClassTable();
  return table;
}

int SplitWords(std::string_view text, TStrings& list) {
  int count = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsWordClass(CharClassOf(static_cast<unsigned char>(text[i])))) {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < text.size() && IsWordClass(CharClassOf(static_cast<unsigned char>(text[i])))) ++i;
    list.AddObject(std::string(text.substr(start, i - start)),
                   reinterpret_cast<void*>(static_cast<intptr_t>(start)));
    ++count;
  }
  return count;
}

void TLineCharTypes::Assign(std::string_view line) {
  const auto& table = CharClassTable();
  types_.resize(line.size());
  for (size_t i = 0; i < line.size(); ++i) types_[i] = table[static_cast<unsigned char>(line[i])];
}

int32_t TLineCharTypes::clampToLine(int32_t col) const {
  if (col >= Length()) col = Length() - 1;
  return col;
}

bool TLineCharTypes::WordStartBackward(int32_t& col) const {
  int32_t c = clampToLine(col);
  while (c >= 0 && !IsWordAt(c)) --c;
  if (c < 0) return false;
  while (c > 0 && IsWordAt(c - 1)) --c;
  col = c;
  return true;
}

bool TLineCharTypes::WordEndBackward(int32_t& col) const {
  int32_t c = clampToLine(col);
  while (c >= 0 && IsWordAt(c)) --c;
  while (c >= 0 && !IsWordAt(c)) --c;
  if (c < 0) return false;
  WordEndForward(c);
  col = c;
  return true;
}

bool TLineCharTypes::WordStartForward(int32_t& col) const {
  int32_t c = clampToLine(col);
  if (c < 0) return false;
  while (c < Length() && IsWordAt(c)) ++c;
  while (c < Length() && !IsWordAt(c)) ++c;
  if (c >= Length()) return false;
  col = c;
  return true;
}

bool TLineCharTypes::WordEndForward(int32_t& col) const {
  int32_t c = clampToLine(col);
  if (c < 0) return false;
  const int32_t from = c;
  while (c < Length() && IsWordAt(c)) ++c;
  if (c == from) return false;
  col = c;
  return true;
}

bool TLineCharTypes::WordAt(int32_t col, int32_t& start, int32_t& length) const {
  if (!IsWordAt(col)) return false;
  int32_t s = col;
  while (s > 0 && IsWordAt(s - 1)) --s;
  int32_t e = col;
  while (e < Length() && IsWordAt(e)) ++e;
  start = s;
  length = e - s;
  return true;
}
