// Replays the inputs the fuzzer found failing (tests/fixtures/search/fuzz/)
// through the fuzz case, which aborts on a broken invariant.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/search/RegExprFuzzBody.h"

TEST(RegExprFuzzRegression, FormerlyFailingInputsPass) {
  std::filesystem::path folder = QUILL_FIXTURES_DIR "/search/fuzz";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    regexprfuzz::runCase(data.data(), data.size());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}
