// Lists all exports of the image named by IMAGOR_BENCH_IMAGE (compare_exports.sh
// makes one with 20,000 named exports) in INI form, in process.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "imagetool/Listings.h"
#include "imagetool/UPeFile.h"

namespace {

class TCountingSink : public TOutputSink {
public:
  void Write(std::string_view text) override { bytes += text.size(); }
  size_t bytes = 0;
};

void BM_ListExportsIni(benchmark::State& state) {
  const char* name = std::getenv("IMAGOR_BENCH_IMAGE");
  if (!name) {
    state.SkipWithError("IMAGOR_BENCH_IMAGE is not set (run bench/imagetool/compare_exports.sh)");
    return;
  }
  TImagorOptions options;
  options.ini = true;
  size_t bytes = 0;
  for (auto _ : state) {
    int error = 0;
    auto image = ExeImage::OpenImage(name, imRead, error);
    if (!image) {
      state.SkipWithError("cannot open the image");
      return;
    }
    TCountingSink out, err;
    TConsole console(out, err);
    TImageLister(*image, options, console).ListExports();
    bytes += out.bytes;
  }
  state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(BM_ListExportsIni)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
