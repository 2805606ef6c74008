#pragma once
#include <cstdint>

class TStream;

// Means "no limit" as the count of CopyStreamEx.
constexpr int64_t kCopyAll = 0x80000000LL;

// Copies from source to dest in blocks of 65536 bytes until a read answers 0
// or count bytes are copied (kCopyAll: no limit); with fromStart, the source
// is rewound first. A memory or file destination is first sized for what
// will be copied, and afterwards cut back to what was written (never below
// its former size); a file that has no size to set (a pipe, a device) is
// written as it is. Answers the number of bytes copied; a missing source or
// destination gives 0. A failed write raises EStreamError.
int64_t CopyStreamEx(TStream* source, TStream* dest, bool fromStart, int64_t count = kCopyAll);
