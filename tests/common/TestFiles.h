#pragma once
// Files for tests: a temporary folder removed with everything in it, and
// whole-file reads and writes that go around the code under test.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

class TTempDir {
public:
  explicit TTempDir(const std::string& prefix = "quill-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_), std::filesystem::directory_iterator()));
  }

private:
  std::filesystem::path path_;
};

// Points TMPDIR at a folder while it lives and restores it afterwards.
class TTmpDirOverride {
public:
  explicit TTmpDirOverride(const std::string& folder) {
    const char* old = std::getenv("TMPDIR");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TTmpDirOverride() {
    if (hadOld_) ::setenv("TMPDIR", old_.c_str(), 1);
    else ::unsetenv("TMPDIR");
  }
  TTmpDirOverride(const TTmpDirOverride&) = delete;
  TTmpDirOverride& operator=(const TTmpDirOverride&) = delete;

private:
  bool hadOld_ = false;
  std::string old_;
};

inline std::string ReadTestFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteTestFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
