// A received update list through the walk, processing (fake transports and installer, which
// write and read real files), the history on the real store file, and a second run that finds
// every update delivered before.
#include <gtest/gtest.h>

#include "delivery_fixture.h"
#include "delivery_service.h"
#include "tree_text.h"

namespace cv2 {
namespace {

using test::Device;
using test::Entry;

struct RecordingRunControl : RunControl {
  void StopTransfers(const std::string&) override {}
  void ApplicationException(const std::string& message) override { errors.push_back(message); }
  std::vector<std::string> errors;
};

class EndToEnd : public test::DeliveryTest {
 protected:
  EndToEnd()
      : file(OpenSettingsStore(root.string())),
        fileState(*file, ui, clock),
        service(fileState, transports, installer, control) {
    fileState.HardwareReport = {"branded", Device("NVIDIA GeForce", "2.0"),
                                Device("Realtek PCIe GbE", "1.9"), Device("HD Audio", "5.0")};
    received =
        Entry("NVIDIA GeForce", "2.1", "*http**run\"dl.example/nv/setup.run\"", "NV1") + "\r\n" +
        Entry("Realtek PCIe GbE", "1.10", "*ftp**user drv**pass pw**zip\"ftp.example/rt/drv.zip\"",
              "RT1") +
        "\r\n" + Entry("Intel Bridge", "3.0", "no_driver", "IN1") + "\r\n" +
        Entry("HD Audio", "5.0", "*http*\"dl.example/a.exe\"", "AU1") + "\r\n" +
        Entry("News", "1.0", "*link http://example/news**message*\"New drivers\"", "MSG1") + "\r\n";
  }

  // What the session leaves for the end of a run: fresh counters and the received list.
  void Run() {
    fileState.RunList.clear();
    fileState.NewCount = 0;
    fileState.SkippedCount = 0;
    fileState.Status().SetCaption(Caption::NewUpdatesCount, "0");
    fileState.Status().SetCaption(Caption::UpdatesCountLBL, "0");
    fileState.SockRcvMemo = SplitLines(received);
    fileState.SetRunActive(true);
    fileState.Log().Clear();
    transports.calls.clear();
    installer.calls.clear();
    service.WalkUpdateList();
    service.ProcessRunList(true);
    EXPECT_TRUE(control.errors.empty());
    EXPECT_FALSE(fileState.RunActive());
    EXPECT_EQ(fileState.Status().GetCaption(Caption::MessageLBL), "Done");
    EXPECT_TRUE(fileState.RunList.empty());
  }
  TTransRecord Stored(const std::string& baseKey) {
    return UpdateHistory::ParseEntry(UpdateHistory(*file).ReadEntry(baseKey).value_or(""));
  }
  bool FileLogged(const std::string& line) { return fileState.Log().Contains(line); }

  std::unique_ptr<SqliteRegistry> file;
  ClientState fileState;
  test::FakeTransports transports;
  test::FakeInstaller installer;
  RecordingRunControl control;
  DeliveryService service;
  std::string received;
};

TEST_F(EndToEnd, DeliversOnceAndRefusesTheSameUpdatesLater) {
  Run();
  EXPECT_EQ(fileState.NewCount, 3);
  EXPECT_EQ(fileState.SkippedCount, 1);  // HD Audio 5.0 is installed already
  EXPECT_EQ(fileState.Status().GetCaption(Caption::UpdatesCountLBL), "4");
  // Processed from the last queued entry to the first; asked once per entry with files.
  EXPECT_EQ(ui.confirmations,
            (std::vector<std::string>{"Click OK to download: \"Realtek PCIe GbE\" update",
                                      "Click OK to download: \"NVIDIA GeForce\" update"}));
  EXPECT_EQ(ui.messages, std::vector<std::string>{"New drivers|http://example/news"});
  const std::string nv = Folder("NV1", "2.1"), rt = Folder("RT1", "1.10");
  EXPECT_EQ(transports.calls,
            (std::vector<std::string>{"ftp ftp.example/rt/drv.zip -> " + rt + " drv:pw@",
                                      "http dl.example/nv/setup.run -> " + nv + " :@"}));
  EXPECT_EQ(installer.calls, (std::vector<std::string>{"extract " + rt + "/drv.zip in " + rt,
                                                       "launch " + nv + "/setup.run"}));
  EXPECT_TRUE(std::filesystem::exists(rt + "/drv.zip"));
  EXPECT_TRUE(std::filesystem::exists(nv + "/setup.run"));
  for (const char* baseKey : {"NV1", "RT1", "MSG1"}) {
    SCOPED_TRACE(baseKey);
    EXPECT_EQ(Stored(baseKey).Downloaded, "true");
    EXPECT_EQ(Stored(baseKey).DownloadDate, "24.12.2024");
  }
  EXPECT_EQ(UpdateHistory(*file).List().size(), 3u);

  // The next run is offered the same list: everything was delivered before.
  ui.confirmations.clear();
  Run();
  EXPECT_EQ(fileState.NewCount, 0);
  EXPECT_EQ(fileState.SkippedCount, 4);
  EXPECT_TRUE(transports.calls.empty());
  EXPECT_TRUE(ui.confirmations.empty());
  EXPECT_TRUE(
      FileLogged("ShouldDownload() found existing same Corvantis version for:NVIDIA "
                 "GeForce, 2.1"));
  EXPECT_TRUE(
      FileLogged("ShouldDownload() found existing same Corvantis version for:Realtek "
                 "PCIe GbE, 1.10"));

  // A forgotten update is offered again.
  UpdateHistory(*file).Forget("NV1");
  Run();
  EXPECT_EQ(fileState.NewCount, 1);
  EXPECT_EQ(transports.calls.size(), 1u);
}

}  // namespace
}  // namespace cv2
