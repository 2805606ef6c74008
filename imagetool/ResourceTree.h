#pragma once
// A bounded walk over an image's resource directory tree.
#include <cstdint>
#include <vector>

#include "imagetool/UPeFile.h"

// The file offsets of every distinct data entry below the resource directory
// at rootOffset. Raises EImageFormat when a directory or entry lies outside
// the file; the depth is limited and a directory met twice is walked once, so
// a looping tree ends.
std::vector<uint32_t> CollectResourceDataEntries(const ExeImage& image, uint32_t rootOffset);
