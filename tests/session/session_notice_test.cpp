// The closed-session handling on a socket that the test drives: which summary notice is shown,
// when it is shown at all, and that processing always follows.
#include <gtest/gtest.h>

#include "fake_ui.h"
#include "registry_memory.h"
#include "server_session.h"
#include "settings_store.h"
#include "settings_table.h"

namespace cv2 {
namespace {

using test::FakeUserInterface;

class DrivenSocket : public SessionSocket {
 public:
  void SetEvents(SessionSocketEvents* e) override { events = e; }
  void Connect(const std::string&, const std::string&, const SocksSettings& s) override {
    socks = s;
  }
  void SetLineMode(bool on) override { lineMode = on; }
  bool LineMode() const override { return lineMode; }
  std::optional<std::string> ReceiveLine() override { return std::nullopt; }
  std::string ReceiveAll() override { return {}; }
  bool Send(std::string_view bytes) override {
    sent += bytes;
    return true;
  }
  void Close() override {}
  SocketState State() const override { return SocketState::Connected; }

  SessionSocketEvents* events = nullptr;
  SocksSettings socks;
  bool lineMode = true;
  std::string sent;
};

struct Counting : RunControl, ProcessingService {
  void StopTransfers(const std::string& message) override { stops.push_back(message); }
  void ApplicationException(const std::string&) override {}
  void WalkUpdateList() override {
    state->NewCount = newCount;
    state->SkippedCount = skippedCount;
  }
  void ProcessRunList(bool downloading) override { processed.push_back(downloading); }
  ClientState* state = nullptr;
  int32_t newCount = 0, skippedCount = 0;
  std::vector<std::string> stops;
  std::vector<bool> processed;
};

TEST(ClosedSession, SummaryNotice) {
  const Rgb red{191, 64, 64}, blue{51, 102, 153};
  const std::string cannot =
      "Corvantis cannot connect to the server.  Please check your internet connection and "
      "firewall settings and try again at a later time.";
  struct Case {
    const char* name;
    bool connectFailed;
    int32_t newCount, skipped;
    std::optional<int32_t> hideNotices;  // ShowFriendlyMessagesCHK; nullopt: missing
    bool windowVisible;
    bool repeatedRuns;
    std::optional<std::string> text;  // nullopt: no notice
    Rgb colour;
    bool checkBox;
  };
  const Case cases[] = {
      {"cannot connect", true, 0, 0, 0, true, false, cannot, red, false},
      {"cannot connect, notices off, window shown", true, 0, 0, 1, true, false, cannot, red, false},
      {"cannot connect, notices off, window hidden",
       true,
       0,
       0,
       1,
       false,
       false,
       std::nullopt,
       {},
       false},
      {"new updates", false, 3, 2, 0, false, false,
       "Congratulations - you've got 3 update(s)!  Follow the pop-up instructions as Corvantis "
       "takes you through the process of downloading and installing your updates.",
       blue, true},
      {"only skipped updates", false, 0, 12, 0, true, false,
       "No new updates this time.  In the past, Corvantis delivered 12 new updates to you.  Look "
       "for them in Your Updates.",
       blue, true},
      {"nothing, setting missing", false, 0, 0, std::nullopt, true, false,
       "No updates have been found for your system.  Please be sure to run Corvantis again "
       "within no more than thirty days to be certain you receive critical updates as they "
       "become available.",
       blue, true},
      {"notices off", false, 3, 0, 1, true, false, std::nullopt, {}, false},
      {"repeated-run mode", true, 0, 0, 0, true, true, std::nullopt, {}, false},
  };
  for (const auto& c : cases) {
    MemoryRegistry store;
    InitSettings(store);
    if (c.hideNotices) {
      Registry reg(store);
      reg.OpenKey(kSettingsKey, true);
      reg.WriteInteger("ShowFriendlyMessagesCHK", *c.hideNotices);
    } else {
      store.DeleteValue(kSettingsKey, "ShowFriendlyMessagesCHK");
    }
    FakeUserInterface ui;
    ui.mainWindowVisible = c.windowVisible;
    FixedClock clock("1/1/2027");
    ClientState state(store, ui, clock);
    state.RepeatedRunMode = c.repeatedRuns;
    DrivenSocket socket;
    Counting run;
    run.state = &state;
    run.newCount = c.newCount;
    run.skippedCount = c.skipped;
    ServerSession session(state, socket, run, run);
    ASSERT_TRUE(session.Connect()) << c.name;
    EXPECT_TRUE(session.Open());
    state.ConnectFailed = c.connectFailed;
    socket.events->SocketSessionClosed();
    EXPECT_FALSE(session.Open());
    EXPECT_EQ(run.processed, std::vector<bool>{true}) << c.name;
    if (!c.text) {
      EXPECT_TRUE(ui.notices.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(ui.notices.size(), 1u) << c.name;
    EXPECT_EQ(ui.notices[0].Text, *c.text) << c.name;
    EXPECT_EQ(ui.notices[0].Colour, c.colour) << c.name;
    EXPECT_EQ(ui.notices[0].CheckBox, c.checkBox) << c.name;
  }
}

TEST(ConnectStep, ProxySettingsReachTheSocketAndTheTransports) {
  struct Case {
    int32_t combo;
    const char* address;
    const char* user;
    SocksSettings socket;  // what the socket is given
    bool transportsEnabled;
  };
  const Case cases[] = {
      {0, " proxy ", "u", {"", "", "5", "", ""}, false},
      {1, " proxy ", "", {"proxy", "1080", "4", "", ""}, true},
      {2, "proxy", "u", {"proxy", "1080", "4a", "u", "pw"}, true},
      {3, "proxy", "u", {"proxy", "1080", "5", "u", "pw"}, true},
      {7, "proxy", "", {"proxy", "1080", "5", "", ""}, true},  // the level stays as it was
      {3, "   ", "", {"", "1080", "5", "", ""}, false},        // empty address: direct
  };
  for (const auto& c : cases) {
    MemoryRegistry store;
    InitSettings(store);
    Registry reg(store);
    reg.OpenKey(kSettingsKey, true);
    reg.WriteInteger("ProxyCOMBO", c.combo);
    reg.WriteString("ProxyAddressTXT", c.address);
    reg.WriteString("ProxyPortTXT", "1080");
    reg.WriteString("ProxyUserTXT", c.user);
    reg.WriteString("ProxyPassTXT", "pw");
    FakeUserInterface ui;
    FixedClock clock("1/1/2027");
    ClientState state(store, ui, clock);
    DrivenSocket socket;
    Counting run;
    ServerSession session(state, socket, run, run);
    ASSERT_TRUE(session.Connect());
    EXPECT_EQ(socket.socks.Host, c.socket.Host) << c.combo;
    if (!c.socket.Host.empty()) {
      EXPECT_EQ(socket.socks.Port, c.socket.Port) << c.combo;
      EXPECT_EQ(socket.socks.Level, c.socket.Level) << c.combo;
      EXPECT_EQ(socket.socks.User, c.socket.User) << c.combo;
      EXPECT_EQ(socket.socks.Password, c.socket.Password) << c.combo;
    }
    EXPECT_EQ(state.Proxy.Enabled, c.transportsEnabled) << c.combo;
    if (c.transportsEnabled) {
      EXPECT_EQ(state.Proxy.Host, c.socket.Host);
      EXPECT_EQ(state.Proxy.Level, c.socket.Level);
      EXPECT_EQ(state.Proxy.User, c.socket.User);
      EXPECT_EQ(state.Proxy.Password, c.socket.Password);
    }
    EXPECT_TRUE(state.ConnectFailed);
  }
}

TEST(ConnectStep, AnUnknownProxyKindKeepsTheLevelOfTheLastRun) {
  MemoryRegistry store;
  InitSettings(store);
  Registry reg(store);
  reg.OpenKey(kSettingsKey, true);
  reg.WriteString("ProxyAddressTXT", "proxy");
  FakeUserInterface ui;
  FixedClock clock("1/1/2027");
  ClientState state(store, ui, clock);
  DrivenSocket socket;
  Counting run;
  ServerSession session(state, socket, run, run);
  for (const auto& [kind, level] :
       {std::pair{2, "4a"}, {9, "4a"}, {0, "4a"}, {5, "4a"}, {1, "4"}}) {
    reg.WriteInteger("ProxyCOMBO", kind);
    ASSERT_TRUE(session.Connect());
    EXPECT_EQ(state.Proxy.Level, level) << kind;
    EXPECT_EQ(socket.socks.Host, kind == 0 ? "" : "proxy") << kind;
    if (kind != 0) {
      EXPECT_EQ(socket.socks.Level, level) << kind;
    }
  }
}

TEST(ConnectStep, ErrorsOfTheConnectCallStallTheRun) {
  // A missing proxy setting makes its reader fail: the connect call error, nothing requested.
  MemoryRegistry store;
  InitSettings(store);
  store.DeleteValue(kSettingsKey, "ProxyCOMBO");
  FakeUserInterface ui;
  FixedClock clock("1/1/2027");
  ClientState state(store, ui, clock);
  DrivenSocket socket;
  Counting run;
  ServerSession session(state, socket, run, run);
  EXPECT_FALSE(session.Connect());
  EXPECT_FALSE(session.Open());
  EXPECT_EQ(state.Log().Lines().back(), "Error during connect call");
}

}  // namespace
}  // namespace cv2
