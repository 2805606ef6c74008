// Speed and memory of the text view on a large text: showing a 100 MB text
// of 2.5 million lines in TMemScrivel, repainting an 80 x 50 view with a
// highlighter that splits every line into 5 runs, and scrolling it. The view
// paints into the offscreen platform's backing store (a QImage) through its
// real paint path.
//
//   view_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QApplication>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "highlight/CustomHighlighter.h"
#include "view/MemScrivel.h"

namespace {

constexpr int64_t kTextBytes = 100'000'000;
constexpr int64_t kTextLines = 2'500'000;

// Lines of 2 to 78 characters (40 on average) of words, blanks and some tabs.
const std::string& bigText() {
  static const std::string text = [] {
    std::string t;
    t.reserve(kTextBytes + 100);
    std::mt19937 rng(42);
    const char* words[] = {"begin", "end;", "procedure", "x := y + 1;", "if", "then", "(*", "*)",
                           "Result", "\t", "0x7FFF", "//", "while", "do", "'text'"};
    for (int64_t i = 0; i < kTextLines; ++i) {
      const int64_t target = 2 + static_cast<int64_t>(rng() % 77);
      const size_t start = t.size();
      while (static_cast<int64_t>(t.size() - start) < target) {
        t += words[rng() % 15];
        t += ' ';
      }
      t.resize(start + target);
      t += (i % 10 == 0) ? "\r\n" : "\n";
    }
    return t;
  }();
  return text;
}

// Bytes the allocator has handed out and not taken back.
int64_t allocatedBytes() {
  const struct mallinfo2 mi = mallinfo2();
  return static_cast<int64_t>(mi.uordblks + mi.hblkhd);
}

// Splits every line into 5 runs, alternating two coloured attributes.
class FiveRunHighlighter : public TCustomHighlighter {
public:
  void InitAttributes() override {
    TCustomHighlighter::InitAttributes();
    AddAttrib("Keyword")->SetColor(0, clNavy);
    AddAttrib("Comment")->SetColor(0, clGreen);
  }
  bool GetToken(const char*, int32_t length, int32_t& tokenLength, THiAttrib*& attrib) override {
    const int32_t n = static_cast<int32_t>(CurLine()->LineText.size());
    const int32_t run = std::max(n / 5, 1);
    tokenLength = std::min(run - Column() % run, length);
    attrib = AttribByIndex(1 + (Column() / run) % 2);
    return true;
  }
};

class CountingView : public TMemScrivel {
public:
  void Paint(QPainter& painter, const QRegion& region) override {
    ++paints;
    paintedRows += region.boundingRect().height() / std::max(LineHeight(), 1);
    TMemScrivel::Paint(painter, region);
  }
  int64_t paints = 0;
  int64_t paintedRows = 0;
};

void BM_SetDataAndIndex(benchmark::State& state) {
  const std::string& text = bigText();
  std::unique_ptr<TMemScrivel> view;
  int64_t extraBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    view.reset();
    view = std::make_unique<TMemScrivel>();
    view->resize(800, 600);
    const int64_t before = allocatedBytes();
    state.ResumeTiming();
    view->SetData(text.data(), static_cast<int64_t>(text.size()), false);
    state.PauseTiming();
    extraBytes = std::max(extraBytes, allocatedBytes() - before);
    state.ResumeTiming();
  }
  const TMemLayout& layout = view->Layout();
  const double layoutBytes = static_cast<double>(layout.Lines.capacity() * sizeof(TMemLine) +
                                                 layout.Logical.capacity() * sizeof(TMemLine));
  state.counters["lines"] = static_cast<double>(view->DisplayLineCount());
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
  state.counters["index_over_text"] = layoutBytes / static_cast<double>(text.size());
  state.counters["allocated_over_text"] = static_cast<double>(extraBytes) / static_cast<double>(text.size());
}
BENCHMARK(BM_SetDataAndIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

// An 80 x 50 view over the big text, shown on the offscreen platform.
CountingView& sharedView() {
  static CountingView* view = [] {
    auto* v = new CountingView;
    v->SetData(bigText().data(), static_cast<int64_t>(bigText().size()), false);
    v->show();
    QApplication::processEvents();
    // Size the window so that exactly 80 columns and 50 lines fit.
    for (int i = 0; i < 3; ++i) {
      v->resize(v->width() + 80 * v->CharWidth() - v->ClientTextWidth(),
                v->height() + 50 * v->LineHeight() - v->ClientTextHeight());
      QApplication::processEvents();
    }
    v->SetHighlighter(new FiveRunHighlighter);
    return v;
  }();
  return *view;
}

void BM_FullRepaint(benchmark::State& state) {
  CountingView& v = sharedView();
  const int64_t top = state.range(0) == 0 ? 0
                      : state.range(0) == 1 ? v.DisplayLineCount() / 2
                                            : v.DisplayLineCount() - v.VisibleLines();
  v.SetTopLine(top);
  v.viewport()->repaint();
  const int64_t paintsBefore = v.paints;
  for (auto _ : state) v.viewport()->repaint();
  state.counters["paints_per_iter"] = static_cast<double>(v.paints - paintsBefore) /
                                      static_cast<double>(state.iterations());
  state.counters["cols"] = v.VisibleColumns();
  state.counters["lines"] = static_cast<double>(v.VisibleLines());
  state.SetLabel(state.range(0) == 0 ? "top" : state.range(0) == 1 ? "middle" : "last page");
}
BENCHMARK(BM_FullRepaint)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A text of one 100 MB line (no line ends), scrolled near its end: painting
// looks only at the visible part of the line.
void BM_RepaintOneHugeLine(benchmark::State& state) {
  static const std::string line(static_cast<size_t>(kTextBytes), 'x');
  CountingView v;
  v.SetData(line.data(), static_cast<int64_t>(line.size()), false);
  v.show();
  QApplication::processEvents();
  v.resize(v.width() + 80 * v.CharWidth() - v.ClientTextWidth(),
           v.height() + 50 * v.LineHeight() - v.ClientTextHeight());
  v.SetLeftCol(static_cast<int32_t>(kTextBytes - 100));
  for (auto _ : state) v.viewport()->repaint();
  state.counters["left_col"] = v.LeftCol();
}
BENCHMARK(BM_RepaintOneHugeLine)->Unit(benchmark::kMicrosecond);

// Scrolling by one line (the contents move, one line is painted) or by one
// page (everything is painted), alternating direction to stay in the middle.
void BM_Scroll(benchmark::State& state) {
  CountingView& v = sharedView();
  v.SetTopLine(v.DisplayLineCount() / 2);
  v.viewport()->repaint();
  const bool page = state.range(0) == 1;
  int direction = 1;
  const int64_t paintsBefore = v.paints;
  const int64_t rowsBefore = v.paintedRows;
  for (auto _ : state) {
    if (page)
      v.VScroll(direction > 0 ? SB_PAGEDOWN : SB_PAGEUP);
    else
      v.ScrollBy(0, direction);
    // The page scroll repaints through the event queue: paint now.
    if (page) v.viewport()->repaint();
    direction = -direction;
  }
  state.counters["paints_per_iter"] = static_cast<double>(v.paints - paintsBefore) /
                                      static_cast<double>(state.iterations());
  state.counters["rows_painted_per_iter"] = static_cast<double>(v.paintedRows - rowsBefore) /
                                            static_cast<double>(state.iterations());
  state.SetLabel(page ? "page" : "line");
}
BENCHMARK(BM_Scroll)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
