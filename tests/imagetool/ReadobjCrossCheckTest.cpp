// Compares the tool's listings of the linked fixtures with what llvm-readobj
// reads from the same files; skipped where llvm-readobj is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "TestSupport.h"
#include "imagetool/Listings.h"
#include "platform/Format.h"

namespace {

struct TReadobjEntry {
  std::string block;  // "Section", "Import", "Export" or "" for the headers
  std::string key;
  std::string value;
};

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool readobj(const std::string& file, std::vector<TReadobjEntry>& entries) {
  if (std::system("command -v llvm-readobj >/dev/null 2>&1") != 0) return false;
  std::string command = "llvm-readobj --file-headers --sections --coff-imports --coff-exports '" + file + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ::pclose(pipe);
  std::string block;
  for (const std::string& raw : Lines(text)) {
    std::string line = trim(raw);
    if (line == "Section {" || line == "Import {" || line == "Export {") {
      block = line.substr(0, line.size() - 2);
      entries.push_back({block, "", ""});
      continue;
    }
    if (line.rfind("Characteristics [", 0) == 0) {
      entries.push_back({block, "Characteristics [", line.substr(17)});
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    entries.push_back({block, line.substr(0, colon), trim(line.substr(colon + 1))});
  }
  return true;
}

uint32_t number(const std::string& value) { return uint32_t(std::strtoul(value.c_str(), nullptr, 0)); }

// The number in the last parentheses of a value such as "IMAGE_SUBSYSTEM_WINDOWS_GUI (0x2)".
uint32_t numberInParentheses(const std::string& value) {
  size_t open = value.rfind('(');
  return open == std::string::npos ? 0 : number(value.substr(open + 1));
}

std::set<std::string> lineSet(const std::string& text) {
  std::vector<std::string> lines = Lines(text);
  return std::set<std::string>(lines.begin(), lines.end());
}

class ReadobjCrossCheck : public testing::TestWithParam<const char*> {};

TEST_P(ReadobjCrossCheck, HeaderSectionsImportsAndExportsAgree) {
  std::string file = FixturePath(GetParam());
  std::vector<TReadobjEntry> entries;
  if (!readobj(file, entries)) GTEST_SKIP() << "llvm-readobj is not installed";
  std::map<std::string, std::string> header;
  for (const auto& e : entries)
    if (e.block.empty() && !header.count(e.key)) header[e.key] = e.value;
  std::set<std::string> headerLines = lineSet(RunTool({file, "-lh"}).out);
  auto expectLine = [&](const std::set<std::string>& lines, const std::string& line) {
    EXPECT_TRUE(lines.count(line)) << "missing: " << line;
  };
  auto item = [](const std::string& name, const std::string& value) {
    return Format("%s:%*s%s", name, int(20 - name.size()), "", value);
  };
  uint32_t base = number(header["ImageBase"]);
  expectLine(headerLines, item("ImageBase", Format("%.8x", base)));
  uint32_t entry = number(header["AddressOfEntryPoint"]);
  expectLine(headerLines, item("EntryPoint", Format("RVA=$%.8x (Ptr=%.8x)", entry, base + entry)));
  expectLine(headerLines, item("SizeOfImage", Format("%d ($%0:.8x)", number(header["SizeOfImage"]))));
  expectLine(headerLines, item("SizeOfHeaders", header["SizeOfHeaders"]));
  expectLine(headerLines, item("SizeOfCode", header["SizeOfCode"]));
  expectLine(headerLines, item("SizeOfInitData", header["SizeOfInitializedData"]));
  expectLine(headerLines, item("SectionAlign", Format("%.8x", number(header["SectionAlignment"]))));
  expectLine(headerLines, item("FileAlign", Format("%.8x", number(header["FileAlignment"]))));
  uint32_t characteristics = numberInParentheses(header["Characteristics ["]);
  expectLine(headerLines, item("Characteristics", Format("%.4x (%s)", characteristics, FileFlagNames(characteristics))));
  uint32_t subsystem = numberInParentheses(header["Subsystem"]);
  expectLine(headerLines, item("SubSystem", Format("%d (%s)", subsystem, SubsystemName(subsystem))));
  // The data directories come as RVA/size pairs in index order.
  std::vector<uint32_t> directoryValues;
  bool inDirectories = false;
  for (const auto& e : entries) {
    if (e.key == "ExportTableRVA") inDirectories = true;
    if (inDirectories && e.block.empty() && directoryValues.size() < 32) directoryValues.push_back(number(e.value));
  }
  ASSERT_EQ(directoryValues.size(), 32u);
  for (uint32_t i = 0; i < 16; ++i) {
    uint32_t rva = directoryValues[2 * i], size = directoryValues[2 * i + 1];
    if (rva || size) expectLine(headerLines, item(DirectoryName(i), Format("%.8x $%.8x (%1:d)", rva, size)));
  }
  // Sections.
  std::map<std::string, std::string> section;
  auto checkSection = [&] {
    if (section.empty()) return;
    std::string name = section["Name"].substr(0, section["Name"].find(' '));
    uint32_t flags = numberInParentheses(section["Characteristics ["]);
    expectLine(headerLines, Format("%-8s %.8x %.8x  %.8x %.8x  %.8x [%s]", name, number(section["VirtualAddress"]),
                                   number(section["VirtualSize"]), number(section["PointerToRawData"]),
                                   number(section["RawDataSize"]), flags, SectionFlagNames(flags)));
    section.clear();
  };
  int sections = 0;
  for (const auto& e : entries) {
    if (e.block != "Section") continue;
    if (e.key.empty()) {
      checkSection();
      ++sections;
    } else if (!section.count(e.key)) {
      section[e.key] = e.value;
    }
  }
  checkSection();
  EXPECT_GT(sections, 0);
  // Imports: "Symbol: name (hint)" for names, "Symbol:  (ordinal)" for ordinals.
  std::set<std::string> importLines = lineSet(RunTool({file, "-li"}).out);
  size_t symbols = 0;
  for (const auto& e : entries) {
    if (e.block != "Import") continue;
    if (e.key == "Name") expectLine(importLines, "Imports from " + e.value);
    if (e.key != "Symbol") continue;
    ++symbols;
    size_t open = e.value.rfind('(');
    std::string name = trim(e.value.substr(0, open));
    uint32_t n = number(e.value.substr(open + 1));
    expectLine(importLines, name.empty() ? Format("  #%d", n) : n ? Format("  %s (hint=%d)", name, n) : "  " + name);
  }
  importLines.erase("");
  EXPECT_EQ(importLines.size(), symbols + std::count_if(entries.begin(), entries.end(), [](const auto& e) {
                                      return e.block == "Import" && e.key == "Name";
                                    }));
  // Exports: every slot with a name or an address.
  std::set<std::string> exportLines = lineSet(RunTool({file, "-le"}).out);
  std::set<std::string> expected;
  std::map<std::string, std::string> exported;
  auto addExport = [&] {
    if (exported.empty()) return;
    uint32_t rva = number(exported["RVA"]);
    if (!exported["Name"].empty() || rva)
      expected.insert(Format("%s=$%.8x (%d)", exported["Name"], base + rva, number(exported["Ordinal"])));
    exported.clear();
  };
  for (const auto& e : entries) {
    if (e.block != "Export") continue;
    if (e.key.empty()) addExport();
    else exported[e.key] = e.value;
  }
  addExport();
  std::set<std::string> listed;
  for (const std::string& line : exportLines)
    if (line.find("=$") != std::string::npos) listed.insert(line);
  EXPECT_EQ(listed, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReadobjCrossCheck,
                         testing::Values("imagor_lib.dll", "imagor_dep.dll", "imagor_app.exe", "imagor_lib_at20.dll"));

}  // namespace
