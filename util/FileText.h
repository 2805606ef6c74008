#pragma once
// A whole file as one string.
#include <string>
#include <string_view>

// Raises EStreamError when the file cannot be read.
std::string StrLoadFile(const std::string& fileName);
// Writes s as the whole file through a replace stream, so that on any
// failure (a short write, a full disk, a failed rename) the old file stays as
// it was. Raises EStreamError.
void StrStoreFile(const std::string& fileName, std::string_view s);
