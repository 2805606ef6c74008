#include "util/WildMatch.h"

#include "platform/CodePage.h"

namespace {

// Greedy matching that remembers only the last "*": on a mismatch the last
// star takes one more character. Linear in practice, never recursive.
template <class Same>
bool matchMask(std::string_view mask, std::string_view name, Same same) {
  size_t m = 0, n = 0;
  size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || same(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool WildMatch(std::string_view mask, std::string_view name) {
  return matchMask(mask, name, [](char a, char b) { return a == b; });
}

bool IcWildMatch(std::string_view mask, std::string_view name) {
  const auto& upper = AnsiCodePage().UpperTable();
  return matchMask(mask, name, [&upper](char a, char b) {
    return upper[static_cast<unsigned char>(a)] == upper[static_cast<unsigned char>(b)];
  });
}
