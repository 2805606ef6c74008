#pragma once
// TSimpleRegIniFile gives a key of the settings registry the INI-file
// interface: sections are subkeys of the store's key, entries are values of
// those subkeys.
//
// A store keeps its own key open, and the most recently used section key
// until a process-wide one-second timer closes it, so that a burst of reads
// and writes of one section opens it once. The timer runs on the program's
// event loop through SetKeyCloseTimerHook; without a hook (console tools,
// tests) a section key is closed after each operation.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/CustomIniFile.h"
#include "platform/Registry.h"

// Starts a one-shot timer on the program's event loop that calls callback
// after the given time; answers false when there is no event loop.
// A Qt program installs:
//   [](int ms, std::function<void()> cb) { QTimer::singleShot(ms, std::move(cb)); return true; }
using TKeyCloseTimerHook = std::function<bool(int milliseconds, std::function<void()> callback)>;

// The key below which relative key paths are placed: Software\<program base name>.
constexpr std::string_view kDefaultSoftwareKey = "Software\\RovuRevadav";
constexpr int kSectionKeyCloseDelayMs = 1000;

class TSimpleRegIniFile : public TCustomIniFile {
public:
  // keyPath may begin with a root name ("HKLM\...", "[HKEY_CURRENT_USER\...]")
  // when root is not given; otherwise it is below the current user's root.
  // A path that does not begin with a backslash or "Software\" is placed
  // below kDefaultSoftwareKey. A store that cannot open its key for writing
  // (a read-only root) reads and ignores writes.
  explicit TSimpleRegIniFile(const std::string& keyPath, std::optional<TRegRootKey> root = std::nullopt,
                             bool writable = true);
  ~TSimpleRegIniFile() override;

  // Strings give their text (expandable ones with %VAR% expanded), numbers
  // their unsigned decimal, binary and other values their bytes.
  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) override;
  // Writes raise ERegistryError when the settings file cannot be written or
  // is damaged (it is then kept as it is for the user to repair).
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  // Numbers; strings as integers; binary values of 1, 2 or 4 bytes, little-endian.
  int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) override;
  void WriteInteger(const std::string& section, const std::string& ident, int32_t value) override;
  // Numbers: non-zero; binary values of one byte: 0 or 1; strings by their
  // first character: "1aAtTyY" true, "0fFnN" false.
  bool ReadBool(const std::string& section, const std::string& ident, bool def) override;
  // Keeps the type of an existing binary or number value; else writes "0" or "1".
  void WriteBool(const std::string& section, const std::string& ident, bool value) override;
  void ReadSection(const std::string& section, TStrings& strings) override;
  void ReadSections(TStrings& strings) override;
  void ReadSectionValues(const std::string& section, TStrings& strings) override;
  bool SectionExists(const std::string& section) override;
  bool ValueExists(const std::string& section, const std::string& ident) override;
  // Deletes the section's subkey with everything below it. An empty section
  // name, which would mean the store's own key, is refused (nothing happens).
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  // Closes the store's keys; the registry writes every change at once.
  void UpdateFile() override;

  // Brackets a burst of writes so that the registry file is written once,
  // at the outermost EndUpdate (see TRegistryRoot::BeginUpdate).
  void BeginUpdate() { RegistryRoot(root_).BeginUpdate(); }
  void EndUpdate() { RegistryRoot(root_).EndUpdate(); }

  TRegRootKey Root() const { return root_; }
  // The key path below the root, normalised.
  const std::string& KeyPath() const { return keyPath_; }
  // True when the store was made read-only or its key opened only for reading.
  bool ReadOnly();
  // Whether a section key is held open, and how often one was opened.
  bool SectionKeyOpen() const { return sectionKey_.IsOpen(); }
  int SectionKeyOpenCount() const { return sectionOpenCount_; }

  static void SetKeyCloseTimerHook(TKeyCloseTimerHook hook);
  // What the timer does: every store closes its section key.
  static void CloseSectionKeys();

  // Splits a root name off the front of a path ("HKLM\x", "[HKEY_USERS\x]");
  // answers false, leaving the path alone, when it has none.
  static bool SplitRootName(std::string_view path, TRegRootKey& root, std::string& rest);
  static std::string NormalizeKeyPath(std::string_view path);

private:
  std::optional<TRegValue> readValue(const std::string& section, const std::string& ident);
  std::vector<std::string> valueNames(const std::string& section);
  // Runs write on the section's key for writing, if the store can write,
  // and releases the key afterwards, also when write raises.
  void writeSection(const std::string& section, const std::function<void(TRegKey&)>& write);
  // The key for a section (the store's key for ""), or nullptr.
  TRegKey* sectionKey(const std::string& section, bool forWrite);
  bool openBaseKey(bool forWrite = false);
  // Opens for writing, else for reading, else creates (with create): the
  // key or none. A write raises when the key cannot be created or the
  // settings file is damaged.
  void openKey(const TRegKey* parent, const std::string& path, bool create, bool readOnly, TRegKey& key,
               bool forWrite);
  void closeSectionKey();
  // After an operation: without a timer the section key does not stay open.
  void releaseSectionKey();

  TRegRootKey root_ = TRegRootKey::CurrentUser;
  std::string keyPath_;
  TRegKey baseKey_;
  TRegKey sectionKey_;
  std::string sectionName_;
  bool sectionWritable_ = false;
  bool readOnly_ = false;
  int sectionOpenCount_ = 0;
};
