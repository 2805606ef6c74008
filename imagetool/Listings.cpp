#include "imagetool/Listings.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Format.h"

namespace {

const TFlagName kFileFlags[] = {
    {"Strip", 0x1},        {"DLL", 0x2000},       {"Image", 0x2},        {"NoLines", 0x4},
    {"NoSyms", 0x8},       {"WsTrim", 0x10},      {"32bit", 0x100},      {"NoDebug", 0x200},
    {"RemRunSwap", 0x400}, {"NetRunSwap", 0x800}, {"SysFile", 0x1000},   {"UpSystem", 0x4000},
};

const TFlagName kSectionFlags[] = {
    {"C", 0x20},            {"E", 0x20000000},      {"I", 0x40},           {"S", 0x10000000},
    {"R", 0x40000000},      {"W", 0x80000000},      {"Inf", 0x200},        {"ComDat", 0x1000},
    {"Far", 0x8000},        {"Purge", 0x20000},     {"16bit", 0x20000},    {"Locked", 0x40000},
    {"Preload", 0x80000},   {"Align1", 0x100000},   {"Align2", 0x200000},  {"Align4", 0x300000},
    {"Align8", 0x400000},   {"Align16", 0x500000},  {"Align32", 0x600000}, {"Align64", 0x700000},
    {"ExtReloc", 0x1000000}, {"Discard", 0x2000000}, {"Nocache", 0x4000000}, {"NotPaged", 0x8000000},
};

const char* const kDirectoryNames[kMaxDirectories] = {
    "Exports", "Imports",     "Resources",     "Exceptions", "Security",   "Relocations", "Debug",      "Description",
    "MIPS GP", "TLS",         "Load Config",   "Bound Imports", "IAT",     "Reserved13",  "Reserved14", "Reserved15",
};

constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kOrdinalFlag = 0x80000000;
constexpr size_t kMaxImportName = 4096;


}  // namespace

std::string FlagNames(uint32_t value, const TFlagName* table, size_t count) {
  std::string result;
  for (size_t i = 0; i < count; ++i) {
    if ((value & table[i].mask) != table[i].mask) continue;
    std::string_view name = table[i].name;
    if (!result.empty() && name.size() > 1) result += ',';
    result += name;
  }
  return result;
}

std::string FileFlagNames(uint32_t characteristics) {
  return FlagNames(characteristics, kFileFlags, std::size(kFileFlags));
}

std::string SectionFlagNames(uint32_t characteristics) {
  return FlagNames(characteristics, kSectionFlags, std::size(kSectionFlags));
}

std::string SubsystemName(uint32_t subsystem) {
  switch (subsystem) {
    case 0: return "Unknown";
    case 1: return "Native";
    case 2: return "Windows GUI";
    case 3: return "Windows Console";
    case 5: return "OS2";
    case 7: return "Posix";
  }
  return Format("Unknown%d", subsystem);
}

const char* DirectoryName(uint32_t index) { return index < kMaxDirectories ? kDirectoryNames[index] : ""; }

void TImageLister::WriteItem(std::string_view name, std::string_view value) {
  if (options_.ini) {
    line(Format("%-20s = %s", name, value));
  } else {
    int blanks = std::max<int>(1, 20 - int(name.size()));
    line(Format("%s:%*s%s", name, blanks, "", value));
  }
}

std::string TImageLister::FormatRva(uint32_t rva) const {
  if (rva == 0) return "(0)";
  return Format("(RVA: $%.8x, Offset: $%.8x)", rva, image_.RvaToOffset(rva).value_or(0));
}

// ---- header -----------------------------------------------------------------

void TImageLister::ListHeader() {
  const ExeImage& im = image_;
  if (options_.ini) line("[Header]");
  uint64_t fileSize = im.FileSize();
  uint64_t imageEnd = 0;
  for (const TSection& s : im.Sections()) imageEnd = std::max(imageEnd, uint64_t(s.rawOffset) + s.rawSize);
  WriteItem("FileSize", Format("%8d ($%0:.8x)", fileSize));
  WriteItem("PESize", Format("%8d ($%0:.8x)", imageEnd));
  if (imageEnd < fileSize + 4) {
    int64_t additional = int64_t(fileSize) - int64_t(imageEnd);
    // The hexadecimal form of a size a few bytes below zero is its 32-bit two's complement.
    WriteItem("AdditionalSize", Format("%8d ($%.8x)", additional, uint32_t(additional)));
    std::string signature;
    if (imageEnd < fileSize) {
      const uint8_t* behind = im.Bytes(imageEnd, fileSize - imageEnd);
      uint64_t count = fileSize - imageEnd, at = 0;
      while (at < count && behind[at] <= 32) ++at;
      for (int i = 0; i < 4 && at < count; ++i, ++at) {
        uint8_t b = behind[at];
        signature += b >= 0x21 && b <= 0x7F ? std::string(1, char(b)) : Format("#%.2x", b);
      }
    }
    if (!signature.empty()) WriteItem("AdditionalSignature", signature);
  }
  uint32_t characteristics = im.HeaderU16(PeField::Characteristics);
  WriteItem("Characteristics", Format("%.4x (%s)", characteristics, FileFlagNames(characteristics)));
  WriteItem("LinkerVersion", Format("%d.%d", im.U8(im.Headers() + PeField::LinkerMajor),
                                    im.U8(im.Headers() + PeField::LinkerMinor)));
  WriteItem("SizeOfCode", Format("%d", im.HeaderU32(PeField::SizeOfCode)));
  WriteItem("SizeOfInitData", Format("%d", im.HeaderU32(PeField::SizeOfInitData)));
  WriteItem("SizeOfUninitData", Format("%d", im.HeaderU32(PeField::SizeOfUninitData)));
  uint32_t entry = im.HeaderU32(PeField::EntryPoint);
  WriteItem("EntryPoint", Format("RVA=$%.8x (Ptr=%.8x)", entry, uint32_t(entry + im.HeaderU32(PeField::ImageBase))));
  WriteItem("BaseOfCode", Format("%.8x", im.HeaderU32(PeField::BaseOfCode)));
  WriteItem("BaseOfData", Format("%.8x", im.HeaderU32(PeField::BaseOfData)));
  WriteItem("ImageBase", Format("%.8x", im.HeaderU32(PeField::ImageBase)));
  WriteItem("SizeOfImage", Format("%d ($%0:.8x)", im.HeaderU32(PeField::SizeOfImage)));
  WriteItem("SizeOfHeaders", Format("%d", im.HeaderU32(PeField::SizeOfHeaders)));
  WriteItem("SectionAlign", Format("%.8x", im.HeaderU32(PeField::SectionAlign)));
  WriteItem("FileAlign", Format("%.8x", im.HeaderU32(PeField::FileAlign)));
  WriteItem("Operating system",
            Format("%d.%d, sub=%d.%d, win32=%d", im.HeaderU16(PeField::OsMajor), im.HeaderU16(PeField::OsMinor),
                   im.HeaderU16(PeField::SubsysMajor), im.HeaderU16(PeField::SubsysMinor),
                   im.HeaderU32(PeField::Win32Version)));
  uint32_t subsystem = im.HeaderU16(PeField::Subsystem);
  WriteItem("SubSystem", Format("%d (%s)", subsystem, SubsystemName(subsystem)));
  WriteItem("Image version", Format("%d.%d", im.HeaderU16(PeField::ImageMajor), im.HeaderU16(PeField::ImageMinor)));
  WriteItem("CheckSum", Format("%.8x", im.HeaderU32(PeField::CheckSum)));
  WriteItem("Stack Com/Res", Format("%x/%x", im.HeaderU32(PeField::StackCommit), im.HeaderU32(PeField::StackReserve)));
  WriteItem("Heap Com/Res", Format("%x/%x", im.HeaderU32(PeField::HeapCommit), im.HeaderU32(PeField::HeapReserve)));
  line("");
  listDataDirectories();
  line("");
  listSections();
}

void TImageLister::listDataDirectories() {
  if (options_.ini) line("[DataDirectory]");
  WriteItem(options_.ini ? ";Object" : "Object", "Rva      Size");
  WriteItem(options_.ini ? ";------" : "------", "---      ----");
  for (uint32_t i = 0; i < image_.DirectoryCount(); ++i) {
    uint32_t rva = image_.DirectoryRva(i), size = image_.DirectorySize(i);
    if (rva || size) WriteItem(DirectoryName(i), Format("%.8x $%.8x (%1:d)", rva, size));
  }
}

void TImageLister::listSections() {
  line(options_.ini ? "[Sections]" : "Sections:");
  line(Format("%-8s RVA      Size      Phys Off PhysSize  Flags", options_.ini ? ";" : ""));
  const char* separator = options_.ini ? "=" : " ";
  for (const TSection& s : image_.Sections())
    line(Format("%-8s%s%.8x %.8x  %.8x %.8x  %.8x [%s]", s.name, separator, s.virtualAddress, s.virtualSize,
                s.rawOffset, s.rawSize, s.characteristics, SectionFlagNames(s.characteristics)));
  line("");
}

// ---- imports ----------------------------------------------------------------

void TImageLister::ListImports() {
  auto directory = image_.ImportDirectory();
  if (!directory) return;
  uint32_t dirRva = image_.DirectoryRva(diImports), dirSize = image_.DirectorySize(diImports);
  // Tables and names of distinct libraries do not overlap, so together they fit
  // in the file; more means they share bytes, and listing them could not end.
  uint64_t budget = 2ull * image_.FileSize();
  auto spend = [&](uint64_t bytes) {
    if (bytes > budget) throw EImageFormat("The import tables overlap each other");
    budget -= bytes;
  };
  uint64_t count = image_.RvaSpan(dirRva) / kImportDescriptorSize;
  if (dirSize) count = std::min<uint64_t>(count, (uint64_t(dirSize) + kImportDescriptorSize - 1) / kImportDescriptorSize);
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t d = *directory + i * kImportDescriptorSize;
    uint32_t lookup = image_.U32(d), forwarder = image_.U32(d + 8), name = image_.U32(d + 12),
             addresses = image_.U32(d + 16);
    if (lookup == 0 && name == 0) break;
    auto nameAt = image_.RvaToPointer(name);
    std::string library = nameAt ? image_.CString(*nameAt, std::min<size_t>(image_.RvaSpan(name), kMaxImportName))
                                 : Format("#$%.8x", name);
    line(Format(options_.ini ? "[Imports from %s]" : "Imports from %s", library));
    if (options_.dump) {
      line(Format(";ImportDir=%s", FormatRva(uint32_t(dirRva + i * kImportDescriptorSize))));
      if (lookup) line(Format(";ImportLookup=%s", FormatRva(lookup)));
      if (forwarder) line(Format(";Forwarder=%s", FormatRva(forwarder)));
      if (name) line(Format(";DllName=%s", FormatRva(name)));
      if (addresses) line(Format(";ImportAddress=%s", FormatRva(addresses)));
    }
    uint32_t thunks = lookup ? lookup : addresses;
    if (thunks) {
      auto table = image_.RvaToPointer(thunks);
      if (!table) throw EImageFormat(Format("Import table of %s at RVA $%.8x lies outside the file", library, thunks));
      uint32_t slots = image_.RvaSpan(thunks) / 4;
      bool ended = false;
      for (uint32_t j = 0; j < slots; ++j) {
        spend(4);
        uint32_t slot = image_.U32(uint64_t(*table) + 4ull * j);
        if (slot == 0) {
          ended = true;
          break;
        }
        if (slot & kOrdinalFlag) {
          line(Format("  #%d", slot & ~kOrdinalFlag));
          continue;
        }
        if (options_.dump) line(Format(";%s", FormatRva(slot)));
        auto hintAt = image_.RvaToPointer(slot);
        uint32_t span = image_.RvaSpan(slot);
        if (!hintAt || span < 2) {
          line(Format("  ? unknown import-slot $%.8x", slot));
          continue;
        }
        uint16_t hint = image_.U16(*hintAt);
        std::string symbol = image_.CString(*hintAt + 2ull, std::min<size_t>(span - 2, kMaxImportName));
        spend(symbol.size());
        line(hint ? Format("  %s (hint=%d)", symbol, hint) : Format("  %s", symbol));
      }
      if (!ended)
        throw EImageFormat(Format("Import table of %s at RVA $%.8x runs past its section", library, thunks));
    }
    line("");
  }
}

// ---- exports ----------------------------------------------------------------

void TImageLister::ListExports() {
  auto directory = image_.ExportDirectory();
  if (!directory) return;
  std::vector<uint32_t> addresses;
  std::vector<TExportName> names;
  if (!image_.GetExportAddresses(addresses) || !image_.GetExportNames(names))
    throw EImageFormat(Format("The export tables at RVA $%.8x lie outside the file", image_.DirectoryRva(diExports)));
  uint64_t d = *directory;
  uint32_t ordinalBase = image_.U32(d + 16);
  uint32_t imageBase = image_.HeaderU32(PeField::ImageBase);
  if (options_.ini) line("[Exports]");
  if (options_.dump) {
    uint32_t dirRva = image_.DirectoryRva(diExports), dirSize = image_.DirectorySize(diExports);
    uint32_t functions = image_.U32(d + 28), nameTable = image_.U32(d + 32), ordinalTable = image_.U32(d + 36);
    uint32_t functionBytes = uint32_t(4 * addresses.size()), nameBytes = uint32_t(4 * names.size()),
             ordinalBytes = uint32_t(2 * names.size());
    line(Format(";ExportDir=%s", FormatRva(dirRva)));
    line(Format(";ExportDir.Name=%s", FormatRva(image_.U32(d + 12))));
    line(Format(";ExportDir.FunctionTable=%s,   Size=%1:d ($%1:x), End=%2:s", FormatRva(functions), functionBytes,
                FormatRva(functions + functionBytes)));
    line(Format(";ExportDir.NameTable=%s,       Size=%1:d ($%1:x), End=%2:s", FormatRva(nameTable), nameBytes,
                FormatRva(nameTable + nameBytes)));
    line(Format(";ExportDir.NameOrdinalTable=%s Size=%1:d ($%1:x), End=%2:s", FormatRva(ordinalTable),
                ordinalBytes, FormatRva(ordinalTable + ordinalBytes)));
    uint64_t namesSize = 0;
    for (const auto& n : names) namesSize += n.name.size() + 1;
    uint64_t endRva = uint64_t(dirRva) + dirSize, endOffset = d + dirSize;
    uint64_t gapSection = AlignUp(endRva, image_.HeaderU32(PeField::SectionAlign)) - endRva;
    uint64_t gapFile = AlignUp(endOffset, image_.HeaderU32(PeField::FileAlign)) - endOffset;
    line(Format(";Names Size=%0:d ($%0:x), ZeroGap@Sec=%1:d ($%1:x), ZeroGap@File=%2:d ($%2:x)", namesSize,
                gapSection, gapFile));
  }
  if (!options_.raw)
    line(Format("%s %d exported names, %d exported functions", options_.ini ? ";" : "", names.size(),
                addresses.size()));
  switch (options_.sort) {
    case TExportSort::byName: {
      // The order of a string list: without regard to case, in the ANSI code page.
      const TCodePage& codePage = AnsiCodePage();
      std::stable_sort(names.begin(), names.end(), [&](const TExportName& a, const TExportName& b) {
        return codePage.CompareText(a.name, b.name) < 0;
      });
      break;
    }
    case TExportSort::byOrdinal:
      std::stable_sort(names.begin(), names.end(),
                       [](const TExportName& a, const TExportName& b) { return a.ordinalIndex < b.ordinalIndex; });
      break;
    case TExportSort::byAddress: {
      auto address = [&](const TExportName& n) -> uint64_t {
        return n.ordinalIndex < addresses.size() ? addresses[n.ordinalIndex] : UINT64_MAX;
      };
      std::stable_sort(names.begin(), names.end(),
                       [&](const TExportName& a, const TExportName& b) { return address(a) < address(b); });
      break;
    }
  }
  std::vector<bool> named(addresses.size(), false);
  for (const TExportName& n : names) {
    if (n.ordinalIndex >= addresses.size()) continue;
    named[n.ordinalIndex] = true;
    if (options_.raw)
      line(n.name);
    else
      line(Format("%s=$%.8x (%d)", n.name, uint32_t(imageBase + addresses[n.ordinalIndex]),
                  uint32_t(ordinalBase + n.ordinalIndex)));
  }
  if (options_.raw) return;
  if (names.size() < addresses.size()) {
    // Slots with address 0 are unused gaps of the ordinal range, not exports.
    for (size_t i = 0; i < addresses.size(); ++i)
      if (!named[i] && addresses[i] != 0)
        line(Format("=$%.8x (%d)", uint32_t(imageBase + addresses[i]), uint32_t(ordinalBase + i)));
  }
  line("");
}
