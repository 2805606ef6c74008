#include "imagetool/ImageRewrite.h"

#include <algorithm>
#include <cstring>

#include "imagetool/ResourceTree.h"
#include "platform/CodePage.h"
#include "platform/Format.h"

namespace {

constexpr uint32_t kDebugEntrySize = 28;
constexpr uint32_t kGapCharacteristics = 0xC2000000;

bool fail(ExeImage& image, int error) {
  image.error = error;
  return false;
}

uint32_t fileEnd(const ExeImage& image) { return image.newFileSize ? image.newFileSize : image.FileSize(); }

// Calls visit with the file offset of every entry of the debug directory.
template <class Visit>
void forEachDebugEntry(const ExeImage& image, const Visit& visit) {
  uint32_t debugRva = image.DirectoryRva(diDebug);
  auto debug = debugRva ? image.RvaToPointer(debugRva) : std::nullopt;
  if (!debug) return;
  uint32_t count = std::min(image.DirectorySize(diDebug), image.RvaSpan(debugRva)) / kDebugEntrySize;
  for (uint32_t i = 0; i < count; ++i) visit(*debug + uint64_t(i) * kDebugEntrySize);
}

// Moves the file positions that lie at or behind `from` by `delta`: the
// certificate table (whose "address" is a file offset) and the raw data of the
// debug entries. rvaFrom/rvaEnd/rvaDelta move the debug entries' addresses too.
void moveFilePositions(ExeImage& image, uint32_t from, int64_t delta, uint64_t rvaFrom = 0, uint64_t rvaEnd = 0,
                       int64_t rvaDelta = 0) {
  uint32_t certificates = image.DirectoryRva(diSecurity);
  if (certificates && certificates >= from)
    image.SetU32(image.DirectoryEntryOffset(diSecurity), uint32_t(certificates + delta));
  forEachDebugEntry(image, [&](uint64_t entry) {
    uint32_t address = image.U32(entry + 20), position = image.U32(entry + 24);
    if (position && position >= from) image.SetU32(entry + 24, uint32_t(position + delta));
    if (address && address >= rvaFrom && address < rvaEnd) image.SetU32(entry + 20, uint32_t(address + rvaDelta));
  });
}

// True when a debug entry keeps its data at or behind the file position `from`.
bool debugDataFrom(const ExeImage& image, uint32_t from) {
  bool found = false;
  forEachDebugEntry(image, [&](uint64_t entry) {
    uint32_t position = image.U32(entry + 24);
    if (position && position >= from) found = true;
  });
  return found;
}

// The end of the headers' own room: no section's raw data starts before it.
uint64_t headerRoomEnd(const ExeImage& image) {
  uint64_t end = image.HeaderU32(PeField::SizeOfHeaders);
  for (const TSection& s : image.Sections())
    if (s.rawSize && s.rawOffset) end = std::min<uint64_t>(end, s.rawOffset);
  return end;
}

// True when no section but the excluded ones has raw data ending behind `limit`.
bool otherSectionsEndBefore(const ExeImage& image, uint64_t limit, uint32_t excluded1, uint32_t excluded2) {
  for (const TSection& s : image.Sections()) {
    if (s.headerOffset == excluded1 || s.headerOffset == excluded2 || s.rawSize == 0 || s.rawOffset == 0) continue;
    if (uint64_t(s.rawOffset) + s.rawSize > limit) return false;
  }
  return true;
}

}  // namespace

bool Rebase(ExeImage& image, uint32_t newBase, TRewriteOutput& out) {
  if (out.ini && out.dumpRelocs) out.console.Line("[Relocs]");
  int32_t delta = int32_t(newBase - image.ImageBase());
  TRelocationReport report;
  if (out.dumpRelocs)
    report = [&](uint32_t place, uint32_t value) { out.console.Line(Format("%p=%p", uint32_t(place + newBase), value)); };
  return image.ApplyRelocations(delta, std::nullopt, report);
}

bool StripRelocations(ExeImage& image, TRewriteOutput& out) {
  if (!image.HasRelocations()) return false;
  int relocIndex = image.FindSection(".reloc");
  if (relocIndex < 0) return fail(image, kImageErrNoRelocations);
  if (uint32_t(relocIndex) + 2 != image.SectionCount()) return fail(image, kImageErrSectionOrder);
  TSection reloc = image.Section(uint32_t(relocIndex));
  TSection rsrc = image.Section(uint32_t(relocIndex) + 1);
  uint32_t end = fileEnd(image);
  if (!AnsiSameText(rsrc.name, ".rsrc") || reloc.rawSize == 0 || rsrc.rawSize == 0 ||
      reloc.rawOffset < image.HeaderU32(PeField::SizeOfHeaders) || rsrc.rawOffset <= reloc.rawOffset ||
      rsrc.virtualAddress <= reloc.virtualAddress || uint64_t(rsrc.rawOffset) + rsrc.rawSize > end)
    return fail(image, kImageErrSectionOrder);

  int64_t fileSkew = int64_t(reloc.rawOffset) - rsrc.rawOffset;
  int64_t rvaSkew = int64_t(reloc.virtualAddress) - rsrc.virtualAddress;
  uint32_t newRsrcRva = reloc.virtualAddress;
  uint64_t oldRsrcEnd = uint64_t(rsrc.virtualAddress) + rsrc.Extent();

  // Only the resources and what follows them in the file may move.
  if (!otherSectionsEndBefore(image, reloc.rawOffset, reloc.headerOffset, rsrc.headerOffset))
    return fail(image, kImageErrSectionOrder);
  auto inMovedData = [&](uint64_t offset, uint64_t length) {
    return offset >= rsrc.rawOffset && offset + length <= end;
  };
  auto inOldResources = [&](uint32_t rva) { return rva >= rsrc.virtualAddress && rva < oldRsrcEnd; };

  // Everything that can fail is checked before the image changes.
  image.DetachRelocations();
  // Places inside the moving or vanishing sections would be found at the wrong addresses.
  auto placeStays = [&](uint32_t rva) {
    return rva < reloc.virtualAddress || rva >= oldRsrcEnd;
  };
  if (!image.CheckRelocations(int32_t(rvaSkew), newRsrcRva, placeStays)) return false;
  std::vector<uint32_t> dataEntries;
  if (auto root = image.ResourceDirectory()) {
    // The tree moves with the section, so all of it must lie in the moved data.
    if (!inMovedData(*root, 16)) return fail(image, kImageErrMoveSection);
    dataEntries = CollectResourceDataEntries(image, *root);
    for (uint32_t entry : dataEntries) {
      if (!inMovedData(entry, 16)) return fail(image, kImageErrMoveSection);
      uint32_t address = image.U32(entry);
      if (address && inOldResources(address) && int64_t(address) + rvaSkew < 0)
        return fail(image, kImageErrResourceBelowZero);
    }
  }
  uint32_t mask = image.HeaderU32(PeField::SectionAlign) - 1;
  out.console.Line(Format("FileSkew=%d (-%.4x), RvaSkew=%d (-%.4x) RvaMask=%.4x", fileSkew, -fileSkew, rvaSkew,
                          -rvaSkew, mask));

  image.changing = true;
  // The resources and whatever follows them in the file (debug data,
  // certificates, an overlay) move down together.
  image.MoveBytes(reloc.rawOffset, rsrc.rawOffset, end - rsrc.rawOffset);
  for (uint32_t i = 0; i < image.DirectoryCount(); ++i) {
    if (i == diSecurity) continue;
    uint32_t rva = image.DirectoryRva(i);
    if (rva >= rsrc.virtualAddress && rva < oldRsrcEnd)
      image.SetU32(image.DirectoryEntryOffset(i), uint32_t(rva + rvaSkew));
  }
  moveFilePositions(image, rsrc.rawOffset, fileSkew, rsrc.virtualAddress, oldRsrcEnd, rvaSkew);
  // The data entries moved with the section: their offsets shift by the file
  // skew. Data they address inside the resources moved too; data elsewhere did not.
  for (uint32_t entry : dataEntries) {
    uint32_t moved = uint32_t(entry + fileSkew);
    uint32_t address = image.U32(moved);
    if (address && inOldResources(address)) image.SetU32(moved, uint32_t(address + rvaSkew));
  }
  // The ".rsrc" header takes the ".reloc" header's place.
  image.MoveBytes(reloc.headerOffset, rsrc.headerOffset, kSectionHeaderSize);
  image.SetU32(reloc.headerOffset + 12, newRsrcRva);
  image.SetU32(reloc.headerOffset + 20, reloc.rawOffset);
  image.ZeroBytes(rsrc.headerOffset, kSectionHeaderSize);
  image.SetHeaderU16(PeField::SectionCount, uint16_t(image.SectionCount() - 1));
  image.SetHeaderU32(PeField::SizeOfImage, uint32_t(image.HeaderU32(PeField::SizeOfImage) + rvaSkew));
  image.SetU32(image.DirectoryEntryOffset(diRelocations), 0);
  image.SetU32(image.DirectoryEntryOffset(diRelocations) + 4, 0);
  image.newFileSize = uint32_t(end + fileSkew);
  if (!image.ParseHeaders()) return false;
  // Absolute addresses that pointed into the resources follow them.
  if (!image.ApplyRelocations(int32_t(rvaSkew), newRsrcRva)) return false;
  image.changing = false;
  return true;
}

bool StripResources(ExeImage& image, TRewriteOutput& out) {
  int index = image.FindSection(".rsrc");
  if (index < 0) return fail(image, kImageErrNoRelocations);
  if (uint32_t(index) + 1 != image.SectionCount()) return fail(image, kImageErrSectionOrder);
  TSection rsrc = image.Section(uint32_t(index));
  uint32_t end = fileEnd(image);
  // A section without raw data (raw offset 0) owns no bytes of the file.
  bool hasRaw = rsrc.rawOffset != 0 && rsrc.rawSize != 0;
  int64_t removed = hasRaw ? int64_t(end) - rsrc.rawOffset : 0;
  if (removed < 0) return fail(image, int(std::max<int64_t>(removed, INT32_MIN)));
  if (hasRaw && rsrc.rawOffset < image.HeaderU32(PeField::SizeOfHeaders)) return fail(image, kImageErrSectionOrder);
  // Cutting the file must not cut another section's data.
  if (hasRaw && !otherSectionsEndBefore(image, rsrc.rawOffset, rsrc.headerOffset, rsrc.headerOffset))
    return fail(image, kImageErrSectionOrder);
  // Cutting the file must not cut a certificate table behind the resources.
  uint32_t certificates = image.DirectoryRva(diSecurity);
  if (hasRaw && certificates && certificates >= rsrc.rawOffset) return fail(image, kImageErrSectionOrder);
  // Nor debug data stored behind them: its entries would point past the file's end.
  if (hasRaw && debugDataFrom(image, rsrc.rawOffset)) return fail(image, kImageErrSectionOrder);

  uint32_t imageSize = image.HeaderU32(PeField::SizeOfImage);
  uint32_t rvaSkew = imageSize > rsrc.virtualAddress ? imageSize - rsrc.virtualAddress : 0;
  image.changing = true;
  image.ZeroBytes(rsrc.headerOffset, kSectionHeaderSize);
  image.SetHeaderU16(PeField::SectionCount, uint16_t(image.SectionCount() - 1));
  if (image.DirectoryCount() > diResources) {
    image.SetU32(image.DirectoryEntryOffset(diResources), 0);
    image.SetU32(image.DirectoryEntryOffset(diResources) + 4, 0);
  }
  // The image ends where the resources began.
  image.SetHeaderU32(PeField::SizeOfImage, imageSize - rvaSkew);
  if (hasRaw) image.newFileSize = rsrc.rawOffset;
  if (!image.ParseHeaders()) return false;
  image.changing = false;
  out.console.Line(Format("FileSkew=%d (%.4x), RvaSkew=%d (%.4x)", removed, removed, rvaSkew, rvaSkew));
  return true;
}

bool LoseWeight(ExeImage& image, TRewriteOutput& out) {
  if (image.changing) return fail(image, kImageErrChanging);
  int index = image.FindSection("CODE");
  if (index < 0) return fail(image, kImageErrUnsupported);
  TSection code = image.Section(uint32_t(index));
  if (code.virtualSize > code.rawSize) {
    out.console.ErrorLine(Format("ERR: SecCode.VirtualSize   =%.8x", code.virtualSize));
    out.console.ErrorLine(Format("ERR: SecCode.SizeOfRawData =%.8x", code.rawSize));
    return fail(image, kImageErrWeightLoss);
  }
  uint64_t rawStart = code.rawOffset, rawEnd = rawStart + code.rawSize, vStart = code.virtualAddress;
  uint32_t end = fileEnd(image);
  if (code.rawSize == 0 || code.rawOffset == 0 || rawEnd > end) {
    out.console.ErrorLine("ERR: No sec-ptrs!");
    return fail(image, kImageErrWeightLoss);
  }
  const uint8_t* data = image.Bytes(rawStart, code.rawSize);
  uint64_t used = code.rawSize;
  while (used > 0 && data[used - 1] == 0) --used;
  if (used == 0) {
    out.console.ErrorLine("ERR: CODE Section empty!");
    return fail(image, kImageErrWeightLoss);
  }
  if (used < code.rawSize) ++used;
  uint32_t fileAlign = image.HeaderU32(PeField::FileAlign), sectionAlign = image.HeaderU32(PeField::SectionAlign);
  if (fileAlign == 0 || sectionAlign == 0) {
    out.console.ErrorLine("ERR: Bad alignment!");
    return fail(image, kImageErrWeightLoss);
  }
  uint64_t newRawEnd = rawStart + AlignUp(used, fileAlign);
  uint64_t newVirtualEnd = vStart + AlignUp(used, sectionAlign);
  uint64_t oldVirtualEnd = vStart + AlignUp(code.Extent(), sectionAlign);
  bool gapWanted = oldVirtualEnd > newVirtualEnd;
  bool trimWanted = newRawEnd < rawEnd;
  if (!gapWanted && !trimWanted) {
    out.console.ErrorLine("ERR: No spare...");
    return fail(image, kImageErrWeightLoss);
  }
  // The gap header goes into free, zero-filled room right behind the section table.
  uint64_t tableEnd = uint64_t(image.SectionTable()) + uint64_t(image.SectionCount()) * kSectionHeaderSize;
  bool room = tableEnd + kSectionHeaderSize <= headerRoomEnd(image) && image.InFile(tableEnd, kSectionHeaderSize);
  if (room) {
    const uint8_t* slot = image.Bytes(tableEnd, kSectionHeaderSize);
    room = std::all_of(slot, slot + kSectionHeaderSize, [](uint8_t b) { return b == 0; });
  }
  if (gapWanted && !room && !trimWanted) {
    out.console.ErrorLine("ERR: No room for the GAP section header!");
    return fail(image, kImageErrWeightLoss);
  }
  if (trimWanted) {
    // No other section's data may lie in the part of the file that goes.
    for (const TSection& s : image.Sections()) {
      if (s.headerOffset == code.headerOffset || s.rawSize == 0 || s.rawOffset == 0) continue;
      if (s.rawOffset < rawEnd && uint64_t(s.rawOffset) + s.rawSize > newRawEnd) {
        out.console.ErrorLine("ERR: No spare...");
        return fail(image, kImageErrWeightLoss);
      }
    }
  }

  bool changed = false;
  if (gapWanted && room) {
    image.changing = true;
    uint64_t next = uint64_t(code.headerOffset) + kSectionHeaderSize;
    image.MoveBytes(next + kSectionHeaderSize, next, tableEnd - next);
    image.ZeroBytes(next, kSectionHeaderSize);
    image.WriteBytes(next, "GAP", 3);
    uint32_t gap = uint32_t(oldVirtualEnd - newVirtualEnd);
    image.SetU32(next + 8, gap);
    image.SetU32(next + 12, uint32_t(newVirtualEnd));
    image.SetU32(next + 20, uint32_t(newRawEnd));
    image.SetU32(next + 36, kGapCharacteristics);
    image.SetU32(uint64_t(code.headerOffset) + 8, uint32_t(used));
    image.SetHeaderU16(PeField::SectionCount, uint16_t(image.SectionCount() + 1));
    if (!image.ParseHeaders()) return false;
    image.changing = false;
    out.console.Line(Format("Bplw8: RvaSkew %d (%.4x)", gap, gap));
    changed = true;
  }
  if (trimWanted) {
    image.changing = true;
    uint32_t diff = uint32_t(rawEnd - newRawEnd);
    uint32_t gapHeader = gapWanted && room ? code.headerOffset + kSectionHeaderSize : 0;
    image.SetU32(uint64_t(code.headerOffset) + 16, code.rawSize - diff);
    // A virtual size of 0 stands for the raw size: keep the section's extent, or a hole opens behind it.
    if (!gapHeader && code.virtualSize == 0) image.SetU32(uint64_t(code.headerOffset) + 8, code.rawSize);
    image.MoveBytes(newRawEnd, rawEnd, end - rawEnd);
    image.newFileSize = end - diff;
    for (const TSection& s : image.Sections()) {
      if (s.headerOffset == code.headerOffset || s.headerOffset == gapHeader) continue;
      if (s.rawSize && s.rawOffset >= rawEnd) image.SetU32(uint64_t(s.headerOffset) + 20, s.rawOffset - diff);
    }
    moveFilePositions(image, uint32_t(rawEnd), -int64_t(diff));
    if (!image.ParseHeaders()) return false;
    image.changing = false;
    out.console.Line(Format("Bplw8: FileSkew %d (%.4x)", diff, diff));
    changed = true;
  }
  return changed;
}
