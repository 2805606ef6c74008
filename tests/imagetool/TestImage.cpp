#include "TestImage.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

uint32_t alignUp(uint32_t value, uint32_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

}  // namespace

void Put16(TBytes& bytes, size_t offset, uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2);
  bytes[offset] = uint8_t(value);
  bytes[offset + 1] = uint8_t(value >> 8);
}

void Put32(TBytes& bytes, size_t offset, uint32_t value) {
  Put16(bytes, offset, uint16_t(value));
  Put16(bytes, offset + 2, uint16_t(value >> 16));
}

uint16_t Get16(const TBytes& bytes, size_t offset) { return uint16_t(bytes.at(offset) | bytes.at(offset + 1) << 8); }

uint32_t Get32(const TBytes& bytes, size_t offset) {
  return uint32_t(Get16(bytes, offset)) | uint32_t(Get16(bytes, offset + 2)) << 16;
}

TBytes TTestImage::Build() const {
  TBytes out(headerSize, 0);
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, 60, kPeOffset);
  const uint32_t pe = kPeOffset;
  out[pe] = 'P';
  out[pe + 1] = 'E';
  Put16(out, pe + 4, 0x14C);
  Put16(out, pe + 6, uint16_t(sections.size()));
  Put16(out, pe + 20, 224);
  Put16(out, pe + 22, characteristics);
  Put16(out, pe + 24, magic);
  out[pe + 26] = 2;
  out[pe + 27] = 25;
  Put32(out, pe + 40, entryPoint);
  Put32(out, pe + 44, 0x1000);
  Put32(out, pe + 52, imageBase);
  Put32(out, pe + 56, sectionAlign);
  Put32(out, pe + 60, fileAlign);
  Put16(out, pe + 64, 4);
  Put16(out, pe + 72, 4);
  Put32(out, pe + 84, headerSize);
  Put16(out, pe + 92, 2);
  Put32(out, pe + 96, 0x100000);
  Put32(out, pe + 100, 0x4000);
  Put32(out, pe + 104, 0x100000);
  Put32(out, pe + 108, 0x1000);
  Put32(out, pe + 116, directoryCount);
  for (size_t i = 0; i < directories.size(); ++i) {
    Put32(out, pe + 120 + 8 * i, directories[i].first);
    Put32(out, pe + 124 + 8 * i, directories[i].second);
  }
  uint32_t next = alignUp(headerSize, fileAlign);
  uint32_t imageEnd = alignUp(headerSize, sectionAlign);
  for (size_t i = 0; i < sections.size(); ++i) {
    const TTestSection& s = sections[i];
    uint32_t h = kSectionTable + uint32_t(i) * 40;
    if (out.size() < h + 40) throw std::logic_error("section table does not fit the headers");
    std::copy_n(s.name.begin(), std::min<size_t>(8, s.name.size()), out.begin() + h);
    uint32_t rawSize = s.rawSize.value_or(alignUp(uint32_t(s.data.size()), fileAlign));
    uint32_t rawOffset = s.rawOffset.value_or(rawSize ? next : 0);
    uint32_t virtualSize = s.virtualSize ? s.virtualSize : uint32_t(s.data.size());
    Put32(out, h + 8, virtualSize);
    Put32(out, h + 12, s.virtualAddress);
    Put32(out, h + 16, rawSize);
    Put32(out, h + 20, rawOffset);
    Put32(out, h + 36, s.characteristics);
    if (rawSize && rawOffset) {
      if (out.size() < rawOffset + rawSize) out.resize(rawOffset + rawSize, 0);
      std::copy_n(s.data.begin(), std::min<size_t>(s.data.size(), rawSize), out.begin() + rawOffset);
      next = std::max(next, rawOffset + rawSize);
    }
    imageEnd = std::max(imageEnd, alignUp(s.virtualAddress + virtualSize, sectionAlign));
  }
  Put32(out, pe + 80, imageEnd);
  out.insert(out.end(), overlay.begin(), overlay.end());
  return out;
}

TBytes RelocationBlock(uint32_t page, const std::vector<uint16_t>& entries) {
  TBytes block(8 + 2 * entries.size(), 0);
  Put32(block, 0, page);
  Put32(block, 4, uint32_t(block.size()));
  for (size_t i = 0; i < entries.size(); ++i) Put16(block, 8 + 2 * i, entries[i]);
  return block;
}

std::string WriteFile(const std::string& name, const TBytes& bytes) {
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + name);
  return name;
}

TBytes ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
