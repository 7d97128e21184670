// cv2ctl sync against cv2server, as scripts/demo runs them: the client receives the demo updates
// made for this machine's devices, records them in its history and runs their setup programs.
// Skipped until the build has a cv2ctl with "sync" and libHwSense.so.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "program_runner.h"
#include "server_harness.h"
#include "tree_text.h"

namespace cv2::test {
namespace {

const std::string kOut = CV2_OUTPUT_DIR;

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (const std::string& line : SplitLines(text))
    if (!Trim(line).empty()) ++n;
  return n;
}

TEST(EndToEnd, SyncReceivesTheDemoUpdatesOfThisMachine) {
  TempDir dir;
  const std::string ctl = kOut + "/cv2ctl", server = kOut + "/cv2server";
  {
    Program help(ctl, {"--help"}, dir.Path());
    help.Wait();
    if (!std::regex_search(help.Out() + help.Err(), std::regex("\\bsync\\b")))
      GTEST_SKIP() << "this cv2ctl has no sync command yet";
  }
  if (!std::filesystem::exists(kOut + "/libHwSense.so"))
    GTEST_SKIP() << "libHwSense.so is not built";

  Program demo(server, {"demo-catalogue", "--data", dir.File("server")}, dir.Path());
  ASSERT_EQ(demo.Wait(), 0) << demo.Err();
  Program serve(server, {"serve", "--data", dir.File("server"), "--port", "0", "--http-port", "0"},
                dir.Path());
  std::smatch m;
  const std::string ready = serve.FirstLine();
  ASSERT_TRUE(std::regex_search(ready, m, std::regex("sessions on 127.0.0.1:(\\d+),"))) << ready;

  std::filesystem::create_directories(dir.File("home/run"));
  const std::vector<std::string> env = {"CV2_HOME=" + dir.File("client"),
                                        "CV2_DEMO_LOG=" + dir.File("ran.log"),
                                        "HOME=" + dir.File("home"),
                                        "XDG_CONFIG_HOME=" + dir.File("home/.config"),
                                        "XDG_CACHE_HOME=" + dir.File("home/.cache"),
                                        "XDG_DATA_HOME=" + dir.File("home/.local"),
                                        "XDG_RUNTIME_DIR=" + dir.File("home/run"),
                                        "QT_QPA_PLATFORM=offscreen"};
  std::filesystem::create_directories(dir.File("client"));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"config", "init"},
           {"config", "set", "HostTXT", "127.0.0.1"},
           {"config", "set", "PortTXT", m[1].str()},
           {"config", "set", "CompanyAlianceTXT", "Corvantis Demo"}}) {
    Program config(ctl, args, dir.Path(), env);
    ASSERT_EQ(config.Wait(), 0) << args[1] << ": " << config.Err();
  }

  Program sync(ctl, {"sync", "--yes"}, dir.Path(), env);
  ASSERT_EQ(sync.Wait(std::chrono::seconds(300)), 0) << sync.Out() << sync.Err();

  // The server saw the report and offered the device updates, the message and the page.
  std::smatch offered;
  const std::string log = serve.Err();
  ASSERT_TRUE(std::regex_search(
      log, offered, std::regex("report of user [0-9A-F]{8}.*; (\\d+) matched, (\\d+) offered")))
      << log;
  const size_t devices = std::stoul(offered[1].str()), offers = std::stoul(offered[2].str());
  EXPECT_GT(devices, 0u);
  EXPECT_EQ(offers, devices + 2);

  // Every offer is new for this client: all of them are delivered and recorded.
  Program history(ctl, {"history", "list"}, dir.Path(), env);
  ASSERT_EQ(history.Wait(), 0) << history.Err();
  EXPECT_EQ(Lines(history.Out()), offers) << history.Out();
  std::string ran;
  ASSERT_TRUE(ReadWholeFile(dir.File("ran.log"), ran)) << "no demo setup program ran";
  EXPECT_EQ(Lines(ran), devices) << ran;

  // A second run is offered the same updates and refuses every one as delivered before.
  Program again(ctl, {"sync", "--yes"}, dir.Path(), env);
  ASSERT_EQ(again.Wait(std::chrono::seconds(300)), 0) << again.Out() << again.Err();
  EXPECT_NE(again.Err().find("No new updates this time.  In the past, Corvantis delivered " +
                             std::to_string(offers) + " new updates to you."),
            std::string::npos)
      << again.Err();
  EXPECT_NE(again.Out().find("ShouldDownload() found existing same Corvantis version for:"),
            std::string::npos);
  Program historyAfter(ctl, {"history", "list"}, dir.Path(), env);
  ASSERT_EQ(historyAfter.Wait(), 0);
  EXPECT_EQ(historyAfter.Out(), history.Out());
  ASSERT_TRUE(ReadWholeFile(dir.File("ran.log"), ran));
  EXPECT_EQ(Lines(ran), devices) << "a setup program ran again";
}

}  // namespace
}  // namespace cv2::test
