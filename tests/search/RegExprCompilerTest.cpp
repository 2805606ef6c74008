#include "search/RegExprCompiler.h"

#include <gtest/gtest.h>

#include <vector>

// The node program: magic byte, then opcode, 16-bit link (high byte first,
// forward; backward for the loop node) and operand per node.
TEST(RegExprCompiler, EmitsTheNodeProgram) {
  struct Case {
    const char* pattern;
    std::vector<uint8_t> code;
  };
  const Case cases[] = {
      // branch "ab" | branch star("c"), both ending at the end node
      {"ab|c*",
       {0x9C, 6, 0x00, 0x09, 8, 0x00, 0x11, 'a', 'b', 0, 6, 0x00, 0x0B, 10, 0x00, 0x08, 8, 0x00, 0x00, 'c', 0,
        0, 0x00, 0x00}},
      // open 1, branch "x", close 1, then a branch that loops back to open 1
      // (link 17 backwards) or a branch to nothing
      {"(x)+",
       {0x9C, 6,    0x00, 0x1D, 21, 0x00, 0x03, 6, 0x00, 0x08, 8, 0x00, 0x05, 'x', 0,    31, 0x00,
        0x03, 6,    0x00, 0x06, 7,  0x00, 0x11, 6, 0x00, 0x03, 9, 0x00, 0x03, 0,   0x00, 0x00}},
      // sets list their members once each, in byte order, without byte 0
      {"[ca-b\\x00a]", {0x9C, 6, 0x00, 0x0A, 4, 0x00, 0x07, 'a', 'b', 'c', 0, 0, 0x00, 0x00}},
  };
  for (const Case& c : cases) EXPECT_EQ(compileRegExpr(c.pattern).code, c.code) << c.pattern;
}

TEST(RegExprCompiler, DerivesTheSearchShortcuts) {
  struct Case {
    const char* pattern;
    const char* firstLiteral;
    const char* requiredLiteral;
    bool anchored;
  };
  const Case cases[] = {
      {"procedure", "procedure", "procedure", false},
      {"proc[a-z]+", "proc", "proc", false},
      {"[0-9]+\\.[0-9]+", "", ".", false},
      {"^abc", "", "abc", true},
      {"a*bc(de)?fg", "", "fg", false},       // equal lengths: the later one
      {"(abc)?d", "", "d", false},            // not from inside an optional part
      {"x(abcdef|y)z(qqqq)*", "x", "z", false},
      {"ab|cd", "", "", false},               // several alternatives: none
  };
  for (const Case& c : cases) {
    RegExprProgram program = compileRegExpr(c.pattern);
    EXPECT_EQ(program.firstLiteral, c.firstLiteral) << c.pattern;
    EXPECT_EQ(program.requiredLiteral, c.requiredLiteral) << c.pattern;
    EXPECT_EQ(program.anchored, c.anchored) << c.pattern;
  }
  EXPECT_EQ(compileRegExpr("begin|end").startLiterals, (std::vector<std::string>{"begin", "end"}));
  EXPECT_TRUE(compileRegExpr("a|(b)").startLiterals.empty());
}
