#pragma once
// Character classes for word movement and selection, and the class cache of
// one line. Classes: 3 digit, 2 letter (with "_"), 1 punctuation, 0 other
// (blank, tab, control). Digits and letters are word characters. The upper
// half of the table comes from the ANSI code page's character types.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class TStrings;

enum : uint8_t {
  ccOther = 0,
  ccPunctuation = 1,
  ccLetter = 2,
  ccDigit = 3,
};

// The class of every byte in the ANSI code page (built once).
const std::array<uint8_t, 256>& CharClassTable();
inline uint8_t CharClassOf(unsigned char c) { return CharClassTable()[c]; }
constexpr bool IsWordClass(uint8_t cls) { return cls >= ccLetter; }

// Adds every run of word characters of the text to the list, each with its
// 0-based offset in the text as the item's object, and answers the count.
int SplitWords(std::string_view text, TStrings& list);

// The classes of one line's characters, with the word moves that work on them.
// Columns are character offsets; a column beyond the line is first brought
// back to the last character.
class TLineCharTypes {
public:
  void Assign(std::string_view line);
  int32_t Length() const { return static_cast<int32_t>(types_.size()); }
  uint8_t ClassAt(int32_t col) const {
    return col >= 0 && col < Length() ? types_[col] : static_cast<uint8_t>(ccOther);
  }
  bool IsWordAt(int32_t col) const { return IsWordClass(ClassAt(col)); }

  // Back over non-word characters, then over word characters: the first
  // character of that word. False when there is none.
  bool WordStartBackward(int32_t& col) const;
  // The end (column after the last character) of the word before the column.
  bool WordEndBackward(int32_t& col) const;
  // Forward over word characters, then over non-word characters: the next
  // word's start. False when the end of the line is reached.
  bool WordStartForward(int32_t& col) const;
  // Forward over word characters; true when it moved.
  bool WordEndForward(int32_t& col) const;
  // The word holding the column: its start and length. False on a non-word
  // character.
  bool WordAt(int32_t col, int32_t& start, int32_t& length) const;

private:
  int32_t clampToLine(int32_t col) const;
  std::vector<uint8_t> types_;
};
