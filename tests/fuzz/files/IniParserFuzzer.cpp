// INI text: any bytes parse, read back to the same bytes, answer lookups,
// and stay stable through a write and a second parse.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "files/IniMem.h"
#include "platform/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  TMemoryIniFile ini;
  ini.SetText(text);
  if (ini.GetText() != text) std::abort();

  TStringList sections;
  ini.ReadSections(sections);
  for (int s = 0; s < sections.Count() && s < 64; ++s) {
    TStringList names, values;
    ini.ReadSection(sections.Get(s), names);
    ini.ReadSectionValues(sections.Get(s), values);
    for (int k = 0; k < names.Count() && k < 64; ++k) {
      // A listed name is found again.
      if (!ini.ValueExists(sections.Get(s), names.Get(k))) std::abort();
      ini.ReadInteger(sections.Get(s), names.Get(k), 0);
      ini.ReadDateTime(sections.Get(s), names.Get(k), 0);
    }
  }

  try {
    std::string section = sections.Count() ? sections.Get(0) : "S";
    ini.WriteString(section, "FuzzKey", "value");
    ini.WriteString("FuzzSection", "k", "v");
    if (ini.ReadString("FuzzSection", "k", "") != "v") std::abort();
    if (ini.FindSection(section) && ini.ReadString(section, "FuzzKey", "") != "value") std::abort();
  } catch (const EIniFileException&) {
    // The first section's name may not be writable (it holds "]").
  }
  std::string written = ini.GetText();
  TMemoryIniFile again;
  again.SetText(written);
  if (again.GetText() != written) std::abort();
  if (again.ReadString("FuzzSection", "k", "") != "v") std::abort();
  return 0;
}
