#include "platform/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/Format.h"
#include "platform/Streams.h"

namespace {

constexpr const char* kUserRootFile = "user.reg";
constexpr const char* kMachineRootFile = "machine.reg";
constexpr const char* kClassesRootFile = "classes.reg";

std::function<void()>& beforeReplaceHook() {
  static std::function<void()> hook;
  return hook;
}

std::string envOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates dir and its missing parents, private to the user.
void makeDirectories(const std::string& dir) {
  if (dir.empty() || isDirectory(dir)) return;
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) makeDirectories(dir.substr(0, slash));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    throw ERegistryError(Format("Cannot create the settings folder \"%s\". %s", dir, SysErrorMessage(errno)));
}

std::string folderOf(const std::string& fileName) {
  size_t slash = fileName.find_last_of('/');
  return slash == std::string::npos ? std::string() : fileName.substr(0, slash);
}

TFileStamp stampOfStat(const struct stat& st) {
  TFileStamp s;
  s.Exists = true;
  s.Device = st.st_dev;
  s.Inode = st.st_ino;
  s.Size = st.st_size;
  s.MTimeSec = st.st_mtim.tv_sec;
  s.MTimeNsec = st.st_mtim.tv_nsec;
  s.CTimeSec = st.st_ctim.tv_sec;
  s.CTimeNsec = st.st_ctim.tv_nsec;
  return s;
}

// Holds the advisory lock of a root's file. A fresh descriptor each time,
// so that a forked child does not share the parent's lock.
class FileLock {
public:
  explicit FileLock(const std::string& lockName) {
    fd_ = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
      throw ERegistryError(Format("Cannot lock the settings file \"%s\". %s", lockName, SysErrorMessage(errno)));
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd_);
      throw ERegistryError(Format("Cannot lock the settings file \"%s\". %s", lockName, SysErrorMessage(err)));
    }
  }
  ~FileLock() { ::close(fd_); }  // closing releases the lock
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

private:
  int fd_ = -1;
};

// Takes the lock of a root's file, creating the settings folder on first use.
FileLock lockRootFile(const std::string& fileName) {
  makeDirectories(folderOf(fileName));
  return FileLock(fileName + ".lock");
}

template <class Node>
Node* findNode(Node& root, std::string_view path) {
  std::vector<std::string_view> names;
  if (!SplitRegKeyPath(path, names)) return nullptr;
  Node* node = &root;
  for (std::string_view name : names) {
    node = node->FindSubKey(name);
    if (!node) return nullptr;
  }
  return node;
}

TRegNode* findOrCreateNode(TRegNode& root, std::string_view path) {
  std::vector<std::string_view> names;
  if (!SplitRegKeyPath(path, names)) return nullptr;
  TRegNode* node = &root;
  for (std::string_view name : names) node = &node->AddSubKey(name);
  return node;
}

std::string joinKeyPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string p(a);
  p += '\\';
  p += b;
  return p;
}

}  // namespace

// ---- stamps and folders ----------------------------------------------------

TFileStamp TFileStamp::Of(const std::string& fileName) {
  struct stat st;
  if (::stat(fileName.c_str(), &st) != 0) return TFileStamp{};
  return stampOfStat(st);
}

TFileStamp TFileStamp::OfHandle(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return TFileStamp{};
  return stampOfStat(st);
}

std::string UserConfigDir() {
  std::string dir = envOrEmpty("ORVEL_CONFIG_HOME");
  if (!dir.empty()) return dir;
  std::string xdg = envOrEmpty("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg + "/orvel";
  std::string home = envOrEmpty("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return home + "/.config/orvel";
}

std::string ProgramDataDir() {
  std::string dir = envOrEmpty("ORVEL_DATA_DIR");
  if (!dir.empty()) return dir;
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string exeDir = folderOf(std::string(buf, static_cast<size_t>(n)));
  for (const char* candidate : {"/../share/orvel", "/data"})
    if (isDirectory(exeDir + candidate)) return exeDir + candidate;
#ifdef QUILL_BUILD_DATA_DIR
  // A program started from its build tree finds the data of its source tree.
  if (isDirectory(QUILL_BUILD_DATA_DIR)) return QUILL_BUILD_DATA_DIR;
#endif
  return {};
}

// ---- roots -----------------------------------------------------------------

TRegistryRoot::TRegistryRoot(TRegRootKey key, std::string fileName, bool readOnly)
    : key_(key), fileName_(std::move(fileName)), readOnly_(readOnly), tree_(std::make_unique<TRegNode>()) {}

TRegistryRoot::~TRegistryRoot() = default;

void TRegistryRoot::SetFile(const std::string& fileName, bool readOnly) {
  {
    std::lock_guard guard(mutex_);
    fileName_ = fileName;
    readOnly_ = readOnly;
    loaded_ = false;
    // Kept changes belong to the old file.
    updateDepth_ = 0;
    pending_.clear();
    refreshLocked();
    ++generation_;
  }
  notify();
}

void TRegistryRoot::SetBeforeReplaceHook(std::function<void()> hook) { beforeReplaceHook() = std::move(hook); }

void TRegistryRoot::refreshLocked() {
  if (fileName_.empty()) {
    loaded_ = true;
    return;
  }
  TFileStamp now = TFileStamp::Of(fileName_);
  if (loaded_ && now == stamp_) return;
  loadLocked(now);
}

void TRegistryRoot::loadLocked(const TFileStamp& seen) {
  bool hadTree = loaded_;
  loaded_ = true;
  damaged_ = false;
  loadError_.clear();
  std::unique_ptr<TRegNode> tree;
  TFileStamp stamp = seen;
  try {
    int fd = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno != ENOENT && errno != ENOTDIR) throw ERegistryError(Format("Cannot read the settings file \"%s\". %s", fileName_, SysErrorMessage(errno)));
      tree = std::make_unique<TRegNode>();
      stamp = TFileStamp{};
    } else {
      // The stamp of the descriptor read, so that it matches the content
      // even when the file was replaced since the check.
      std::string text;
      struct stat st;
      int err = 0;
      if (::fstat(fd, &st) != 0) {
        err = errno;
      } else if (st.st_size > kRegMaxFileSize) {
        ::close(fd);
        throw ERegistryError(Format("The settings file \"%s\" is too large (%d bytes)", fileName_, static_cast<int64_t>(st.st_size)));
      } else {
        stamp = stampOfStat(st);
        text.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < text.size()) {
          ssize_t n = ::read(fd, text.data() + done, text.size() - done);
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) {
            err = errno;
            break;
          }
          if (n == 0) break;
          done += static_cast<size_t>(n);
        }
        text.resize(done);
      }
      ::close(fd);
      if (err) throw ERegistryError(Format("Cannot read the settings file \"%s\". %s", fileName_, SysErrorMessage(err)));
      tree = ParseRegistryText(text, fileName_);
    }
  } catch (const Exception& e) {
    // Keep the file as it is for the user to repair; read as empty meanwhile.
    tree = std::make_unique<TRegNode>();
    damaged_ = true;
    loadError_ = e.Message();
  }
  tree_ = std::move(tree);
  stamp_ = stamp;
  if (hadTree) ++generation_;
  // Changes of an open update bracket apply to the new content too.
  if (!damaged_)
    for (const auto& change : pending_) change(*tree_);
}

void TRegistryRoot::writeLocked() {
  std::string text = SerializeRegistry(*tree_);
  try {
    TReplaceStream out(fileName_);
    out.WriteString(text);
    out.Flush();
    if (beforeReplaceHook()) beforeReplaceHook()();
    out.Commit();
  } catch (const Exception& e) {
    throw ERegistryError(e.Message());
  }
  stamp_ = TFileStamp::Of(fileName_);
}

bool TRegistryRoot::Change(const std::function<bool(TRegNode&)>& f) {
  bool changed = false;
  {
    std::lock_guard guard(mutex_);
    if (readOnly_) throw ERegistryError("The settings root is read-only");
    if (fileName_.empty()) {
      changed = f(*tree_);
    } else if (updateDepth_ > 0) {
      refreshLocked();
      if (damaged_) throw ERegistryError(loadError_);
      changed = f(*tree_);
      if (changed) pending_.push_back(f);
    } else {
      FileLock lock = lockRootFile(fileName_);
      refreshLocked();
      if (damaged_) throw ERegistryError(loadError_);
      try {
        changed = f(*tree_);
        if (changed) writeLocked();
      } catch (...) {
        // The tree may hold a change the file does not: read the file again.
        loaded_ = false;
        throw;
      }
    }
    if (changed) ++generation_;
  }
  if (changed) notify();
  return changed;
}

void TRegistryRoot::BeginUpdate() {
  std::lock_guard guard(mutex_);
  ++updateDepth_;
}

void TRegistryRoot::EndUpdate() {
  std::lock_guard guard(mutex_);
  if (updateDepth_ == 0 || --updateDepth_ > 0 || pending_.empty()) return;
  try {
    FileLock lock = lockRootFile(fileName_);
    refreshLocked();  // replays the kept changes when the file changed
    if (damaged_) throw ERegistryError(loadError_);
    writeLocked();
  } catch (...) {
    pending_.clear();
    loaded_ = false;
    throw;
  }
  pending_.clear();
}

uint64_t TRegistryRoot::Generation() {
  std::lock_guard guard(mutex_);
  return generation_;
}

bool TRegistryRoot::PollChanges() {
  bool changed;
  {
    std::lock_guard guard(mutex_);
    refreshLocked();
    changed = generation_ != notifiedGeneration_;
  }
  if (changed) notify();
  return changed;
}

void TRegistryRoot::notify() {
  std::vector<TChangeListener> listeners;
  {
    std::lock_guard guard(mutex_);
    notifiedGeneration_ = generation_;
    for (const auto& entry : listeners_) listeners.push_back(entry.second);
  }
  for (const TChangeListener& listener : listeners) {
    try {
      listener(*this);
    } catch (...) {
      // A listener's failure is its own; the change has been made.
    }
  }
}

int TRegistryRoot::AddChangeListener(TChangeListener listener) {
  std::lock_guard guard(mutex_);
  int id = nextListenerId_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void TRegistryRoot::RemoveChangeListener(int id) {
  std::lock_guard guard(mutex_);
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

std::string TRegistryRoot::LoadError() {
  std::lock_guard guard(mutex_);
  refreshLocked();
  return loadError_;
}

bool TRegistryRoot::WritableNow() {
  std::lock_guard guard(mutex_);
  refreshLocked();
  return !readOnly_ && !damaged_;
}

namespace {

std::mutex& rootsMutex() {
  static std::mutex m;
  return m;
}

std::array<std::unique_ptr<TRegistryRoot>, 6>& roots() {
  static std::array<std::unique_ptr<TRegistryRoot>, 6> r;
  return r;
}

void defaultRootFile(TRegRootKey key, std::string& fileName, bool& readOnly) {
  readOnly = true;
  fileName.clear();
  switch (key) {
    case TRegRootKey::CurrentUser:
      fileName = UserConfigDir() + "/" + kUserRootFile;
      readOnly = false;
      break;
    case TRegRootKey::LocalMachine:
    case TRegRootKey::ClassesRoot: {
      std::string dir = ProgramDataDir();
      if (!dir.empty()) fileName = dir + "/" + (key == TRegRootKey::LocalMachine ? kMachineRootFile : kClassesRootFile);
      break;
    }
    default:
      break;
  }
}

}  // namespace

TRegistryRoot& RegistryRoot(TRegRootKey key) {
  std::lock_guard guard(rootsMutex());
  auto& slot = roots()[static_cast<size_t>(key)];
  if (!slot) {
    std::string fileName;
    bool readOnly;
    defaultRootFile(key, fileName, readOnly);
    slot = std::make_unique<TRegistryRoot>(key, fileName, readOnly);
  }
  return *slot;
}

void SetRegistryRootFile(TRegRootKey key, const std::string& fileName, bool readOnly) {
  RegistryRoot(key).SetFile(fileName, readOnly);
}

// ---- keys ------------------------------------------------------------------

TRegResult TRegKey::Open(TRegRootKey rootKey, std::string_view path, bool writable, bool create, TRegKey& key) {
  key.Close();
  std::vector<std::string_view> names;
  if (!SplitRegKeyPath(path, names)) return TRegResult::InvalidName;
  TRegistryRoot& root = RegistryRoot(rootKey);
  if (writable && !root.WritableNow()) return TRegResult::AccessDenied;
  bool exists = root.Read([&](const TRegNode& tree) { return findNode(tree, path) != nullptr; });
  if (!exists) {
    if (!create || !writable) return TRegResult::NotFound;
    root.Change([keyPath = std::string(path)](TRegNode& tree) {
      bool existed = findNode(tree, keyPath) != nullptr;
      findOrCreateNode(tree, keyPath);
      return !existed;
    });
  }
  key.root_ = &root;
  key.rootKey_ = rootKey;
  key.path_ = std::string(path);
  key.writable_ = writable;
  return TRegResult::Ok;
}

TRegResult TRegKey::OpenSubKey(std::string_view subPath, bool writable, bool create, TRegKey& key) const {
  if (!IsOpen()) return TRegResult::NotFound;
  if (subPath.empty()) return TRegResult::InvalidName;
  return Open(rootKey_, joinKeyPath(path_, subPath), writable, create, key);
}

void TRegKey::Close() {
  root_ = nullptr;
  path_.clear();
  writable_ = false;
}

bool TRegKey::Exists() const {
  if (!IsOpen()) return false;
  return root_->Read([&](const TRegNode& tree) { return findNode(tree, path_) != nullptr; });
}

std::optional<TRegValue> TRegKey::GetValue(std::string_view name) const {
  if (!IsOpen()) return std::nullopt;
  return root_->Read([&](const TRegNode& tree) -> std::optional<TRegValue> {
    const TRegNode* node = findNode(tree, path_);
    const TRegValue* value = node ? node->FindValue(name) : nullptr;
    if (!value) return std::nullopt;
    return *value;
  });
}

std::vector<std::string> TRegKey::ValueNames() const {
  std::vector<std::string> names;
  if (!IsOpen()) return names;
  root_->Read([&](const TRegNode& tree) {
    if (const TRegNode* node = findNode(tree, path_))
      for (const auto& entry : node->Values) names.push_back(entry.first);
    return 0;
  });
  return names;
}

std::vector<std::string> TRegKey::SubKeyNames() const {
  std::vector<std::string> names;
  if (!IsOpen()) return names;
  root_->Read([&](const TRegNode& tree) {
    if (const TRegNode* node = findNode(tree, path_))
      for (const auto& entry : node->SubKeys) names.push_back(entry.first);
    return 0;
  });
  return names;
}

TRegResult TRegKey::SetValue(std::string_view name, const TRegValue& value) {
  if (!IsOpen()) return TRegResult::NotFound;
  if (!writable_) return TRegResult::AccessDenied;
  if (name.size() > kRegMaxValueNameLength) return TRegResult::InvalidName;
  root_->Change([path = path_, name = std::string(name), value](TRegNode& tree) {
    return findOrCreateNode(tree, path)->SetValue(name, value);
  });
  return TRegResult::Ok;
}

TRegResult TRegKey::DeleteValue(std::string_view name) {
  if (!IsOpen()) return TRegResult::NotFound;
  if (!writable_) return TRegResult::AccessDenied;
  bool deleted = root_->Change([path = path_, name = std::string(name)](TRegNode& tree) {
    TRegNode* node = findNode(tree, path);
    return node && node->DeleteValue(name);
  });
  return deleted ? TRegResult::Ok : TRegResult::NotFound;
}

TRegResult TRegKey::DeleteSubKeyTree(std::string_view subPath) {
  if (!IsOpen()) return TRegResult::NotFound;
  if (!writable_) return TRegResult::AccessDenied;
  std::vector<std::string_view> names;
  if (subPath.empty() || !SplitRegKeyPath(subPath, names)) return TRegResult::InvalidName;
  std::string full = joinKeyPath(path_, subPath);
  size_t slash = full.find_last_of('\\');
  std::string parentPath = slash == std::string::npos ? std::string() : full.substr(0, slash);
  std::string leaf = slash == std::string::npos ? full : full.substr(slash + 1);
  bool deleted = root_->Change([parentPath, leaf](TRegNode& tree) {
    TRegNode* parent = findNode(tree, parentPath);
    if (!parent) return false;
    auto it = parent->SubKeys.find(leaf);
    if (it == parent->SubKeys.end()) return false;
    parent->SubKeys.erase(it);
    return true;
  });
  return deleted ? TRegResult::Ok : TRegResult::NotFound;
}

// ---- environment -----------------------------------------------------------

std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    out.append(text, pos, open - pos);
    size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      pos = open;
      break;
    }
    std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value) {
      out += value;
      pos = close + 1;
    } else {
      // Not a variable: keep "%name" and let the closing "%" open the next one.
      out.append(text, open, close - open);
      pos = close;
    }
  }
  out.append(text, pos, std::string_view::npos);
  return out;
}
