// INI text: any bytes parse, read back to the same bytes and answer lookups;
// after edits the sections' lines are those a fresh parse of the written
// text finds. Input: the text, a 0xFF byte, then edit commands.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/IniMem.h"
#include "platform/StringList.h"

namespace {

// Reads small texts and numbers from the command bytes.
class Commands {
public:
  explicit Commands(std::string_view bytes) : bytes_(bytes) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  unsigned Byte() { return AtEnd() ? 0 : static_cast<unsigned char>(bytes_[pos_++]); }
  std::string Text() {
    size_t n = Byte() % 8;
    std::string out(bytes_.substr(pos_, n));
    pos_ += out.size();
    return out;
  }

private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

void checkLinesMatchAFreshParse(TMemoryIniFile& ini) {
  TMemoryIniFile fresh;
  fresh.SetText(ini.GetText());
  if (fresh.GetText() != ini.GetText() || fresh.SectionCount() != ini.SectionCount()) std::abort();
  for (int s = 0; s < ini.SectionCount(); ++s) {
    TMemIniSection& a = ini.Section(s);
    TMemIniSection& b = fresh.Section(s);
    if (a.SectionName() != b.SectionName() || a.GetBody() != b.GetBody()) std::abort();
    if (a.LineCount() != b.LineCount()) std::abort();
    for (int i = 0; i < a.LineCount(); ++i)
      if (a.Line(i) != b.Line(i)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\xFF');
  std::string text(input.substr(0, split));
  Commands commands(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));

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

  for (int step = 0; step < 32 && !commands.AtEnd(); ++step) {
    unsigned op = commands.Byte();
    if (ini.SectionCount() == 0 || op % 6 == 5) {
      std::string section = commands.Text(), key = commands.Text(), value = commands.Text();
      try {
        ini.WriteString(section, key, value);
        if (ini.ReadString(section, key, "\x01") != TMemIniSection::ValueOfLine(key + "=" + value)) std::abort();
      } catch (const EIniFileException&) {
      }
      continue;
    }
    TMemIniSection& sec = ini.Section(static_cast<int>(commands.Byte() % ini.SectionCount()));
    int line = sec.LineCount() ? static_cast<int>(commands.Byte() % sec.LineCount()) : 0;
    try {
      switch (op % 6) {
        case 0: sec.AddLine(commands.Text()); break;
        case 1: sec.SetLine(line, commands.Text()); break;
        case 2: sec.DeleteLine(line); break;
        case 3: ini.DeleteKey(sec.SectionName(), commands.Text()); break;
        case 4: ini.EraseSection(sec.SectionName()); break;
      }
    } catch (const EIniFileException&) {
      // A line break or a header line is refused.
    }
  }
  checkLinesMatchAFreshParse(ini);
  return 0;
}
