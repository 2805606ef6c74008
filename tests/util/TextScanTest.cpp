#include "util/TextScan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// A copy of text in a heap block of exactly its size, with no terminator
// behind it: a scanner that reads past the end is caught by the sanitizer.
class ExactBuffer {
public:
  explicit ExactBuffer(std::string_view text) : size_(text.size()), data_(new char[text.size() ? text.size() : 1]) {
    std::memcpy(data_.get(), text.data(), text.size());
  }
  const char* begin() const { return data_.get(); }
  const char* end() const { return data_.get() + size_; }

private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

}  // namespace

TEST(TextScan, LineEndsAndBlanks) {
  struct Case {
    std::string text;
    size_t eol;       // FastEOL
    size_t skipEol;   // pSkipEOL at the line end
    size_t skipBlank; // pSkipBlank from the start
  } cases[] = {
      {"ab\r\ncd", 2, 4, 0},
      {"ab\rcd", 2, 3, 0},
      {"ab\ncd", 2, 3, 0},
      {"ab\n\rcd", 2, 3, 0},
      {"abc", 3, 3, 0},
      {"ab\r", 2, 3, 0},
      {std::string("a\0b", 3), 1, 1, 0},
      {" \t\r\n x", 2, 4, 5},
      {"   ", 3, 3, 3},
      {"\xA0x", 2, 2, 0},
  };
  for (const Case& c : cases) {
    ExactBuffer b(c.text);
    const char* eol = FastEOL(b.begin(), b.end());
    EXPECT_EQ(static_cast<size_t>(eol - b.begin()), c.eol) << c.text;
    EXPECT_EQ(static_cast<size_t>(pSkipEOL(eol, b.end()) - b.begin()), c.skipEol) << c.text;
    EXPECT_EQ(static_cast<size_t>(pSkipBlank(b.begin(), b.end()) - b.begin()), c.skipBlank) << c.text;
  }
  ExactBuffer b("abcabc");
  EXPECT_EQ(FastScan2(b.begin(), 'c', b.end()) - b.begin(), 2);
  EXPECT_EQ(FastScan2(b.begin() + 3, 'c', b.begin() + 5), b.begin() + 5);
  EXPECT_EQ(FastScan2(b.end(), 'c', b.end()), b.end());
}

TEST(TextScan, ExtToken) {
  ExactBuffer b("key=value=x");
  std::string out;
  const char* p = ExtToken(b.begin(), b.end(), '=', out);
  EXPECT_EQ(out, "key");
  p = ExtToken(p, b.end(), '=', out);
  EXPECT_EQ(out, "value");
  p = ExtToken(p, b.end(), '=', out);
  EXPECT_EQ(out, "x");
  EXPECT_EQ(p, b.end());
  EXPECT_EQ(ExtToken(p, b.end(), '=', out), b.end());
  EXPECT_EQ(out, "");
}

TEST(TextScan, ExtQuotedStopsAtTheEnd) {
  struct Case {
    const char* text;
    const char* out;
    size_t consumed;
  } cases[] = {
      {"'abc' rest", "abc", 5},
      {"'it''s'x", "it's", 7},
      {"\"a\"\"b\"", "a\"b", 6},
      {"\"mixed 'quotes'\"", "mixed 'quotes'", 16},
      {"'unterminated", "unterminated", 13},
      {"'ends in a doubled quote''", "ends in a doubled quote'", 26},
      {"'", "", 1},
      {"abc", "", 0},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    ExactBuffer b(c.text);
    std::string out = "stale";
    const char* p = ExtQuoted(b.begin(), b.end(), out);
    EXPECT_EQ(out, c.out) << c.text;
    EXPECT_EQ(static_cast<size_t>(p - b.begin()), c.consumed) << c.text;
  }
}

TEST(TextScan, ValPCReadsDigitsAndClampsInsteadOfOverflowing) {
  struct Case {
    const char* text;
    int32_t value;
    size_t consumed;
  } cases[] = {
      {"123x", 123, 3},
      {"-45", -45, 3},
      {"007", 7, 3},
      {"x1", 0, 0},
      {"-", 0, 0},
      {"-x", 0, 0},
      {"", 0, 0},
      {"2147483647", INT32_MAX, 10},
      {"2147483648", INT32_MAX, 10},
      {"-2147483648", INT32_MIN, 11},
      {"99999999999999999999999 ", INT32_MAX, 23},
      {"-99999999999999999999999", INT32_MIN, 24},
  };
  for (const Case& c : cases) {
    ExactBuffer b(c.text);
    int32_t value = -1;
    const char* p = ValPC(b.begin(), b.end(), value);
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(p - b.begin()), c.consumed) << c.text;
  }
}
