#include "files/SimpleRegIniFile.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Format.h"
#include "platform/StringList.h"

namespace {

struct RootName {
  std::string_view name;
  TRegRootKey root;
};

// Long names first, so that a short name never cuts a long one.
constexpr RootName kRootNames[] = {
    {"HKEY_LOCAL_MACHINE", TRegRootKey::LocalMachine}, {"HKEY_CURRENT_USER", TRegRootKey::CurrentUser},
    {"HKEY_USERS", TRegRootKey::Users},                {"HKEY_CLASSES_ROOT", TRegRootKey::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", TRegRootKey::CurrentConfig}, {"HKEY_DYN_DATA", TRegRootKey::DynData},
    {"HKLM", TRegRootKey::LocalMachine},               {"HKCU", TRegRootKey::CurrentUser},
    {"HKU", TRegRootKey::Users},                       {"HKCR", TRegRootKey::ClassesRoot},
    {"HKCC", TRegRootKey::CurrentConfig},              {"HKDD", TRegRootKey::DynData},
};

bool startsWithText(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && AnsiSameText(s.substr(0, prefix.size()), prefix);
}

// The stores of the process, for the timer that closes their section keys.
struct StoreList {
  std::mutex lock;
  std::vector<TSimpleRegIniFile*> stores;
  TKeyCloseTimerHook hook;
  bool timerRunning = false;
};

StoreList& storeList() {
  static StoreList list;
  return list;
}

bool startKeyCloseTimer() {
  StoreList& list = storeList();
  TKeyCloseTimerHook hook;
  {
    std::lock_guard guard(list.lock);
    if (list.timerRunning) return true;
    if (!list.hook) return false;
    hook = list.hook;
    list.timerRunning = true;
  }
  bool started = false;
  try {
    started = hook(kSectionKeyCloseDelayMs, [] { TSimpleRegIniFile::CloseSectionKeys(); });
  } catch (...) {
    started = false;
  }
  if (!started) {
    std::lock_guard guard(list.lock);
    list.timerRunning = false;
  }
  return started;
}

bool keyCloseTimerRunning() {
  StoreList& list = storeList();
  std::lock_guard guard(list.lock);
  return list.timerRunning;
}

// A string value's text: one terminating zero, if present, is not part of it.
std::string stringData(const TRegValue& v) {
  std::string text = v.Data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  if (v.Type == regExpandString) text = ExpandEnvironmentStrings(text);
  return text;
}

std::optional<bool> boolFromText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  switch (text[0]) {
    case '1': case 'A': case 'T': case 'Y': case 'a': case 't': case 'y': return true;
    case '0': case 'F': case 'N': case 'f': case 'n': return false;
    default: return std::nullopt;
  }
}

// The typed read rules: what a value gives as text, as an integer and as a
// boolean; none means the reader's default.

std::optional<uint32_t> numberOf(const TRegValue& v) {
  uint32_t number;
  return v.GetDWord(number) ? std::optional<uint32_t>(number) : std::nullopt;
}

std::optional<std::string> textOfValue(const TRegValue& v) {
  switch (v.Type) {
    case regString:
    case regExpandString:
      return stringData(v);
    case regDWord:
    case regDWordBigEndian:
      if (std::optional<uint32_t> number = numberOf(v)) return Format("%u", *number);
      return std::nullopt;
    default:
      return v.Data;
  }
}

std::optional<int32_t> integerOfValue(const TRegValue& v) {
  switch (v.Type) {
    case regString:
    case regExpandString:
      return ParseIniInteger(stringData(v));
    case regDWord:
    case regDWordBigEndian:
      if (std::optional<uint32_t> number = numberOf(v)) return static_cast<int32_t>(*number);
      return std::nullopt;
    case regBinary: {
      // 1, 2 or 4 bytes, little-endian.
      size_t n = v.Data.size();
      if (n != 1 && n != 2 && n != 4) return std::nullopt;
      uint32_t value = 0;
      for (size_t i = 0; i < n; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(v.Data[i])) << (8 * i);
      return static_cast<int32_t>(value);
    }
    default:
      return std::nullopt;
  }
}

std::optional<bool> boolOfValue(const TRegValue& v) {
  switch (v.Type) {
    case regString:
    case regExpandString:
      return boolFromText(stringData(v));
    case regDWord:
    case regDWordBigEndian:
      if (std::optional<uint32_t> number = numberOf(v)) return *number != 0;
      return std::nullopt;
    case regBinary:
      // One byte, 0 or 1.
      if (v.Data.size() == 1 && (v.Data[0] == 0 || v.Data[0] == 1)) return v.Data[0] == 1;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

// ---- paths -----------------------------------------------------------------

bool TSimpleRegIniFile::SplitRootName(std::string_view path, TRegRootKey& root, std::string& rest) {
  size_t p = !path.empty() && path[0] == '[' ? 1 : 0;
  std::string_view s = path.substr(p);
  if (s.size() < 2 || (s[0] != 'H' && s[0] != 'h') || (s[1] != 'K' && s[1] != 'k')) return false;
  for (const RootName& entry : kRootNames) {
    if (!startsWithText(s, entry.name)) continue;
    std::string_view after = s.substr(entry.name.size());
    if (!after.empty() && after[0] != '\\' && after[0] != ']') continue;
    while (!after.empty() && after[0] == '\\') after.remove_prefix(1);
    if (!after.empty() && after.back() == ']') after.remove_suffix(1);
    root = entry.root;
    rest = std::string(after);
    return true;
  }
  return false;
}

std::string TSimpleRegIniFile::NormalizeKeyPath(std::string_view path) {
  std::string out;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    out = std::string(path);  // kept: it names no key and opens nothing
  } else if (!path.empty() && path[0] == '\\') {
    out = std::string(path.substr(1));
  } else if (startsWithText(path, "Software\\")) {
    out = std::string(path);
  } else {
    out = std::string(kDefaultSoftwareKey) + "\\" + std::string(path);
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

// ---- life ------------------------------------------------------------------

TSimpleRegIniFile::TSimpleRegIniFile(const std::string& keyPath, std::optional<TRegRootKey> root, bool writable)
    : TCustomIniFile(keyPath), readOnly_(!writable) {
  std::string path = keyPath;
  if (root) {
    root_ = *root;
  } else if (!SplitRootName(keyPath, root_, path)) {
    root_ = TRegRootKey::CurrentUser;
  }
  keyPath_ = NormalizeKeyPath(path);
  StoreList& list = storeList();
  std::lock_guard guard(list.lock);
  list.stores.push_back(this);
}

TSimpleRegIniFile::~TSimpleRegIniFile() {
  StoreList& list = storeList();
  std::lock_guard guard(list.lock);
  std::erase(list.stores, this);
}

void TSimpleRegIniFile::SetKeyCloseTimerHook(TKeyCloseTimerHook hook) {
  StoreList& list = storeList();
  std::lock_guard guard(list.lock);
  list.hook = std::move(hook);
}

void TSimpleRegIniFile::CloseSectionKeys() {
  StoreList& list = storeList();
  std::lock_guard guard(list.lock);
  list.timerRunning = false;
  for (TSimpleRegIniFile* store : list.stores) store->closeSectionKey();
}

void TSimpleRegIniFile::UpdateFile() {
  closeSectionKey();
  baseKey_.Close();
}

bool TSimpleRegIniFile::ReadOnly() {
  if (readOnly_) return true;
  openBaseKey();
  return baseKey_.IsOpen() && !baseKey_.Writable();
}

// ---- keys ------------------------------------------------------------------

void TSimpleRegIniFile::openKey(const TRegKey* parent, const std::string& path, bool create, bool readOnly,
                                TRegKey& key, bool forWrite) {
  auto open = [&](bool writable, bool createIt) {
    return parent ? parent->OpenSubKey(path, writable, createIt, key) : TRegKey::Open(root_, path, writable, createIt, key);
  };
  TRegResult result = TRegResult::NotFound;
  if (!readOnly) result = open(true, false);
  if (result != TRegResult::Ok) result = open(false, false);
  if (result != TRegResult::Ok && result != TRegResult::AccessDenied && create && !readOnly) {
    try {
      open(true, true);
    } catch (const ERegistryError&) {
      // For a read, a key that cannot be created is a key that is not there
      // and the read answers its default; a write reports the failure.
      key.Close();
      if (forWrite) throw;
    }
  }
  if (forWrite && !key.IsOpen()) {
    // A damaged settings file refuses every write until the user repairs
    // it: say so instead of dropping the write.
    TRegistryRoot& root = RegistryRoot(root_);
    if (!root.ReadOnly()) {
      std::string error = root.LoadError();
      if (!error.empty()) throw ERegistryError(error);
    }
  }
}

bool TSimpleRegIniFile::openBaseKey(bool forWrite) {
  if (!baseKey_.IsOpen()) openKey(nullptr, keyPath_, !readOnly_, readOnly_, baseKey_, forWrite);
  return baseKey_.IsOpen();
}

TRegKey* TSimpleRegIniFile::sectionKey(const std::string& section, bool forWrite) {
  if (forWrite && readOnly_) return nullptr;
  if (sectionKey_.IsOpen() && RegSameName(sectionName_, section) && (sectionWritable_ == forWrite || sectionWritable_))
    return &sectionKey_;
  closeSectionKey();
  if (!openBaseKey(forWrite)) return nullptr;
  if (section.empty()) return forWrite && !baseKey_.Writable() ? nullptr : &baseKey_;
  openKey(&baseKey_, section, forWrite, !forWrite || !baseKey_.Writable(), sectionKey_, forWrite);
  if (!sectionKey_.IsOpen()) return nullptr;
  if (forWrite && !sectionKey_.Writable()) {
    sectionKey_.Close();
    return nullptr;
  }
  ++sectionOpenCount_;
  sectionName_ = section;
  sectionWritable_ = sectionKey_.Writable();
  startKeyCloseTimer();
  return &sectionKey_;
}

void TSimpleRegIniFile::closeSectionKey() {
  sectionKey_.Close();
  sectionName_.clear();
  sectionWritable_ = false;
}

void TSimpleRegIniFile::releaseSectionKey() {
  if (!keyCloseTimerRunning()) closeSectionKey();
}

std::optional<TRegValue> TSimpleRegIniFile::readValue(const std::string& section, const std::string& ident) {
  std::optional<TRegValue> value;
  if (TRegKey* key = sectionKey(section, false)) value = key->GetValue(ident);
  releaseSectionKey();
  return value;
}

// ---- reading ---------------------------------------------------------------

std::string TSimpleRegIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  std::optional<TRegValue> v = readValue(section, ident);
  return v ? textOfValue(*v).value_or(def) : def;
}

int32_t TSimpleRegIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def) {
  std::optional<TRegValue> v = readValue(section, ident);
  return v ? integerOfValue(*v).value_or(def) : def;
}

bool TSimpleRegIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  std::optional<TRegValue> v = readValue(section, ident);
  return v ? boolOfValue(*v).value_or(def) : def;
}

std::vector<std::string> TSimpleRegIniFile::valueNames(const std::string& section) {
  std::vector<std::string> names;
  if (TRegKey* key = sectionKey(section, false)) names = key->ValueNames();
  releaseSectionKey();
  return names;
}

void TSimpleRegIniFile::ReadSection(const std::string& section, TStrings& strings) {
  std::vector<std::string> names = valueNames(section);
  strings.BeginUpdate();
  for (const std::string& name : names) strings.Add(name);
  strings.EndUpdate();
}

void TSimpleRegIniFile::ReadSectionValues(const std::string& section, TStrings& strings) {
  std::vector<std::string> names = valueNames(section);
  strings.BeginUpdate();
  for (const std::string& name : names) strings.Add(name + "=" + ReadString(section, name, ""));
  strings.EndUpdate();
}

void TSimpleRegIniFile::ReadSections(TStrings& strings) {
  std::vector<std::string> names;
  if (openBaseKey()) names = baseKey_.SubKeyNames();
  strings.BeginUpdate();
  for (const std::string& name : names) strings.Add(name);
  strings.EndUpdate();
}

bool TSimpleRegIniFile::SectionExists(const std::string& section) {
  bool exists = sectionKey(section, false) != nullptr;
  releaseSectionKey();
  return exists;
}

bool TSimpleRegIniFile::ValueExists(const std::string& section, const std::string& ident) {
  return readValue(section, ident).has_value();
}

// ---- writing ---------------------------------------------------------------

void TSimpleRegIniFile::writeSection(const std::string& section, const std::function<void(TRegKey&)>& write) {
  TRegKey* key = sectionKey(section, true);
  try {
    if (key) write(*key);
  } catch (...) {
    releaseSectionKey();
    throw;
  }
  releaseSectionKey();
}

void TSimpleRegIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  writeSection(section, [&](TRegKey& key) { key.SetString(ident, value); });
}

void TSimpleRegIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
  writeSection(section, [&](TRegKey& key) { key.SetDWord(ident, static_cast<uint32_t>(value)); });
}

void TSimpleRegIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  writeSection(section, [&](TRegKey& key) {
    std::optional<TRegValue> old = key.GetValue(ident);
    uint32_t type = old ? old->Type : regNone;
    if (type == regBinary)
      key.SetValue(ident, TRegValue::Binary(std::string(1, value ? '\1' : '\0')));
    else if (type == regDWord || type == regDWordBigEndian)
      key.SetValue(ident, TRegValue::DWord(value ? 1 : 0, type));
    else
      key.SetString(ident, value ? "1" : "0");
  });
}

void TSimpleRegIniFile::EraseSection(const std::string& section) {
  if (section.empty() || readOnly_) return;
  if (sectionKey_.IsOpen() && RegSameName(sectionName_, section)) closeSectionKey();
  if (openBaseKey(true) && baseKey_.Writable()) baseKey_.DeleteSubKeyTree(section);
}

void TSimpleRegIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  // Opening a missing section for writing would create it.
  if (!SectionExists(section)) return;
  writeSection(section, [&](TRegKey& key) { key.DeleteValue(ident); });
}
