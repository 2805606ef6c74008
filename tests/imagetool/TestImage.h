#pragma once
// A small writer of 32-bit images for layouts a linker does not produce:
// sections in any order, raw offset 0, zero tails, slack, odd relocations,
// damaged headers. Fields left alone get the values a linker would write.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

void Put16(TBytes& bytes, size_t offset, uint16_t value);
void Put32(TBytes& bytes, size_t offset, uint32_t value);
uint16_t Get16(const TBytes& bytes, size_t offset);
uint32_t Get32(const TBytes& bytes, size_t offset);

struct TTestSection {
  TTestSection() = default;
  TTestSection(std::string n, uint32_t va, uint32_t vsize, TBytes d, uint32_t flags = 0x40000040)
      : name(std::move(n)), virtualAddress(va), virtualSize(vsize), data(std::move(d)), characteristics(flags) {}

  std::string name;
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;  // 0: the data's size
  TBytes data;
  uint32_t characteristics = 0x40000040;
  std::optional<uint32_t> rawOffset;  // default: after the previous section
  std::optional<uint32_t> rawSize;    // default: data size rounded to the file alignment
};

struct TTestImage {
  uint32_t imageBase = 0x400000;
  uint32_t sectionAlign = 0x1000;
  uint32_t fileAlign = 0x200;
  uint16_t characteristics = 0x0102;
  uint16_t magic = 0x10B;
  uint32_t headerSize = 0x400;
  uint32_t directoryCount = 16;
  uint32_t entryPoint = 0x1000;
  std::array<std::pair<uint32_t, uint32_t>, 16> directories{};
  std::vector<TTestSection> sections;
  TBytes overlay;  // bytes behind the last section's raw data

  static constexpr uint32_t kPeOffset = 0x40;
  static constexpr uint32_t kSectionTable = kPeOffset + 24 + 224;

  TBytes Build() const;
};

// One relocation block for a page: entries are (type << 12 | offset).
TBytes RelocationBlock(uint32_t page, const std::vector<uint16_t>& entries);

// Writes bytes to a file; answers its name.
std::string WriteFile(const std::string& name, const TBytes& bytes);
TBytes ReadFile(const std::string& name);
