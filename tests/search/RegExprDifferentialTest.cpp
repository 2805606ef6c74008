// Compares the engine with expectations produced once by a reference
// implementation (tests/fixtures/make/regex_differential.py) on thousands of
// random patterns and subjects.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "search/RegExpr.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the %HH escapes of the fixture.
std::string unescapeField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size() && hexValue(field[i + 1]) >= 0 && hexValue(field[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(field[i + 1]) * 16 + hexValue(field[i + 2]));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

}  // namespace

TEST(RegExprDifferential, AgreesWithTheReferenceOnGeneratedCases) {
  std::ifstream in(QUILL_FIXTURES_DIR "/search/regex_differential.txt", std::ios::binary);
  ASSERT_TRUE(in) << "fixture missing";
  int cases = 0, failures = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = splitTabs(line);
    ASSERT_EQ(f.size(), 4u) << line;
    std::string pattern = unescapeField(f[0]);
    std::string subject = unescapeField(f[1]);
    int offset = std::stoi(f[2]);
    const std::string& expected = f[3];
    ++cases;

    std::string got;
    try {
      TRegExpr re;
      re.SetExpression(pattern);
      if (!re.ExecFrom(subject, offset)) {
        got = "-";
      } else {
        int groups = (static_cast<int>(std::count(expected.begin(), expected.end(), ' ')) + 1) / 2 - 1;
        for (int g = 0; g <= groups; ++g) {
          if (g) got += ' ';
          got += std::to_string(re.GroupPos(g)) + ' ' + std::to_string(re.GroupLen(g));
        }
      }
    } catch (const ERegExpr& e) {
      got = "error: " + e.Message();
    }
    if (got != expected && ++failures <= 20)
      ADD_FAILURE() << "pattern " << f[0] << " subject " << f[1] << " offset " << offset << ": got " << got
                    << ", expected " << expected;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(cases, 1000);
}
