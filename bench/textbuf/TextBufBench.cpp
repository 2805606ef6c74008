// Timing program for the text engine on a large text:
//   textbuf_bench <file> [lines for the edit tests, default 1000000]
//   textbuf_bench --long-lines [MB, default 200] [shortest] [longest line]
// Loads the file into a buffer (SetText), writes it back (GetAllText), states
// the memory held, then times single-character edits in a buffer of the
// file's first lines and 100,000 random edits undone afterwards.
// --long-lines loads a generated text of lines of random lengths, 10,000 to
// 120,000 characters unless told otherwise, which the buffer keeps in chunks
// of many kilobytes, and skips the edit tests.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "textbuf/TextUndo.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of the process: on a machine shared with other work the
// wall time includes waiting for a core, this does not.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Resident and peak resident memory of the process in bytes.
size_t residentBytes() {
  std::ifstream status("/proc/self/statm");
  size_t pages = 0, resident = 0;
  status >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
size_t peakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

std::string readFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", name);
    std::exit(2);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// About megabytes * 1e6 bytes of printable lines of random lengths between
// shortest and longest characters, each ended by CR LF.
std::string makeLongLines(size_t megabytes, size_t shortest, size_t longest) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<size_t> length(shortest, std::max(shortest, longest));
  std::string text;
  text.reserve(megabytes * 1000000 + longest + 2);
  while (text.size() < megabytes * 1000000) {
    const size_t n = length(rng);
    for (size_t i = 0; i < n; ++i) text += static_cast<char>(i % 97 == 96 ? ' ' : 'a' + rng() % 26);
    text += "\r\n";
  }
  return text;
}

double mb(size_t bytes) { return static_cast<double>(bytes) / 1e6; }

// Average microseconds of one single-character insertion followed by its
// deletion, typed at the given line.
double typeAt(TEditBuffer& buffer, TEditPos& caret, int32_t line, int rounds) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    caret.SetPos(static_cast<int64_t>(buffer.LineStart(line)) + 2);
    caret.InsertText("x");
    caret.SetPos(static_cast<int64_t>(buffer.LineStart(line)) + 2);
    caret.DeleteText(1);
  }
  return secondsSince(start) * 1e6 / (2.0 * rounds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <text file> [edit-test lines] | --long-lines [MB] [shortest] [longest line]\n", argv[0]);
    return 2;
  }
  const bool longLines = std::string(argv[1]) == "--long-lines";
  const int32_t editLines = longLines ? 0 : argc > 2 ? std::atoi(argv[2]) : 1000000;
  const size_t before = residentBytes();
  auto numberArgument = [&](int i, size_t otherwise) {
    return argc > i ? static_cast<size_t>(std::atol(argv[i])) : otherwise;
  };
  const std::string text = longLines
                               ? makeLongLines(numberArgument(2, 200), numberArgument(3, 10000), numberArgument(4, 120000))
                               : readFile(argv[1]);
  const size_t withText = residentBytes();
  std::printf("text: %.1f MB\n", mb(text.size()));

  {
    TRefPtr<TEditBuffer> buffer(new TEditBuffer());
    auto start = Clock::now();
    double cpu = cpuSeconds();
    buffer->SetText(text);
    const double load = secondsSince(start);
    const double loadCpu = cpuSeconds() - cpu;
    const size_t loaded = residentBytes();
    const size_t loadPeak = peakResidentBytes();
    const size_t lines = static_cast<size_t>(buffer->LineCount());
    std::printf("SetText: %.3f s (processor %.3f s), %zu lines (%.1f bytes per line)\n", load, loadCpu, lines,
                static_cast<double>(text.size()) / static_cast<double>(lines));

    std::string out;
    start = Clock::now();
    cpu = cpuSeconds();
    buffer->GetAllText(out);
    const double save = secondsSince(start);
    std::printf("GetAllText: %.3f s (processor %.3f s), %s\n", save, cpuSeconds() - cpu,
                out == text ? "same bytes" : "DIFFERENT BYTES");
    out = std::string();

    const size_t held = buffer->MemoryUsed();
    std::printf("buffer memory reserved (pages mapped, touched or not, and the index): %.1f MB = %.2f x text (%.1f bytes per line besides the characters)\n", mb(held),
                static_cast<double>(held) / static_cast<double>(text.size()),
                static_cast<double>(held - text.size()) / static_cast<double>(lines));
    std::printf("resident: before %.1f MB, with the text read %.1f MB, loaded %.1f MB; loaded buffer %.2f x text\n",
                mb(before), mb(withText), mb(loaded),
                static_cast<double>(loaded - withText) / static_cast<double>(text.size()));
    std::printf("peak resident after SetText: %.1f MB = %.2f x text with the read text, %.2f x without it\n",
                mb(loadPeak), static_cast<double>(loadPeak) / static_cast<double>(text.size()),
                static_cast<double>(loadPeak - (withText - before)) / static_cast<double>(text.size()));

    start = Clock::now();
    cpu = cpuSeconds();
    buffer->SetText(text);
    std::printf("SetText again (replacing the loaded text): %.3f s (processor %.3f s)\n", secondsSince(start),
                cpuSeconds() - cpu);
  }
  std::printf("peak resident of the process: %.1f MB = %.2f x text (the read text itself included)\n",
              mb(peakResidentBytes()), static_cast<double>(peakResidentBytes()) / static_cast<double>(text.size()));

  if (editLines <= 0) return 0;
  // A buffer of the first editLines lines.
  size_t cut = 0;
  for (int32_t n = 0; n < editLines && cut < text.size(); ++n) {
    size_t eol = text.find('\n', cut);
    cut = eol == std::string::npos ? text.size() : eol + 1;
  }
  TRefPtr<TEditBuffer> buffer(new TEditBuffer());
  buffer->SetText(std::string_view(text).substr(0, cut));
  const int32_t lines = buffer->LineCount();
  TEditPos caret(buffer.get());
  caret.AttachUndo(buffer->UndoLog());
  std::printf("\nedit buffer: %d lines\n", lines);
  for (int32_t line : {0, lines / 2, lines - 2}) {
    typeAt(*buffer, caret, line, 100);  // warm up
    std::printf("typing at line %d: %.2f us per insertion or deletion\n", line, typeAt(*buffer, caret, line, 20000));
  }
  {
    std::mt19937 rng(3);
    const int rounds = 5000;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
      const int32_t line = static_cast<int32_t>(rng() % static_cast<uint32_t>(lines - 1));
      caret.SetPos(static_cast<int64_t>(buffer->LineStart(line)) + 2);
      caret.InsertText("\r\n");
      caret.SetPos(static_cast<int64_t>(buffer->LineStart(line)) + 2);
      caret.DeleteText(2);
    }
    std::printf("a line end typed and deleted at a random line each time: %.2f us per edit\n",
                secondsSince(start) * 1e6 / (2.0 * rounds));
  }
  {
    std::mt19937 rng(5);
    const int rounds = 20000;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
      const int32_t line = static_cast<int32_t>(rng() % static_cast<uint32_t>(lines - 1));
      caret.SetPos(static_cast<int64_t>(buffer->LineStart(line)) + 2);
      caret.InsertText("x");
      caret.SetPos(static_cast<int64_t>(buffer->LineStart(line)) + 2);
      caret.DeleteText(1);
    }
    std::printf("a character inserted and deleted at a random line each time: %.2f us per edit\n",
                secondsSince(start) * 1e6 / (2.0 * rounds));
  }

  // 100,000 single-character edits at random places, then each undone.
  buffer->ClearUndo();
  const std::string original = buffer->GetAllText();
  std::mt19937 rng(9);
  const int edits = 100000;
  auto start = Clock::now();
  for (int i = 0; i < edits; ++i) {
    const int64_t at = rng() % static_cast<uint32_t>(buffer->TotalLength());
    buffer->UndoLog()->BreakMerge();
    caret.SetPos(at);
    if (rng() % 2)
      caret.InsertText(std::string(1, static_cast<char>('a' + rng() % 26)));
    else if (!caret.DeleteText(1))
      caret.InsertText("y");
  }
  const double editTime = secondsSince(start);
  start = Clock::now();
  int32_t from, length;
  int undone = 0;
  while (buffer->Undo(nullptr, from, length)) ++undone;
  const double undoTime = secondsSince(start);
  std::printf("%d random single-character edits: %.3f s (%.2f us each); %d undone: %.3f s (%.2f us each); "
              "undo log %.1f MB%s; text %s\n",
              edits, editTime, editTime * 1e6 / edits, undone, undoTime, undoTime * 1e6 / std::max(undone, 1),
              mb(static_cast<size_t>(buffer->UndoLog()->StreamSize())),
              buffer->UndoLog()->Spilled() ? " in its temporary file" : "",
              buffer->GetAllText() == original ? "restored" : "NOT RESTORED");
  return 0;
}
