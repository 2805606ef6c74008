#include "imagetool/UPeFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <queue>

#include "platform/CodePage.h"
#include "platform/Format.h"

namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kExportDirectorySize = 40;
constexpr size_t kMaxNameLength = 65536;

}  // namespace

std::string ImageErrorText(int error) {
  switch (error) {
    case kImageErrNone: return {};
    case kImageErrOutOfMemory: return "Out of memory.";
    case kImageErrNotImage: return "Not a 32-bit executable image.";
    case kImageErrNoHeaders: return "The image has no headers.";
    case kImageErrNoRelocations: return "The image has no relocations or lacks a required section.";
    case kImageErrUnsupported: return "Unsupported or damaged relocation data, or no \"CODE\" section.";
    case kImageErrChanging: return "The image is already being changed.";
    case kImageErrWeightLoss: return "No room or bad sizes for the weight loss.";
    case kImageErrLowRelocWithLimit: return "A low-half relocation cannot be moved above a limit.";
    case kImageErrMoveSection: return "Moving a section failed.";
    case kImageErrSectionOrder: return "The order of the sections does not allow the operation.";
    case kImageErrResourceBelowZero: return "A resource entry would move below address zero.";
    case kImageErr64Bit: return "64-bit (PE32+) images are not supported.";
  }
  if (error > 0) return std::strerror(error);
  return {};
}

// ---- opening and closing ------------------------------------------------------

std::unique_ptr<ExeImage> ExeImage::OpenImage(const std::string& name, int mode, int& error) {
  if (mode < imRead || mode > imCopyOnWrite) mode = imRead;
  int fd = ::open(name.c_str(), (mode == imRead ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = errno;
    ::close(fd);
    return nullptr;
  }
  error = 0;
  if (S_ISDIR(st.st_mode)) error = EISDIR;
  else if (!S_ISREG(st.st_mode)) error = ENODEV;
  else if (st.st_size > int64_t(UINT32_MAX)) error = EFBIG;
  else if (st.st_size < 64) error = kImageErrNotImage;  // too small for the "MZ" header; cannot be mapped when empty
  if (error) {
    ::close(fd);
    return nullptr;
  }
  int prot = mode == imRead ? PROT_READ : PROT_READ | PROT_WRITE;
  int flags = mode == imWrite ? MAP_SHARED : MAP_PRIVATE;
  void* view = ::mmap(nullptr, size_t(st.st_size), prot, flags, fd, 0);
  int mapError = errno;
  ::close(fd);  // the mapping keeps the file
  if (view == MAP_FAILED) {
    error = mapError;
    return nullptr;
  }
  std::unique_ptr<ExeImage> image(new ExeImage());
  image->base_ = static_cast<uint8_t*>(view);
  image->mappedSize_ = size_t(st.st_size);
  image->mapped_ = true;
  image->fileSize_ = uint32_t(st.st_size);
  image->mode_ = mode;
  image->fileName_ = name;
  if (!image->ParseHeaders()) {
    error = image->error;
    return nullptr;
  }
  return image;
}

std::unique_ptr<ExeImage> ExeImage::OpenImageInMemory(std::vector<uint8_t> bytes, int& error) {
  error = 0;
  if (bytes.size() > UINT32_MAX) {
    error = EFBIG;
    return nullptr;
  }
  std::unique_ptr<ExeImage> image(new ExeImage());
  image->memory_ = std::move(bytes);
  image->base_ = image->memory_.data();
  image->fileSize_ = uint32_t(image->memory_.size());
  image->mode_ = imCopyOnWrite;
  if (image->fileSize_ < 64 || !image->ParseHeaders()) {
    error = image->error ? image->error : kImageErrNotImage;
    return nullptr;
  }
  return image;
}

ExeImage::~ExeImage() { unmap(); }

void ExeImage::unmap() {
  if (mapped_ && base_) ::munmap(base_, mappedSize_);
  mapped_ = false;
  base_ = nullptr;
}

int ExeImage::CloseImage() {
  int result = 0;
  if (mapped_ && mode_ == imWrite && ::msync(base_, mappedSize_, MS_SYNC) != 0) result = errno;
  bool wasMapped = mapped_;
  unmap();
  if (newFileSize && newFileSize < fileSize_) {
    if (!wasMapped) {
      memory_.resize(newFileSize);
    } else if (mode_ == imWrite && result == 0) {
      // Copy-on-write views never reach the file, so only a written image is cut.
      if (::truncate(fileName_.c_str(), off_t(newFileSize)) != 0) result = errno;
    }
  }
  if (!wasMapped) base_ = memory_.data();
  return result;
}

// ---- the bounded reader -------------------------------------------------------

void ExeImage::Check(uint64_t offset, uint64_t length) const {
  if (!base_ || !InFile(offset, length))
    throw EImageFormat(Format("Structure at file offset $%.8x (%d bytes) lies outside the file (size %d)", offset,
                              length, fileSize_));
}

uint8_t ExeImage::U8(uint64_t offset) const {
  Check(offset, 1);
  return base_[offset];
}

uint16_t ExeImage::U16(uint64_t offset) const {
  Check(offset, 2);
  const uint8_t* p = base_ + offset;
  return uint16_t(p[0] | p[1] << 8);
}

uint32_t ExeImage::U32(uint64_t offset) const {
  Check(offset, 4);
  const uint8_t* p = base_ + offset;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string ExeImage::CString(uint64_t offset, size_t maxLength) const {
  Check(offset, 0);
  size_t available = std::min<uint64_t>(fileSize_ - offset, maxLength);
  const char* start = reinterpret_cast<const char*>(base_ + offset);
  const void* end = std::memchr(start, 0, available);
  return std::string(start, end ? static_cast<const char*>(end) - start : available);
}

const uint8_t* ExeImage::Bytes(uint64_t offset, uint64_t length) const {
  Check(offset, length);
  return base_ + offset;
}

void ExeImage::SetU16(uint64_t offset, uint16_t value) {
  Check(offset, 2);
  if (!Writable()) throw EImageFormat("The image is open for reading only");
  written(offset, 2);
  base_[offset] = uint8_t(value);
  base_[offset + 1] = uint8_t(value >> 8);
}

void ExeImage::SetU32(uint64_t offset, uint32_t value) {
  Check(offset, 4);
  if (!Writable()) throw EImageFormat("The image is open for reading only");
  written(offset, 4);
  for (int i = 0; i < 4; ++i) base_[offset + i] = uint8_t(value >> (8 * i));
}

void ExeImage::WriteBytes(uint64_t offset, const void* data, uint64_t length) {
  Check(offset, length);
  if (!Writable()) throw EImageFormat("The image is open for reading only");
  written(offset, length);
  if (length) std::memcpy(base_ + offset, data, length);
}

void ExeImage::MoveBytes(uint64_t dest, uint64_t source, uint64_t length) {
  Check(dest, length);
  Check(source, length);
  if (!Writable()) throw EImageFormat("The image is open for reading only");
  written(dest, length);
  if (length) std::memmove(base_ + dest, base_ + source, length);
}

void ExeImage::ZeroBytes(uint64_t offset, uint64_t length) {
  Check(offset, length);
  if (!Writable()) throw EImageFormat("The image is open for reading only");
  written(offset, length);
  if (length) std::memset(base_ + offset, 0, length);
}

void ExeImage::written(uint64_t offset, uint64_t length) {
  uint64_t table = sections_, tableEnd = table + uint64_t(sectionCount_) * kSectionHeaderSize;
  if (offset < tableEnd && offset + length > table) piecesStale_ = true;
}

// ---- headers ------------------------------------------------------------------

bool ExeImage::ParseHeaders() {
  error = kImageErrNotImage;
  directoryCount_ = sectionCount_ = 0;
  piecesStale_ = true;
  importDir_ = exportDir_ = relocDir_ = resourceDir_ = std::nullopt;
  if (!InFile(0, 64) || base_[0] != 'M' || base_[1] != 'Z') return false;
  uint32_t pe = U32(60);
  if (!InFile(pe, PeField::OptionalHeaderStart + 2) || std::memcmp(base_ + pe, "PE\0\0", 4) != 0) return false;
  headers_ = pe;
  uint16_t magic = HeaderU16(PeField::Magic);
  if (magic == kMagicPe32Plus) {
    error = kImageErr64Bit;
    return false;
  }
  if (magic != kMagicPe32) return false;
  uint32_t optionalSize = HeaderU16(PeField::OptionalHeaderSize);
  if (optionalSize < PeField::MinOptionalHeaderSize ||
      !InFile(uint64_t(pe) + PeField::OptionalHeaderStart, optionalSize))
    return false;
  directoryCount_ = std::min({HeaderU32(PeField::DirectoryCount), kMaxDirectories,
                              (optionalSize - PeField::MinOptionalHeaderSize) / 8});
  sections_ = pe + PeField::OptionalHeaderStart + optionalSize;
  sectionCount_ = HeaderU16(PeField::SectionCount);
  if (!InFile(sections_, uint64_t(sectionCount_) * kSectionHeaderSize)) return false;
  imageBase_ = HeaderU32(PeField::ImageBase);
  setDirectories();
  error = 0;
  return true;
}

void ExeImage::setDirectories() {
  auto locate = [this](uint32_t index) -> std::optional<uint32_t> {
    uint32_t rva = DirectoryRva(index);
    return rva ? RvaToPointer(rva) : std::nullopt;
  };
  exportDir_ = locate(diExports);
  importDir_ = locate(diImports);
  resourceDir_ = locate(diResources);
  relocDir_ = locate(diRelocations);
  if (!relocCopied_) relocSize_ = relocDir_ ? std::min(DirectorySize(diRelocations), RvaSpan(DirectoryRva(diRelocations))) : 0;
}

uint32_t ExeImage::DirectoryRva(uint32_t index) const {
  return index < directoryCount_ ? U32(DirectoryEntryOffset(index)) : 0;
}

uint32_t ExeImage::DirectorySize(uint32_t index) const {
  return index < directoryCount_ ? U32(DirectoryEntryOffset(index) + 4) : 0;
}

TSection ExeImage::Section(uint32_t index) const {
  TSection s;
  if (index >= sectionCount_) return s;
  uint64_t h = uint64_t(sections_) + uint64_t(index) * kSectionHeaderSize;
  const char* name = reinterpret_cast<const char*>(Bytes(h, 8));
  s.name.assign(name, strnlen(name, 8));
  s.virtualSize = U32(h + 8);
  s.virtualAddress = U32(h + 12);
  s.rawSize = U32(h + 16);
  s.rawOffset = U32(h + 20);
  s.characteristics = U32(h + 36);
  s.headerOffset = uint32_t(h);
  return s;
}

std::vector<TSection> ExeImage::Sections() const {
  std::vector<TSection> list;
  list.reserve(sectionCount_);
  for (uint32_t i = 0; i < sectionCount_; ++i) list.push_back(Section(i));
  return list;
}

int ExeImage::FindSection(std::string_view name) const {
  for (uint32_t i = 0; i < sectionCount_; ++i) {
    TSection s = Section(i);
    if (s.name.size() >= name.size() && AnsiSameText(std::string_view(s.name).substr(0, name.size()), name))
      return int(i);
  }
  return -1;
}

// ---- address translation ------------------------------------------------------

void ExeImage::indexSections() const {
  struct TRange {
    uint64_t start, end;
    uint32_t index;
  };
  std::vector<TRange> ranges;
  std::vector<uint64_t> bounds;
  ranges.reserve(sectionCount_);
  for (uint32_t i = 0; i < sectionCount_; ++i) {
    TSection s = Section(i);
    if (s.Extent() == 0) continue;
    uint64_t end = uint64_t(s.virtualAddress) + s.Extent();
    ranges.push_back({s.virtualAddress, end, i});
    bounds.push_back(s.virtualAddress);
    bounds.push_back(end);
  }
  std::sort(ranges.begin(), ranges.end(), [](const TRange& a, const TRange& b) { return a.start < b.start; });
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  // Sweep the bounds; the covering section with the lowest table index owns each piece.
  auto later = [](const TRange& a, const TRange& b) { return a.index > b.index; };
  std::priority_queue<TRange, std::vector<TRange>, decltype(later)> covering(later);
  pieces_.clear();
  size_t next = 0;
  uint32_t lastOwner = UINT32_MAX;
  for (size_t k = 0; k + 1 < bounds.size(); ++k) {
    uint64_t from = bounds[k], to = bounds[k + 1];
    while (next < ranges.size() && ranges[next].start <= from) covering.push(ranges[next++]);
    while (!covering.empty() && covering.top().end <= from) covering.pop();
    if (covering.empty()) continue;
    uint32_t owner = covering.top().index;
    if (owner == lastOwner && pieces_.back().end == from) {
      pieces_.back().end = to;
      continue;
    }
    TSection s = Section(owner);
    pieces_.push_back({from, to, s.virtualAddress, s.rawSize, s.rawOffset});
    lastOwner = owner;
  }
  piecesStale_ = false;
}

const TAddressPiece* ExeImage::pieceAt(uint32_t rva) const {
  if (piecesStale_) indexSections();
  auto it = std::upper_bound(pieces_.begin(), pieces_.end(), uint64_t(rva),
                             [](uint64_t at, const TAddressPiece& piece) { return at < piece.start; });
  if (it == pieces_.begin() || rva >= (--it)->end) return nullptr;
  return &*it;
}

std::optional<uint32_t> ExeImage::RvaToOffset(uint32_t rva) const {
  const TAddressPiece* piece = pieceAt(rva);
  // Slack past the raw data exists only in memory, never in the file.
  if (!piece || rva - piece->virtualAddress >= piece->rawSize) return std::nullopt;
  uint64_t offset = uint64_t(rva - piece->virtualAddress) + piece->rawOffset;
  if (offset > UINT32_MAX) return std::nullopt;
  return uint32_t(offset);
}

std::optional<uint32_t> ExeImage::RvaToPointer(uint32_t rva) const {
  auto offset = RvaToOffset(rva);
  if (!offset || *offset >= fileSize_) return std::nullopt;
  return offset;
}

uint32_t ExeImage::RvaSpan(uint32_t rva) const {
  auto offset = RvaToPointer(rva);
  if (!offset) return 0;
  const TAddressPiece* piece = pieceAt(rva);
  return uint32_t(std::min<uint64_t>(piece->rawSize - (rva - piece->virtualAddress), fileSize_ - *offset));
}

uint32_t ExeImage::PointerToRva(uint64_t offset) const {
  if (offset >= fileSize_) return 0;
  for (uint32_t i = 0; i < sectionCount_; ++i) {
    uint64_t h = uint64_t(sections_) + uint64_t(i) * kSectionHeaderSize;
    uint64_t raw = U32(h + 20), rawSize = U32(h + 16);
    if (offset >= raw && offset < raw + rawSize) return uint32_t(offset - raw + U32(h + 12));
  }
  return 0;
}

// ---- exports ------------------------------------------------------------------

bool ExeImage::GetExportAddresses(std::vector<uint32_t>& list) const {
  if (!exportDir_ || !InFile(*exportDir_, kExportDirectorySize)) return false;
  uint32_t count = U32(*exportDir_ + 20), table = U32(*exportDir_ + 28);
  if (count == 0) return true;
  if (uint64_t(count) * 4 > RvaSpan(table)) return false;
  uint32_t offset = *RvaToOffset(table);
  list.reserve(list.size() + count);
  for (uint32_t i = 0; i < count; ++i) list.push_back(U32(uint64_t(offset) + 4ull * i));
  return true;
}

bool ExeImage::GetExportNames(std::vector<TExportName>& list) const {
  if (!exportDir_ || !InFile(*exportDir_, kExportDirectorySize)) return false;
  uint32_t count = U32(*exportDir_ + 24), names = U32(*exportDir_ + 32), ordinals = U32(*exportDir_ + 36);
  if (count == 0) return true;
  if (uint64_t(count) * 4 > RvaSpan(names) || uint64_t(count) * 2 > RvaSpan(ordinals)) return false;
  uint32_t namesOffset = *RvaToOffset(names), ordinalsOffset = *RvaToOffset(ordinals);
  list.reserve(list.size() + count);
  // Distinct names fit in the file; names sharing their bytes could fill the memory.
  uint64_t budget = 2ull * fileSize_;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t nameRva = U32(uint64_t(namesOffset) + 4ull * i);
    TExportName entry;
    auto at = RvaToPointer(nameRva);
    entry.name = at ? CString(*at, std::min<size_t>(RvaSpan(nameRva), kMaxNameLength)) : Format("#$%.8x", nameRva);
    if (entry.name.size() > budget) throw EImageFormat("The export names overlap each other");
    budget -= entry.name.size();
    entry.ordinalIndex = U16(uint64_t(ordinalsOffset) + 2ull * i);
    list.push_back(std::move(entry));
  }
  return true;
}

// ---- relocations --------------------------------------------------------------

bool ExeImage::HasRelocations() {
  if (!headers_) {
    error = kImageErrNoHeaders;
    return false;
  }
  if (!relocDir_ && !relocCopied_) {
    error = kImageErrNoRelocations;
    return false;
  }
  return true;
}

void ExeImage::DetachRelocations() {
  if (relocCopied_ || !relocDir_) return;
  const uint8_t* blocks = Bytes(*relocDir_, relocSize_);
  relocCopy_.assign(blocks, blocks + relocSize_);
  relocCopied_ = true;
}

bool ExeImage::CheckRelocations(int32_t delta, std::optional<uint32_t> limit,
                                const std::function<bool(uint32_t rva)>& placeAllowed) {
  return HasRelocations() && (delta == 0 || walkRelocations(delta, limit, {}, false, placeAllowed));
}

bool ExeImage::ApplyRelocations(int32_t delta, std::optional<uint32_t> limit, const TRelocationReport& report) {
  if (!HasRelocations()) return false;
  if (delta == 0) return true;
  if (!walkRelocations(delta, limit, report, true)) return false;
  if (!limit) {
    imageBase_ += uint32_t(delta);
    SetHeaderU32(PeField::ImageBase, imageBase_);
  }
  changing = false;
  return true;
}

bool ExeImage::walkRelocations(int32_t delta, std::optional<uint32_t> limit, const TRelocationReport& report,
                               bool apply, const std::function<bool(uint32_t rva)>& placeAllowed) {
  // Work on a copy, so that places inside the blocks cannot change them between the passes.
  std::vector<uint8_t> local;
  if (!relocCopied_) local.assign(base_ + *relocDir_, base_ + *relocDir_ + relocSize_);
  const uint8_t* blocks = relocCopied_ ? relocCopy_.data() : local.data();
  uint64_t size = relocSize_;
  auto read32 = [blocks](uint64_t at) {
    return uint32_t(blocks[at]) | uint32_t(blocks[at + 1]) << 8 | uint32_t(blocks[at + 2]) << 16 |
           uint32_t(blocks[at + 3]) << 24;
  };
  uint32_t udelta = uint32_t(delta);
  uint64_t lowest = limit ? uint64_t(*limit) + imageBase_ : 0;
  uint64_t headersEnd = uint64_t(sections_) + uint64_t(sectionCount_) * kSectionHeaderSize;
  for (int pass = 0; pass < (apply ? 2 : 1); ++pass) {
    bool applying = pass == 1;
    if (applying) changing = true;
    uint64_t pos = 0;
    while (pos + 8 <= size) {
      uint32_t page = read32(pos), blockSize = read32(pos + 4);
      if (page == 0 && blockSize == 0) break;
      if (blockSize < 8 || blockSize % 2 != 0 || blockSize > size - pos) {
        error = kImageErrUnsupported;
        return false;
      }
      for (uint64_t e = pos + 8; e < pos + blockSize; e += 2) {
        uint16_t entry = uint16_t(blocks[e] | blocks[e + 1] << 8);
        uint32_t type = entry >> 12;
        if (type == 0) continue;
        if (type > 3) {
          error = kImageErrUnsupported;
          return false;
        }
        if (type == 2 && limit) {
          error = kImageErrLowRelocWithLimit;
          return false;
        }
        // A high half moves right only when the low half of the delta is zero.
        if (type == 1 && (udelta & 0xFFFF) != 0) {
          error = kImageErrUnsupported;
          return false;
        }
        uint64_t rva = uint64_t(page) + (entry & 0xFFF);
        uint32_t width = type == 3 ? 4 : 2;
        // A place in the headers could change the section table the walk translates through.
        if (rva > UINT32_MAX || RvaSpan(uint32_t(rva)) < width || *RvaToOffset(uint32_t(rva)) < headersEnd) {
          error = kImageErrUnsupported;
          return false;
        }
        if (placeAllowed && !placeAllowed(uint32_t(rva))) {
          error = kImageErrSectionOrder;
          return false;
        }
        if (!applying) continue;
        uint32_t place = *RvaToOffset(uint32_t(rva));
        if (type == 3) {
          uint32_t value = U32(place);
          if (value < lowest) continue;
          value += udelta;
          SetU32(place, value);
          if (report) report(place, value);
        } else {
          uint16_t value = U16(place);
          if (type == 1) {
            if (value < (lowest >> 16)) continue;
            value = uint16_t(value + (udelta >> 16));
          } else {
            value = uint16_t(value + (udelta & 0xFFFF));
          }
          SetU16(place, value);
          if (report) report(place, type == 1 ? uint32_t(value) << 16 : value);
        }
      }
      pos += blockSize;
    }
  }
  return true;
}
