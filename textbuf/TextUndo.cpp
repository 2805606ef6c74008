#include "textbuf/TextUndo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/MessageDialogs.h"
#include "platform/Streams.h"
#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "util/DiagLog.h"
#include "util/TempFiles.h"

namespace {

// The inverse of every kind, indexed by kind (0, 1 and 6 are never written).
constexpr uint8_t kInverseKind[8] = {0, 1, 3, 2, 5, 4, 6, 7};

void putInt32(char* p, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  p[0] = static_cast<char>(u);
  p[1] = static_cast<char>(u >> 8);
  p[2] = static_cast<char>(u >> 16);
  p[3] = static_cast<char>(u >> 24);
}

int32_t getInt32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<int32_t>(b[0] | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
}

// A stream over an unlinked temporary file; closing the handle deletes it.
class TCloseHandleStream : public TFileStream {
public:
  explicit TCloseHandleStream(int fd) : TFileStream("undo log", fd) {}
};

}  // namespace

TTextUndo::TTextUndo() : stream_(std::make_unique<TMemoryStream>()) {}

TTextUndo::~TTextUndo() = default;

int64_t TTextUndo::StreamSize() const { return streamSize_; }

bool TTextUndo::CanRedo() const { return cursor_ < streamSize_ - kTrailerSize; }

void TTextUndo::resetToMemory() {
  stream_ = std::make_unique<TMemoryStream>();
  streamSize_ = 0;
  spilled_ = false;
  cursor_ = 0;
  lastSize_ = 0;
  hasMergeHeader_ = false;
}

void TTextUndo::failed(const std::string& what) {
  LogFmt("Undo exception: %s", what);
  try {
    resetToMemory();
  } catch (...) {
  }
}

void TTextUndo::ClearUndo() {
  if (replaying_) return;
  try {
    resetToMemory();
    spillFailed_ = false;
  } catch (...) {
  }
}

void TTextUndo::putHeader(char* at, const Header& h) {
  putInt32(at, h.size);
  putInt32(at + 4, h.previousSize);
  putInt32(at + 8, h.position);
  at[12] = static_cast<char>(h.kind);
}

void TTextUndo::putTrailer(char* at, int32_t lastSize) {
  putInt32(at, 0);
  putInt32(at + 4, lastSize);
}

bool TTextUndo::readHeader(int64_t at, Header& h) {
  char bytes[kHeaderSize];
  stream_->SetPosition(at);
  if (stream_->Read(bytes, kHeaderSize) != kHeaderSize) return false;
  h.size = getInt32(bytes);
  h.previousSize = getInt32(bytes + 4);
  h.position = getInt32(bytes + 8);
  h.kind = static_cast<uint8_t>(bytes[12]);
  return true;
}

void TTextUndo::Record(TUndoKind kind, int32_t position, std::string_view oldText, std::string_view newText) {
  try {
    recordUndo(kind, position, oldText, newText);
  } catch (...) {
    failed(CurrentExceptionMessage());
  }
}

void TTextUndo::recordUndo(TUndoKind kind, int32_t position, std::string_view oldText, std::string_view newText) {
  if (!stream_) resetToMemory();
  if (cursor_ < streamSize_ - kTrailerSize) {
    // Undone records are dropped; the new record takes their place.
    stream_->SetSize(cursor_);
    streamSize_ = cursor_;
    hasMergeHeader_ = false;
  }
  const int32_t n = static_cast<int32_t>(newText.size());
  // Each write goes out in one piece: after spilling, every call is a
  // system call, and typing records one character at a time.
  std::string bytes;

  if (hasMergeHeader_ && kind == ukTyped && mergeHeader_.kind == ukTyped &&
      static_cast<int64_t>(mergeHeader_.position) + (mergeHeader_.size - kHeaderSize) == position) {
    mergeHeader_.size += n;
    bytes.resize(static_cast<size_t>(n) + kTrailerSize);
    std::memcpy(bytes.data(), newText.data(), static_cast<size_t>(n));
    putTrailer(bytes.data() + n, mergeHeader_.size);
    stream_->SetPosition(cursor_);
    stream_->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    char header[kHeaderSize];
    putHeader(header, mergeHeader_);
    stream_->SetPosition(cursor_ - lastSize_);
    stream_->WriteBuffer(header, kHeaderSize);
    cursor_ += n;
    lastSize_ += n;
  } else {
    Header h;
    h.previousSize = lastSize_;
    h.position = position;
    h.kind = kind;
    // An in-place overwrite keeps the new text's 16-bit length, the new
    // text and the old text; other records keep their characters.
    const size_t payload = oldText.empty() ? newText.size() : 2 + newText.size() + oldText.size();
    h.size = kHeaderSize + static_cast<int32_t>(payload);
    bytes.resize(kHeaderSize + payload + kTrailerSize);
    char* p = bytes.data();
    putHeader(p, h);
    p += kHeaderSize;
    if (!oldText.empty()) {
      *p++ = static_cast<char>(n & 0xFF);
      *p++ = static_cast<char>((n >> 8) & 0xFF);
    }
    std::memcpy(p, newText.data(), newText.size());
    p += newText.size();
    if (!oldText.empty()) {
      std::memcpy(p, oldText.data(), oldText.size());
      p += oldText.size();
    }
    putTrailer(p, h.size);
    stream_->SetPosition(cursor_);
    stream_->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    cursor_ += h.size;
    lastSize_ = h.size;
    hasMergeHeader_ = kind == ukTyped || kind == ukTypedDelete;
    if (hasMergeHeader_) mergeHeader_ = h;
  }
  streamSize_ = static_cast<int64_t>(cursor_) + kTrailerSize;
  if (cursor_ > kSpillThreshold && !spilled_ && !spillFailed_) spill();
}

void TTextUndo::spill() {
  std::string name = TempFolder() + "/undXXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    spillFailed_ = true;
    ErrorDlg("Cannot create the undo file in %s: %s", {TempFolder(), SysErrorMessage(error)});
    return;
  }
  // Unlinked at once: the file lives while its handle is open, and a crash
  // leaves nothing behind.
  ::unlink(name.c_str());
  auto file = std::make_unique<TCloseHandleStream>(fd);
  try {
    auto* memory = static_cast<TMemoryStream*>(stream_.get());
    file->WriteBuffer(memory->Memory(), memory->Size());
  } catch (...) {
    spillFailed_ = true;
    ErrorDlg("Cannot write the undo file in %s: %s", {TempFolder(), CurrentExceptionMessage()});
    return;
  }
  stream_ = std::move(file);
  spilled_ = true;
}

bool TTextUndo::Replay(TEditPos& pos, int direction, int32_t& start, int32_t& length) {
  if (replaying_ || !stream_) return false;
  replaying_ = true;
  struct ResetReplaying {
    bool& flag;
    ~ResetReplaying() { flag = false; }
  } reset{replaying_};

  try {
    Header h;
    int64_t headerAt;
    int32_t newCursor, newLastSize;
    uint8_t kind;
    if (direction < 0) {
      if (cursor_ < 1) return false;
      headerAt = static_cast<int64_t>(cursor_) - lastSize_;
      if (headerAt < 0 || !readHeader(headerAt, h) || h.size != lastSize_) return false;
      newCursor = static_cast<int32_t>(headerAt);
      newLastSize = h.previousSize;
      kind = h.kind < 8 ? kInverseKind[h.kind] : h.kind;
    } else {
      headerAt = cursor_;
      if (!readHeader(headerAt, h) || h.previousSize != lastSize_ || h.size < kHeaderSize) return false;
      newCursor = cursor_ + h.size;
      newLastSize = h.size;
      kind = h.kind;
    }
    if (h.size < kHeaderSize || headerAt + h.size > streamSize_ - kTrailerSize) return false;
    h.kind = kind;
    if (!perform(pos, h, headerAt + kHeaderSize, direction, start, length)) return false;
    cursor_ = newCursor;
    lastSize_ = newLastSize;
    hasMergeHeader_ = false;
    return true;
  } catch (...) {
    LogFmt("Undo exception: %s", CurrentExceptionMessage());
    return false;
  }
}

bool TTextUndo::perform(TEditPos& pos, const Header& h, int64_t payloadAt, int direction, int32_t& start,
                        int32_t& length) {
  // The replay must not record itself.
  pos.AttachUndo(nullptr);
  const int32_t a = h.size - kHeaderSize;
  std::string payload(static_cast<size_t>(a), '\0');
  stream_->SetPosition(payloadAt);
  if (a > 0) stream_->ReadBuffer(payload.data(), a);

  switch (h.kind) {
    case ukTyped:
    case ukInsert:
      if (!pos.PlaceExactly(h.position) || !pos.InsertText(payload)) return false;
      start = static_cast<int32_t>(pos.Position()) - a;
      length = a;
      return true;
    case ukTypedDelete:
    case ukDelete:
      if (!pos.PlaceExactly(h.position) || !pos.DeleteText(a)) return false;
      start = h.position;
      length = 0;
      return true;
    case ukOverwrite: {
      if (a < 2) return false;
      const int32_t n = static_cast<unsigned char>(payload[0]) | (static_cast<unsigned char>(payload[1]) << 8);
      // The old text has the new text's length; anything else is a damaged record.
      if (a != 2 + 2 * n) return false;
      const std::string_view newText(payload.data() + 2, static_cast<size_t>(n));
      const std::string_view oldText(payload.data() + 2 + n, static_cast<size_t>(n));
      if (!pos.Buffer()->OverwriteText(h.position, direction < 0 ? oldText : newText, false)) return false;
      start = direction < 0 ? h.position : h.position + n;
      length = 0;
      return true;
    }
    default:
      return false;
  }
}
