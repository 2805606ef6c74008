#include "util/WildMatch.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"

TEST(WildMatch, MasksWithAndWithoutCase) {
  struct Case {
    const char* mask;
    const char* name;
    bool exact;       // WildMatch
    bool ignoreCase;  // IcWildMatch
  } cases[] = {
      {"*.~*", "unit.~pas", true, true},
      {"*.~*", "unit.pas", false, false},
      {"*.pas", "UNIT.PAS", false, true},
      {"*.pas", "unit.pas.bak", false, false},
      {"*", "", true, true},
      {"", "", true, true},
      {"", "a", false, false},
      {"a*b*c", "axxbyyc", true, true},
      {"a*b*c", "axxbyy", false, false},
      {"a*b*c", "abcbc", true, true},
      {"*a", "bbba", true, true},
      {"**a**", "ba", true, true},
      {"?.c", "x.c", true, true},
      {"?.c", ".c", false, false},
      {"*.*", "noext", false, false},
      {"Č*.txt", "čeština.TXT", false, true},
      {"*ab", "aab", true, true},
  };
  for (const Case& c : cases) {
    std::string mask = Utf8ToAnsi(c.mask), name = Utf8ToAnsi(c.name);
    EXPECT_EQ(WildMatch(mask, name), c.exact) << c.mask << " " << c.name;
    EXPECT_EQ(IcWildMatch(mask, name), c.ignoreCase) << c.mask << " " << c.name;
  }
}

TEST(WildMatch, ManyStarsOnALongNameStayFast) {
  // Backtracking into every star would take exponential time here.
  std::string name(20000, 'a');
  EXPECT_FALSE(WildMatch("*a*a*a*a*a*a*a*a*b", name));
  EXPECT_TRUE(WildMatch("*a*a*a*a*a*a*a*a*", name));
}
