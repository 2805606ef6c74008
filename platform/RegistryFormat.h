#pragma once
// The settings registry in memory (a tree of keys holding typed values) and
// its text file format.
//
// File format, one item per line (lines end with LF; CR before LF is ignored):
//
//   orvel-registry 1
//   ; comment (also "#"); blank lines are ignored
//   [Software\Orvel\Quillon2]
//   "Name"=sz:"text with \"quotes\", \\ and \x7F"
//   @=sz:"the key's default value"
//   "Count"=dword:0000002A
//   "Swapped"=dword_be:0000002A
//   "Path"=expand_sz:"%HOME%/work"
//   "Bytes"=binary:01,02,FF
//   "List"=multi_sz:"a","","b"
//   "Other"=hex(11):00,01,02,03,04,05,06,07
//
// A key line names the full path of a key below the root, components joined
// by backslashes; "[]" is the root itself. In a key line the bytes outside
// 0x21..0x7E and the characters "%", "[" and "]" are written "%HH". In quoted
// names and strings the bytes outside 0x20..0x7E are written "\xHH" (or \t,
// \n, \r), and "\" and quotes are escaped. Every key is written, empty ones
// included, so that a key without values survives.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Exceptions.h"

// Value types, numbered as in the settings the suite's programs read.
enum TRegDataType : uint32_t {
  regNone = 0,
  regString = 1,
  regExpandString = 2,
  regBinary = 3,
  regDWord = 4,
  regDWordBigEndian = 5,
  regLink = 6,
  regMultiString = 7,
  regResourceList = 8,
  regFullResourceDescriptor = 9,
  regResourceRequirementsList = 10,
  regQWord = 11,
};

// Limits of names and paths; longer names are refused.
constexpr size_t kRegMaxKeyNameLength = 255;
constexpr size_t kRegMaxValueNameLength = 16383;
constexpr size_t kRegMaxKeyDepth = 512;
// A settings file larger than this is refused rather than loaded.
constexpr int64_t kRegMaxFileSize = 256 * 1024 * 1024;

constexpr std::string_view kRegFileMagic = "orvel-registry";
constexpr int kRegFileVersion = 1;

// One value: its type and its bytes. Strings are kept without a terminating
// zero; a 32-bit number as 4 bytes in the byte order of its type; a
// multi-string as its items, each followed by one zero byte, so that empty
// items survive.
struct TRegValue {
  uint32_t Type = regNone;
  std::string Data;

  static TRegValue String(std::string_view text, uint32_t type = regString);
  static TRegValue DWord(uint32_t value, uint32_t type = regDWord);
  static TRegValue Binary(std::string_view bytes, uint32_t type = regBinary);
  // Raises Exception when an item holds a zero byte.
  static TRegValue MultiString(const std::vector<std::string>& items);

  // The number of a 4-byte regDWord or regDWordBigEndian value.
  bool GetDWord(uint32_t& value) const;
  std::vector<std::string> MultiStringItems() const;

  bool operator==(const TRegValue&) const = default;
};

// Orders names as the registry compares them: without regard to case (the
// ANSI code page's case table).
struct TRegNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool RegSameName(std::string_view a, std::string_view b);

struct TRegNode {
  // Values in the order they were created.
  std::vector<std::pair<std::string, TRegValue>> Values;
  // Subkeys by name as created; looked up without regard to case.
  std::map<std::string, std::unique_ptr<TRegNode>, TRegNameLess> SubKeys;

  TRegNode* FindSubKey(std::string_view name) const;
  TRegNode& AddSubKey(std::string_view name);
  const TRegValue* FindValue(std::string_view name) const;
  // True when the value was added or changed.
  bool SetValue(std::string_view name, const TRegValue& value);
  bool DeleteValue(std::string_view name);
};

class ERegistryError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ERegistryError"; }
};

// Parses a settings file; raises ERegistryError naming the file and the line.
std::unique_ptr<TRegNode> ParseRegistryText(std::string_view text, const std::string& fileName);
std::string SerializeRegistry(const TRegNode& root);

// Splits a key path into its names. Answers false for an empty name (two
// backslashes in a row, or one at either end), a name that is too long, or a
// path that is too deep. An empty path gives no names.
bool SplitRegKeyPath(std::string_view path, std::vector<std::string_view>& names);
