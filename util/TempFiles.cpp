#include "util/TempFiles.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = dir && *dir ? dir : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string GetTempFileEx(std::string_view prefix) {
  std::string head = prefix.empty() ? std::string("dfs") : std::string(prefix.substr(0, 3));
  head.resize(3, '_');
  // The prefix names a file, not a path: a separator or NUL in it must not
  // lead outside the temporary folder.
  for (char& c : head)
    if (c == '/' || c == '\0') c = '_';
  std::string folder = TempFolder();
  std::string pattern = folder + (folder == "/" ? "" : "/") + head + "XXXXXX.tmp";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    throw EStreamError("Cannot create a temporary file in \"" + folder + "\". " + SysErrorMessage(err));
  }
  ::close(fd);
  return std::string(name.data());
}
