// Counts the lines of a text that match a pattern, searching line by line as
// the find command does. The text comes from the file named by
// QUILL_SEARCH_BENCH_TEXT (see compare.py, which also times grep and Python's
// re on the same file); without it a small generated text is used.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "search/RegExpr.h"

namespace {

const std::string& benchText() {
  static const std::string text = [] {
    if (const char* path = std::getenv("QUILL_SEARCH_BENCH_TEXT")) {
      std::ifstream in(path, std::ios::binary);
      std::stringstream data;
      data << in.rdbuf();
      return data.str();
    }
    std::string generated;
    for (int i = 0; i < 20000; ++i) {
      generated.append("procedure TFoo.Bar").append(std::to_string(i)).append("(const AValue: Integer);\n");
      generated += "begin\n  FValue := FValue + 3.25 * AValue;  { scale }\n";
      generated += "  if FCount > 10 then Exit;\nend;\n";
    }
    return generated;
  }();
  return text;
}

int64_t countMatchingLines(TRegExpr& re, const std::string& text) {
  int64_t count = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
    if (eol == nullptr) eol = end;
    if (re.Exec(std::string_view(p, eol - p))) ++count;
    p = eol + 1;
  }
  return count;
}

void searchLines(benchmark::State& state, const char* pattern) {
  const std::string& text = benchText();
  TRegExpr re;
  re.SetExpression(pattern);
  int64_t matched = 0;
  for (auto _ : state) {
    matched = countMatchingLines(re, text);
    benchmark::DoNotOptimize(matched);
  }
  state.counters["matched_lines"] = static_cast<double>(matched);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK_CAPTURE(searchLines, literal, "procedure")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchLines, literal_then_set, "proc[a-z]+")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchLines, decimal_number, "[0-9]+\\.[0-9]+")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(searchLines, alternatives, "begin|end")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
