#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Format.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Each test gets its own settings folder and points the user and machine
// roots at files in it.
class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    userFile_ = dir_ / "config/user.reg";
    machineFile_ = dir_ / "machine.reg";
    SetRegistryRootFile(TRegRootKey::CurrentUser, userFile_, false);
    SetRegistryRootFile(TRegRootKey::LocalMachine, machineFile_, true);
  }
  void TearDown() override {
    TRegistryRoot::SetBeforeReplaceHook(nullptr);
  }

  TRegKey userKey(const std::string& path) {
    TRegKey key;
    EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, path, true, true, key), TRegResult::Ok);
    return key;
  }

  // Runs body in a child process and answers its exit status.
  template <class F>
  static pid_t spawn(F body) {
    pid_t pid = ::fork();
    if (pid == 0) {
      int code = 0;
      try {
        code = body();
      } catch (...) {
        code = 99;
      }
      ::_exit(code);
    }
    return pid;
  }
  static int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  TTempDir dir_{"quill-registry"};
  std::string userFile_;
  std::string machineFile_;
};

TRegNode sampleTree() {
  TRegNode root;
  TRegNode& key = root.AddSubKey("Software").AddSubKey("Orvel");
  key.SetValue("", TRegValue::String("default"));
  key.SetValue("Text", TRegValue::String("quote \" backslash \\ tab \t newline \n cr \r high \xE9 zero \x00 end"s));
  key.SetValue("Path", TRegValue::String("%HOME%/x", regExpandString));
  key.SetValue("Count", TRegValue::DWord(0x2A));
  key.SetValue("Swapped", TRegValue::DWord(0x01020304, regDWordBigEndian));
  key.SetValue("Bytes", TRegValue::Binary("\x01\x00\xFF"s));
  key.SetValue("NoBytes", TRegValue::Binary(""));
  key.SetValue("List", TRegValue::MultiString({"a", "", "b", ""}));
  key.SetValue("EmptyList", TRegValue::MultiString({}));
  key.SetValue("Q", TRegValue::Binary("12345678", regQWord));
  key.SetValue("odd \"name\" = [x] \\ ../..", TRegValue::String("v"));
  key.AddSubKey("Empty key");
  key.AddSubKey("..").AddSubKey("% [weird] \xE9 name");
  root.SetValue("RootValue", TRegValue::DWord(1));
  return root;
}

bool sameTree(const TRegNode& a, const TRegNode& b) {
  if (a.Values != b.Values || a.SubKeys.size() != b.SubKeys.size()) return false;
  for (auto ia = a.SubKeys.begin(), ib = b.SubKeys.begin(); ia != a.SubKeys.end(); ++ia, ++ib)
    if (ia->first != ib->first || !sameTree(*ia->second, *ib->second)) return false;
  return true;
}

}  // namespace

TEST(RegistryFormat, EveryTypeAndNameSurvivesTheFile) {
  TRegNode tree = sampleTree();
  std::string text = SerializeRegistry(tree);
  auto back = ParseRegistryText(text, "test");
  EXPECT_TRUE(sameTree(tree, *back)) << text;
  EXPECT_EQ(SerializeRegistry(*back), text);
  EXPECT_EQ(back->FindSubKey("SOFTWARE")->FindSubKey("orvel")->FindValue("list")->MultiStringItems(),
            (std::vector<std::string>{"a", "", "b", ""}));
  // Every line is printable ASCII.
  for (char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(static_cast<unsigned char>(c));
}

TEST(RegistryFormat, DamagedFilesAreReportedWithTheirLine) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"something else\n", "line 1: not a settings file"},
      {"orvel-registry 2\n", "line 1: format version 2 is newer"},
      {"orvel-registry 1\n[A]\n\"x\"=sz:\"open\n", "line 3: closing quote expected"},
      {"orvel-registry 1\n[A]\n\"x\"=dword:\n", "line 3: hexadecimal number expected"},
      {"orvel-registry 1\n[A]\n\"x\"=binary:0\n", "line 3: hex byte expected"},
      {"orvel-registry 1\n[A\\\\B]\n", "line 2: bad key path"},
      {"orvel-registry 1\n[A]\n\"x\"=float:1\n", "line 3: unknown value type \"float\""},
      {"orvel-registry 1\n[A]\n\"x\"=sz:\"a\" trailing\n", "line 3: text after the value"},
      {"orvel-registry 1\n[A]\n\"x\"=sz:\"\\q\"\n", "line 3: unknown escape"},
  };
  for (const Case& c : cases) {
    try {
      ParseRegistryText(c.text, "f.reg");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ERegistryError& e) {
      EXPECT_NE(e.Message().find("\"f.reg\""), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
    }
  }
}

TEST_F(RegistryTest, KeysValuesAndEnumeration) {
  TRegKey key = userKey("Software\\Orvel\\Quillon2");
  EXPECT_EQ(key.SetString("Name", "value"), TRegResult::Ok);
  EXPECT_EQ(key.SetString("", "default"), TRegResult::Ok);
  EXPECT_EQ(key.SetDWord("Count", 7), TRegResult::Ok);
  TRegKey sub;
  ASSERT_EQ(key.OpenSubKey("MRU\\Files", true, true, sub), TRegResult::Ok);
  sub.SetString("1", "a");

  // Names compare without regard to case; values keep their creation order.
  TRegKey again;
  ASSERT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "SOFTWARE\\orvel\\QUILLON2", false, false, again), TRegResult::Ok);
  EXPECT_EQ(again.GetValue("name")->Data, "value");
  EXPECT_EQ(again.GetValue("")->Data, "default");
  EXPECT_EQ(again.ValueNames(), (std::vector<std::string>{"Name", "", "Count"}));
  EXPECT_EQ(again.SubKeyNames(), (std::vector<std::string>{"MRU"}));
  EXPECT_EQ(again.SetString("x", "y"), TRegResult::AccessDenied);

  EXPECT_EQ(key.DeleteValue("NAME"), TRegResult::Ok);
  EXPECT_EQ(key.DeleteValue("Name"), TRegResult::NotFound);
  EXPECT_FALSE(key.ValueExists("Name"));
  EXPECT_EQ(key.DeleteSubKeyTree(""), TRegResult::InvalidName);
  EXPECT_EQ(key.DeleteSubKeyTree("mru"), TRegResult::Ok);
  EXPECT_FALSE(sub.Exists());
  EXPECT_TRUE(key.SubKeyNames().empty());

  TRegKey missing;
  EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "No\\Such", false, false, missing), TRegResult::NotFound);
  EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "A\\\\B", true, true, missing), TRegResult::InvalidName);
  EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, std::string(256, 'k'), true, true, missing),
            TRegResult::InvalidName);
}

TEST_F(RegistryTest, ChangesAreInTheFileAtOnceAndReadBackByAFreshProcess) {
  TRegKey key = userKey("Software\\Orvel");
  key.SetValue("List", TRegValue::MultiString({"", "x", ""}));
  EXPECT_NE(ReadTestFile(userFile_).find("\"List\"=multi_sz:\"\",\"x\",\"\""), std::string::npos);
  pid_t child = spawn([&] {
    // A process that never saw the tree reads the file.
    SetRegistryRootFile(TRegRootKey::CurrentUser, userFile_, false);
    TRegKey k;
    if (TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Orvel", false, false, k) != TRegResult::Ok) return 1;
    return k.GetValue("List")->MultiStringItems() == std::vector<std::string>{"", "x", ""} ? 0 : 2;
  });
  EXPECT_EQ(waitFor(child), 0);
}

TEST_F(RegistryTest, NamesNeverBecomePaths) {
  TRegKey key = userKey("..");
  TRegKey sub;
  ASSERT_EQ(key.OpenSubKey("..\\..\\etc", true, true, sub), TRegResult::Ok);
  sub.SetString("../../../escape", "x");
  sub.SetString("/tmp/abs", "x");
  sub.SetString("a\\b", "x");
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(dir_.Path())) entries.push_back(e.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"config", "user.reg", "user.reg.lock"}));
  EXPECT_EQ(sub.GetValue("a\\b")->Data, "x");
}

TEST_F(RegistryTest, ReadOnlyRootsReadTheirFileAndRefuseWrites) {
  WriteTestFile(machineFile_, "orvel-registry 1\n[SOFTWARE\\Vendor]\n\"Version\"=dword:00000003\n");
  SetRegistryRootFile(TRegRootKey::LocalMachine, machineFile_, true);
  TRegKey key;
  EXPECT_EQ(TRegKey::Open(TRegRootKey::LocalMachine, "Software\\Vendor", true, true, key), TRegResult::AccessDenied);
  ASSERT_EQ(TRegKey::Open(TRegRootKey::LocalMachine, "Software\\Vendor", false, false, key), TRegResult::Ok);
  uint32_t v = 0;
  EXPECT_TRUE(key.GetValue("Version")->GetDWord(v));
  EXPECT_EQ(v, 3u);
  EXPECT_EQ(TRegKey::Open(TRegRootKey::Users, "", true, false, key), TRegResult::AccessDenied);
}

TEST_F(RegistryTest, ADamagedFileIsKeptAndReported) {
  fs::create_directories(dir_ / "config");
  const std::string damaged = "orvel-registry 1\n[Software]\n\"x\"=sz:\"unterminated\n";
  WriteTestFile(userFile_, damaged);
  TRegistryRoot& root = RegistryRoot(TRegRootKey::CurrentUser);
  EXPECT_NE(root.LoadError().find("line 3"), std::string::npos) << root.LoadError();
  TRegKey key;
  EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "Software", false, false, key), TRegResult::NotFound);
  EXPECT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "Software", true, true, key), TRegResult::AccessDenied);
  EXPECT_EQ(ReadTestFile(userFile_), damaged);
  // Once the user repairs it, it is read again.
  WriteTestFile(userFile_, "orvel-registry 1\n[Software]\n\"x\"=sz:\"fixed\"\n");
  EXPECT_EQ(root.LoadError(), "");
  ASSERT_EQ(TRegKey::Open(TRegRootKey::CurrentUser, "Software", true, false, key), TRegResult::Ok);
  EXPECT_EQ(key.GetValue("x")->Data, "fixed");
}

TEST_F(RegistryTest, OtherProcessesChangesAreSeenAndAnnounced) {
  TRegKey key = userKey("Software\\Orvel");
  key.SetString("v", "1");
  TRegistryRoot& root = RegistryRoot(TRegRootKey::CurrentUser);
  int calls = 0;
  int id = root.AddChangeListener([&](TRegistryRoot&) { ++calls; });
  root.PollChanges();
  calls = 0;
  uint64_t generation = root.Generation();
  EXPECT_FALSE(root.PollChanges());
  EXPECT_EQ(key.GetValue("v")->Data, "1");
  EXPECT_EQ(root.Generation(), generation) << "an unchanged file is not read again";

  // Same size, same second: the other process's value is still seen.
  EXPECT_EQ(waitFor(spawn([&] {
              TRegKey k;
              TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Orvel", true, false, k);
              k.SetString("v", "2");
              return 0;
            })),
            0);
  EXPECT_TRUE(root.PollChanges());
  EXPECT_EQ(calls, 1);
  EXPECT_GT(root.Generation(), generation);
  EXPECT_EQ(key.GetValue("v")->Data, "2");
  key.SetString("v", "3");
  EXPECT_EQ(calls, 2);
  key.SetString("v", "3");
  EXPECT_EQ(calls, 2) << "writing the same value changes nothing";
  root.RemoveChangeListener(id);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepAllTheirValues) {
  userKey("Software\\Race");
  constexpr int kValues = 60;
  auto writer = [&](const char* prefix) {
    return spawn([&, prefix] {
      TRegKey k;
      if (TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Race", true, true, k) != TRegResult::Ok) return 1;
      for (int i = 0; i < kValues; ++i) {
        k.SetDWord(Format("%s%d", prefix, i), static_cast<uint32_t>(i));
        if (i % 10 == 0) {
          TRegKey sub;
          k.OpenSubKey(Format("%s-sub%d", prefix, i), true, true, sub);
        }
      }
      return 0;
    });
  };
  pid_t a = writer("a"), b = writer("b");
  EXPECT_EQ(waitFor(a), 0);
  EXPECT_EQ(waitFor(b), 0);
  TRegKey key = userKey("Software\\Race");
  EXPECT_EQ(key.ValueNames().size(), 2u * kValues);
  EXPECT_EQ(key.SubKeyNames().size(), 2u * kValues / 10);
  uint32_t v = 0;
  EXPECT_TRUE(key.GetValue("b59")->GetDWord(v));
  EXPECT_EQ(v, 59u);
}

TEST_F(RegistryTest, AnUpdateBracketWritesOnceAndKeepsOtherProcessesValues) {
  TRegKey key = userKey("Software\\Orvel");
  key.SetString("base", "0");
  const std::string before = ReadTestFile(userFile_);
  {
    TRegistryUpdate update(RegistryRoot(TRegRootKey::CurrentUser));
    key.SetString("mine", "1");
    key.DeleteValue("base");
    EXPECT_EQ(key.GetValue("mine")->Data, "1") << "the process reads its own changes";
    EXPECT_EQ(ReadTestFile(userFile_), before) << "nothing written before the bracket closes";
    EXPECT_EQ(waitFor(spawn([&] {
                // Another process: it has no bracket of its own.
                SetRegistryRootFile(TRegRootKey::CurrentUser, userFile_, false);
                TRegKey k;
                TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Orvel", true, false, k);
                k.SetString("theirs", "2");
                return 0;
              })),
              0);
    EXPECT_EQ(key.GetValue("theirs").value_or(TRegValue{}).Data, "2");
    EXPECT_EQ(key.GetValue("mine").value_or(TRegValue{}).Data, "1") << "kept changes apply to the re-read file";
    EXPECT_FALSE(key.ValueExists("base"));
  }
  pid_t child = spawn([&] {
    SetRegistryRootFile(TRegRootKey::CurrentUser, userFile_, false);
    TRegKey k;
    TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Orvel", false, false, k);
    return k.GetValue("mine") && k.GetValue("theirs") && !k.GetValue("base") ? 0 : 1;
  });
  EXPECT_EQ(waitFor(child), 0);
}

TEST_F(RegistryTest, AnUpdateBracketCreatesTheSettingsFolder) {
  // A first start: the settings folder does not exist yet.
  ASSERT_FALSE(fs::exists(dir_ / "config"));
  {
    TRegistryUpdate update(RegistryRoot(TRegRootKey::CurrentUser));
    TRegKey key = userKey("Software\\Orvel");
    key.SetString("first", "1");
  }
  EXPECT_NE(ReadTestFile(userFile_).find("\"first\"=sz:\"1\""), std::string::npos);
}

TEST_F(RegistryTest, ACrashBeforeTheRenameLeavesTheOldFile) {
  TRegKey key = userKey("Software\\Orvel");
  key.SetString("kept", "old");
  const std::string before = ReadTestFile(userFile_);
  pid_t child = spawn([&] {
    TRegistryRoot::SetBeforeReplaceHook([] { ::_exit(42); });
    TRegKey k;
    TRegKey::Open(TRegRootKey::CurrentUser, "Software\\Orvel", true, false, k);
    k.SetString("kept", "new");
    return 0;
  });
  EXPECT_EQ(waitFor(child), 42);
  EXPECT_EQ(ReadTestFile(userFile_), before);
  EXPECT_EQ(key.GetValue("kept")->Data, "old");
  EXPECT_EQ(RegistryRoot(TRegRootKey::CurrentUser).LoadError(), "");
  key.SetString("after", "ok");
  EXPECT_EQ(key.GetValue("kept")->Data, "old");
}

TEST_F(RegistryTest, AFailedWriteRaisesAndDropsTheChange) {
  TRegKey key = userKey("Software\\Orvel");
  key.SetString("a", "1");
  TRegistryRoot::SetBeforeReplaceHook([] { throw EStreamError("disk full"); });
  EXPECT_THROW(key.SetString("a", "2"), ERegistryError);
  TRegistryRoot::SetBeforeReplaceHook(nullptr);
  EXPECT_EQ(key.GetValue("a")->Data, "1");
  EXPECT_NE(ReadTestFile(userFile_).find("\"a\"=sz:\"1\""), std::string::npos);
}

TEST(RegistryEnvironment, ExpandsSetVariablesOnly) {
  ::setenv("QUILL_TEST_VAR", "value", 1);
  ::unsetenv("QUILL_TEST_UNSET");
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"%QUILL_TEST_VAR%", "value"},
      {"a%QUILL_TEST_VAR%b%QUILL_TEST_VAR%", "avaluebvalue"},
      {"%QUILL_TEST_UNSET%", "%QUILL_TEST_UNSET%"},
      {"%QUILL_TEST_UNSET%QUILL_TEST_VAR%", "%QUILL_TEST_UNSETvalue"},
      {"100%", "100%"},
      {"%%", "%%"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvironmentStrings(c.in), c.out) << c.in;
}

TEST(RegistryData, TheShippedRootsAreValidSettingsFiles) {
  for (const char* name : {"machine.reg", "classes.reg"}) {
    std::string file = std::string(QUILL_SOURCE_DIR) + "/data/" + name;
    EXPECT_NO_THROW(ParseRegistryText(ReadTestFile(file), file)) << file;
  }
  auto classes = ParseRegistryText(ReadTestFile(std::string(QUILL_SOURCE_DIR) + "/data/classes.reg"), "classes.reg");
  const TRegNode* charset = classes->FindSubKey("MIME")->FindSubKey("Database")->FindSubKey("Charset");
  ASSERT_NE(charset, nullptr);
  uint32_t codePage = 0;
  EXPECT_TRUE(charset->FindSubKey("ISO-8859-2")->FindValue("Codepage")->GetDWord(codePage));
  EXPECT_EQ(codePage, 1250u);
}

TEST(RegistryFolders, TheUserFolderFollowsTheEnvironment) {
  struct Saved {
    const char* name;
    std::optional<std::string> value;
  } saved[] = {{"ORVEL_CONFIG_HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"HOME", {}}};
  for (Saved& s : saved)
    if (const char* v = std::getenv(s.name)) s.value = v;
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
  ::setenv("ORVEL_CONFIG_HOME", "/orvel", 1);
  EXPECT_EQ(UserConfigDir(), "/orvel");
  ::unsetenv("ORVEL_CONFIG_HOME");
  EXPECT_EQ(UserConfigDir(), "/xdg/orvel");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(UserConfigDir(), "/home/u/.config/orvel");
  for (const Saved& s : saved) {
    if (s.value)
      ::setenv(s.name, s.value->c_str(), 1);
    else
      ::unsetenv(s.name);
  }
}
