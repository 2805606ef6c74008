#pragma once
// The image tool's options and the parsing of its command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imagetool/ConsoleOutput.h"

enum class TExportSort { byName, byOrdinal, byAddress };

struct TImagorOptions {
  // listings
  bool listHeader = false;
  bool listExports = false;
  bool listImports = false;
  bool listResources = false;
  bool resourcesBySize = false;
  bool strings = false;
  bool version = false;
  bool exportLocalization = false;
  bool ini = false;
  bool dump = false;
  bool raw = false;
  TExportSort sort = TExportSort::byName;
  // rewriting
  std::optional<uint32_t> rebase;
  bool dumpRelocs = false;
  bool stripRelocations = false;
  bool stripResources = false;
  bool loseWeight = false;

  std::string imageName;
  std::vector<std::string> unknownParams;

  bool Rewriting() const { return rebase || stripRelocations || stripResources || loseWeight; }
  bool AnyListing() const {
    return listHeader || listExports || listImports || listResources || resourcesBySize || strings || version ||
           exportLocalization;
  }
};

// Exit codes of the tool.
enum : int {
  kExitOk = 0,
  kExitUnknownParam = 1,
  kExitCannotOpen = 2,
  kExitRewriteFailed = 3,
  kExitListingFailed = 4,
  kExitOutputFailed = 5,
  kExitBadCommandLine = 99,
  kExitUsage = 100,
};

struct TParseResult {
  // Set when the run ends after parsing (usage, version or a fatal error).
  std::optional<int> exitCode;
};

// Parses the parameters after the program name. Messages go to the console;
// a fatal error writes the usage too.
TParseResult ParseCommandLine(const std::vector<std::string>& params, const std::string& programName,
                              TImagorOptions& options, TConsole& console);

// "Usage: <program> File.exe -flags..." and the option list.
void WriteUsage(TConsole& console, const std::string& programName);

// True when a parameter starting with "-" (lower case) names a known option.
bool IsKnownOption(const std::string& option);
