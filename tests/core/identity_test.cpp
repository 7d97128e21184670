#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "fake_ui.h"
#include "identity_sources.h"
#include "paths.h"
#include "registry_memory.h"
#include "settings_table.h"
#include "smbios_reader.h"
#include "system_identity.h"
#include "text_util.h"

namespace cv2 {
namespace {

namespace fs = std::filesystem;
const std::string kData = CV2_TEST_DATA;

std::string ReadFile(const std::string& path) {
  std::string content;
  EXPECT_TRUE(ReadWholeFile(path, content)) << path;
  return content;
}

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// dmidecode's answer for one keyword, as our reader would give it: trimmed, and empty where
// dmidecode names a missing string.
std::string Dmidecode(const std::string& dump, const std::string& keyword) {
  QProcess p;
  p.start("dmidecode",
          {"--from-dump", QString::fromStdString(dump), "-s", QString::fromStdString(keyword)});
  EXPECT_TRUE(p.waitForFinished(30000)) << "dmidecode did not finish";
  std::string out = Trim(p.readAllStandardOutput().toStdString());
  if (out == "Not Specified" || out == "<BAD INDEX>") out.clear();
  return out;
}

// The version from dmidecode's header line "SMBIOS 3.2.0 present.", as major.minor.
std::string DmidecodeVersion(const std::string& dump) {
  QProcess p;
  p.start("dmidecode", {"--from-dump", QString::fromStdString(dump), "-t", "127"});
  EXPECT_TRUE(p.waitForFinished(30000));
  const std::string out = p.readAllStandardOutput().toStdString();
  const size_t at = out.find("SMBIOS ");
  if (at == std::string::npos) return {};
  const std::string version = out.substr(at + 7, out.find(' ', at + 7) - at - 7);
  const auto parts = Split(version, '.');
  return parts.size() >= 2 ? parts[0] + "." + parts[1] : version;
}

// A root folder with the two files the kernel exposes, made from a dmidecode dump.
void MakeSysfsTables(const fs::path& root, const std::string& dump) {
  const bool v3 = dump.starts_with("_SM3_");
  const size_t epLength = static_cast<uint8_t>(dump[v3 ? 6 : 5]);
  const fs::path tables = root / "sys/firmware/dmi/tables";
  WriteFile(tables / "smbios_entry_point", dump.substr(0, epLength));
  WriteFile(tables / "DMI", dump.substr(0x20));
}

class Identity : public ::testing::Test {
 protected:
  Identity() : state(store, ui, clock) {}
  MemoryRegistry store;
  test::FakeUserInterface ui;
  FixedClock clock{"1/2/2026"};
  ClientState state;
};

struct DumpCase {
  const char* file;
  bool branded;
};

TEST_F(Identity, SmbiosDumpsAgreeWithDmidecode) {
  const DumpCase cases[] = {{"desktop-2.3.bin", true},
                            {"server-3.2.bin", true},
                            {"blank-chassis-2.8.bin", false},
                            {"missing-strings-2.5.bin", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string dumpPath = kData + "/smbios/" + c.file;
    const std::string dump = ReadFile(dumpPath);
    QTemporaryDir root;
    MakeSysfsTables(root.path().toStdString(), dump);
    LinuxIdentitySources sources(root.path().toStdString());
    SystemIdentity identity(state, sources);
    identity.ReadSystemIdentity();
    const SmbiosIdentity& id = state.FSMBIOS;

    const std::pair<const char*, const std::string*> fields[] = {
        {"system-manufacturer", &id.SystemManufacturer},
        {"system-product-name", &id.SystemModel},
        {"system-version", &id.SystemVersion},
        {"baseboard-manufacturer", &id.MainBoardManufacturer},
        {"baseboard-product-name", &id.MainBoardModel},
        {"chassis-manufacturer", &id.ChassisManufacturer},
        {"chassis-version", &id.ChassisVersion}};
    for (const auto& [keyword, value] : fields)
      EXPECT_EQ(*value, Dmidecode(dumpPath, keyword)) << keyword;
    EXPECT_EQ(id.SMBIOSVersion, DmidecodeVersion(dumpPath));
    EXPECT_EQ(id.IsBranded, c.branded);

    // The dump read as a whole gives the same strings as the kernel's two files.
    auto fromDump = ParseSmbiosDump(dump);
    ASSERT_TRUE(fromDump);
    EXPECT_EQ(Trim(fromDump->MainBoardModel), id.MainBoardModel);
    EXPECT_EQ(fromDump->SMBIOSVersion, id.SMBIOSVersion);
  }
  EXPECT_EQ(state.Log().LineCount(), 0u);
}

TEST_F(Identity, TrimmedValuesOfTheDesktopDump) {
  // The oracle agrees with us after trimming; here the trimmed texts themselves.
  const std::string dump = ReadFile(kData + "/smbios/desktop-2.3.bin");
  QTemporaryDir root;
  MakeSysfsTables(root.path().toStdString(), dump);
  LinuxIdentitySources sources(root.path().toStdString());
  SystemIdentity(state, sources).ReadSystemIdentity();
  EXPECT_EQ(state.FSMBIOS.SystemVersion, "Rev 1.0");
  EXPECT_EQ(state.FSMBIOS.MainBoardModel, "TB5000-MB");
  EXPECT_EQ(state.FSMBIOS.ChassisVersion, "Chassis v2");
  EXPECT_EQ(state.FSMBIOS.SMBIOSVersion, "2.3");
}

TEST_F(Identity, KernelFilesWithoutRawTablesGiveNoVersion) {
  LinuxIdentitySources sources(kData + "/identity/dmi-id");
  SystemIdentity(state, sources).ReadSystemIdentity();
  const SmbiosIdentity& id = state.FSMBIOS;
  EXPECT_EQ(id.SystemManufacturer, "Acme Computers Ltd.");
  EXPECT_EQ(id.SystemModel, "Tower 5000");
  EXPECT_EQ(id.SystemVersion, "Rev 1.0");
  EXPECT_EQ(id.MainBoardManufacturer, "Acme Boards Inc.");
  EXPECT_EQ(id.MainBoardModel, "");       // board_name absent
  EXPECT_EQ(id.ChassisManufacturer, "");  // blanks only
  EXPECT_EQ(id.ChassisVersion, "");       // absent
  EXPECT_FALSE(id.IsBranded);
  EXPECT_EQ(id.SMBIOSVersion, "");

  // With the raw tables readable as well, they win.
  QTemporaryDir root;
  fs::copy(kData + "/identity/dmi-id", root.path().toStdString(), fs::copy_options::recursive);
  MakeSysfsTables(root.path().toStdString(), ReadFile(kData + "/smbios/server-3.2.bin"));
  LinuxIdentitySources both(root.path().toStdString());
  SystemIdentity(state, both).ReadSystemIdentity();
  EXPECT_EQ(state.FSMBIOS.SystemModel, "RS-220 G3");
  EXPECT_EQ(state.FSMBIOS.SMBIOSVersion, "3.2");
}

TEST_F(Identity, NoSmbiosGivesEmptyFieldsAndNoError) {
  QTemporaryDir root;
  state.FSMBIOS.SystemModel = "stale";
  LinuxIdentitySources sources(root.path().toStdString());
  SystemIdentity(state, sources).ReadSystemIdentity();
  EXPECT_EQ(state.FSMBIOS.SystemModel, "");
  EXPECT_EQ(state.FSMBIOS.SMBIOSVersion, "");
  EXPECT_FALSE(state.FSMBIOS.IsBranded);
  EXPECT_EQ(state.Log().LineCount(), 0u);
}

TEST(SmbiosReader, MalformedTablesEndTheWalk) {
  const std::string dump = ReadFile(kData + "/smbios/desktop-2.3.bin");
  const std::string ep = dump.substr(0, 0x1F), table = dump.substr(0x20);
  // The structures of the desktop dump start with type 0 (BIOS, 0x12 + strings), then type 1.
  const size_t systemAt = table.find(std::string("\x01\x19\x00\x01", 4));
  ASSERT_NE(systemAt, std::string::npos);

  EXPECT_FALSE(ParseSmbios(ep.substr(0, 0x10), table));  // entry point cut short
  EXPECT_FALSE(ParseSmbios("_XX_" + ep.substr(4), table));

  std::string badLength = table;
  badLength[systemAt + 1] = 2;  // a structure shorter than its header: the walk stops there
  auto id = ParseSmbios(ep, badLength);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->SystemManufacturer, "");
  EXPECT_EQ(id->SMBIOSVersion, "2.3");

  // A table cut inside the system structure's strings: that structure is dropped.
  id = ParseSmbios(ep, table.substr(0, systemAt + 0x19 + 5));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->SystemManufacturer, "");

  // The entry point's table length bounds the walk even when more data follows.
  std::string shortLength = ep;
  shortLength[0x16] = static_cast<char>(systemAt);
  shortLength[0x17] = 0;
  id = ParseSmbios(shortLength, table);
  ASSERT_TRUE(id);
  EXPECT_EQ(id->SystemManufacturer, "");
}

struct PlatformCase {
  int32_t id;
  uint32_t major, minor;
  std::optional<int32_t> code;
};

TEST(Platform, Table) {
  const PlatformCase cases[] = {
      {0, 3, 95, -1}, {1, 4, 0, 0},   {1, 4, 9, 0},  {1, 4, 10, 1},  {1, 4, 89, 1},
      {1, 4, 90, 2},  {1, 4, 255, 2}, {1, 5, 0, {}}, {2, 4, 0, 4},   {2, 5, 0, 8},
      {2, 5, 1, 16},  {2, 5, 2, 16},  {2, 6, 1, {}}, {3, 6, 18, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SystemIdentity::PlatformCodeFor({c.id, c.major, c.minor}), c.code)
        << c.id << " " << c.major << "." << c.minor;
}

TEST(Platform, KernelRelease) {
  const std::tuple<const char*, uint32_t, uint32_t> cases[] = {{"6.18.44-fc-v1607", 6, 18},
                                                               {"5.10.0-28-amd64", 5, 10},
                                                               {"4", 4, 0},
                                                               {"", 0, 0},
                                                               {"x.1", 0, 0}};
  for (const auto& [release, major, minor] : cases) {
    const PlatformVersion v = KernelVersion(release);
    EXPECT_EQ(v.PlatformId, 3);
    EXPECT_EQ(v.Major, major) << release;
    EXPECT_EQ(v.Minor, minor) << release;
  }
}

class FixedSources : public IdentitySources {
 public:
  SmbiosIdentity Smbios() override { return {}; }
  PlatformVersion Platform() override { return version; }
  std::string AcpiOemId() override { return oem; }
  PlatformVersion version;
  std::string oem;
};

TEST_F(Identity, DetectPlatformLogsTheRawValues) {
  FixedSources sources;
  SystemIdentity identity(state, sources);
  sources.version = {2, 6, 1};  // Windows 7: not in the table, the code keeps its value
  identity.DetectPlatform();
  EXPECT_EQ(state.PlatformCode, 0);
  sources.version = {2, 5, 1};
  identity.DetectPlatform();
  EXPECT_EQ(state.PlatformCode, 16);
  EXPECT_EQ(state.Log().Lines(),
            (std::vector<std::string>{"platform: 2; MajorVer: 6", "platform: 2; MajorVer: 5"}));

  // This machine: Linux, the kernel's numbers, the code stays 0.
  ClientState onLinux(store, ui, clock);
  LinuxIdentitySources machine;
  SystemIdentity(onLinux, machine).DetectPlatform();
  EXPECT_EQ(onLinux.PlatformCode, 0);
  ASSERT_EQ(onLinux.Log().LineCount(), 1u);
  EXPECT_TRUE(onLinux.Log().Lines()[0].starts_with("platform: 3; MajorVer: "));
}

TEST(AcpiOem, FromTheTableHeaders) {
  // A virtual machine's FADT (OEM ID "FIRECK"), a DSDT header alone, and no tables.
  EXPECT_EQ(LinuxIdentitySources(kData + "/identity/acpi-vm").AcpiOemId(), "FIRECK");
  EXPECT_EQ(LinuxIdentitySources(kData + "/identity/acpi-dsdt-only").AcpiOemId(), "FIRECK");
  EXPECT_EQ(LinuxIdentitySources(kData + "/identity/dmi-id").AcpiOemId(), "");

  // A header padded with blanks; a file whose signature is not its name is not a header.
  QTemporaryDir root;
  const fs::path tables = fs::path(root.path().toStdString()) / "sys/firmware/acpi/tables";
  WriteFile(tables / "FACP", std::string("FACP\x14\x01\0\0\x06\x66"
                                         "AB    ",
                                         16));
  WriteFile(tables / "DSDT", std::string("SSDT\x14\x01\0\0\x06\x66"
                                         "OTHER ",
                                         16));
  EXPECT_EQ(LinuxIdentitySources(root.path().toStdString()).AcpiOemId(), "AB");
  fs::remove(tables / "FACP");
  EXPECT_EQ(LinuxIdentitySources(root.path().toStdString()).AcpiOemId(), "");
}

struct BrandCase {
  const char* name;
  std::optional<std::string> brand;  // "BrandNameTXT" before
  std::optional<RegValue> acpiOem;   // the OEM key's value
  std::string expected;              // "BrandNameTXT" after
  std::string raised;
};

TEST(OemBrand, FillsAnEmptyBrandOnce) {
  const BrandCase cases[] = {
      {"LettersLowered", "", RegValue::MakeString("ACME Corp"), "acme corp", ""},
      {"MissingBrandValue", {}, RegValue::MakeString("ACME"), "acme", ""},
      {"BrandAlreadySet", "Mine", RegValue::MakeDword(1), "Mine", ""},  // key not even read
      {"NoOemValue", "", {}, "", ""},
      {"OemNotText", "", RegValue::MakeDword(1), "", "Invalid data type for 'AcpiOem'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistry settings;
    settings.CreateKey(kSettingsKey);
    if (c.brand) settings.SetValue(kSettingsKey, "BrandNameTXT", RegValue::MakeString(*c.brand));
    MemoryRegistry oemContent;
    if (c.acpiOem) {
      oemContent.CreateKey(kOemInfoKey);
      oemContent.SetValue(kOemInfoKey, "AcpiOem", *c.acpiOem);
    }
    ReadOnlyRegistry oemInfo(std::move(oemContent));
    MountedRegistry store(settings);
    store.Mount(kOemInfoKey, oemInfo);
    test::FakeUserInterface ui;
    FixedClock clock("");
    ClientState state(store, ui, clock);
    FixedSources sources;
    std::string raised;
    try {
      SystemIdentity(state, sources).FillOemBrand();
    } catch (const Error& e) {
      raised = e.what();
    }
    EXPECT_EQ(raised, c.raised);
    auto brand = settings.GetValue(kSettingsKey, "BrandNameTXT");
    EXPECT_EQ(brand ? brand->Str : "", c.expected);
    EXPECT_EQ(state.Log().LineCount(), 0u);
  }
}

TEST(OemBrand, ComesFromTheAcpiTablesThroughTheOemKey) {
  MemoryRegistry settings;  // no settings key yet: the brand write creates it
  LinuxIdentitySources sources(kData + "/identity/acpi-vm");
  ReadOnlyRegistry oemInfo(OemInfoContent(sources));
  MountedRegistry store(settings);
  store.Mount(kOemInfoKey, oemInfo);
  test::FakeUserInterface ui;
  FixedClock clock("");
  ClientState state(store, ui, clock);
  SystemIdentity(state, sources).FillOemBrand();
  EXPECT_EQ(settings.GetValue(kSettingsKey, "BrandNameTXT")->Str, "fireck");
  // The OEM key is read-only: nothing can be written into it.
  Registry reg(store);
  ASSERT_TRUE(reg.OpenKey(kOemInfoKey, false));
  EXPECT_THROW(reg.WriteString("AcpiOem", "x"), RegistryError);
}

}  // namespace
}  // namespace cv2
