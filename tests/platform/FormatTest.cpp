#include "platform/Format.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

TEST(Format, SpecifiersProduceTheClassLibraryText) {
  struct Case {
    std::string got, want;
  };
  const void* ptr = reinterpret_cast<const void*>(uintptr_t{0xABCDEF});
  Case cases[] = {
      {Format("%s and %d", "text", 42), "text and 42"},
      {Format("%d", -17), "-17"},
      {Format("%x", 255), "FF"},
      {Format("%.8x", 0x1234), "00001234"},
      {Format("%.8x", -1), "FFFFFFFF"},
      {Format("[%-20s]", "left"), "[left                ]"},
      {Format("[%8d]", 42), "[      42]"},
      {Format("[%*s]", 6, "ab"), "[    ab]"},
      {Format("%p", ptr), "00ABCDEF"},
      {Format("%p=%p", 0x1000u, 0x401000u), "00001000=00401000"},
      {Format("%1:s %0:s", "a", "b"), "b a"},
      {Format("%1:d %d %0:x", 10, 20, 30), "20 30 A"},
      {Format("%2:.8x", 0, 0, 0xBEEF), "0000BEEF"},
      {Format("100%%"), "100%"},
      {Format("%.3s", "abcdef"), "abc"},
      {Format("%.2f", 3.14159), "3.14"},
      {Format("%n", 1234567.891), "1,234,567.89"},
      {Format("%u", -1), "4294967295"},
      {Format("%s", std::string("std")), "std"},
      {Format("%s", 'c'), "c"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, NegativeNumbersShowAsTheTwosComplementOfTheirOwnType) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {Format("%x", int8_t{-1}), "FFFFFFFF"},
      {Format("%x", int32_t{-1}), "FFFFFFFF"},
      {Format("%x", int64_t{-1}), "FFFFFFFFFFFFFFFF"},
      {Format("%.8x", int64_t{-2}), "FFFFFFFFFFFFFFFE"},
      {Format("%x", int64_t{-5000000000LL}), "FFFFFFFED5FA0E00"},
      {Format("%u", int32_t{-5}), "4294967291"},
      {Format("%u", int64_t{-5}), "18446744073709551611"},
      {Format("%p", int64_t{-1}), "FFFFFFFFFFFFFFFF"},
      {Format("%x", int64_t{255}), "FF"},
      {Format("%d", int64_t{-5}), "-5"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, MismatchOrMissingArgumentRaises) {
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%s %s", "one"), EConvertError);
  EXPECT_THROW(Format("%"), EConvertError);
  EXPECT_THROW(Format("%5:s", "a"), EConvertError);
}

TEST(Format, HugeWidthIsBounded) {
  std::string s = Format("%999999999d", 1);
  EXPECT_EQ(s.size(), static_cast<size_t>(kMaxFormatWidth));
  EXPECT_EQ(Format("%*d", 1 << 30, 7).size(), static_cast<size_t>(kMaxFormatWidth));
}
