#pragma once
// The settings registry: typed values in a tree of keys below a few roots.
//
// The current user's root is the file "user.reg" in the user's settings
// folder ($ORVEL_CONFIG_HOME, else $XDG_CONFIG_HOME/orvel, else
// ~/.config/orvel). The local machine and classes roots are read-only files
// of the program's data folder ("machine.reg" and "classes.reg"); the other
// roots are empty and read-only.
//
// Several processes share the user's root. Every change is made under an
// advisory lock on "user.reg.lock": the writer re-reads the file when it
// changed on disk (inode, size and modification time to the nanosecond),
// applies its change to what is there now and replaces the file atomically
// (temporary file, fsync, rename). So two processes writing different values
// at once both keep them, and a reader sees either the old or the new file.
// Reads check the file's stamp and re-read it only when it changed.
//
// Key and value names are data inside one file: no name becomes a path.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryFormat.h"

enum class TRegRootKey { LocalMachine, CurrentUser, Users, ClassesRoot, CurrentConfig, DynData };

enum class TRegResult {
  Ok,
  NotFound,      // the key or value does not exist
  AccessDenied,  // a write to a read-only root or through a read-only key
  InvalidName,   // an empty, too long or too deep name or path
};

// The identity of a file's content as far as the file system tells it.
struct TFileStamp {
  bool Exists = false;
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t MTimeSec = 0;
  int64_t MTimeNsec = 0;
  // The change time too: a new file may get a freed inode number back, with
  // the same size, within one tick of the coarse file-system clock.
  int64_t CTimeSec = 0;
  int64_t CTimeNsec = 0;

  static TFileStamp Of(const std::string& fileName);
  // The stamp of an open file, which matches what is read through it.
  static TFileStamp OfHandle(int fd);
  bool operator==(const TFileStamp&) const = default;
};

// One root: its tree, kept in step with its file.
class TRegistryRoot {
public:
  using TChangeListener = std::function<void(TRegistryRoot&)>;

  // fileName empty: a root that exists only in memory.
  TRegistryRoot(TRegRootKey key, std::string fileName, bool readOnly);
  ~TRegistryRoot();
  TRegistryRoot(const TRegistryRoot&) = delete;
  TRegistryRoot& operator=(const TRegistryRoot&) = delete;

  TRegRootKey Key() const { return key_; }
  const std::string& FileName() const { return fileName_; }
  bool ReadOnly() const { return readOnly_; }
  // Points the root at another file; the tree is read again on next use.
  // An open update bracket ends and its unwritten changes are dropped.
  void SetFile(const std::string& fileName, bool readOnly);

  // Runs f on the current tree, after re-reading the file if it changed.
  // f must not call back into the registry.
  template <class F>
  auto Read(F&& f) {
    std::lock_guard guard(mutex_);
    refreshLocked();
    return f(static_cast<const TRegNode&>(*tree_));
  }
  // Applies a change: under the file lock, re-reads the file if it changed,
  // runs f (which answers whether it changed the tree) and, when it did,
  // writes the file. Raises ERegistryError when the file cannot be written;
  // the change is then dropped. Answers f's answer.
  // Inside an update bracket the change is made in memory only and f is
  // kept; EndUpdate writes the file once, applying the kept changes again
  // to the file's current content. f must therefore own what it uses.
  bool Change(const std::function<bool(TRegNode&)>& f);

  // Brackets a burst of changes so that the file is written once, at the
  // outermost EndUpdate (which raises like Change when it cannot write).
  // Meanwhile this process reads its own changes; other processes see them
  // after EndUpdate.
  void BeginUpdate();
  void EndUpdate();

  // Counts the changes seen by this process: its own writes and the other
  // processes' writes found on a read or a poll.
  uint64_t Generation();
  // Checks the file now; answers true when the tree changed since the last
  // check. Listeners are called for changes from other processes found here
  // and for this process's own changes.
  bool PollChanges();
  int AddChangeListener(TChangeListener listener);
  void RemoveChangeListener(int id);

  // The message of the last failure to read the file ("" when it was read),
  // for example a damaged file. A root whose file is damaged reads as empty
  // and refuses writes, so that the file is kept for the user to repair.
  std::string LoadError();
  // Whether a change can be made now: the root is not read-only and its file
  // is not damaged.
  bool WritableNow();

  // For tests: called after the new file is written and flushed and before
  // it replaces the old one.
  static void SetBeforeReplaceHook(std::function<void()> hook);

private:
  void refreshLocked();
  void loadLocked(const TFileStamp& stamp);
  void writeLocked();
  void notify();

  TRegRootKey key_;
  std::string fileName_;
  bool readOnly_;
  std::recursive_mutex mutex_;
  std::unique_ptr<TRegNode> tree_;
  TFileStamp stamp_;
  bool loaded_ = false;
  bool damaged_ = false;
  std::string loadError_;
  uint64_t generation_ = 0;
  uint64_t notifiedGeneration_ = 0;
  int nextListenerId_ = 1;
  std::vector<std::pair<int, TChangeListener>> listeners_;
  int updateDepth_ = 0;
  std::vector<std::function<bool(TRegNode&)>> pending_;
};

// Holds a root's update bracket for its lifetime.
class TRegistryUpdate {
public:
  explicit TRegistryUpdate(TRegistryRoot& root) : root_(root) { root_.BeginUpdate(); }
  // Raises when the file cannot be written, unless an exception is already on its way.
  ~TRegistryUpdate() noexcept(false) {
    if (std::uncaught_exceptions() > uncaught_) {
      try {
        root_.EndUpdate();
      } catch (...) {
      }
    } else {
      root_.EndUpdate();
    }
  }
  TRegistryUpdate(const TRegistryUpdate&) = delete;
  TRegistryUpdate& operator=(const TRegistryUpdate&) = delete;

private:
  TRegistryRoot& root_;
  int uncaught_ = std::uncaught_exceptions();
};

// The process's root object for a root key, created on first use.
TRegistryRoot& RegistryRoot(TRegRootKey key);
// Points a root at another file (tests, or a program with its own data
// folder). Root objects live as long as the process, so open keys stay valid
// and see the new file.
void SetRegistryRootFile(TRegRootKey key, const std::string& fileName, bool readOnly);
// The user's settings folder and the program's data folder, as described above;
// the data folder is $ORVEL_DATA_DIR, else "../share/orvel" or "data" beside
// the running program.
std::string UserConfigDir();
std::string ProgramDataDir();

// An open key: a root and a path below it, for reading or also for writing.
// A key holds no state of the tree: each call finds its node again, so a key
// sees what other processes wrote. A key deleted meanwhile reads as empty;
// writing through it creates it again.
class TRegKey {
public:
  TRegKey() = default;

  // Opens root\path. With create, a missing key is created (writable only).
  static TRegResult Open(TRegRootKey root, std::string_view path, bool writable, bool create, TRegKey& key);
  TRegResult OpenSubKey(std::string_view subPath, bool writable, bool create, TRegKey& key) const;

  bool IsOpen() const { return root_ != nullptr; }
  bool Writable() const { return writable_; }
  TRegRootKey Root() const { return rootKey_; }
  const std::string& Path() const { return path_; }
  void Close();

  // The name "" is the key's default value.
  std::optional<TRegValue> GetValue(std::string_view name) const;
  bool ValueExists(std::string_view name) const { return GetValue(name).has_value(); }
  std::vector<std::string> ValueNames() const;
  std::vector<std::string> SubKeyNames() const;
  bool Exists() const;

  // Writes raise ERegistryError when the file cannot be written.
  TRegResult SetValue(std::string_view name, const TRegValue& value);
  TRegResult SetString(std::string_view name, std::string_view text) {
    return SetValue(name, TRegValue::String(text));
  }
  TRegResult SetDWord(std::string_view name, uint32_t value) { return SetValue(name, TRegValue::DWord(value)); }
  TRegResult DeleteValue(std::string_view name);
  // Deletes subPath below this key with everything below it. An empty
  // subPath is refused (InvalidName): a key does not delete itself.
  TRegResult DeleteSubKeyTree(std::string_view subPath);

private:
  TRegistryRoot* root_ = nullptr;
  TRegRootKey rootKey_ = TRegRootKey::CurrentUser;
  std::string path_;
  bool writable_ = false;
};

// Expands %NAME% with the environment variable NAME; a name that is not set,
// and a lone "%", stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text);
