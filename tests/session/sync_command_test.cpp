// `cv2ctl sync`: arguments, what goes to standard output and standard error, and exit statuses.
#include <gtest/gtest.h>

#include <QProcess>
#include <sstream>

#include "session_harness.h"
#include "settings_table.h"
#include "sync_runner.h"
#include "zlib_codec.h"

namespace cv2::test {
namespace {

struct Output {
  int status;
  std::string out, err;
};

Output Sync(SyncFixture& f, const std::vector<std::string>& args) {
  std::ostringstream out, err;
  ClientServices overrides = f.overrides;
  overrides.Processing = nullptr;  // the real update delivery ends these runs
  const int status = SyncCommandWith(args, out, err, &f.store, overrides);
  return {status, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SyncCommand, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--yes", "--no"},
      {"--yes", "--company", "Nobody"},
      {"--no", "--company"},
      {"--yes", "--timeout", "0"},
      {"--yes", "--timeout", "1s"},
      {"--yes", "--verbose"},
  };
  for (const auto& args : cases) {
    SyncFixture f;
    const Output o = Sync(f, args);
    EXPECT_EQ(o.status, kSyncUsageError) << ::testing::PrintToString(args);
    EXPECT_TRUE(o.out.empty());
    EXPECT_FALSE(o.err.empty());
  }
}

TEST(SyncCommand, ProgramRefusesARunWithoutAnAnswerGiven) {
  QProcess program;
  program.start(QString(CV2_OUTPUT_DIR) + "/cv2ctl", {"sync"});
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitCode(), 1);
  EXPECT_TRUE(program.readAllStandardError().contains("--yes"));
}

TEST(SyncCommand, StalledRuns) {
  {
    SCOPED_TRACE("hardware list failure");
    SyncFixture f;
    f.inventory.succeeds = false;
    const Output o = Sync(f, {"--yes"});
    EXPECT_EQ(o.status, kSyncStalled);
    EXPECT_TRUE(Has(o.err, "Notice: Corvantis cannot find all it's components."));
  }
  {
    SCOPED_TRACE("connect call error");
    SyncFixture f;
    f.SetString("PortTXT", "no-such-service");
    const Output o = Sync(f, {"--no"});
    EXPECT_EQ(o.status, kSyncStalled);
    EXPECT_TRUE(Has(o.out, "Connecting to the server\nError during connect call\n"));
  }
}

TEST(SyncCommand, CompletedSessionPrintsTheLogAndTheNotice) {
  const std::string list = ZlibCompress("entry\r\n");
  SessionPeer peer(Script()
                       .Line()
                       .Send("cv2_ready_for_buffer\r\n")
                       .Report()
                       .Send("size=" + std::to_string(list.size()) + "\r\n")
                       .Line()
                       .Send(list)
                       .Line()
                       .Close());
  SyncFixture f;
  f.SetString("PortTXT", std::to_string(peer.Port()));
  f.SetString("CompanyAlianceTXT", "");
  const Output o = Sync(f, {"--yes", "--company", "Orsel"});
  EXPECT_EQ(o.status, kSyncCompleted) << o.out << o.err;
  EXPECT_TRUE(Has(o.out, "Connecting to the server\n"));
  EXPECT_TRUE(Has(o.out, "Aliance company set to: Orsel\n"));
  EXPECT_TRUE(Has(o.out, "received support answer buffer\n"));
  EXPECT_TRUE(Has(o.err, "Notice: No updates have been found for your system."));
  EXPECT_EQ(f.GetString("CompanyAlianceTXT"), "Orsel");
  EXPECT_EQ(peer.Status(), "ok");
}

TEST(SyncCommand, ASessionWithoutProgressEndsAfterTheTimeout) {
  const std::string list = ZlibCompress("entry\r\n");
  struct Case {
    const char* name;
    Script script;
    int status;
  };
  const Case cases[] = {
      // The peer takes the hardware line and then says nothing: a socket error.
      {"silent server", Script().Line().Pause(20000), kSyncConnectFailed},
      // The peer never closes after "cv2_disconnect": the update list is kept.
      {"server that does not close",
       Script()
           .Line()
           .Send("cv2_ready_for_buffer\r\n")
           .Report()
           .Send("size=" + std::to_string(list.size()) + "\r\n")
           .Line()
           .Send(list)
           .Line()
           .Pause(20000),
       kSyncCompleted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SessionPeer peer(c.script);
    SyncFixture f;
    f.SetString("PortTXT", std::to_string(peer.Port()));
    const Output o = Sync(f, {"--yes", "--timeout", "1"});
    EXPECT_EQ(o.status, c.status);
    const bool failed = c.status == kSyncConnectFailed;
    EXPECT_EQ(Has(o.out, "Error during connection to the server\n"), failed);
    EXPECT_EQ(Has(o.out, "Socket Error\n"), failed);
    EXPECT_EQ(Has(o.err, "Notice: Corvantis cannot connect to the server."), failed);
  }
}

}  // namespace
}  // namespace cv2::test
