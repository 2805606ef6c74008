#include "files/SimpleRegIniFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "files/IniMem.h"
#include "platform/StringList.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class SimpleRegIniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetRegistryRootFile(TRegRootKey::CurrentUser, dir_ / "user.reg", false);
    WriteTestFile(dir_ / "machine.reg",
                  "orvel-registry 1\n[Software\\Vendor\\App]\n[Software\\Vendor\\App\\Main]\n\"Where\"=sz:\"machine\"\n");
    SetRegistryRootFile(TRegRootKey::LocalMachine, dir_ / "machine.reg", true);
    TSimpleRegIniFile::SetKeyCloseTimerHook(nullptr);
  }
  void TearDown() override {
    TSimpleRegIniFile::SetKeyCloseTimerHook(nullptr);
    TSimpleRegIniFile::CloseSectionKeys();
  }

  static void setValue(TRegRootKey root, const std::string& path, const std::string& name, const TRegValue& v) {
    TRegKey key;
    ASSERT_EQ(TRegKey::Open(root, path, true, true, key), TRegResult::Ok);
    key.SetValue(name, v);
  }
  static std::optional<TRegValue> getValue(const std::string& path, const std::string& name) {
    TRegKey key;
    if (TRegKey::Open(TRegRootKey::CurrentUser, path, false, false, key) != TRegResult::Ok) return std::nullopt;
    return key.GetValue(name);
  }

  TTempDir dir_{"quill-regini"};
};

}  // namespace

TEST(SimpleRegIniFilePaths, RootNamesAndKeyPaths) {
  struct {
    std::string path;
    TRegRootKey root;
    std::string keyPath;
  } cases[] = {
      {"HKLM\\Software\\Vendor", TRegRootKey::LocalMachine, "Software\\Vendor"},
      {"[HKEY_CURRENT_USER\\Software\\Orvel\\Quillon2]", TRegRootKey::CurrentUser, "Software\\Orvel\\Quillon2"},
      {"hkey_classes_root\\\\MIME\\Database", TRegRootKey::ClassesRoot, "Software\\RovuRevadav\\MIME\\Database"},
      {"HKCR\\Software\\x\\", TRegRootKey::ClassesRoot, "Software\\x"},
      {"HKU]", TRegRootKey::Users, "Software\\RovuRevadav"},
      {"Tools", TRegRootKey::CurrentUser, "Software\\RovuRevadav\\Tools"},
      {"software\\Orvel\\Scrivel", TRegRootKey::CurrentUser, "software\\Orvel\\Scrivel"},
      {"\\Top\\Key\\\\", TRegRootKey::CurrentUser, "Top\\Key"},
      {"\\\\Kept", TRegRootKey::CurrentUser, "\\\\Kept"},
      {"HKLMX\\a", TRegRootKey::CurrentUser, "Software\\RovuRevadav\\HKLMX\\a"},
      {"[Tools]", TRegRootKey::CurrentUser, "Software\\RovuRevadav\\[Tools]"},
  };
  for (const auto& c : cases) {
    TSimpleRegIniFile ini(c.path);
    EXPECT_EQ(ini.Root(), c.root) << c.path;
    EXPECT_EQ(ini.KeyPath(), c.keyPath) << c.path;
    EXPECT_EQ(ini.FileName(), c.path);
  }
  TSimpleRegIniFile given("HKLM\\x", TRegRootKey::CurrentUser);
  EXPECT_EQ(given.KeyPath(), "Software\\RovuRevadav\\HKLM\\x") << "a given root takes the path as it is";
}

TEST_F(SimpleRegIniFileTest, StoresReadBelowTheirRoot) {
  setValue(TRegRootKey::CurrentUser, "Software\\Vendor\\App\\Main", "Where", TRegValue::String("user"));
  setValue(TRegRootKey::CurrentUser, "Software\\RovuRevadav\\Tools\\Main", "Where", TRegValue::String("tools"));
  EXPECT_EQ(TSimpleRegIniFile("HKLM\\Software\\Vendor\\App").ReadString("Main", "Where", ""), "machine");
  EXPECT_EQ(TSimpleRegIniFile("[HKEY_CURRENT_USER\\Software\\Vendor\\App]").ReadString("Main", "Where", ""), "user");
  EXPECT_EQ(TSimpleRegIniFile("Tools").ReadString("Main", "Where", ""), "tools");
}

TEST_F(SimpleRegIniFileTest, AReadOnlyRootFallsBackToReading) {
  TSimpleRegIniFile ini("HKLM\\Software\\Vendor\\App");
  EXPECT_TRUE(ini.ReadOnly());
  ini.WriteString("Main", "Where", "changed");
  ini.WriteString("New", "x", "1");
  ini.EraseSection("Main");
  EXPECT_EQ(ini.ReadString("Main", "Where", ""), "machine");
  TSimpleRegIniFile missing("HKLM\\Software\\Nothing");
  EXPECT_EQ(missing.ReadString("S", "x", "def"), "def");
  missing.WriteString("S", "x", "1");
  TSimpleRegIniFile readOnly("Software\\Orvel", std::nullopt, false);
  readOnly.WriteString("S", "x", "1");
  EXPECT_FALSE(getValue("Software\\Orvel\\S", "x").has_value());
}

TEST_F(SimpleRegIniFileTest, AnUnwritableSettingsFolderGivesDefaultsAndFailedWrites) {
  WriteTestFile(dir_ / "plain", "a file, not a folder");
  SetRegistryRootFile(TRegRootKey::CurrentUser, dir_ / "plain/user.reg", false);
  TSimpleRegIniFile ini("Software\\Orvel");
  EXPECT_EQ(ini.ReadString("S", "x", "def"), "def");
  EXPECT_THROW(ini.WriteString("S", "x", "1"), ERegistryError);
}

TEST_F(SimpleRegIniFileTest, WritesToADamagedSettingsFileFailAndKeepIt) {
  const std::string damaged = "orvel-registry 1\n[Software\\Orvel\\S]\n\"x\"=sz:\"unterminated\n";
  WriteTestFile(dir_ / "user.reg", damaged);
  TSimpleRegIniFile ini("Software\\Orvel");
  EXPECT_EQ(ini.ReadString("S", "x", "def"), "def");
  try {
    ini.WriteString("S", "y", "1");
    ADD_FAILURE() << "a write to a damaged settings file was taken as done";
  } catch (const ERegistryError& e) {
    EXPECT_NE(e.Message().find("line 3"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(ini.WriteBool("S", "y", true), ERegistryError);
  EXPECT_EQ(ReadTestFile(dir_ / "user.reg"), damaged);
}

TEST_F(SimpleRegIniFileTest, TypedReadsFollowTheValueType) {
  ::setenv("QUILL_REG_TEST", "expanded", 1);
  struct {
    const char* name;
    TRegValue value;
    std::string asString;
    int32_t asInteger;      // default -7
    int asBoolDefFalse;     // 0, 1
    int asBoolDefTrue;
  } cases[] = {
      {"str", TRegValue::String("12"), "12", 12, 1, 1},
      {"str12x", TRegValue::String("12x"), "12x", -7, 1, 1},
      {"hex", TRegValue::String("$10"), "$10", 16, 0, 1},
      {"yes", TRegValue::String("yes"), "yes", -7, 1, 1},
      {"off", TRegValue::String("off"), "off", -7, 0, 1},
      {"False", TRegValue::String("False"), "False", -7, 0, 0},
      {"empty", TRegValue::String(""), "", -7, 0, 1},
      {"zeroEnd", TRegValue::String("5\0"s), "5", 5, 0, 1},
      {"expand", TRegValue::String("%QUILL_REG_TEST%/1", regExpandString), "expanded/1", -7, 0, 1},
      {"dword", TRegValue::DWord(0xFFFFFFFF), "4294967295", -1, 1, 1},
      {"dword0", TRegValue::DWord(0), "0", 0, 0, 0},
      {"bigEndian", TRegValue::DWord(258, regDWordBigEndian), "258", 258, 1, 1},
      {"bin1", TRegValue::Binary("\x01"), "\x01", 1, 1, 1},
      {"bin1zero", TRegValue::Binary("\0"s), "\0"s, 0, 0, 0},
      {"bin1two", TRegValue::Binary("\x02"), "\x02", 2, 0, 1},
      {"bin2", TRegValue::Binary("\x01\x02"), "\x01\x02", 0x0201, 0, 1},
      {"bin3", TRegValue::Binary("\x01\x02\x03"), "\x01\x02\x03", -7, 0, 1},
      {"bin4", TRegValue::Binary("\xFF\xFF\xFF\x7F"), "\xFF\xFF\xFF\x7F", INT32_MAX, 0, 1},
      {"multi", TRegValue::MultiString({"a", "", "b"}), "a\0\0b\0"s, -7, 0, 1},
      {"qword", TRegValue::Binary("\x01\0\0\0\0\0\0\0"s, regQWord), "\x01\0\0\0\0\0\0\0"s, -7, 0, 1},
  };
  for (const auto& c : cases) setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\T\\S", c.name, c.value);
  TSimpleRegIniFile ini("Software\\Orvel\\T");
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString("S", c.name, "def"), c.asString) << c.name;
    EXPECT_EQ(ini.ReadInteger("S", c.name, -7), c.asInteger) << c.name;
    EXPECT_EQ(ini.ReadBool("S", c.name, false), c.asBoolDefFalse != 0) << c.name;
    EXPECT_EQ(ini.ReadBool("S", c.name, true), c.asBoolDefTrue != 0) << c.name;
  }
  EXPECT_EQ(ini.ReadString("S", "missing", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("S", "missing", -7), -7);
  EXPECT_EQ(ini.ReadString("Missing", "x", "def"), "def");
}

TEST_F(SimpleRegIniFileTest, ExpansionIsNotCut) {
  std::string longValue(10000, 'v');
  ::setenv("QUILL_REG_LONG", longValue.c_str(), 1);
  setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\S", "p", TRegValue::String("<%QUILL_REG_LONG%>", regExpandString));
  EXPECT_EQ(TSimpleRegIniFile("Software\\Orvel").ReadString("S", "p", ""), "<" + longValue + ">");
}

TEST_F(SimpleRegIniFileTest, WritesAndWriteBoolKeepingTheType) {
  TSimpleRegIniFile ini("Software\\Orvel\\Quillon2");
  setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\Quillon2\\Opt", "num", TRegValue::DWord(0));
  setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\Quillon2\\Opt", "be", TRegValue::DWord(0, regDWordBigEndian));
  setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\Quillon2\\Opt", "bin", TRegValue::Binary("\0\0\0\0"s));
  setValue(TRegRootKey::CurrentUser, "Software\\Orvel\\Quillon2\\Opt", "str", TRegValue::String("no"));
  ini.WriteBool("Opt", "num", true);
  ini.WriteBool("Opt", "be", true);
  ini.WriteBool("Opt", "bin", true);
  ini.WriteBool("Opt", "str", true);
  ini.WriteBool("Opt", "new", true);
  ini.WriteInteger("Opt", "int", -2);
  ini.WriteString("Opt", "text", "line 1\nline 2");
  const std::string key = "Software\\Orvel\\Quillon2\\Opt";
  EXPECT_EQ(*getValue(key, "num"), TRegValue::DWord(1));
  EXPECT_EQ(*getValue(key, "be"), TRegValue::DWord(1, regDWordBigEndian));
  EXPECT_EQ(*getValue(key, "bin"), TRegValue::Binary("\x01"));
  EXPECT_EQ(*getValue(key, "str"), TRegValue::String("1"));
  EXPECT_EQ(*getValue(key, "new"), TRegValue::String("1"));
  EXPECT_EQ(*getValue(key, "int"), TRegValue::DWord(0xFFFFFFFE));
  EXPECT_EQ(ini.ReadString("Opt", "text", ""), "line 1\nline 2");

  TStringList names, values, sections;
  ini.ReadSection("opt", names);
  EXPECT_EQ(names.Count(), 7);
  ini.ReadSectionValues("Opt", values);
  EXPECT_EQ(values.Get(0), "num=1");
  EXPECT_EQ(values.Get(5), "int=4294967294");
  ini.WriteString("Second", "x", "1");
  ini.ReadSections(sections);
  EXPECT_EQ(sections.Count(), 2);
  EXPECT_TRUE(ini.SectionExists("second"));
  EXPECT_TRUE(ini.ValueExists("Opt", "BIN"));

  ini.DeleteKey("Opt", "bin");
  EXPECT_FALSE(ini.ValueExists("Opt", "bin"));
  ini.DeleteKey("Missing", "x");
  EXPECT_FALSE(ini.SectionExists("Missing")) << "deleting from a missing section does not create it";
  ini.EraseSection("");  // would be the store's own key: refused
  EXPECT_TRUE(ini.SectionExists("Opt"));
  ini.EraseSection("Opt");
  EXPECT_FALSE(ini.SectionExists("Opt"));
  EXPECT_TRUE(ini.SectionExists("Second"));
}

TEST_F(SimpleRegIniFileTest, TheSectionKeyStaysOpenUntilTheTimerFires) {
  std::vector<std::function<void()>> timers;
  TSimpleRegIniFile::SetKeyCloseTimerHook([&](int ms, std::function<void()> cb) {
    EXPECT_EQ(ms, 1000);
    timers.push_back(std::move(cb));
    return true;
  });
  TSimpleRegIniFile ini("Software\\Orvel\\Timer");
  TSimpleRegIniFile other("Software\\Orvel\\Timer2");
  ini.WriteString("S", "a", "1");
  EXPECT_EQ(ini.ReadString("S", "a", ""), "1");
  EXPECT_EQ(ini.ReadInteger("S", "a", 0), 1);
  other.ReadString("S", "a", "");
  EXPECT_EQ(ini.SectionKeyOpenCount(), 1) << "a burst on one section opens it once";
  EXPECT_EQ(timers.size(), 1u) << "one timer for the process";
  EXPECT_TRUE(ini.SectionKeyOpen());
  timers[0]();
  EXPECT_FALSE(ini.SectionKeyOpen());
  EXPECT_FALSE(other.SectionKeyOpen());
  ini.ReadString("S", "a", "");
  EXPECT_EQ(ini.SectionKeyOpenCount(), 2);
  EXPECT_EQ(timers.size(), 2u);

  // Without an event loop the key is closed after each operation.
  TSimpleRegIniFile::SetKeyCloseTimerHook(nullptr);
  timers[1]();
  ini.ReadString("S", "a", "");
  EXPECT_FALSE(ini.SectionKeyOpen());
}

TEST_F(SimpleRegIniFileTest, MergedIntoAnIniFileAValueCannotAddLines) {
  TSimpleRegIniFile reg("Software\\Orvel\\Merge");
  reg.WriteString("S", "a", "1");
  TMemoryIniFile whole, byEntry;
  whole.Merge(reg, true);
  byEntry.Merge(reg, false);
  EXPECT_EQ(whole.GetText(), "[S]\na=1\n");
  EXPECT_EQ(byEntry.GetText(), "[S]\na=1\n");
  reg.WriteString("S", "text", "line 1\ninjected=2");
  EXPECT_THROW(whole.Merge(reg, true), EIniFileException);
  EXPECT_THROW(byEntry.Merge(reg, false), EIniFileException);
  EXPECT_EQ(whole.ReadString("S", "injected", "none"), "none");
  EXPECT_EQ(byEntry.ReadString("S", "injected", "none"), "none");
}

TEST_F(SimpleRegIniFileTest, NamesStayInsideTheStore) {
  TSimpleRegIniFile ini("Software\\Orvel");
  ini.WriteString("..\\..\\..", "../../x", "1");
  ini.WriteString("/etc", "/passwd", "1");
  EXPECT_EQ(ini.ReadString("..\\..\\..", "../../x", ""), "1");
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(dir_.Path())) entries.push_back(e.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"machine.reg", "user.reg", "user.reg.lock"}));
}
