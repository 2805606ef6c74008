#pragma once
// Byte streams: the base class, a growable memory stream, a file stream over
// a POSIX descriptor, and the replace stream that swaps a file only on commit.
#include <cstdint>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;

  // Reads up to count bytes; answers how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; answers how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t GetSize();
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  int64_t Size() { return GetSize(); }

  // Read or write exactly count bytes or raise EStreamError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(const std::string& s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }
  // Copies count bytes from source (all of it from the start when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(size_); }
  void SetSize(int64_t newSize) override;

  char* Memory() { return data_.data(); }
  const char* Memory() const { return data_.data(); }
  int64_t Capacity() const { return static_cast<int64_t>(data_.size()); }
  void SetCapacity(int64_t capacity);
  void Clear();
  std::string ToString() const { return std::string(data_.data(), size_); }

  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& dest);
  void SaveToFile(const std::string& fileName);

private:
  std::vector<char> data_;
  size_t size_ = 0;
  size_t position_ = 0;
};

// Open modes of TFileStream (share modes of the original platform do not apply).
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmCreate = 0xFF00,
};

class TFileStream : public TStream {
public:
  // Raises EStreamError "Cannot open file "<name>". <reason>" (or "Cannot create file").
  TFileStream(const std::string& fileName, uint32_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

  int Handle() const { return fd_; }
  const std::string& FileName() const { return fileName_; }
  // Forces the written bytes to the disk; raises on failure.
  void Flush();

protected:
  TFileStream(std::string fileName, int fd) : fd_(fd), fileName_(std::move(fileName)) {}
  void CloseHandle() noexcept;

private:
  int fd_ = -1;
  std::string fileName_;
};

// A write stream whose content replaces the file only on Commit: it writes a
// temporary file in the target's folder, and Commit flushes it to disk, gives
// it the target's mode and renames it over the target (over the final target
// of a symbolic link), keeping its owner and group where the rights allow.
// A target the user may not write is refused when the stream is created.
// Destroyed without Commit, it removes the temporary file and the target
// stays as it was. Any failure raises and leaves the target intact.
class TReplaceStream : public TFileStream {
public:
  explicit TReplaceStream(const std::string& fileName);
  ~TReplaceStream() override;

  void Commit();
  bool Committed() const { return committed_; }
  const std::string& TargetName() const { return target_; }

private:
  struct Prepared {
    std::string tempName;
    int fd;
    std::string target;
    bool inPlace;
  };
  static Prepared prepare(const std::string& fileName);
  explicit TReplaceStream(Prepared prepared);

  std::string target_;
  // A device or a pipe is written as it is: renaming a file over it would
  // replace the device node itself.
  bool inPlace_ = false;
  bool committed_ = false;
};

// The text of the system's error number, for messages.
std::string SysErrorMessage(int errorNumber);
