// The server session against the scripted peer: the complete dialogue, the first session, and the
// edge cases, each checked by the bytes the client sent, the log and the outcome of the run.
#include <gtest/gtest.h>

#include <QTimer>
#include <functional>

#include "server_session.h"
#include "session_harness.h"
#include "settings_table.h"
#include "sync_runner.h"
#include "text_util.h"
#include "zlib_codec.h"

namespace cv2::test {
namespace {

constexpr const char* kReady = "cv2_ready_for_buffer\r\n";
constexpr const char* kBye = "cv2_disconnect\r\n";
constexpr const char* kGetUser = "get_user\r\n";
const char* const kNoUpdates =
    "No updates have been found for your system.  Please be sure to run Corvantis again within no "
    "more than thirty days to be certain you receive critical updates as they become available.";
const char* const kCannotConnect =
    "Corvantis cannot connect to the server.  Please check your internet connection and firewall "
    "settings and try again at a later time.";

std::string HardwareLine(size_t size, const std::string& user) {
  return "cv2_hardware size=" + HexUpper(static_cast<uint32_t>(size), 8) + " user=" + user +
         " log\r\n";
}

std::vector<std::string> SessionStart() {
  return {"", "", "127.0.0.1", "Connecting to the server"};
}

struct Case {
  std::string name;
  std::string storedUser;  // empty: the client holds no user number
  Script script;
  std::string sent;              // every byte the client sends
  std::vector<std::string> log;  // the session's lines after "Connecting to the server"
  int exit;
  std::vector<std::string> updateList;
  std::function<void(SyncFixture&)> setup = nullptr;
  std::function<void(SyncFixture&)> check = nullptr;
  std::function<void(ClientAssembly&)> prepare = nullptr;
};

TEST(ServerSession, DialogueAgainstTheScriptedPeer) {
  const std::vector<std::string> report = ReportCompressingTo(2623);
  const std::string reportZ = CompressedLines(report);
  ASSERT_EQ(reportZ.size(), 2623u);
  const std::vector<std::string> entries = EntriesCompressingTo(1500);
  const std::string listZ = CompressedLines(entries);
  ASSERT_EQ(listZ.size(), 1500u);
  const std::string hw = HardwareLine(reportZ.size(), "1F");
  ASSERT_EQ(hw, "cv2_hardware size=00000A3F user=1F log\r\n");
  const std::string full = hw + reportZ + kReady + kBye;
  const std::vector<std::string> fullLog = {"TransmissionSize set to: 1500",
                                            "received support answer buffer"};
  const std::string answer = "Dear user,\r\n\r\ntry the new driver.";
  const std::string answerZ = ZlibCompress(answer);
  const std::string answerSize = std::to_string(answerZ.size());
  // The server's side up to the report: hardware line in, ready out, report in.
  auto head = [] { return Script().Line().Send(kReady).Report(); };
  auto account = [](const char* user, const char* pass) {
    return [=](SyncFixture& f) {
      EXPECT_EQ(f.GetString("User_licenceTXT"), user);
      EXPECT_EQ(f.GetString("User_passwordTXT"), pass);
    };
  };

  // clang-format off
  const Case cases[] = {
      {"complete session", "1F",
       head().Send("size=1500\r\n").Line().Send(listZ).Line().Close(), full, fullLog, 0, entries},
      {"first session asks for the account", "",
       Script().Line().Send("user=2A pass=Secret\r\n").Line().Send(kReady).Report()
           .Send("size=1500\r\n").Line().Send(listZ).Line().Close(),
       kGetUser + HardwareLine(reportZ.size(), "2A") + reportZ + kReady + kBye, fullLog, 0,
       entries, nullptr, account("2A", "Secret")},
      {"lines split over segments", "1F",
       Script().Line().Send("cv2_ready_").Pause().Send("for_buffer\r").Pause().Send("\n")
           .Report().Send("si").Pause().Send("ze=1500\r\n").Line().Send(listZ).Line().Close(),
       full, fullLog, 0, entries},
      {"a 129-byte line is lost and the session waits", "1F",
       head().Send(std::string(100, 'x')).Pause().Send(std::string(29, 'x') + "\r").Pause()
           .Send("\nsize=1500\r\n").Line().Send(listZ).Line().Close(),
       full, fullLog, 0, entries},
      {"size line and buffer in one segment", "1F",
       head().Send("size=1500\r\n" + listZ).Line().Line().Close(), full, fullLog, 0, entries},
      {"size=1A", "1F", head().Send("size=1A\r\n"), hw + reportZ,
       {"Transmission Size variable is not a valid integer"}, 3, {}},
      {"size=0", "1F", head().Send("size=0\r\n").Line().Send("x"), hw + reportZ + kReady,
       {"Error - received size bigger then expected", "Error - received size bigger then expected"},
       3, {}},
      // Thirteen bytes in one small segment arrive together: never exactly the ten announced.
      {"buffer longer than announced", "1F",
       head().Send("size=10\r\n").Line().Send("0123456789xyz"), hw + reportZ + kReady,
       {"TransmissionSize set to: 10", "Error - received size bigger then expected",
        "Error - received size bigger then expected"},
       3, {}},
      {"cv2_disconnect in raw mode is buffer data", "1F",
       head().Send("size=16\r\n").Line().Send(kBye), hw + reportZ + kReady,
       {"TransmissionSize set to: 16"}, 3, {}},
      {"user_not_found drops the account and asks again", "99",
       Script().Line().Send("user_not_found\r\n").Line().Send("user=7 pass=p\r\n").Line()
           .Send(kReady).Report().Send("size=1500\r\n").Line().Send(listZ).Line().Close(),
       HardwareLine(reportZ.size(), "99") + kGetUser + HardwareLine(reportZ.size(), "7") +
           reportZ + kReady + kBye,
       fullLog, 0, entries, nullptr, account("7", "p")},
      {"support answer", "1F",
       head().Send("CV2_Support_Request SIZE=" + answerSize + "\r\n").Line().Send(answerZ)
           .Line().Close(),
       full, {"TransmissionSize set to: " + answerSize, "Dear user,", "", "try the new driver."},
       0, {}, [](SyncFixture& f) { f.SetInteger("SupportRequestPending", 1); },
       [&](SyncFixture& f) {
         EXPECT_FALSE(f.HasValue("SupportRequestPending"));
         EXPECT_EQ(f.ui.messages, std::vector<std::string>{answer + "|"});
         EXPECT_TRUE(f.State().Status().IsVisible(Visual::B_BtnUp));
         EXPECT_TRUE(f.State().Status().IsVisible(Visual::MainWindowEnabled));
       }},
      {"corrupt buffer", "1F", head().Send("size=10\r\n").Line().Send("0123456789"),
       hw + reportZ + kReady, {"TransmissionSize set to: 10"}, 3, {}},
      {"peer closes in the middle of the buffer", "1F",
       head().Send("size=1500\r\n").Line().Send(listZ.substr(0, 700)).Close(),
       hw + reportZ + kReady, {"TransmissionSize set to: 1500"}, 3, {}},
      {"user number that is not hexadecimal", "",
       Script().Line().Send("user=XYZ pass=p\r\n").Line().Close(),
       kGetUser + HardwareLine(reportZ.size(), "XYZ"), {"Username is not a valid integer"}, 3, {},
       nullptr, account("XYZ", "p")},
      {"password without user number", "", Script().Line().Send("pass=p\r\n").Line().Close(),
       std::string(kGetUser) + kGetUser, {}, 3, {}, nullptr, account("", "p")},
      {"unknown token after the size", "1F", head().Send("size=5 xyz\r\n"), hw + reportZ,
       {"Unknown constant received from the server in command line", "TransmissionSize set to: 5",
        "Error during connection to the server", "Socket Error"},
       3, {}, nullptr, [](SyncFixture& f) { EXPECT_EQ(f.State().TransmissionSize, 5); }},
      {"server asks to disconnect", "1F", Script().Line().Send(kBye), hw,
       {"Server requested disconnection."}, 3, {}},
      {"a second cv2_ready_for_buffer sends nothing", "1F",
       head().Send(kReady).Pause().Send("size=1500\r\n").Line().Send(listZ).Line().Close(), full,
       fullLog, 0, entries},
      {"announced size above the cap", "1F", head().Send("size=67108865\r\n"), hw + reportZ, {},
       3, {}},
      {"content above the cap", "1F", head().Send("size=1500\r\n").Line().Send(listZ),
       hw + reportZ + kReady, {"TransmissionSize set to: 1500"}, 3, {}, nullptr, nullptr,
       [](ClientAssembly& a) {
         ServerSession::Limits limits;
         limits.MaxDecompressedSize = 1000;
         a.Session().SetLimits(limits);
       }},
  };
  // clang-format on

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionPeer peer(c.script);
    SyncFixture f;
    f.report.lines = report;
    f.SetString("PortTXT", std::to_string(peer.Port()));
    if (c.storedUser.empty())
      f.store.DeleteValue(kSettingsKey, "User_licenceTXT");
    else
      f.SetString("User_licenceTXT", c.storedUser);
    if (c.setup) c.setup(f);

    EXPECT_EQ(f.Run(10, c.prepare), c.exit);
    const std::string received = peer.Received();
    EXPECT_EQ(received.size(), c.sent.size());
    EXPECT_TRUE(received == c.sent)
        << "first difference at byte "
        << std::mismatch(received.begin(), received.end(), c.sent.begin(), c.sent.end()).first -
               received.begin();
    EXPECT_EQ(peer.Status(), "ok");
    std::vector<std::string> log = SessionStart();
    log.insert(log.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(f.SessionLog(), log);
    EXPECT_GE(f.Count("Socket change state"), 1);
    EXPECT_TRUE(f.State().SockRcvMemo == c.updateList)
        << f.State().SockRcvMemo.size() << " entries instead of " << c.updateList.size();
    EXPECT_EQ(f.State().ConnectFailed, c.exit != 0);
    ASSERT_EQ(f.ui.notices.size(), 1u);
    if (c.exit == 0) {
      EXPECT_EQ(f.ui.notices[0].Text, kNoUpdates);
      EXPECT_EQ(f.ui.notices[0].Colour, (Rgb{51, 102, 153}));
      EXPECT_TRUE(f.ui.notices[0].CheckBox);
    } else {
      EXPECT_EQ(f.ui.notices[0].Text, kCannotConnect);
    }
    EXPECT_FALSE(f.State().RunActive());
    EXPECT_EQ(f.State().Status().GetCaption(Caption::StatusLBL), "Disconnected");
    EXPECT_FALSE(f.State().Status().TrayAnimating());
    if (c.check) c.check(f);
  }
}

TEST(ServerSession, RefusedConnectionEndsWithTheCannotConnectNotice) {
  SyncFixture f;
  f.SetString("PortTXT", std::to_string(FreePort()));
  f.SetString("CompanyAlianceTXT", "");
  f.ui.company = "MSI";
  EXPECT_EQ(f.Run(), kSyncConnectFailed);
  std::vector<std::string> log = SessionStart();
  log.insert(log.end(), {"Aliance company set to: MSI", "Error during connection to the server",
                         "Socket Error"});
  EXPECT_EQ(f.SessionLog(), log);
  EXPECT_EQ(f.GetString("CompanyAlianceTXT"), "MSI");
  ASSERT_EQ(f.ui.notices.size(), 1u);
  EXPECT_EQ(f.ui.notices[0].Text, kCannotConnect);
  EXPECT_EQ(f.ui.notices[0].Colour, (Rgb{191, 64, 64}));
  EXPECT_FALSE(f.ui.notices[0].CheckBox);
  EXPECT_FALSE(f.State().RunActive());
}

// Stops the run (a click on the Run button) once the announced buffer starts arriving.
class StoppingUi : public FakeUserInterface {
 public:
  void LogAppended(const std::string& line) override {
    if (line.rfind("TransmissionSize set to: ", 0) == 0 && stop)
      QTimer::singleShot(0, [this] { stop(); });
  }
  std::function<void()> stop;
};

TEST(ServerSession, UserStopWhileTheBufferArrives) {
  const std::string listZ = CompressedLines(EntriesCompressingTo(1500));
  SessionPeer peer(Script()
                       .Line()
                       .Send(kReady)
                       .Report()
                       .Send("size=1500\r\n")
                       .Line()
                       .Send(listZ.substr(0, 500))
                       .Pause(3000)
                       .Send(listZ.substr(500)));
  StoppingUi ui;
  SyncFixture f;
  f.SetString("PortTXT", std::to_string(peer.Port()));
  ClientAssembly assembly(f.store, ui, f.overrides);
  f.report.state = &assembly.State();
  f.processing.state = &assembly.State();
  ui.stop = [&] { assembly.Controller().RunButtonClicked(); };
  EXPECT_EQ(RunSynchronization(assembly, 10), kSyncConnectFailed);
  const MainLog& log = assembly.State().Log();
  EXPECT_TRUE(log.Contains("User terminated synchronization"));
  EXPECT_FALSE(log.Contains("received support answer buffer"));
  EXPECT_TRUE(assembly.State().SockRcvMemo.empty());
  EXPECT_TRUE(assembly.State().StopRequested);
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_EQ(ui.notices[0].Text, kCannotConnect);
}

}  // namespace
}  // namespace cv2::test
