#include "update_list.h"

#include <gtest/gtest.h>

#include "delivery_fixture.h"
#include "delivery_service.h"
#include "version_order.h"

namespace cv2 {
namespace {

using test::Device;
using test::Entry;

TEST(VersionOrder, ComparesComponentByComponent) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"1.10", "1.9", 1},  // numbers, not text: a newer driver is not refused as older
      {"10.0", "9.0", 1},
      {"1.2", "1.2", 0},
      {"1.2", "1.2.0", 0},  // a missing trailing component counts as 0
      {"1.2.0.0", "1.2", 0},
      {"01.002", "1.2", 0},  // leading zeros do not count
      {"1.2", "1.2.1", -1},
      {"18446744073709551617.1", "18446744073709551616.9", 1},  // longer than any integer type
      {"", "", 0},
      {"", "0", -1},  // an empty version comes before every other one
      {"", "1.0", -1},
      {"2.0a", "2.0b", -1},  // other components by collation
      {"2.0", "2.0b", -1},
      {"1.0-rc1", "1.0-rc2", -1},
      {"5.15.0-91-generic", "5.15.0-91-generic", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(CompareVersions(c.a, c.b), c.order);
    EXPECT_EQ(CompareVersions(c.b, c.a), -c.order);
  }
}

class UpdateList : public test::DeliveryTest {
 protected:
  std::string Offer(const std::string& version, const std::string& language = "") {
    return Entry("Dev", version, "*http*\"host/d.exe\"", "K1", language);
  }
  void Delivered(const std::string& version, bool success) {
    TTransRecord record;
    record.SetTransmition(Offer(version));
    UpdateHistory(store, &clock).RecordUpdate(record, success);
  }
};

TEST_F(UpdateList, LocaleMatchesAcceptedCodes) {
  struct Case {
    const char* languages;
    const char* setting;
    bool matches;
    const char* line;  // the log line of a match, or null
  };
  const Case cases[] = {
      {"0407", "0409;0407;", true, "\"ShouldDownload\" found ;0407; in config.Regional:0409;0407;"},
      {"0407", "0409;0407", false, nullptr},  // the last code lacks its ";"
      {"0407", "0409", true, nullptr},        // no ";" at all: nothing is compared
      {"0407", "", true, nullptr},
      {"", "0409;", true, nullptr},
      {"040C;0407", "0409;0407;", true,
       "\"ShouldDownload\" found ;0407; in config.Regional:0409;0407;"},
      {"0409;0407", "0407;0409;", true,  // tried in the order of the list
       "\"ShouldDownload\" found ;0409; in config.Regional:0407;0409;"},
      {"040C", "0409;0407;", false, nullptr},
      {"407", "0409;0407;", false, nullptr},  // whole codes only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.languages) + " in " + c.setting);
    SetSetting("LocaleSettingsTXT", std::string(c.setting));
    state.Log().Clear();
    EXPECT_EQ(LocaleMatches(state, c.languages), c.matches);
    if (c.line)
      EXPECT_EQ(Log(), std::vector<std::string>{c.line});
    else
      EXPECT_TRUE(Log().empty());
  }
}

TEST_F(UpdateList, ShouldDownloadComparesHistoryAndInstalledDriver) {
  struct Case {
    const char* name;
    const char* history;  // version delivered before, or null
    bool historySucceeded;
    const char* installed;  // version of the installed device, or null
    const char* offered;
    bool accepted;
    std::vector<std::string> lines;  // expected among the log lines
  };
  const std::string refusedLine = "ShouldDownload() found incompatible windows version for:Dev";
  const Case cases[] = {
      {"new update",
       nullptr,
       true,
       nullptr,
       "1.0",
       true,
       {"Update's Verison is: 1.0", "Didn't find Windows Verison for an update, it was set to: ",
        "Corvantis's previously downloaded verison is: ",
        "ShouldDownload() didn't find such an update in history for:Dev"}},
      {"newer than delivered by number",
       "1.9",
       true,
       "1.8",
       "1.10",
       true,
       {"Found Windows Verison for an update: 1.8",
        "Corvantis's previously downloaded verison is: 1.9"}},
      {"older than delivered",
       "1.10",
       true,
       nullptr,
       "1.9",
       false,
       {"ShouldDownload() found newer Corvantis version for:Dev, 1.10", refusedLine}},
      {"delivered before",
       "1.2",
       true,
       nullptr,
       "1.2",
       false,
       {"ShouldDownload() found existing same Corvantis version for:Dev, 1.2", refusedLine}},
      {"delivery failed before",
       "1.2",
       false,
       nullptr,
       "1.2",
       false,
       {"ShouldDownload() found existing same Corvantis version for:Dev, 1.2", refusedLine}},
      {"installed already",
       nullptr,
       true,
       "5.0",
       "5.0",
       false,
       {"ShouldDownload() found existing same Windows version for:Dev, 5.0", refusedLine}},
      {"installed is newer",
       nullptr,
       true,
       "10.0",
       "9.0",
       false,
       {"Found Windows Verison for an update: 10.0",
        "ShouldDownload() found newer Windows version for:Dev, 10.0", refusedLine}},
      {"no version",
       nullptr,
       true,
       nullptr,
       "",
       false,
       {"ShouldDownload() found existing same Corvantis version for:Dev, ",
        "ShouldDownload() found existing same Windows version for:Dev, ", refusedLine}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateHistory(store).ForgetAll();
    if (c.history) Delivered(c.history, c.historySucceeded);
    // Keyword lines of the report are no records; they are passed over.
    state.HardwareReport = {"branded", "user=1F", Device("Other", "99.0")};
    if (c.installed) state.HardwareReport.push_back(Device("Dev", c.installed));
    state.Log().Clear();
    EXPECT_EQ(ShouldDownload(state, Offer(c.offered)), c.accepted);
    for (const auto& line : c.lines) EXPECT_TRUE(Logged(line)) << line;
    EXPECT_EQ(Logged(refusedLine), !c.accepted);
  }
}

TEST_F(UpdateList, ShouldDownloadTakesTheFirstDeviceOfTheNameAndTheLocale) {
  state.HardwareReport = {Device("Dev", "3.0"), Device("Dev", "1.0")};
  EXPECT_FALSE(ShouldDownload(state, Offer("2.0")));
  EXPECT_TRUE(Logged("ShouldDownload() found newer Windows version for:Dev, 3.0"));

  state.HardwareReport.clear();
  SetSetting("LocaleSettingsTXT", std::string("0409;"));
  state.Log().Clear();
  EXPECT_FALSE(ShouldDownload(state, Offer("2.0", "0407")));
  EXPECT_EQ(Log().back(), "ShouldDownload() found incompatible windows version for:Dev");
  EXPECT_TRUE(Logged("ShouldDownload() found incompatible locale for:Dev"));
}

TEST_F(UpdateList, WalkQueuesNewEntriesAndCountsTheRest) {
  Delivered("1.0", true);  // K1 1.0 was delivered in an earlier run
  const std::string fresh = Entry("Fresh", "2.0", "*http*\"host/f.exe\"", "K2");
  state.SockRcvMemo = {
      "  " + fresh + "\r",
      Entry("Missing", "1.0", "no_driver", "K3"),
      Entry("Empty", "1.0", "", "K4"),
      Offer("1.0"),
      "00090001",  // a header that does not fit: no fields, passed over
      "",
  };
  WalkUpdateList(state);

  EXPECT_EQ(state.RunList, std::vector<std::string>{fresh});
  EXPECT_EQ(state.NewCount, 1);
  EXPECT_EQ(state.SkippedCount, 1);
  EXPECT_EQ(state.Status().GetCaption(Caption::NewUpdatesCount), "1");
  EXPECT_EQ(state.Status().GetCaption(Caption::UpdatesCountLBL), "2");
  EXPECT_EQ(std::count(Log().begin(), Log().end(), "**************"), 2);
  EXPECT_TRUE(Logged("Encoder: *http*\"host/f.exe\""));
  EXPECT_FALSE(Logged("Encoder: no_driver"));
}

struct RecordingRunControl : RunControl {
  void StopTransfers(const std::string&) override {}
  void ApplicationException(const std::string& message) override { errors.push_back(message); }
  std::vector<std::string> errors;
};

TEST_F(UpdateList, AnUnreadableEntryEndsTheWalkAndKeepsWhatWasQueued) {
  const std::string first = Entry("A", "1.0", "*http*\"h/a\"", "KA");
  state.SockRcvMemo = {first, "00zz0001", Entry("B", "1.0", "*http*\"h/b\"", "KB")};
  EXPECT_THROW(WalkUpdateList(state), Error);
  EXPECT_EQ(state.RunList, std::vector<std::string>{first});

  // The session's service reports it to the application error handler and goes on.
  state.RunList.clear();
  RecordingRunControl control;
  test::FakeTransports transports;
  test::FakeInstaller installer;
  DeliveryService service(state, transports, installer, control);
  service.WalkUpdateList();
  EXPECT_EQ(control.errors, std::vector<std::string>{"'0x00zz' is not a valid integer value"});
  EXPECT_EQ(state.NewCount, 2);  // A counted in each of the two walks
}

}  // namespace
}  // namespace cv2
