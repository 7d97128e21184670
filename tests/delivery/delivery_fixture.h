#pragma once
// What the delivery tests share: a client state on an in-memory store seeded with the window
// defaults, a scripted user interface, fakes of the transports and the installer that record
// what they are asked, and a way to write update entries.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "client_state.h"
#include "fake_ui.h"
#include "installer.h"
#include "registry_memory.h"
#include "settings_store.h"
#include "settings_table.h"
#include "trans_record.h"
#include "transports.h"
#include "update_history.h"

namespace cv2::test {

// Writes each fetched file into the folder, as a real transport does; items named in failItems
// raise instead.
class FakeTransports : public Transports {
 public:
  void FtpDownload(const UpdateRec& rec) override { Fetch("ftp", rec); }
  void HttpDownload(const UpdateRec& rec) override { Fetch("http", rec); }
  void DisconnectFtp() override {}
  void SafeDisconnectHttp() override {}

  std::vector<std::string> calls;  // "ftp host/a.zip -> folder user:pass@port"
  std::set<std::string> failItems;

 private:
  void Fetch(const char* how, const UpdateRec& rec) {
    calls.push_back(std::string(how) + " " + rec.Item + " -> " + rec.Folder + " " + rec.User + ":" +
                    rec.Password + "@" + rec.Port);
    if (failItems.count(rec.Item)) throw Error("Connection refused");
    std::filesystem::create_directories(rec.Folder);
    const std::string item = rec.Item;
    std::ofstream(rec.Folder + "/" + item.substr(item.rfind('/') + 1)) << "payload of " << item;
  }
};

class FakeInstaller : public Installer {
 public:
  void LoadLibraries() override {}
  void UnloadLibraries() override {}
  bool ExtractAndLaunch(const std::string& zipPath, const std::string& folder) override {
    calls.push_back("extract " + zipPath + " in " + folder);
    if (onLaunch) onLaunch();
    return true;
  }
  void LaunchAndWait(const std::string& path) override {
    calls.push_back("launch " + path);
    if (onLaunch) onLaunch();
  }
  std::vector<std::string> calls;
  std::function<void()> onLaunch;
};

// One update list entry.
inline std::string Entry(const std::string& deviceName, const std::string& version,
                         const std::string& location, const std::string& baseKey,
                         const std::string& language = "") {
  TTransRecord record;
  record.DeviceName = deviceName;
  record.Version = version;
  record.Location = location;
  record.BaseKey = baseKey;
  record.Language = language;
  record.Description = "Driver for " + deviceName;
  record.DownloadDate = "server date";
  return record.Transmition();
}

// A report record of an installed device.
inline std::string Device(const std::string& name, const std::string& version) {
  TTransRecord record;
  record.DeviceName = name;
  record.Version = version;
  return record.Transmition();
}

class DeliveryTest : public ::testing::Test {
 protected:
  DeliveryTest() : state(store, ui, clock) {
    InitSettings(store);
    root = std::filesystem::path(::testing::TempDir()) /
           ("cv2_delivery_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    ::setenv("CV2_HOME", root.c_str(), 1);
  }
  ~DeliveryTest() override {
    ::unsetenv("CV2_HOME");
    std::filesystem::remove_all(root);
  }

  void SetSetting(const std::string& name, int32_t value) {
    Registry reg(store);
    reg.OpenKey(kSettingsKey, true);
    reg.WriteInteger(name, value);
  }
  void SetSetting(const std::string& name, const std::string& value) {
    Registry reg(store);
    reg.OpenKey(kSettingsKey, true);
    reg.WriteString(name, value);
  }
  TTransRecord History(const std::string& baseKey) {
    return UpdateHistory::ParseEntry(UpdateHistory(store).ReadEntry(baseKey).value_or(""));
  }
  std::string Folder(const std::string& baseKey, const std::string& version) {
    return (root / "Downloads" / baseKey / version).string();
  }
  const std::vector<std::string>& Log() { return state.Log().Lines(); }
  bool Logged(const std::string& line) { return state.Log().Contains(line); }

  MemoryRegistry store;
  FakeUserInterface ui;
  FixedClock clock{"24.12.2024"};
  ClientState state;
  std::filesystem::path root;
};

}  // namespace cv2::test
