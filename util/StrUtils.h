#pragma once
// String helpers on 8-bit text in the ANSI code page. Positions are 1-based
// and 0 means absent. Case-insensitive comparisons go through the code page's
// collation table (platform/CodePage.h), so the letters of the code page
// compare without regard to case, not only the ASCII ones.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

class TStrings;

// Index of the first ch in s, 0 when absent.
int CharPos(char ch, std::string_view s);
// Position of sub in s ignoring case; 0 when absent or sub is empty.
int ICPos(std::string_view sub, std::string_view s);

// s without the characters of code 32 or less at both ends.
std::string DoTrim(std::string_view s);
// dst becomes the trimmed copy of the len characters at p.
void SetTrimString(std::string& dst, const char* p, size_t len);

// The first len characters are equal ignoring case; len 0 is true.
bool AnsiSame(const char* p, const char* q, size_t len);
// Ordering ignoring case (AnsiCompareText): -1, 0 or 1.
int AnsiCmp(std::string_view a, std::string_view b);
// sub occurs in text ignoring case; an empty sub always occurs.
bool AnsiFind(std::string_view text, std::string_view sub);

// Both empty is true, one empty is false; otherwise the first n characters
// are equal ignoring ASCII case, and a string shorter than n must end where
// the other does.
bool liComp(std::string_view a, std::string_view b, size_t n);
// The file name ends with ext, ignoring case.
bool extComp(std::string_view name, std::string_view ext);

// Convert len characters at p in place through the lower-case / case table.
void AnsiLoStr(char* p, size_t len);
void AnsiUpStr(char* p, size_t len);

// Returns the text before the first ch (all of s when there is none) and
// leaves in s the text after that ch (empty when there is none).
std::string ExtractToken(std::string& s, char ch);
// s becomes the text after the first ch, empty when there is none.
void DeleteToken(std::string& s, char ch);

// Replaces the items of list with the pieces of s between the separators.
// An empty s gives no items; an empty separator gives s as the one item.
void BreakApart(std::string_view s, std::string_view separator, TStrings& list);
// The items of list with separator between them.
std::string PutTogether(const TStrings& list, std::string_view separator);

// Item index of list, or the empty string when list is null or index is out of range.
std::string SListGet(const TStrings* list, int index);

// s with every occurrence of from replaced by to, scanning left to right
// over the original text. An empty from leaves s unchanged.
std::string Subst(std::string_view s, std::string_view from, std::string_view to);

inline int32_t iMax(int32_t a, int32_t b) { return a > b ? a : b; }
inline int32_t iMin(int32_t a, int32_t b) { return a < b ? a : b; }
