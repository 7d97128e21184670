#include <gtest/gtest.h>

#include "client_controller.h"
#include "fake_ui.h"
#include "registry_memory.h"
#include "settings_store.h"
#include "settings_table.h"

namespace cv2 {
namespace {

using test::FakeUserInterface;

// Services that record their calls; the session's connect either succeeds (the run then waits
// in its session) or fails like a connect call error.
struct FakeServices : IdentityService,
                      InventoryService,
                      ReportService,
                      SessionService,
                      TransferService,
                      ExtractorService,
                      ProcessingService {
  explicit FakeServices(ClientState& s) : state(s) {}
  void ReadSystemIdentity() override { calls += "identity;"; }
  void DetectPlatform() override { calls += "platform;"; }
  void FillOemBrand() override { calls += "brand;"; }
  bool LoadHardwareList() override {
    calls += "hwload;";
    if (loadSucceeds) state.DeviceTree.Roots.push_back({"Device", {{"HardwareID", {{"ID", {}}}}}});
    return loadSucceeds;
  }
  void ReleaseHardwareLibrary() override { calls += "release;"; }
  void ComposeReport() override { calls += "compose;"; }
  bool Connect() override {
    calls += "connect;";
    if (!connectSucceeds) state.AppendLog("Error during connect call");
    return connectSucceeds;
  }
  void CloseSocket() override { calls += "close;"; }
  void DisconnectFtp() override { calls += "ftp-off;"; }
  void SafeDisconnectHttp() override { calls += "http-off;"; }
  void LoadLibraries() override { calls += "zip-load;"; }
  void UnloadLibraries() override { calls += "zip-unload;"; }
  void WalkUpdateList() override { calls += "walk;"; }
  void ProcessRunList(bool) override { calls += "process;"; }

  ClientServices Set() { return {this, this, this, this, this, this, this}; }
  int Count(const std::string& call) const {
    int n = 0;
    for (size_t pos = calls.find(call); pos != std::string::npos; pos = calls.find(call, pos + 1))
      ++n;
    return n;
  }

  ClientState& state;
  std::string calls;
  bool loadSucceeds = true;
  bool connectSucceeds = true;
};

class NoLibraries : public LibraryLoader {
 public:
  std::unique_ptr<LoadedLibrary> Load(const std::string&) override { return nullptr; }
};

class RunCycle : public ::testing::Test {
 protected:
  RunCycle() : state(store, ui, clock), controller(state, libraries), services(state) {
    InitSettings(store);
    controller.AttachServices(services.Set());
  }
  void SetSetting(const std::string& name, int32_t value) {
    Registry reg(store);
    reg.OpenKey(kSettingsKey, true);
    reg.WriteInteger(name, value);
  }
  const std::string& Caption_(Caption c) { return state.Status().GetCaption(c); }
  bool Visible(Visual v) { return state.Status().IsVisible(v); }
  void Type(const std::string& keys) {
    for (char c : keys) controller.FormKeyPress(c);
  }

  MemoryRegistry store;
  FakeUserInterface ui;
  FixedClock clock{"11/12/2026"};
  NoLibraries libraries;
  ClientState state;
  ClientController controller;
  FakeServices services;
};

TEST(RunFrequency, IntervalTable) {
  const std::pair<int32_t, int> table[] = {{0, 21'600'000},   {1, 86'400'000},
                                           {2, 259'200'000},  {3, 604'800'000},
                                           {4, 1'814'400'000}, {5, 0},
                                           {-1, 0},           {9, 0}};
  for (const auto& [index, interval] : table)
    EXPECT_EQ(ClientController::RunFrequencyInterval(index), interval) << index;
}

TEST_F(RunCycle, CreationStartsTimerOnlyForAScheduledFrequency) {
  for (const auto& [index, active] : {std::pair{0, true}, {5, false}, {-1, false}, {9, false}}) {
    FakeUserInterface localUi;
    ClientState localState(store, localUi, clock);
    ClientController local(localState, libraries);
    local.AttachServices(services.Set());
    SetSetting("RunFrequencyCOMBO", index);
    local.FormCreate();
    EXPECT_EQ(local.RunTimerActive(), active) << index;
    if (active) {
      EXPECT_EQ(local.RunTimerInterval(), 21'600'000);
    }
    EXPECT_EQ(localUi.trayActivations, 1);
    // No run at start-up: the first scheduled run comes one interval later.
    EXPECT_FALSE(localState.RunActive());
  }
  EXPECT_NE(services.calls.find("identity;platform;brand;zip-load;"), std::string::npos);
}

TEST_F(RunCycle, MissingShowLogoStopsCreationBeforeTheTimer) {
  SetSetting("RunFrequencyCOMBO", 0);
  store.DeleteValue(kSettingsKey, "ShowLogoCHK");
  controller.FormCreate();
  EXPECT_TRUE(state.Log().Contains("Application Exception: Failed to get data for 'ShowLogoCHK'"));
  EXPECT_TRUE(Visible(Visual::ExceptionFlagShape));
  EXPECT_FALSE(controller.RunTimerActive());
  EXPECT_EQ(ui.trayActivations, 0);
  EXPECT_EQ(services.calls, "");
  EXPECT_FALSE(state.Log().Contains("Loading compression Library..."));
}

TEST_F(RunCycle, RunButtonGoesThroughTheStatesAndStopEndsIt) {
  controller.FormCreate();
  std::vector<std::string> seenWhilePumping;
  ui.onProcessMessages = [&] { seenWhilePumping.push_back(Caption_(Caption::SearchStatusLBL)); };
  controller.RunButtonClicked();
  EXPECT_TRUE(state.RunActive());
  EXPECT_EQ(seenWhilePumping.front(), "Probing");
  EXPECT_NE(services.calls.find("hwload;release;compose;connect;"), std::string::npos);
  EXPECT_EQ(Caption_(Caption::Start1), "Stop");
  EXPECT_EQ(Caption_(Caption::oldStatusLBL), "ENABLED");
  EXPECT_EQ(Caption_(Caption::MessageLBL), "Checking for new updates");
  EXPECT_EQ(Caption_(Caption::NewUpdatesCount), "0");
  EXPECT_FALSE(Visible(Visual::EnableBtn));
  EXPECT_TRUE(Visible(Visual::DisableBtn));
  EXPECT_FALSE(state.StopRequested);

  // A tick during the run starts nothing.
  controller.RunTIMERTimer();
  controller.RunCycleTimerTimer();
  EXPECT_EQ(services.Count("hwload;"), 1);

  // The tray item stops the run.
  controller.Start1Click();
  EXPECT_FALSE(state.RunActive());
  EXPECT_TRUE(state.StopRequested);
  EXPECT_NE(services.calls.find("close;ftp-off;http-off;"), std::string::npos);
  EXPECT_EQ(state.Log().Lines().back(), "User terminated synchronization");
  EXPECT_EQ(Caption_(Caption::oldStatusLBL), "DISABLED");
  EXPECT_EQ(Caption_(Caption::Start1), "Start");
  EXPECT_EQ(Caption_(Caption::SearchStatusLBL), "Ready");
  EXPECT_TRUE(Visible(Visual::EnableBtn));
  EXPECT_FALSE(Visible(Visual::DisableBtn));
  EXPECT_EQ(ui.promptClosed, 1);

  // In Idle, the tray item starts a run.
  controller.Start1Click();
  EXPECT_TRUE(state.RunActive());
  EXPECT_EQ(services.Count("hwload;"), 2);
}

TEST_F(RunCycle, HardwareListFailureStallsUntilTheUserStops) {
  services.loadSucceeds = false;
  controller.RunTIMERTimer();
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_EQ(ui.notices[0].Text,
            "Corvantis cannot find all it's components.  Please reinstall Corvantis software.");
  EXPECT_EQ(ui.notices[0].Colour, (Rgb{191, 64, 64}));
  EXPECT_FALSE(ui.notices[0].CheckBox);
  // The library is released and the report composed even though the load failed.
  EXPECT_EQ(services.calls, "hwload;release;compose;");
  EXPECT_TRUE(state.RunActive());
  EXPECT_EQ(Caption_(Caption::SearchStatusLBL), "Probing");
  controller.RunTIMERTimer();
  EXPECT_EQ(services.Count("hwload;"), 1);
  controller.RunButtonClicked();
  EXPECT_FALSE(state.RunActive());
  EXPECT_EQ(Caption_(Caption::SearchStatusLBL), "Ready");
}

TEST_F(RunCycle, ConnectCallErrorLeavesTheRunStalled) {
  services.connectSucceeds = false;
  controller.RunButtonClicked();
  EXPECT_TRUE(state.Log().Contains("Error during connect call"));
  EXPECT_TRUE(state.RunActive());
  controller.RunTIMERTimer();
  EXPECT_EQ(services.Count("connect;"), 1);
}

TEST_F(RunCycle, LogIsClearedOnlyAboveAThousandLines) {
  for (size_t lines : {1000u, 1001u}) {
    state.Log().Clear();
    for (size_t i = 0; i < lines; ++i) state.AppendLog("line");
    state.SetRunActive(false);
    controller.RunButtonClicked();
    EXPECT_EQ(state.Log().Lines().front(), lines == 1000 ? "line" : "Loading hardware list...");
    controller.RunButtonClicked();  // stop
  }
}

TEST_F(RunCycle, CodeWordInsideLongerTypingSwitchesRepeatedRunMode) {
  // The buffer holds the newest character first, so the word is typed last letter first.
  ui.inputAnswers.push_back(std::string("250"));
  Type("hello oxurp");
  ASSERT_EQ(ui.inputBoxes.size(), 1u);
  EXPECT_EQ(ui.inputBoxes[0], "Ping frequency specification|Millisecs: |100");
  EXPECT_TRUE(controller.RunCycleEnabled());
  EXPECT_EQ(controller.RunCycleInterval(), 250);
  EXPECT_TRUE(state.RepeatedRunMode);
  Type("pruxo");  // typed forwards: no match
  EXPECT_TRUE(controller.RunCycleEnabled());
  Type("oxurp");  // again: off, without asking
  EXPECT_FALSE(controller.RunCycleEnabled());
  EXPECT_EQ(ui.inputBoxes.size(), 1u);
}

TEST_F(RunCycle, RepeatedRunModeIntervalAnswers) {
  struct Case {
    std::optional<std::string> answer;
    bool enabled;
    int interval;
    std::string error;
  };
  const Case cases[] = {{std::nullopt, true, 100, ""},  // cancelled: the default
                        {std::string("0"), true, 0, ""},
                        {std::string("abc"), false, 100, "'abc' is not a valid integer value"},
                        {std::string("-5"), false, 100, "Range check error"}};
  for (const Case& c : cases) {
    FakeUserInterface localUi;
    ClientState localState(store, localUi, clock);
    ClientController local(localState, libraries);
    localUi.inputAnswers.push_back(c.answer);
    for (char ch : std::string("oxurp")) local.FormKeyPress(ch);
    EXPECT_EQ(local.RunCycleEnabled(), c.enabled);
    if (c.enabled) {
      EXPECT_EQ(local.RunCycleInterval(), c.interval);
    }
    if (!c.error.empty()) {
      EXPECT_TRUE(localState.Log().Contains("Application Exception: " + c.error));
    }
  }
}

TEST_F(RunCycle, RepeatedRunModeReusesTheFirstHardwareList) {
  ui.inputAnswers.push_back(std::string("0"));  // on, but its timer never fires
  Type("oxurp");
  controller.RunButtonClicked();
  controller.RunButtonClicked();
  controller.RunButtonClicked();
  EXPECT_EQ(services.Count("hwload;"), 1);
  EXPECT_EQ(services.Count("connect;"), 2);
}

}  // namespace
}  // namespace cv2
