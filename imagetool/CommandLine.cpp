#include "imagetool/CommandLine.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <system_error>

#include "platform/CodePage.h"
#include "platform/Format.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace {

enum class TOptionKind { flag, rebase, help, version };

struct TOptionEntry {
  const char* name;
  TOptionKind kind;
  std::function<void(TImagorOptions&)> set;
};

const std::vector<TOptionEntry>& optionTable() {
  static const std::vector<TOptionEntry> table = {
      {"-h", TOptionKind::help, {}},
      {"-?", TOptionKind::help, {}},
      {"--help", TOptionKind::help, {}},
      {"--version", TOptionKind::version, {}},
      {"-v", TOptionKind::flag, [](TImagorOptions&) {}},
      {"-a", TOptionKind::flag,
       [](TImagorOptions& o) {
         o.listImports = o.listExports = o.listResources = o.resourcesBySize = o.listHeader = o.strings =
             o.version = true;
       }},
      {"-e", TOptionKind::flag,
       [](TImagorOptions& o) { o.listHeader = o.listExports = o.listImports = o.listResources = true; }},
      {"-lh", TOptionKind::flag, [](TImagorOptions& o) { o.listHeader = true; }},
      {"-le", TOptionKind::flag, [](TImagorOptions& o) { o.listExports = true; }},
      {"-li", TOptionKind::flag, [](TImagorOptions& o) { o.listImports = true; }},
      {"-lr", TOptionKind::flag, [](TImagorOptions& o) { o.listResources = true; }},
      {"-ini", TOptionKind::flag, [](TImagorOptions& o) { o.ini = true; }},
      {"-dump", TOptionKind::flag, [](TImagorOptions& o) { o.dump = true; }},
      {"-sn", TOptionKind::flag, [](TImagorOptions& o) { o.sort = TExportSort::byName; }},
      {"-so", TOptionKind::flag, [](TImagorOptions& o) { o.sort = TExportSort::byOrdinal; }},
      {"-sa", TOptionKind::flag, [](TImagorOptions& o) { o.sort = TExportSort::byAddress; }},
      {"-rsz", TOptionKind::flag, [](TImagorOptions& o) { o.resourcesBySize = true; }},
      {"-raw", TOptionKind::flag, [](TImagorOptions& o) { o.raw = true; }},
      {"-str", TOptionKind::flag, [](TImagorOptions& o) { o.strings = true; }},
      {"-ver", TOptionKind::flag, [](TImagorOptions& o) { o.version = true; }},
      {"-exploc", TOptionKind::flag, [](TImagorOptions& o) { o.exportLocalization = true; }},
      {"-rebase", TOptionKind::rebase, {}},
      {"-dumprelocs", TOptionKind::flag, [](TImagorOptions& o) { o.dumpRelocs = true; }},
      {"-strip", TOptionKind::flag, [](TImagorOptions& o) { o.stripRelocations = true; }},
      {"-stripres", TOptionKind::flag, [](TImagorOptions& o) { o.stripResources = true; }},
      {"-w8loss", TOptionKind::flag, [](TImagorOptions& o) { o.loseWeight = true; }},
      {"-bplw8", TOptionKind::flag, [](TImagorOptions& o) { o.loseWeight = true; }},
  };
  return table;
}

const TOptionEntry* findOption(const std::string& lowered) {
  for (const auto& entry : optionTable())
    if (lowered == entry.name) return &entry;
  return nullptr;
}

std::string lowerCase(const std::string& text) { return AnsiLowerCase(text); }

bool isExistingFile(const std::string& name) {
  std::error_code ec;
  auto status = std::filesystem::status(name, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// The hexadecimal base after "-rebase"; "$" or "0x" may lead. None unless the
// whole text is a number of at most 32 bits.
std::optional<uint32_t> parseHexBase(std::string text) {
  if (!text.empty() && text[0] == '$') text.erase(0, 1);
  else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
  if (text.empty() || text.size() > 64) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + uint64_t(digit);
    if (value > UINT32_MAX) return std::nullopt;
  }
  return uint32_t(value);
}

const char* const kUsageLines[] = {
    " -e               \tStandard listing (-lh -le -li -lr)",
    " -lh              \tList header...",
    " -le              \tList exports...",
    " -li              \tList imports...",
    " -lr              \tList resources...",
    " -ini             \tUse ini format...",
    " -rsz             \tList resources by-size...",
    " -dump            \tDump RVA and offsets also...",
    " -sn              \tSort exports by name (default)",
    " -so              \tSort exports by ordinals",
    " -sa              \tSort exports by address",
    " -str             \tDump string-tables...",
    " -ver             \tDump version-info...",
    " -exploc          \tExport localization file...",
    " -raw             \tRaw list...",
    "",
    " -rebase xxxxxxxx \tRebase image",
    " -strip           \tStrip relocations",
    " -w8loss          \tPerform weight-loss",
};

}  // namespace

bool IsKnownOption(const std::string& option) { return findOption(lowerCase(option)) != nullptr; }

void WriteUsage(TConsole& console, const std::string& programName) {
  console.Line(Format("Usage: %s File.exe -flags...", programName));
  for (const char* line : kUsageLines) console.Line(line);
}

TParseResult ParseCommandLine(const std::vector<std::string>& params, const std::string& programName,
                              TImagorOptions& options, TConsole& console) {
  auto fatal = [&](const std::string& message, int code) {
    console.Error(message);
    WriteUsage(console, programName);
    return TParseResult{code};
  };
  for (size_t i = 0; i < params.size(); ++i) {
    const std::string& param = params[i];
    if (param.empty()) continue;
    std::string option;
    std::string dashed = param;
    dashed[0] = '-';
    if (param[0] == '-') {
      option = lowerCase(param);
    } else if (param[0] == '/' && IsKnownOption(dashed) && !isExistingFile(param)) {
      // A path such as /home/u/x.dll stays a file; only known options may use a slash.
      option = lowerCase(dashed);
    }
    if (!option.empty()) {
      const TOptionEntry* entry = findOption(option);
      if (!entry) continue;
      switch (entry->kind) {
        case TOptionKind::help:
          WriteUsage(console, programName);
          return {option == "--help" ? kExitOk : kExitUsage};
        case TOptionKind::version:
          console.Line(Format("%s %s", programName, QUILL_VERSION));
          return {kExitOk};
        case TOptionKind::rebase: {
          std::optional<uint32_t> base = i + 1 < params.size() ? parseHexBase(params[i + 1]) : std::nullopt;
          if (!base) return fatal(Format("Required parameter missing for \"%s\"!", param), kExitBadCommandLine);
          options.rebase = base;
          ++i;
          break;
        }
        case TOptionKind::flag:
          entry->set(options);
          break;
      }
      continue;
    }
    if (options.imageName.empty() && isExistingFile(param)) {
      std::error_code ec;
      auto full = std::filesystem::absolute(param, ec);
      options.imageName = ec ? param : full.lexically_normal().string();
      continue;
    }
    console.Error(Format("Unknown param \"%s\" !", param));
    options.unknownParams.push_back(param);
  }
  if (options.imageName.empty()) return fatal("Missing exe-file name!", kExitBadCommandLine);
  return {};
}
