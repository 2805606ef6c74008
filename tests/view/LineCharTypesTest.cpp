#include <gtest/gtest.h>

#include "platform/StringList.h"
#include "view/LineCharTypes.h"

namespace {

TEST(LineCharTypes, ClassesOfTheAnsiCodePage) {
  struct Case {
    unsigned char c;
    uint8_t cls;
  };
  // The default ANSI code page is 1250: 0x8A is S with caron, 0xB9 a with
  // ogonek, 0xA0 a no-break space, 0x96 an en dash, 0x81 undefined.
  const Case cases[] = {
      {'0', ccDigit}, {'9', ccDigit}, {'a', ccLetter}, {'Z', ccLetter}, {'_', ccLetter},
      {'!', ccPunctuation}, {'/', ccPunctuation}, {'@', ccPunctuation}, {'`', ccPunctuation},
      {'~', ccPunctuation}, {' ', ccOther}, {'\t', ccOther}, {0, ccOther}, {127, ccOther},
      {0x8A, ccLetter}, {0xB9, ccLetter}, {0xA0, ccOther}, {0x96, ccPunctuation}, {0x81, ccOther},
  };
  for (const Case& c : cases) EXPECT_EQ(c.cls, CharClassOf(c.c)) << int(c.c);
}

TEST(LineCharTypes, WordMovesTable) {
  TLineCharTypes t;
  t.Assign("foo bar,  baz_1 ;");
  //        0123456789012345678
  struct Case {
    const char* move;
    int32_t from;
    bool ok;
    int32_t to;
  };
  const Case cases[] = {
      {"StartBackward", 5, true, 4},   {"StartBackward", 3, true, 0},
      {"StartBackward", 8, true, 4},   {"StartBackward", 0, true, 0},
      {"StartBackward", 99, true, 10}, // beyond the line: from the last character
      {"EndBackward", 5, true, 3},     {"EndBackward", 12, true, 7},
      {"EndBackward", 2, false, 2},
      {"StartForward", 0, true, 4},    {"StartForward", 4, true, 10},
      {"StartForward", 10, false, 10}, {"StartForward", 7, true, 10},
      {"EndForward", 4, true, 7},      {"EndForward", 7, false, 7},
      {"EndForward", 10, true, 15},
  };
  for (const Case& c : cases) {
    int32_t col = c.from;
    const std::string m = c.move;
    bool ok = m == "StartBackward" ? t.WordStartBackward(col)
              : m == "EndBackward" ? t.WordEndBackward(col)
              : m == "StartForward" ? t.WordStartForward(col)
                                    : t.WordEndForward(col);
    EXPECT_EQ(c.ok, ok) << m << " from " << c.from;
    if (ok) {
      EXPECT_EQ(c.to, col) << m << " from " << c.from;
    }
  }
  int32_t start, length;
  EXPECT_TRUE(t.WordAt(12, start, length));
  EXPECT_EQ(10, start);
  EXPECT_EQ(5, length);
  EXPECT_FALSE(t.WordAt(3, start, length));
}

TEST(LineCharTypes, SplitWordsRecordsOffsets) {
  TStringList list;
  EXPECT_EQ(3, SplitWords("  alpha, beta2+_g", list));
  ASSERT_EQ(3, list.Count());
  EXPECT_EQ("alpha", list[0]);
  EXPECT_EQ("beta2", list[1]);
  EXPECT_EQ("_g", list[2]);
  EXPECT_EQ(2, reinterpret_cast<intptr_t>(list.Objects(0)));
  EXPECT_EQ(9, reinterpret_cast<intptr_t>(list.Objects(1)));
  EXPECT_EQ(15, reinterpret_cast<intptr_t>(list.Objects(2)));
}

}  // namespace
