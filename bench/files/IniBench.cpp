// Settings stores: reads from a 1 MB INI file held by TMemoryIniFile, and
// reads and writes through TSimpleRegIniFile over the registry file.
// Counters: "loads" is how often the store's file was read from disk during
// the measured loop (must be 0 for the read benchmarks).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "files/IniMem.h"
#include "files/SimpleRegIniFile.h"
#include "platform/Format.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSections = 2000;
constexpr int kKeysPerSection = 24;
constexpr int kReads = 10000;
constexpr int kWrites = 1000;

fs::path benchDir() {
  static fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "quill-inibench-XXXXXX").string();
    return fs::path(::mkdtemp(pattern.data()));
  }();
  return dir;
}

// About 1 MB: 2000 sections of 24 entries with comments and blank lines.
std::string makeIniText() {
  std::string text = "; generated settings\n\n";
  for (int s = 0; s < kSections; ++s) {
    text += Format("[Section%d]\n; comment of section %d\n", s, s);
    for (int k = 0; k < kKeysPerSection; ++k) text += Format("Key%d = value %d of %d\n", k, k * 7919 % 1000, s);
    text += "\n";
  }
  return text;
}

struct Lookup {
  std::string section, key;
};

std::vector<Lookup> randomLookups(int count, int sections, int keys) {
  std::mt19937 rng(42);
  std::vector<Lookup> out;
  for (int i = 0; i < count; ++i)
    out.push_back({Format("section%d", static_cast<int>(rng() % sections)), Format("key%d", static_cast<int>(rng() % keys))});
  return out;
}

void BM_MemoryIniLoad1MB(benchmark::State& state) {
  std::string file = (benchDir() / "big.ini").string();
  std::ofstream(file, std::ios::binary) << makeIniText();
  for (auto _ : state) {
    TMemoryIniFile ini(file);
    benchmark::DoNotOptimize(ini.SectionCount());
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_MemoryIniLoad1MB)->Unit(benchmark::kMillisecond);

void BM_MemoryIniRead10000(benchmark::State& state) {
  std::string file = (benchDir() / "big.ini").string();
  std::ofstream(file, std::ios::binary) << makeIniText();
  TMemoryIniFile ini(file);
  auto lookups = randomLookups(kReads, kSections, kKeysPerSection);
  size_t found = 0;
  for (auto _ : state) {
    for (const Lookup& l : lookups) found += !ini.ReadString(l.section, l.key, "").empty();
  }
  if (found != lookups.size() * state.iterations()) state.SkipWithError("a value was not found");
  state.counters["reads"] = kReads;
}
BENCHMARK(BM_MemoryIniRead10000)->Unit(benchmark::kMillisecond);

// A settings store of the size the editor keeps: 50 sections of 20 values.
void prepareRegistry() {
  SetRegistryRootFile(TRegRootKey::CurrentUser, (benchDir() / "user.reg").string(), false);
  TSimpleRegIniFile ini("Software\\Orvel\\Bench");
  ini.BeginUpdate();
  for (int s = 0; s < 50; ++s)
    for (int k = 0; k < 20; ++k) ini.WriteString(Format("Section%d", s), Format("Key%d", k), Format("value %d", k));
  ini.EndUpdate();
}

// Reads kReads random values through ini in every iteration; counts the
// reloads of the settings file, which must stay 0 while nothing changes.
void readRandomValues(benchmark::State& state, TSimpleRegIniFile& ini) {
  auto lookups = randomLookups(kReads, 50, 20);
  TRegistryRoot& root = RegistryRoot(TRegRootKey::CurrentUser);
  uint64_t generation = root.Generation();
  size_t found = 0;
  for (auto _ : state) {
    for (const Lookup& l : lookups) found += !ini.ReadString(l.section, l.key, "").empty();
  }
  if (found != lookups.size() * state.iterations()) state.SkipWithError("a value was not found");
  state.counters["loads"] = static_cast<double>(root.Generation() - generation);
}

void BM_RegIniRead10000(benchmark::State& state) {
  prepareRegistry();
  TSimpleRegIniFile ini("Software\\Orvel\\Bench");
  readRandomValues(state, ini);
}
BENCHMARK(BM_RegIniRead10000)->Unit(benchmark::kMillisecond);

// As in a program with an event loop: the section key stays open between
// reads (the closing timer is started but does not fire here).
void BM_RegIniRead10000KeyCached(benchmark::State& state) {
  prepareRegistry();
  TSimpleRegIniFile::SetKeyCloseTimerHook([](int, std::function<void()>) { return true; });
  TSimpleRegIniFile ini("Software\\Orvel\\Bench");
  readRandomValues(state, ini);
  state.counters["keyOpens"] = ini.SectionKeyOpenCount();
  TSimpleRegIniFile::SetKeyCloseTimerHook(nullptr);
  TSimpleRegIniFile::CloseSectionKeys();
}
BENCHMARK(BM_RegIniRead10000KeyCached)->Unit(benchmark::kMillisecond);

// Each write re-checks the file, writes it whole, fsyncs and renames it.
void BM_RegIniWrite1000(benchmark::State& state) {
  prepareRegistry();
  TSimpleRegIniFile ini("Software\\Orvel\\Bench");
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 0; i < kWrites; ++i) ini.WriteInteger(Format("Section%d", i % 50), "Counter", i + round * kWrites);
  }
  state.counters["writes"] = kWrites;
}
BENCHMARK(BM_RegIniWrite1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same writes inside one update bracket: one file write at the end.
void BM_RegIniWrite1000Bracketed(benchmark::State& state) {
  prepareRegistry();
  TSimpleRegIniFile ini("Software\\Orvel\\Bench");
  int round = 0;
  for (auto _ : state) {
    ++round;
    ini.BeginUpdate();
    for (int i = 0; i < kWrites; ++i) ini.WriteInteger(Format("Section%d", i % 50), "Counter", i + round * kWrites);
    ini.EndUpdate();
  }
  state.counters["writes"] = kWrites;
}
BENCHMARK(BM_RegIniWrite1000Bracketed)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(benchDir());
  return 0;
}
