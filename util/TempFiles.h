#pragma once
#include <string>
#include <string_view>

// Creates a new, empty file with a unique name in the temporary folder
// ($TMPDIR, else /tmp) and answers its name: the prefix cut or padded with
// "_" to 3 characters ("dfs" when empty), 6 unique characters and ".tmp".
// Raises EStreamError when no file can be created.
std::string GetTempFileEx(std::string_view prefix);
// The temporary folder without a trailing "/".
std::string TempFolder();
