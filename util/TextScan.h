#pragma once
// Scanners over a text given as a pointer and its end. None of them reads at
// or past end; each answers a pointer within [p, end].
#include <cstdint>
#include <string>

// The first CR, LF or NUL at or after p, else end.
const char* FastEOL(const char* p, const char* end);
// Past one line end at p (CR LF, CR or LF); p itself when none is there.
const char* pSkipEOL(const char* p, const char* end);
// Past every character of code 1 to 32 (line ends included).
const char* pSkipBlank(const char* p, const char* end);
// The first ch before end, else end.
const char* FastScan2(const char* p, char ch, const char* end);

// out receives the text up to the first ch (up to end when there is none);
// answers the pointer behind that ch, or end.
const char* ExtToken(const char* p, const char* end, char ch, std::string& out);
// Reads a string quoted with the quote character at p (' or "), a doubled
// quote standing for one; answers the pointer behind the closing quote. Text
// without a closing quote is taken up to end. When p is not at a quote, out
// is empty and p is answered.
const char* ExtQuoted(const char* p, const char* end, std::string& out);
// Reads a decimal number at p, with an optional "-", and answers the pointer
// behind its digits. A value beyond the 32-bit range is clamped to it (all
// its digits are still read). Without digits, out is 0 and p is answered.
const char* ValPC(const char* p, const char* end, int32_t& out);
