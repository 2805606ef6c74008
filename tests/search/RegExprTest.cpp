#include "search/RegExpr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "-" for no match, else "pos len" of group 0 and of groups 1..n.
std::string describeMatch(TRegExpr& re, bool matched, int groups) {
  if (!matched) return "-";
  std::string out;
  for (int g = 0; g <= groups; ++g) {
    if (g) out += ' ';
    out += std::to_string(re.GroupPos(g)) + ' ' + std::to_string(re.GroupLen(g));
  }
  return out;
}

std::string errorOf(const std::string& pattern) {
  TRegExpr re;
  try {
    re.SetExpression(pattern);
  } catch (const ERegExpr& e) {
    return e.Message();
  }
  return "(compiled)";
}

}  // namespace

TEST(RegExpr, CompileErrorsCarryTheirMessages) {
  struct Case {
    std::string pattern, message;
  };
  const Case cases[] = {
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "too many ()"},
      {"((((((((((a))))))))))", "too many ()"},
      {"(a", "unmatched ()"},
      {"((a)", "unmatched ()"},
      {"a)", "unmatched ()"},
      {"a|b)c", "unmatched ()"},
      {"(a*)*", "*+ operand could be empty"},
      {"(a|)+", "*+ operand could be empty"},
      {"()*", "*+ operand could be empty"},
      {"^*", "*+ operand could be empty"},
      {"(^$)+", "*+ operand could be empty"},
      {"a**", "nested *?+"},
      {"a*?", "nested *?+"},
      {"(ab)+*", "nested *?+"},
      {"*a", "?+* follows nothing"},
      {"a|+b", "?+* follows nothing"},
      {"(?a)", "?+* follows nothing"},
      {"[ab", "Unmatched []"},
      {"[]", "Unmatched []"},
      {"[^]", "Unmatched []"},
      {"[a-", "Unmatched []"},
      {"[z-a]", "Invalid [] range"},
      {"[\\x7A-\\x61]", "Invalid [] range"},
      {"[a-\\x00]", "Invalid [] range"},
      {"\xE0[\xFF-\xE0]", "Invalid [] range"},
      {"ab\\", "Trailing \\"},
      {"[a\\", "Trailing \\"},
      {"\\x", "No hex code after \\x"},
      {"\\x4", "No hex code after \\x"},
      {"[\\x4", "No hex code after \\x"},
      {"\\xG1", "Bad hex digit \"G\""},
      {"[\\x1z]", "Bad hex digit \"z\""},
  };
  for (const Case& c : cases) EXPECT_EQ(errorOf(c.pattern), c.message) << "pattern " << c.pattern;

  TRegExpr re;
  try {
    re.SetExpression(static_cast<const char*>(nullptr));
    FAIL() << "a null pattern compiled";
  } catch (const ERegExpr& e) {
    EXPECT_EQ(e.Message(), "NULL argument");
  }
}

TEST(RegExpr, ValidEdgePatternsCompile) {
  for (const char* pattern : {"(a)(b)(c)(d)(e)(f)(g)(h)(i)", "(a*)?", "()", "a|", "|", "", "[]a]", "[a-]",
                              "[-a]", "[\xE0-\xDF]", "[a-a]", "(^)?", "\xF6*\xD6+"})
    EXPECT_EQ(errorOf(pattern), "(compiled)") << "pattern " << pattern;
}

// The program is the magic byte, a branch, the literal node (3 bytes, the
// bytes and their terminator) and the end node: a literal of n bytes takes
// n + 11 bytes, and the links reach at most 65535 bytes.
TEST(RegExpr, ProgramSizeLimitLiesBetween65535And65536Bytes) {
  TRegExpr re;
  std::string largest(65535 - 11, 'a');
  re.SetExpression(largest);
  EXPECT_TRUE(re.Exec("x" + largest));
  EXPECT_EQ(re.GroupPos(0), 2);

  std::string tooLarge(65536 - 11, 'a');
  EXPECT_EQ(errorOf(tooLarge), "regexp too big");
  // Sets count their member bytes once each, wherever they came from.
  EXPECT_EQ(errorOf("[a-z]" + std::string(65536 - 11 - 26 - 5, 'a')), "(compiled)");
}

TEST(RegExpr, MatchTable) {
  struct Case {
    std::string pattern, subject, expected;
    int groups = 0;
  };
  const Case cases[] = {
      // Alternatives, including an empty one that matches at the first position.
      {"a|b|", "xyz", "1 0"},
      {"a|b|", "bz", "1 1"},
      {"abc|abd|ab", "xabd", "2 3"},
      // The empty match of a repetition, and the end position that is never tried.
      {"x*", "yyy", "1 0"},
      {"a*$", "bbb", "-"},
      {"$", "abc", "-"},
      {"$", "", "1 0"},
      {".*", "", "1 0"},
      {"c$", "abc", "3 1"},
      {"^a", "ba", "-"},
      {"a|^b", "cb", "-"},
      {"^(a|b)", "bb", "1 1 1 1", 1},
      // A run of bytes gives its last byte to a following repetition.
      {"ab*", "a", "1 1"},
      {"ab+", "xabbbc", "2 4"},
      {"abc?", "ab", "1 2"},
      // Greedy single-byte repetition that gives back for the rest.
      {"a*ab", "aaab", "1 4"},
      {"[a-c]+c", "abcbc", "1 5"},
      {".*b", "abab", "1 4"},
      // Groups: the last iteration wins, non-participating groups are unset.
      {"(a|b)*c", "xabac", "2 4 4 1", 1},
      {"((a)|b)+", "ab", "1 2 2 1 1 1", 2},
      {"(a(b)?)+", "aba", "1 3 3 1 2 1", 2},
      {"(a)|(b)", "b", "1 1 -1 -1 1 1", 2},
      {"(a*)?", "b", "1 0 1 0", 1},
      {"()", "x", "1 0 1 0", 1},
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)", "abcdefghi", "1 9 1 1 2 1 3 1 4 1 5 1 6 1 7 1 8 1 9 1", 9},
      // The required literal comes only from the top-level chain.
      {"(abc)?d", "xxd", "3 1 -1 -1", 1},
      {"(abc)?d", "abcd", "1 4 1 3", 1},
      {"(abc|x)d", "xd", "1 2 1 1", 1},
      {"x(abc)*y", "xy", "1 2 -1 -1", 1},
      {"a(bc)+d", "abcbcd", "1 6 4 2", 1},
      {"a?bcd", "bcd", "1 3"},
      // Sets and ranges.
      {"[a-]", "x-", "2 1"},
      {"[]a]", "x]", "2 1"},
      {"[^]a]", "]ab", "3 1"},
      {"[a-c-e]", "d", "1 1"},
      {"[\\x41-\\x43]", "zB", "2 1"},
      {"[\\]x]", "]", "1 1"},
      {"[\\n\\t]", "a\tb", "2 1"},
      {"[\\d]", "a5", "2 1"},
      {"[\\d-z]", "-", "1 1"},
      {"[\\w]", "5", "-"},
      {"[\\w]+", "5ab_Z9", "2 4"},
      {"[^a]", "a", "-"},
      {"[^a]", "", "-"},
      // Escapes and classes.
      {"\\w", "5", "-"},
      {"\\w+", "12ab_c3", "3 4"},
      {"\\W", "a_1", "3 1"},
      {"\\d+", "ab123c", "3 3"},
      {"\\D+", "12ab3", "3 2"},
      {"\\e\\n\\r\\t", "\x1B\n\r\t", "1 4"},
      {"\\x41\\x62", "Ab", "1 2"},
      {"\\.\\*\\q", "a.*q", "2 3"},
      {"a.c", "a\nc", "1 3"},
      {"..", "a", "-"},
      // The stand-in bytes for the digit classes.
      {"\xF6+", "x42", "2 2"},
      {"\xD6", "4a", "2 1"},
      {"[\xF6]", "7", "1 1"},
      {"[\xF6]", "\xF6", "-"},
      {"[\xE0-\xF6]", "\xF6", "1 1"},
      // The letter ranges of the upper half.
      {"[\xE0-\xFF]", "\xB8", "1 1"},
      {"[\xE0-\xFF]", "\xC5", "-"},
      {"[\xC0-\xDF]", "\xA8", "1 1"},
      {"[\xE0-\xDF]+", "\xA8\xB8\xC5\xF5", "1 4"},
      {"[\xE0-\xDF]", "z", "-"},
      // Byte 0: no literal or set can hold it, and a subject ends at it.
      {"a\\x00", "a", "-"},
      {"\\x00?a", "a", "1 1"},
      {"\\x00*", "b", "1 0"},
      {"[\\x00a]", "a", "1 1"},
      {"[^\\x00]", "b", "1 1"},
      {"[\\x00-\\x02]", "\x01", "1 1"},
      {"b", std::string("a\0b", 3), "-"},
      {"a$", std::string("a\0b", 3), "1 1"},
  };
  for (const Case& c : cases) {
    TRegExpr re;
    re.SetExpression(c.pattern);
    EXPECT_EQ(describeMatch(re, re.Exec(c.subject), c.groups), c.expected)
        << "pattern " << c.pattern << " subject " << c.subject;
  }
}

TEST(RegExpr, ExecFromStartsLaterButKeepsTheSubjectStart) {
  struct Case {
    std::string pattern, subject;
    int offset;
    std::string expected;
  };
  const Case cases[] = {
      {"a", "aXa", 1, "3 1"},
      {"a", "aXa", 3, "-"},
      {"^a", "aa", 1, "-"},
      {"^a", "aa", 0, "1 1"},
      {"a$", "aba", 1, "3 1"},
      {"a*", "aa", 1, "2 1"},
      {"a*", "aa", 2, "-"},  // the end position is not tried
      {"a*", "", 0, "1 0"},
      {"b+", "bbb", 1, "2 2"},
      {"(x|y)z", "xzyz", 1, "3 2"},
      {"a", "aaa", -1, "-"},
      {"a", "aaa", 4, "-"},
  };
  for (const Case& c : cases) {
    TRegExpr re;
    re.SetExpression(c.pattern);
    EXPECT_EQ(describeMatch(re, re.ExecFrom(c.subject, c.offset), 0), c.expected)
        << "pattern " << c.pattern << " subject " << c.subject << " offset " << c.offset;
  }

  // Find-next: each search starts where the previous match ended.
  TRegExpr re;
  re.SetExpression("[0-9]+|x*");
  std::string subject = "a1 22 333";
  std::vector<std::string> found;
  for (int offset = 0; re.ExecFrom(subject, offset);) {
    int pos = re.GroupPos(0), len = re.GroupLen(0);
    found.push_back(std::to_string(pos) + ":" + subject.substr(pos - 1, len));
    offset = pos - 1 + (len > 0 ? len : 1);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"1:", "2:1", "3:", "4:22", "6:", "7:333"}));

  // A subject without storage is the empty subject.
  re.SetExpression("a*");
  EXPECT_TRUE(re.Exec(std::string_view()));
  EXPECT_EQ(re.GroupPos(0), 1);
}

TEST(RegExpr, GroupsAreUnsetOutsideAMatch) {
  TRegExpr re;
  EXPECT_EQ(re.GroupPos(0), -1);
  EXPECT_EQ(re.GroupLen(0), -1);
  re.SetExpression("(a)b");
  ASSERT_TRUE(re.Exec("ab"));
  EXPECT_EQ(re.GroupPos(-1), -1);
  EXPECT_EQ(re.GroupPos(10), -1);
  EXPECT_EQ(re.GroupLen(10), -1);
  EXPECT_EQ(re.GroupPos(2), -1);
  EXPECT_FALSE(re.Exec("ac"));
  EXPECT_EQ(re.GroupPos(0), -1);
  EXPECT_EQ(re.GroupPos(1), -1);
}

TEST(RegExpr, FailedCompileLeavesNoProgram) {
  TRegExpr re;
  EXPECT_THROW(
      {
        try {
          re.Exec("a");
        } catch (const ERegExpr& e) {
          EXPECT_EQ(e.Message(), "Not assigned expression property");
          throw;
        }
      },
      ERegExpr);

  re.SetExpression("a");
  ASSERT_TRUE(re.Exec("a"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      re.SetExpression("(a");
      FAIL() << "compiled";
    } catch (const ERegExpr& e) {
      EXPECT_EQ(e.Message(), "unmatched ()");
    }
  }
  EXPECT_EQ(re.Expression(), "(a");
  try {
    re.Exec("a");
    FAIL() << "searched with the previous program";
  } catch (const ERegExpr& e) {
    EXPECT_EQ(e.Message(), "unmatched ()");
  }
  re.SetExpression("a");
  EXPECT_TRUE(re.Exec("a"));

  EXPECT_THROW(re.SetExpression(static_cast<const char*>(nullptr)), ERegExpr);
  EXPECT_EQ(re.Expression(), "");
  try {
    re.Exec("a");
    FAIL() << "searched after a null pattern";
  } catch (const ERegExpr& e) {
    EXPECT_EQ(e.Message(), "Not assigned expression property");
  }
  re.SetExpression("");  // the empty pattern is a pattern
  EXPECT_TRUE(re.Exec("a"));
  EXPECT_EQ(re.GroupLen(0), 0);
}

namespace {

class ERecorded : public std::exception {};

// Records what reaches Error; optionally returns instead of raising.
class TRecordingRegExpr : public TRegExpr {
public:
  std::vector<std::string> messages;
  bool raise = true;
  void Error(const std::string& message) override {
    messages.push_back(message);
    if (raise) throw ERecorded();
  }
};

}  // namespace

TEST(RegExpr, EveryFailureGoesThroughError) {
  TRecordingRegExpr re;
  EXPECT_THROW(re.SetExpression("[z-a]"), ERecorded);
  EXPECT_THROW(re.Exec("a"), ERecorded);
  re.SetExpression("(a|b)*");
  re.SetBacktrackLimit(10);
  EXPECT_THROW(re.Exec("abababab"), ERecorded);
  EXPECT_EQ(re.messages, (std::vector<std::string>{"Invalid [] range", "Invalid [] range",
                                                   "Regular expression too complex for this text "
                                                   "(backtrack limit reached)"}));

  // An Error that returns does not let the operation go on.
  re.raise = false;
  EXPECT_THROW(re.SetExpression("a**"), ERegExpr);
  EXPECT_THROW(re.Exec("a"), ERegExpr);
  EXPECT_EQ(re.messages.back(), "nested *?+");
}

// Every loop iteration of (a|b)* leaves four entries: the loop's return
// point, the alternative's, and the group's two records.
TEST(RegExpr, BacktrackLimitEndsTheSearchWithAnError) {
  TRegExpr re;
  re.SetExpression("(a|b)*");
  re.SetBacktrackLimit(1000);
  ASSERT_TRUE(re.Exec(std::string(240, 'a')));
  EXPECT_EQ(re.GroupLen(0), 240);
  try {
    re.Exec(std::string(260, 'a'));
    FAIL() << "no error";
  } catch (const ERegExpr& e) {
    EXPECT_EQ(e.Message(), "Regular expression too complex for this text (backtrack limit reached)");
  }
  EXPECT_EQ(re.GroupPos(0), -1);

  // With the default limit a line of 100 000 bytes is fine, and one of
  // several megabytes ends in the error instead of exhausting the stack.
  TRegExpr standard;
  standard.SetExpression("(a|b)*");
  EXPECT_EQ(standard.BacktrackLimit(), RegExprBacktrackLimit);
  std::string line(100000, 'a');
  ASSERT_TRUE(standard.Exec(line));
  EXPECT_EQ(standard.GroupLen(0), 100000);
  EXPECT_THROW(standard.Exec(std::string(2 << 20, 'b')), ERegExpr);
  // The object stays usable.
  EXPECT_TRUE(standard.Exec("ab"));
  EXPECT_EQ(standard.GroupLen(0), 2);
}

// x(a|aa)*c against a run of "a" not followed by "c" takes exponential time.
TEST(RegExpr, StepLimitEndsARunawaySearchWithAnError) {
  TRegExpr re;
  re.SetExpression("x(a|aa)*c");
  re.SetStepLimit(100000);
  EXPECT_FALSE(re.Exec("x" + std::string(10, 'a') + "bc"));
  try {
    re.Exec("x" + std::string(40, 'a') + "bc");
    FAIL() << "no error";
  } catch (const ERegExpr& e) {
    EXPECT_EQ(e.Message(), "Regular expression too complex for this text (step limit reached)");
  }
  EXPECT_EQ(RegExprStepLimit, TRegExpr().StepLimit());
}
