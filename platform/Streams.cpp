#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Exceptions.h"

std::string SysErrorMessage(int errorNumber) { return std::strerror(errorNumber); }

// ---- TStream -------------------------------------------------------------

int64_t TStream::GetSize() {
  int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), 0x10000)));
  int64_t copied = 0;
  while (copied < count) {
    int64_t n = std::min<int64_t>(count - copied, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    copied += n;
  }
  return copied;
}

// ---- TMemoryStream ---------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  size_t n = std::min(static_cast<size_t>(count), size_ - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return static_cast<int64_t>(n);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = position_ + static_cast<size_t>(count);
  if (end > data_.size()) {
    // Grow geometrically so that appending stays linear.
    data_.resize(std::max(end, data_.size() + data_.size() / 2));
  }
  // A write after a seek past the end leaves a gap; it reads as zeros, not
  // as whatever a shrunk stream left behind in its buffer.
  if (position_ > size_) std::memset(data_.data() + size_, 0, position_ - size_);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0
                 : origin == TSeekOrigin::soCurrent ? static_cast<int64_t>(position_)
                                                    : static_cast<int64_t>(size_);
  int64_t pos;
  if (__builtin_add_overflow(base, offset, &pos)) pos = offset < 0 ? 0 : INT64_MAX;
  if (pos < 0) pos = 0;
  position_ = static_cast<size_t>(pos);
  return pos;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Stream size cannot be negative");
  size_t n = static_cast<size_t>(newSize);
  if (n > data_.size()) data_.resize(n);
  if (n > size_) std::memset(data_.data() + size_, 0, n - size_);
  size_ = n;
  position_ = std::min(position_, size_);
}

void TMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity < 0) capacity = 0;
  size_t c = std::max(static_cast<size_t>(capacity), size_);
  data_.resize(c);
  data_.shrink_to_fit();
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  size_ = position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t n = source.Size();
  SetSize(n);
  position_ = 0;
  if (n > 0) source.ReadBuffer(data_.data(), n);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& dest) { dest.WriteBuffer(data_.data(), static_cast<int64_t>(size_)); }

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TReplaceStream file(fileName);
  SaveToStream(file);
  file.Commit();
}

// ---- TFileStream -----------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName) {
  int flags = O_CLOEXEC;
  if (mode == fmCreate) flags |= O_RDWR | O_CREAT | O_TRUNC;
  else if ((mode & 3) == fmOpenWrite) flags |= O_WRONLY;
  else if ((mode & 3) == fmOpenReadWrite) flags |= O_RDWR;
  else flags |= O_RDONLY;
  do {
    fd_ = ::open(fileName.c_str(), flags, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    int err = errno;
    throw EStreamError(std::string(mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"") + fileName +
                       "\". " + SysErrorMessage(err));
  }
}

TFileStream::~TFileStream() { CloseHandle(); }

void TFileStream::CloseHandle() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EStreamError("Cannot read file \"" + fileName_ + "\". " + SysErrorMessage(errno));
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EStreamError("Cannot write file \"" + fileName_ + "\". " + SysErrorMessage(errno));
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError("Cannot seek in file \"" + fileName_ + "\". " + SysErrorMessage(errno));
  return r;
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
    throw EStreamError("Cannot set the size of file \"" + fileName_ + "\". " + SysErrorMessage(errno));
  if (Position() > newSize) SetPosition(newSize);
}

void TFileStream::Flush() {
  if (::fsync(fd_) != 0) throw EStreamError("Cannot write file \"" + fileName_ + "\". " + SysErrorMessage(errno));
}

// ---- TReplaceStream --------------------------------------------------------

namespace {

// The process's file-creation mask, read without changing it: setting the
// mask to learn it would give files that other threads create meanwhile the
// wrong rights.
mode_t processUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The file a save must replace: the final target of a chain of symbolic
// links, so that saving through a link keeps the link.
std::string resolveReplaceTarget(const std::string& name) {
  std::string current = name;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buf(static_cast<size_t>(std::max<off_t>(st.st_size, PATH_MAX)) + 1);
    ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size() - 1);
    if (n < 0) return current;
    std::string link(buf.data(), static_cast<size_t>(n));
    if (!link.empty() && link[0] == '/') {
      current = link;
    } else {
      size_t slash = current.rfind('/');
      current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
    }
  }
  throw EStreamError("Cannot create file \"" + name + "\". Too many levels of symbolic links");
}

constexpr size_t kTempNameBaseMax = 200;

std::pair<std::string, int> makeSiblingTemp(const std::string& target) {
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // The temporary name adds 8 bytes to the target's; a name near the 255-byte
  // limit is shortened for it.
  std::string pattern = dir + "." + base.substr(0, kTempNameBaseMax) + ".XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) throw EStreamError("Cannot create file \"" + target + "\". " + SysErrorMessage(errno));
  return {std::string(buf.data()), fd};
}

}  // namespace

TReplaceStream::Prepared TReplaceStream::prepare(const std::string& fileName) {
  // The kernel follows the links itself here, also the ones of /proc such
  // as /dev/stdout, whose text names no file.
  struct stat st;
  if (::stat(fileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) throw EStreamError("Cannot create file \"" + fileName + "\". " + SysErrorMessage(EISDIR));
    int fd = ::open(fileName.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) throw EStreamError("Cannot create file \"" + fileName + "\". " + SysErrorMessage(errno));
    return {fileName, fd, fileName, true};
  }
  std::string target = resolveReplaceTarget(fileName);
  // Renaming over a file needs only the folder's permission; a file the user
  // may not write must not be replaced behind its back.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
    int err = errno;
    throw EStreamError("Cannot create file \"" + target + "\". " + SysErrorMessage(err));
  }
  auto [tempName, fd] = makeSiblingTemp(target);
  return {std::move(tempName), fd, std::move(target), false};
}

TReplaceStream::TReplaceStream(const std::string& fileName) : TReplaceStream(prepare(fileName)) {}

TReplaceStream::TReplaceStream(Prepared prepared)
    : TFileStream(std::move(prepared.tempName), prepared.fd),
      target_(std::move(prepared.target)),
      inPlace_(prepared.inPlace) {}

TReplaceStream::~TReplaceStream() {
  if (!committed_ && !inPlace_) ::unlink(FileName().c_str());
}

void TReplaceStream::Commit() {
  if (committed_) return;
  if (inPlace_) {
    committed_ = true;
    CloseHandle();
    return;
  }
  Flush();
  struct stat st;
  mode_t mode;
  if (::stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    // The owner and group stay as they were where the rights allow it (root
    // saving a user's file), else at least the group (a member of it saving).
    // Changing the owner clears set-user-ID, so the mode is set afterwards.
    if (::fchown(Handle(), st.st_uid, st.st_gid) != 0) (void)::fchown(Handle(), static_cast<uid_t>(-1), st.st_gid);
  } else {
    mode = 0666 & ~processUmask();
  }
  if (::fchmod(Handle(), mode) != 0 || ::rename(FileName().c_str(), target_.c_str()) != 0)
    throw EStreamError("Cannot write file \"" + target_ + "\". " + SysErrorMessage(errno));
  committed_ = true;
  CloseHandle();
  // Make the rename itself durable.
  size_t slash = target_.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target_.substr(0, slash));
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}
