#pragma once
// The header, import and export listings of the image tool, in plain and INI form.
#include <cstdint>
#include <string>
#include <string_view>

#include "imagetool/CommandLine.h"
#include "imagetool/ConsoleOutput.h"
#include "imagetool/UPeFile.h"

struct TFlagName {
  const char* name;
  uint32_t mask;
};

// The names of every entry whose mask bits are all set in value, in table
// order; a comma goes before every name longer than one character except the first.
std::string FlagNames(uint32_t value, const TFlagName* table, size_t count);
std::string FileFlagNames(uint32_t characteristics);
std::string SectionFlagNames(uint32_t characteristics);
std::string SubsystemName(uint32_t subsystem);
const char* DirectoryName(uint32_t index);

class TImageLister {
public:
  TImageLister(const ExeImage& image, const TImagorOptions& options, TConsole& console)
      : image_(image), options_(options), console_(console) {}

  void ListHeader();
  void ListImports();
  void ListExports();

  // A name/value line: "%-20s = %s" in INI style, else the name, a colon and
  // blanks up to column 21, then the value.
  void WriteItem(std::string_view name, std::string_view value);
  // "(RVA: $%.8x, Offset: $%.8x)", or "(0)" for address 0.
  std::string FormatRva(uint32_t rva) const;

private:
  void line(std::string_view text) { console_.Line(text); }
  void listDataDirectories();
  void listSections();

  const ExeImage& image_;
  const TImagorOptions& options_;
  TConsole& console_;
};
