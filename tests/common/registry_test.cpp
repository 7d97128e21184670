#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "paths.h"
#include "registry.h"
#include "registry_memory.h"
#include "registry_sqlite.h"
#include "settings.h"
#include "settings_store.h"
#include "settings_table.h"

namespace cv2 {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "cv2-registry-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(m_path); }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

// Both stores must read the same way: the tests run against each.
class StoreFixture {
 public:
  explicit StoreFixture(bool sqlite) {
    if (sqlite) m_sqlite = std::make_unique<SqliteRegistry>(JoinPath(m_dir.Path(), "s.db"));
  }
  RegistryBackend& Store() { return m_sqlite ? static_cast<RegistryBackend&>(*m_sqlite) : m_memory; }

 private:
  TempDir m_dir;
  MemoryRegistry m_memory;
  std::unique_ptr<SqliteRegistry> m_sqlite;
};

enum class KeyState { Missing, ValueMissing, HoldsString, HoldsDword };

struct ReadCase {
  const char* name;
  KeyState state;
  std::function<std::string(RegistryBackend&)> read;  // the result as text
  std::string expected;  // result, or "error: " + message
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

std::string RunCase(const ReadCase& c, RegistryBackend& store) {
  if (c.state != KeyState::Missing) {
    Registry reg(store);
    EXPECT_TRUE(reg.OpenKey(kSettingsKey, true));
    if (c.state == KeyState::HoldsString) reg.WriteString("Value", "text");
    if (c.state == KeyState::HoldsDword) reg.WriteInteger("Value", 7);
  }
  try {
    return c.read(store);
  } catch (const Error& e) {
    return std::string("error: ") + e.what();
  }
}

const ReadCase kReadCases[] = {
    {"StringKeyMissing", KeyState::Missing,
     [](RegistryBackend& s) { return ReadSettingString(s, "Value"); }, ""},
    {"StringValueMissing", KeyState::ValueMissing,
     [](RegistryBackend& s) { return ReadSettingString(s, "Value"); }, ""},
    {"StringWrongType", KeyState::HoldsDword,
     [](RegistryBackend& s) { return ReadSettingString(s, "Value"); },
     "error: Invalid data type for 'Value'"},
    {"StringPresent", KeyState::HoldsString,
     [](RegistryBackend& s) { return ReadSettingString(s, "value"); }, "text"},
    {"BoolKeyMissing", KeyState::Missing,
     [](RegistryBackend& s) { return std::to_string(ReadSettingBool(s, "Value")); }, "0"},
    {"BoolValueMissing", KeyState::ValueMissing,
     [](RegistryBackend& s) { return std::to_string(ReadSettingBool(s, "Value")); },
     "error: Failed to get data for 'Value'"},
    {"BoolWrongType", KeyState::HoldsString,
     [](RegistryBackend& s) { return std::to_string(ReadSettingBool(s, "Value")); },
     "error: Invalid data type for 'Value'"},
    {"BoolPresentNonZeroIsTrue", KeyState::HoldsDword,
     [](RegistryBackend& s) { return std::to_string(ReadSettingBool(s, "VALUE")); }, "1"},
    {"IntegerKeyMissing", KeyState::Missing,
     [](RegistryBackend& s) { return std::to_string(ReadSettingInteger(s, "Value")); }, "0"},
    {"IntegerValueMissing", KeyState::ValueMissing,
     [](RegistryBackend& s) { return std::to_string(ReadSettingInteger(s, "Value")); },
     "error: Failed to get data for 'Value'"},
    {"IntegerWrongType", KeyState::HoldsString,
     [](RegistryBackend& s) { return std::to_string(ReadSettingInteger(s, "Value")); },
     "error: Invalid data type for 'Value'"},
    {"IntegerPresent", KeyState::HoldsDword,
     [](RegistryBackend& s) { return std::to_string(ReadSettingInteger(s, "Value")); }, "7"},
};

class ReadSemantics : public ::testing::TestWithParam<std::tuple<ReadCase, bool>> {};

TEST_P(ReadSemantics, MatchTheTable) {
  const auto& [c, sqlite] = GetParam();
  StoreFixture fixture(sqlite);
  EXPECT_EQ(RunCase(c, fixture.Store()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadSemantics,
                         ::testing::Combine(::testing::ValuesIn(kReadCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_Sqlite" : "_Memory");
                         });

class StoreBehaviour : public ::testing::TestWithParam<bool> {};

TEST_P(StoreBehaviour, CaseInsensitiveNamesKeepTheirCaseAndOrder) {
  StoreFixture fixture(GetParam());
  Registry reg(fixture.Store());
  ASSERT_FALSE(reg.OpenKey("Software\\Corvantis2\\Updates", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Corvantis2\\Updates", true));
  reg.WriteString("Zeta", "1");
  reg.WriteString("alpha", "2");
  reg.WriteInteger("Mid", 3);
  reg.WriteString("ZETA", "again");  // replaces in place, keeps its first spelling and position
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
  EXPECT_EQ(reg.ReadString("zeta"), "again");
  reg.CloseKey();
  // Parents exist, and key paths ignore case and outer separators.
  EXPECT_TRUE(reg.OpenKey("SOFTWARE\\corvantis2", false));
  EXPECT_TRUE(reg.OpenKey("\\software\\CORVANTIS2\\updates\\", false));
  EXPECT_TRUE(reg.DeleteValue("ALPHA"));
  EXPECT_FALSE(reg.DeleteValue("alpha"));
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Zeta", "Mid"}));
  // Text is bytes: UTF-8 and control characters pass unchanged.
  const std::string bytes = "caf\xC3\xA9\r\n\x01";
  reg.WriteString("Bytes", bytes);
  EXPECT_EQ(reg.ReadString("bytes"), bytes);
  reg.WriteInteger("Negative", -1);
  EXPECT_EQ(reg.ReadInteger("Negative"), -1);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreBehaviour, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Sqlite" : "Memory"; });

TEST(SqliteStore, TwoProcessesWritingAtOnceLoseNothing) {
  TempDir dir;
  const std::string file = JoinPath(dir.Path(), "shared.db");
  { SqliteRegistry create(file); }
  constexpr int kWrites = 150;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int rc = 0;
      try {
        SqliteRegistry store(file);
        Registry reg(store);
        reg.OpenKey(kSettingsKey, true);
        for (int i = 0; i < kWrites; ++i)
          reg.WriteInteger("p" + std::to_string(p) + "_" + std::to_string(i), i);
      } catch (...) {
        rc = 1;
      }
      _exit(rc);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  SqliteRegistry store(file);
  EXPECT_EQ(store.ValueNames(kSettingsKey).size(), 2u * kWrites);
}

TEST(SqliteStore, LockedStoreFailsWithTheWriteErrorAndItsReason) {
  TempDir dir;
  const std::string file = JoinPath(dir.Path(), "locked.db");
  SqliteRegistry store(file, /*busyTimeoutMs=*/50);
  store.CreateKey(kSettingsKey);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
  try {
    reg.WriteString("HostTXT", "x");
    ADD_FAILURE() << "the write should fail while another program holds the lock";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'HostTXT'");
    EXPECT_NE(e.Detail().find("locked"), std::string::npos) << e.Detail();
  }
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  reg.WriteString("HostTXT", "x");
  EXPECT_EQ(reg.ReadString("HostTXT"), "x");
}

TEST(SettingsStore, NewStoreIsSeededOnceWithEveryWindowDefault) {
  TempDir dir;
  const std::string root = JoinPath(dir.Path(), "home");
  {
    auto store = OpenSettingsStore(root);
    EXPECT_EQ(store->ValueNames(kSettingsKey).size(), 40u);
    EXPECT_TRUE(ReadSettingBool(*store, "ConfirmDownloadCHK"));
    EXPECT_FALSE(ReadSettingBool(*store, "ShowLogoCHK"));
    EXPECT_EQ(ReadSettingInteger(*store, "RunFrequencyCOMBO"), -1);
    EXPECT_EQ(ReadSettingInteger(*store, "ScrollSpeedTRACK"), 20);
    EXPECT_EQ(ReadSettingString(*store, "ProxyPortTXT"), "080");
    EXPECT_EQ(ReadSettingString(*store, "LocaleSettingsTXT"), "not_specified");
    EXPECT_EQ(ReadSettingString(*store, "UserTXT"), "anonymous");
    EXPECT_EQ(ReadSettingString(*store, "PortTXT"), "80");
    // Values without a control are not seeded: absent means "not pending", for example.
    EXPECT_FALSE(store->GetValue(kSettingsKey, "SupportRequestPending"));
    store->DeleteValue(kSettingsKey, "ShowLogoCHK");
  }
  // An existing store is never reseeded; init fills in only what is missing.
  auto store = OpenSettingsStore(root);
  EXPECT_FALSE(store->GetValue(kSettingsKey, "ShowLogoCHK"));
  Registry reg(*store);
  reg.OpenKey(kSettingsKey, false);
  reg.WriteString("HostTXT", "10.0.0.5");
  EXPECT_EQ(InitSettings(*store), std::vector<std::string>{"ShowLogoCHK"});
  EXPECT_EQ(ReadSettingString(*store, "HostTXT"), "10.0.0.5");
}

TEST(SettingsStore, DamagedOrForeignFileIsReportedAndLeftAlone) {
  TempDir dir;
  const std::string file = SettingsStoreFile(dir.Path());
  const std::string garbage(4096, 'x');
  { std::ofstream(file, std::ios::binary) << garbage; }
  try {
    OpenSettingsStore(dir.Path());
    ADD_FAILURE() << "a damaged store must not open";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
  }
  std::string content;
  ASSERT_TRUE(ReadWholeFile(file, content));
  EXPECT_EQ(content, garbage);

  // A database of another program is not ours to seed.
  fs::remove(file);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
  sqlite3_exec(other, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_THROW(OpenSettingsStore(dir.Path()), StoreError);
}

TEST(SettingsTable, HoldsFortyWindowValuesAndThreeWithoutControl) {
  EXPECT_EQ(SettingsTable().size(), 43u);
  EXPECT_EQ(WindowSettings().size(), 40u);
  ValueType type;
  for (const auto& info : SettingsTable()) {
    // The suffix rule and the table agree for every named control.
    const std::string name = info.Name;
    if (name.ends_with("TXT")) {
      EXPECT_EQ(info.Type, ValueType::String) << name;
    }
    if (name.ends_with("CHK") || name.ends_with("COMBO") || name.ends_with("TRACK")) {
      EXPECT_EQ(info.Type, ValueType::Dword) << name;
    }
  }
  ASSERT_TRUE(SettingTypeOf("NewThingCHK", type));
  EXPECT_EQ(type, ValueType::Dword);
  EXPECT_FALSE(SettingTypeOf("Mystery", type));
  ASSERT_TRUE(SettingTypeOf("last run date", type));
  EXPECT_EQ(type, ValueType::String);
}

}  // namespace
}  // namespace cv2
