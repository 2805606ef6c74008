#pragma once
// The image tool's model of a 32-bit executable image: the file is mapped into
// memory and every structure is read in place through one bounded reader, so
// a field that points outside the file raises EImageFormat instead of faulting.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exceptions.h"

// Image error codes. Positive values are system error numbers (errno).
enum : int {
  kImageErrNone = 0,
  kImageErrOutOfMemory = 8,
  kImageErrNotImage = 9,
  kImageErrNoHeaders = -1,
  kImageErrNoRelocations = -11,  // also: a required section is missing
  kImageErrUnsupported = -12,    // bad relocation data, or "CODE" section missing
  kImageErrChanging = -13,
  kImageErrWeightLoss = -14,
  kImageErrLowRelocWithLimit = -17,
  kImageErrMoveSection = -27,
  kImageErrSectionOrder = -29,
  kImageErrResourceBelowZero = -31,
  kImageErr64Bit = -64,  // a PE32+ image: its header layout is not the one this model reads
};

// A description of an image error for the user, empty when there is none to add.
std::string ImageErrorText(int error);

// A structure of the image lies outside the file or is inconsistent.
class EImageFormat : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EImageFormat"; }
};

enum TImageMode : int { imRead = 0, imWrite = 1, imCopyOnWrite = 2 };

// Field offsets counted from the "PE\0\0" signature.
namespace PeField {
constexpr uint32_t Machine = 4, SectionCount = 6, TimeDateStamp = 8, OptionalHeaderSize = 20,
                   Characteristics = 22, Magic = 24, LinkerMajor = 26, LinkerMinor = 27, SizeOfCode = 28,
                   SizeOfInitData = 32, SizeOfUninitData = 36, EntryPoint = 40, BaseOfCode = 44,
                   BaseOfData = 48, ImageBase = 52, SectionAlign = 56, FileAlign = 60, OsMajor = 64,
                   OsMinor = 66, ImageMajor = 68, ImageMinor = 70, SubsysMajor = 72, SubsysMinor = 74,
                   Win32Version = 76, SizeOfImage = 80, SizeOfHeaders = 84, CheckSum = 88, Subsystem = 92,
                   StackReserve = 96, StackCommit = 100, HeapReserve = 104, HeapCommit = 108,
                   DirectoryCount = 116, Directories = 120;
constexpr uint32_t OptionalHeaderStart = 24;
// The optional header up to the directory count, which every image must have.
constexpr uint32_t MinOptionalHeaderSize = 96;
}  // namespace PeField

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kMaxDirectories = 16;

enum TDirectoryIndex : uint32_t {
  diExports = 0, diImports = 1, diResources = 2, diExceptions = 3, diSecurity = 4,
  diRelocations = 5, diDebug = 6, diBoundImports = 11, diIat = 12,
};

struct TSection {
  std::string name;  // up to 8 characters, cut at the first zero byte
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
  uint32_t headerOffset = 0;  // file offset of the 40-byte header

  // The loader maps a section with virtual size 0 by its raw size.
  uint32_t Extent() const { return virtualSize ? virtualSize : rawSize; }
};

// A piece of the virtual address space and the section header fields that map it.
struct TAddressPiece {
  uint64_t start = 0, end = 0;
  uint32_t virtualAddress = 0, rawSize = 0, rawOffset = 0;
};

struct TExportName {
  std::string name;
  uint16_t ordinalIndex = 0;  // index into the export address table
};

// Reports one place changed by the relocation engine: its file offset and the value written.
using TRelocationReport = std::function<void(uint32_t fileOffset, uint32_t value)>;

class ExeImage {
public:
  // Maps the named file (mode: imRead, imWrite, imCopyOnWrite; larger counts as imRead).
  // Answers none and sets error on failure.
  static std::unique_ptr<ExeImage> OpenImage(const std::string& name, int mode, int& error);
  // An image over a private copy of the given bytes; changes stay in memory.
  static std::unique_ptr<ExeImage> OpenImageInMemory(std::vector<uint8_t> bytes, int& error);

  ~ExeImage();
  ExeImage(const ExeImage&) = delete;
  ExeImage& operator=(const ExeImage&) = delete;

  // Flushes a written view, unmaps it and cuts the file to the new file size
  // when one was set. Answers 0 or the system error of the flush or the cut.
  int CloseImage();

  // ---- the bounded reader --------------------------------------------------
  uint32_t FileSize() const { return fileSize_; }
  bool InFile(uint64_t offset, uint64_t length) const { return offset <= fileSize_ && length <= fileSize_ - offset; }
  // Raise EImageFormat when the bytes lie outside the file.
  void Check(uint64_t offset, uint64_t length) const;
  uint8_t U8(uint64_t offset) const;
  uint16_t U16(uint64_t offset) const;
  uint32_t U32(uint64_t offset) const;
  // The zero-terminated text at offset, at most maxLength bytes, cut at the file end.
  std::string CString(uint64_t offset, size_t maxLength = 4096) const;
  // Read-only view of [offset, offset + length) after checking it.
  const uint8_t* Bytes(uint64_t offset, uint64_t length) const;
  void SetU16(uint64_t offset, uint16_t value);
  void SetU32(uint64_t offset, uint32_t value);
  void WriteBytes(uint64_t offset, const void* data, uint64_t length);
  void MoveBytes(uint64_t dest, uint64_t source, uint64_t length);
  void ZeroBytes(uint64_t offset, uint64_t length);
  bool Writable() const { return mode_ != imRead; }
  // The bytes of an image opened in memory (cut to the new file size once closed).
  const std::vector<uint8_t>& MemoryBytes() const { return memory_; }

  // ---- headers and sections --------------------------------------------------
  const std::string& FileName() const { return fileName_; }
  uint32_t Headers() const { return headers_; }  // offset of the "PE" signature
  uint16_t HeaderU16(uint32_t field) const { return U16(uint64_t(headers_) + field); }
  uint32_t HeaderU32(uint32_t field) const { return U32(uint64_t(headers_) + field); }
  void SetHeaderU16(uint32_t field, uint16_t v) { SetU16(uint64_t(headers_) + field, v); }
  void SetHeaderU32(uint32_t field, uint32_t v) { SetU32(uint64_t(headers_) + field, v); }
  uint32_t ImageBase() const { return imageBase_; }
  uint32_t SectionTable() const { return sections_; }
  uint32_t SectionCount() const { return sectionCount_; }
  TSection Section(uint32_t index) const;
  std::vector<TSection> Sections() const;
  // The first section whose name begins with the text (case ignored); -1 when none.
  int FindSection(std::string_view name) const;

  // Only the directories the optional header declares (at most 16) exist.
  uint32_t DirectoryCount() const { return directoryCount_; }
  uint32_t DirectoryRva(uint32_t index) const;
  uint32_t DirectorySize(uint32_t index) const;
  uint64_t DirectoryEntryOffset(uint32_t index) const { return uint64_t(headers_) + PeField::Directories + 8ull * index; }
  // File offsets of the directories, none when absent or outside the file.
  std::optional<uint32_t> ExportDirectory() const { return exportDir_; }
  std::optional<uint32_t> ImportDirectory() const { return importDir_; }
  std::optional<uint32_t> ResourceDirectory() const { return resourceDir_; }
  std::optional<uint32_t> RelocationDirectory() const { return relocDir_; }

  // ---- address translation ---------------------------------------------------
  // The file offset of a virtual address: the first section whose virtual range
  // holds it, and only when the address also lies in that section's raw data.
  std::optional<uint32_t> RvaToOffset(uint32_t rva) const;
  // Like RvaToOffset, and none unless the result lies inside the file.
  std::optional<uint32_t> RvaToPointer(uint32_t rva) const;
  // The bytes readable from the address on: up to the end of its section's raw data and the file.
  uint32_t RvaSpan(uint32_t rva) const;
  // The virtual address of a file offset inside some section's raw data; 0 otherwise.
  uint32_t PointerToRva(uint64_t offset) const;

  // ---- exports ----------------------------------------------------------------
  bool GetExportAddresses(std::vector<uint32_t>& list) const;
  bool GetExportNames(std::vector<TExportName>& list) const;

  // ---- relocations --------------------------------------------------------------
  bool HasRelocations();
  // Adds delta to every relocated place whose value is at least the limit (a
  // virtual address once the image base is added; 0 for all). Checks all blocks
  // first and changes nothing when one is bad; without a limit the image base
  // moves too. Answers false with the image error set.
  bool ApplyRelocations(int32_t delta, std::optional<uint32_t> limit, const TRelocationReport& report = {});
  // The checking pass of ApplyRelocations alone: changes nothing. A place for
  // which placeAllowed answers false fails with kImageErrSectionOrder.
  bool CheckRelocations(int32_t delta, std::optional<uint32_t> limit,
                        const std::function<bool(uint32_t rva)>& placeAllowed = {});
  // Replaces the relocation blocks by a private copy, because their area is about to be overwritten.
  void DetachRelocations();

  int error = 0;
  uint32_t newFileSize = 0;  // 0, or the size to cut the file to on close
  bool changing = false;

  // Locates headers, sections and directories; called again after a rewrite
  // changed them. Answers false with the image error set.
  bool ParseHeaders();

private:
  ExeImage() = default;
  bool walkRelocations(int32_t delta, std::optional<uint32_t> limit, const TRelocationReport& report, bool apply,
                       const std::function<bool(uint32_t rva)>& placeAllowed = {});
  void setDirectories();
  void unmap();
  // The section whose virtual range holds rva (the first in table order), or none.
  const TAddressPiece* pieceAt(uint32_t rva) const;
  void indexSections() const;
  // A write that touches the section table makes the address index stale.
  void written(uint64_t offset, uint64_t length);

  uint8_t* base_ = nullptr;
  uint32_t fileSize_ = 0;
  size_t mappedSize_ = 0;
  bool mapped_ = false;       // base_ comes from mmap (else from memory_)
  std::vector<uint8_t> memory_;
  int mode_ = imRead;
  std::string fileName_;
  uint32_t imageBase_ = 0;
  uint32_t headers_ = 0;
  uint32_t sections_ = 0;
  uint32_t sectionCount_ = 0;
  uint32_t directoryCount_ = 0;
  // The virtual address space cut into disjoint pieces, each owned by the first
  // section in table order that covers it, sorted by address; rebuilt on demand.
  mutable std::vector<TAddressPiece> pieces_;
  mutable bool piecesStale_ = true;
  std::optional<uint32_t> importDir_, exportDir_, relocDir_, resourceDir_;
  // The relocation blocks: a view into the file, or the private copy.
  std::vector<uint8_t> relocCopy_;
  bool relocCopied_ = false;
  uint32_t relocSize_ = 0;
};

// Rounds value up to a multiple of alignment (alignment 0 leaves it as it is).
inline uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return alignment ? (value + alignment - 1) / alignment * alignment : value;
}
