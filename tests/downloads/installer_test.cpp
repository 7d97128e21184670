// Zip packages made by Python's zipfile and by the zip tool: extraction, the search for the setup
// program, launching and waiting, and the archives that are refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "fake_ui.h"
#include "peer_process.h"
#include "registry_memory.h"
#include "zip_installer.h"

namespace cv2 {
namespace {

using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
namespace fs = std::filesystem;

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

class Installing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_zips = new ScratchFolder;
    const std::string command =
        test::kPython + " '" + test::PeerScript("make_zips.py") + "' '" + s_zips->Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() {
    delete s_zips;
    s_zips = nullptr;
  }

  Installing() : clock("01/02/2026"), state(store, ui, clock) {
    setenv("CV2_SETUP_RECORD", Record().c_str(), 1);
  }

  std::string Folder() const { return scratch / "Downloads/K1/1.0"; }
  std::string Record() const { return scratch / "record.txt"; }
  // The package copied into a fresh download folder, as a download would leave it.
  std::string Place(const std::string& zip) {
    fs::remove_all(scratch / "Downloads");
    fs::create_directories(Folder());
    fs::copy_file(*s_zips / zip, Folder() + "/" + zip);
    fs::remove(Record());
    state.Log().Clear();
    ui.opened.clear();
    ui.errors.clear();
    return Folder() + "/" + zip;
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "Downloads"))
      names.push_back(fs::relative(entry.path(), scratch / "Downloads").string());
    return names;
  }

  static inline ScratchFolder* s_zips = nullptr;
  ScratchFolder scratch;
  MemoryRegistry store;
  test::FakeUserInterface ui;
  FixedClock clock;
  ClientState state;
};

TEST_F(Installing, FourPassesAndOneLevelDown) {
  const std::string F = "@";  // stands for the download folder in the expected lines
  const struct {
    std::string zip;
    const SetupPatternTable* table;
    std::string winner;            // below the folder; empty: nothing found, the folder is opened
    bool runs;                     // the winner is a program that runs (else the desktop opens it)
    std::vector<std::string> log;  // the whole log, when given
  } rows[] = {
      {"win_setup_install.zip",
       &WindowsSetupPatterns(),
       "Setup.exe",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: install.exe", "Checking: setup.exe",
        "Automatically decided to launch: @/Setup.exe"}},
      {"win_msi_down.zip",
       &WindowsSetupPatterns(),
       "Driver/install.msi",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: .", "Checking: ..",
        "Checking: driver", "Opened zip, checking for execs at: @/Driver*.*",
        "Checking: install.msi", "Automatically decided to launch: @/Driver/install.msi"}},
      {"win_instmsi_down.zip",
       &WindowsSetupPatterns(),
       "",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: .", "Checking: ..",
        "Checking: driver", "Opened zip, checking for execs at: @/Driver*.*",
        "Checking: instmsi.msi", "Checking: readme.txt", "Checking: win_instmsi_down.zip",
        "Didn't find any candidate for setup program, opening the directory."}},
      {"win_only_down.zip",
       &WindowsSetupPatterns(),
       "drv/x.exe",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: .", "Checking: ..", "Checking: drv",
        "Opened zip, checking for execs at: @/drv*.*", "Checking: x.exe", "Checking: x.exe",
        "Checking: x.exe", "Automatically decided to launch: @/drv/x.exe"}},
      {"win_upper.zip",
       &WindowsSetupPatterns(),
       "SETUP.EXE",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: setup.exe",
        "Automatically decided to launch: @/SETUP.EXE"}},
      {"win_hidden.zip",
       &WindowsSetupPatterns(),
       "other.exe",
       false,
       {"Opened zip, checking for execs at: @*.*", "Checking: .setup.exe", "Checking: other.exe",
        "Checking: .setup.exe", "Checking: other.exe", "Checking: .setup.exe",
        "Checking: other.exe", "Automatically decided to launch: @/other.exe"}},
      {"linux_setup.zip", &LinuxSetupPatterns(), "setup.sh", true, {}},
      {"linux_install.zip", &LinuxSetupPatterns(), "install.run", true, {}},
      {"linux_package.zip", &LinuxSetupPatterns(), "driver-install.deb", false, {}},
      {"linux_any.zip", &LinuxSetupPatterns(), "tool", true, {}},
      {"linux_down.zip", &LinuxSetupPatterns(), "pkg/run-me", true, {}},
      {"linux_none.zip", &LinuxSetupPatterns(), "", false, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.zip);
    InstallerOptions options;
    options.Patterns = row.table;
    ZipInstaller installer(state, options);
    const std::string zip = Place(row.zip);

    EXPECT_TRUE(installer.ExtractAndLaunch(zip, Folder()));

    EXPECT_TRUE(ui.errors.empty());
    EXPECT_EQ(state.Status().GetCaption(Caption::MessageLBL), "Beginning Extract from " + zip);
    const std::string winner = row.winner.empty() ? "" : Folder() + "/" + row.winner;
    if (!row.log.empty()) {
      std::vector<std::string> expected;
      for (std::string line : row.log) {
        if (auto at = line.find(F); at != std::string::npos) line.replace(at, 1, Folder());
        expected.push_back(line);
      }
      EXPECT_EQ(state.Log().Lines(), expected);
    }
    if (winner.empty()) {
      EXPECT_TRUE(state.Log().Contains(
          "Didn't find any candidate for setup program, opening the directory."));
      EXPECT_EQ(ui.opened, std::vector<std::string>{Folder()});
    } else {
      EXPECT_TRUE(state.Log().Contains("Automatically decided to launch: " + winner));
      if (row.runs) {
        // The setup program has run and ended before the call returned.
        EXPECT_EQ(ReadFile(Record()), "ran " + fs::path(winner).filename().string() + "\n");
        EXPECT_TRUE(ui.opened.empty());
      } else {
        EXPECT_EQ(ui.opened, std::vector<std::string>{winner});
        EXPECT_FALSE(fs::exists(Record()));
      }
    }
  }
}

TEST_F(Installing, ExtractsFoldersModesAndOverwrites) {
  ZipInstaller installer(state);
  const std::string zip = Place("linux_modes.zip");
  fs::create_directories(Folder() + "/data/deep");
  WriteFile(Folder() + "/data/deep/file.txt", "old data, longer than the new\n");

  EXPECT_TRUE(installer.ExtractAndLaunch(zip, Folder()));

  EXPECT_EQ(ReadFile(Folder() + "/data/deep/file.txt"), "new data\n");
  // Execute bits survive; setuid, setgid, sticky and write-for-all never do.
  EXPECT_EQ(ModeOf(Folder() + "/bin/tool"), 0755u);
  EXPECT_EQ(ModeOf(Folder() + "/data/deep/file.txt"), 0644u);
  EXPECT_EQ(ModeOf(Folder() + "/data/sticky.txt"), 0644u);
  EXPECT_TRUE(state.Log().Contains("Automatically decided to launch: " + Folder() + "/bin/tool"));

  // Packed by the zip tool: the script keeps its execute bit and is the setup program.
  EXPECT_TRUE(installer.ExtractAndLaunch(Place("linux_setup.zip"), Folder()));
  EXPECT_EQ(ModeOf(Folder() + "/setup.sh"), 0755u);
  EXPECT_EQ(ModeOf(Folder() + "/readme.txt"), 0644u);
}

TEST_F(Installing, RefusedArchivesWriteNothing) {
  const struct {
    std::string zip;
    std::string reason;
    ZipLimits limits;
  } rows[] = {
      {"slip.zip", "climbs out of its folder", {}},
      {"absolute.zip", "absolute path", {}},
      {"drive.zip", "names a drive", {}},
      {"backslash.zip", "climbs out of its folder", {}},
      {"link.zip", "is a link", {}},
      {"bomb.zip", "packed too tightly", {}},
      {"linux_setup.zip", "unpacks to more than 100 bytes", {100000, 100, 200, 1 << 20}},
      {"linux_setup.zip", "too many entries", {3, 4ull << 30, 200, 1 << 20}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.zip + ": " + row.reason);
    InstallerOptions options;
    options.Limits = row.limits;
    ZipInstaller installer(state, options);
    const std::string zip = Place(row.zip);

    EXPECT_FALSE(installer.ExtractAndLaunch(zip, Folder()));

    EXPECT_EQ(ui.errors,
              std::vector<std::string>{"Error in Extract; Fatal DLL Exception in mainunit"});
    ASSERT_EQ(state.Log().LineCount(), 1u);
    EXPECT_NE(state.Log().Lines()[0].find(row.reason), std::string::npos) << state.Log().Lines()[0];
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"K1", "K1/1.0", "K1/1.0/" + row.zip}));
    EXPECT_FALSE(fs::exists(scratch / "Downloads/K1/evil.txt"));
    EXPECT_TRUE(ui.opened.empty());
  }
}

TEST_F(Installing, MissingOrBrokenArchives) {
  ZipInstaller installer(state);
  fs::create_directories(Folder());
  EXPECT_FALSE(installer.ExtractAndLaunch(Folder() + "/none.zip", Folder()));
  EXPECT_EQ(ui.errors,
            std::vector<std::string>{"Error: file not found: " + Folder() + "/none.zip"});

  ui.errors.clear();
  WriteFile(Folder() + "/broken.zip", "PK\x03\x04 cut short by a failed download");
  EXPECT_FALSE(installer.ExtractAndLaunch(Folder() + "/broken.zip", Folder()));
  EXPECT_EQ(ui.errors,
            std::vector<std::string>{"Error in Extract; Fatal DLL Exception in mainunit"});
}

TEST_F(Installing, LaunchWaitsForTheProgramWhileEventsRun) {
  ZipInstaller installer(state);
  fs::create_directories(Folder());
  const std::string go = scratch / "go";
  setenv("CV2_SETUP_GO", go.c_str(), 1);
  // The program waits for a file that only a timer event of the client creates: it can only end
  // with "go" when events keep running during the wait.
  const std::string waiting =
      "#!/bin/sh\ni=0\nwhile [ ! -e \"$CV2_SETUP_GO\" ] && [ $i -lt 200 ]; do sleep 0.05; "
      "i=$((i+1)); done\n[ -e \"$CV2_SETUP_GO\" ] && echo go >> \"$CV2_SETUP_RECORD\" || echo "
      "timeout >> \"$CV2_SETUP_RECORD\"\n";
  const struct {
    std::string name;
    unsigned mode;
    std::string content;
    std::string record;  // what the program recorded; empty: nothing ran
    bool opened;         // handed to the desktop's opener instead
  } rows[] = {
      {"update-waits", 0755, waiting, "go\n", false},
      {"update.sh", 0644, "echo \"ran by sh\" >> \"$CV2_SETUP_RECORD\"\n", "ran by sh\n", false},
      {"update.run", 0755, "echo \"no interpreter line\" >> \"$CV2_SETUP_RECORD\"\n",
       "no interpreter line\n", false},
      {"update.exe", 0644, "MZ", "", true},
      {"missing.sh", 0, "", "", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = Folder() + "/" + row.name;
    if (row.mode != 0) {
      WriteFile(path, row.content);
      fs::permissions(path, static_cast<fs::perms>(row.mode));
    }
    fs::remove(Record());
    fs::remove(go);
    ui.opened.clear();
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { WriteFile(go, ""); });
    timer.start(0);

    installer.LaunchAndWait(path);

    EXPECT_EQ(fs::exists(Record()) ? ReadFile(Record()) : "", row.record);
    EXPECT_EQ(ui.opened, row.opened ? std::vector<std::string>{path} : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace cv2
