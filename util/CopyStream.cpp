#include "util/CopyStream.h"

#include <algorithm>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

constexpr int64_t kBlockSize = 65536;

// Bytes left in source from its position, or -1 when it cannot tell (a pipe).
int64_t remainingBytes(TStream& source) {
  try {
    return std::max<int64_t>(source.Size() - source.Position(), 0);
  } catch (const EStreamError&) {
    return -1;
  }
}

}  // namespace

int64_t CopyStreamEx(TStream* source, TStream* dest, bool fromStart, int64_t count) {
  if (!source || !dest || count <= 0) return 0;
  bool unlimited = count >= kCopyAll;
  if (fromStart) source->SetPosition(0);

  // Sizing the destination once avoids growing it block by block; the size
  // set is cut back below to what was really written.
  int64_t oldSize = -1;
  int64_t start = 0;
  if (dynamic_cast<TMemoryStream*>(dest) || dynamic_cast<TFileStream*>(dest)) {
    int64_t expected = remainingBytes(*source);
    if (expected > 0) {
      if (!unlimited) expected = std::min(expected, count);
      try {
        oldSize = dest->Size();
        start = dest->Position();
        if (start + expected > oldSize) dest->SetSize(start + expected);
        dest->SetPosition(start);
      } catch (const EStreamError&) {
        // A pipe or a device has no size to set: it is written as it is.
        oldSize = -1;
      }
    }
  }
  auto cutBack = [&](int64_t copied) {
    if (oldSize >= 0 && dest->Size() > std::max(oldSize, start + copied)) {
      dest->SetSize(std::max(oldSize, start + copied));
      dest->SetPosition(start + copied);
    }
  };

  std::vector<char> buffer(static_cast<size_t>(kBlockSize));
  int64_t copied = 0;
  try {
    while (unlimited || copied < count) {
      int64_t want = unlimited ? kBlockSize : std::min(kBlockSize, count - copied);
      int64_t got = source->Read(buffer.data(), want);
      if (got <= 0) break;
      dest->WriteBuffer(buffer.data(), got);
      copied += got;
    }
  } catch (...) {
    try {
      cutBack(copied);
    } catch (...) {
      // The write error is the one to report.
    }
    throw;
  }
  cutBack(copied);
  return copied;
}
