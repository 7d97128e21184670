#include "update_processing.h"

#include <gtest/gtest.h>

#include "delivery_fixture.h"

namespace cv2 {
namespace {

using test::Entry;

class Processing : public test::DeliveryTest {
 protected:
  Processing() {
    SetSetting("ConfirmDownloadCHK", 0);
    state.SetRunActive(true);
  }
  // Entries as the run list holds them: the last is processed first.
  void Process(std::vector<std::string> runList, bool downloading = true) {
    state.RunList = std::move(runList);
    ProcessRunList(state, transports, installer, downloading);
  }
  std::string F(const std::string& baseKey = "K1", const std::string& version = "1.0") {
    return Folder(baseKey, version);
  }
  // "$F" stands for the folder of K1 1.0.
  std::vector<std::string> WithFolder(std::vector<std::string> lines) {
    for (auto& line : lines)
      for (size_t at; (at = line.find("$F")) != std::string::npos;) line.replace(at, 2, F());
    return lines;
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> shown;
    for (const auto& m : ui.messages) shown.push_back("message " + m);
    for (const auto& p : ui.webPages) shown.push_back("page " + p);
    for (const auto& i : ui.informations) shown.push_back("info " + i);
    return shown;
  }
  void ExpectClosed() {
    EXPECT_EQ(state.Status().GetCaption(Caption::MessageLBL), "Done");
    EXPECT_EQ(state.Status().Value(Bar::InstallBAR), state.Status().Maximum(Bar::InstallBAR));
    EXPECT_GT(state.Status().Maximum(Bar::InstallBAR), 0);
    EXPECT_FALSE(state.RunActive());
    EXPECT_EQ(state.Status().GetCaption(Caption::SearchStatusLBL), "Ready");
  }

  test::FakeTransports transports;
  test::FakeInstaller installer;
};

TEST_F(Processing, ScriptsFetchShowAndInstall) {
  struct Case {
    const char* name;
    const char* script;
    int32_t platform;
    std::vector<std::string> fetched;
    std::vector<std::string> installed;
    std::vector<std::string> shown;
    const char* logLine;  // expected in the log, or null
  };
  const Case cases[] = {
      {"ftp with user and port, installed",
       "*ftp**user u1**port 2121**run\"host/pub/drv.zip\"",
       0,
       {"ftp host/pub/drv.zip -> $F u1:@2121"},
       {"extract $F/drv.zip in $F"},
       {},
       nullptr},
      {"platform code that fits",
       "*http**ver18**run\"host/files/setup.exe\"",
       8,
       {"http host/files/setup.exe -> $F :@"},
       {"launch $F/setup.exe"},
       {},
       nullptr},
      {"platform code that does not fit",
       "*http**ver18**run\"host/files/setup.exe\"",
       4,
       {},
       {},
       {},
       "Wrong version for this platform"},
      {"any platform code on a PC without one",
       "*http**ver1*\"host/files/setup.exe\"",
       0,
       {},
       {},
       {},
       "Wrong version for this platform"},
      {"message with link",
       "*link page**message*\"Read this\"",
       0,
       {},
       {},
       {"message Read this|page"},
       nullptr},
      {"message marker closed by a quote", "*message\"Hi\"", 0, {}, {}, {"message Hi|"}, nullptr},
      {"downloaded, not installed",
       "*ftp*\"host/a.zip\"",
       0,
       {"ftp host/a.zip -> $F :@"},
       {},
       {},
       nullptr},
      {"run mark cleared after one item",
       "*http**zip\"host/d/pkg.zip\"\"host/d/readme.txt\"",
       0,
       {"http host/d/pkg.zip -> $F :@", "http host/d/readme.txt -> $F :@"},
       {"extract $F/pkg.zip in $F"},
       {},
       nullptr},
      {"only .zip is unpacked",
       "*http**run\"host/d/PKG.ZIP\"",
       0,
       {"http host/d/PKG.ZIP -> $F :@"},
       {"launch $F/PKG.ZIP"},
       {},
       nullptr},
      {"web page",
       "*html**caption Notes**pos 640,480*\"http://x/notes\"",
       0,
       {},
       {},
       {"page Notes|640x480|http://x/notes"},
       nullptr},
      {"web page of the default size",
       "*html*\"http://x/p\"\"\"",
       0,
       {},
       {},
       {"page |550x550|http://x/p"},
       nullptr},
      {"not supported",
       "*ftp*\"not_supported\"",
       0,
       {},
       {},
       {"info Corvantis found that Dev is no longer supported by the manufactuer."},
       "Driver doesn't exist for this platform. Consider Upgrading Dev"},
      {"unterminated quote is ignored", "*ftp*\"host/a.zip", 0, {}, {}, {}, nullptr},
      {"stray stars are ignored",
       "*ftp* * *\"host/a.zip\"",
       0,
       {"ftp host/a.zip -> $F :@"},
       {},
       {},
       nullptr},
      {"no transport marker", "\"host/a.zip\"", 0, {}, {}, {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    transports.calls.clear();
    installer.calls.clear();
    ui.messages.clear();
    ui.webPages.clear();
    ui.informations.clear();
    state.Log().Clear();
    UpdateHistory(store).ForgetAll();
    state.PlatformCode = c.platform;

    Process({Entry("Dev", "1.0", c.script, "K1")});
    EXPECT_EQ(transports.calls, WithFolder(c.fetched));
    EXPECT_EQ(installer.calls, WithFolder(c.installed));
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_TRUE(ui.confirmations.empty());
    if (c.logLine) {
      EXPECT_TRUE(Logged(c.logLine));
    }
    // Every processed entry is recorded; only a failure makes it "false".
    EXPECT_EQ(History("K1").Downloaded, "true");
    EXPECT_TRUE(state.RunList.empty());
    ExpectClosed();
  }
}

TEST_F(Processing, ModeRunMarkLinkAndPlatformCarryAcrossEntries) {
  // The lower entry is processed first.
  Process({Entry("Upper", "1.0", "*ftp*\"host/u.zip\"", "KU"),
           Entry("Lower", "1.0", "\"host/l.zip\"", "KL")});
  EXPECT_EQ(transports.calls, std::vector<std::string>{"ftp host/u.zip -> " + F("KU") + " :@"});

  transports.calls.clear();
  Process(
      {Entry("Upper", "1.0", "\"host/u.exe\"", "KU"), Entry("Lower", "1.0", "*http**run\"", "KL")});
  EXPECT_EQ(transports.calls, std::vector<std::string>{"http host/u.exe -> " + F("KU") + " :@"});
  EXPECT_EQ(installer.calls, std::vector<std::string>{"launch " + F("KU") + "/u.exe"});

  // A link applies to the messages after it, in this entry and the next.
  Process({Entry("Second", "1.0", "*message*\"C\"", "K2"),
           Entry("First", "1.0", "*message*\"A\"*link L1*\"B\"", "K1")});
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"A|", "B|L1", "C|L1"}));

  // So does a platform code.
  state.PlatformCode = 8;
  transports.calls.clear();
  Process({Entry("Second", "1.0", "*http*\"host/s.exe\"", "K2"),
           Entry("First", "1.0", "*ver10*", "K1")});
  EXPECT_TRUE(transports.calls.empty());
  EXPECT_TRUE(Logged("Wrong version for this platform"));

  // A new call starts over.
  ui.messages.clear();
  Process({Entry("Third", "1.0", "*message*\"D\"", "K3")});
  EXPECT_EQ(ui.messages, std::vector<std::string>{"D|"});
}

TEST_F(Processing, DownloadConfirmationHoldsForOneEntry) {
  SetSetting("ConfirmDownloadCHK", 1);
  const std::string twoFiles = "*http*\"host/a.exe\"\"host/b.exe\"";
  ui.confirmAnswers = {false, true,  // first entry: refused, then approved
                       true};        // second entry: approved once for both files
  Process({Entry("Second", "1.0", twoFiles, "K2"), Entry("First", "1.0", twoFiles, "K1")});

  const std::string question1 = "Click OK to download: \"First\" update";
  const std::string question2 = "Click OK to download: \"Second\" update";
  EXPECT_EQ(ui.confirmations, (std::vector<std::string>{question1, question1, question2}));
  EXPECT_EQ(transports.calls, (std::vector<std::string>{"http host/b.exe -> " + F("K1") + " :@",
                                                        "http host/a.exe -> " + F("K2") + " :@",
                                                        "http host/b.exe -> " + F("K2") + " :@"}));
  EXPECT_EQ(History("K1").Downloaded, "false");
  EXPECT_EQ(History("K2").Downloaded, "true");
}

TEST_F(Processing, InstallConfirmationAndDownloadingOff) {
  SetSetting("InstallUpdatesConfirmCHK", 1);
  ui.confirmAnswers = {false};
  Process({Entry("Dev", "1.0", "*http**run\"host/a.exe\"", "K1")});
  EXPECT_EQ(ui.confirmations, std::vector<std::string>{"Click OK to install: \"Dev\" update"});
  EXPECT_TRUE(installer.calls.empty());
  EXPECT_EQ(History("K1").Downloaded, "true");  // the download itself succeeded
  EXPECT_EQ(History("K1").DownloadDate, "24.12.2024");

  // Installing again from the history: nothing is asked or fetched, whatever the settings, and
  // the download date stays.
  SetSetting("ConfirmDownloadCHK", 1);
  ui.confirmations.clear();
  transports.calls.clear();
  clock.Set("01.01.2025");
  Process({UpdateHistory(store).ReadEntry("K1").value()}, false);
  EXPECT_TRUE(ui.confirmations.empty());
  EXPECT_TRUE(transports.calls.empty());
  EXPECT_EQ(installer.calls, std::vector<std::string>{"launch " + F() + "/a.exe"});
  EXPECT_EQ(History("K1").DownloadDate, "24.12.2024");
}

TEST_F(Processing, FailedTransferMarksTheEntryAndGoesOn) {
  transports.failItems = {"host/a.zip"};
  Process({Entry("Dev", "1.0", "*ftp**run\"host/a.zip\"*run\"host/b.exe\"", "K1")});
  EXPECT_EQ(transports.calls.size(), 2u);
  EXPECT_TRUE(Logged("Download failed: Connection refused"));
  // The installer reports the missing archive itself.
  EXPECT_EQ(installer.calls, (std::vector<std::string>{"extract " + F() + "/a.zip in " + F(),
                                                       "launch " + F() + "/b.exe"}));
  EXPECT_EQ(History("K1").Downloaded, "false");
  EXPECT_EQ(History("K1").DownloadDate, "server date");
  EXPECT_TRUE(std::filesystem::exists(F() + "/b.exe"));
}

TEST_F(Processing, StopEndsProcessingBetweenEntries) {
  installer.onLaunch = [this] { state.StopRequested = true; };
  const std::string upper = Entry("Upper", "1.0", "*http**run\"host/u.exe\"", "KU");
  Process({upper, Entry("Lower", "1.0", "*http**run\"host/a.exe\"*run\"host/b.exe\"", "KL")});
  // The stop came during the first installer: the entry still finishes and is recorded.
  EXPECT_EQ(installer.calls, (std::vector<std::string>{"launch " + F("KL") + "/a.exe",
                                                       "launch " + F("KL") + "/b.exe"}));
  EXPECT_EQ(History("KL").Downloaded, "true");
  EXPECT_EQ(UpdateHistory(store).ReadEntry("KU").value(), "");
  EXPECT_EQ(state.RunList, std::vector<std::string>{upper});
  ExpectClosed();
}

TEST_F(Processing, AnEmptyRunListOnlyCloses) {
  Process({});
  EXPECT_EQ(state.Status().GetCaption(Caption::MessageLBL), "Done");
  EXPECT_EQ(state.Status().Value(Bar::InstallBAR), 100);
  EXPECT_FALSE(state.RunActive());
}

TEST_F(Processing, BadValuesEndProcessingAndRecordNothing) {
  for (const char* script : {"*html**pos 640*\"http://x\"", "*http**verXY*\"h/a.exe\"",
                             "*http**ver*\"h/a.exe\"", "*html**pos ,480*"}) {
    SCOPED_TRACE(script);
    state.SetRunActive(true);
    const std::vector<std::string> runList = {Entry("Later", "1.0", "*message*\"L\"", "K2"),
                                              Entry("Bad", "1.0", script, "K1")};
    EXPECT_THROW(Process(runList), Error);
    EXPECT_EQ(state.RunList, runList);
    EXPECT_TRUE(UpdateHistory(store).List().empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(state.Status().GetCaption(Caption::MessageLBL), "Done");
    EXPECT_FALSE(state.RunActive());
  }
}

TEST_F(Processing, NamesThatLeaveTheUpdateFolderAreRefused) {
  struct Case {
    const char* baseKey;
    const char* version;
    const char* item;
    const char* logLine;
  };
  const Case cases[] = {
      {"../evil", "1.0", "host/a.exe",
       "Refused item \"host/a.exe\": its BaseKey \"../evil\" holds \"..\""},
      {"K1", "1/../../x", "host/a.exe",
       "Refused item \"host/a.exe\": its Version \"1/../../x\" holds \"..\""},
      {"K1", "sub/1.0", "host/a.exe",
       "Refused item \"host/a.exe\": its Version \"sub/1.0\" holds a path separator"},
      {"K1", "", "host/a.exe", "Refused item \"host/a.exe\": its Version \"\" is empty"},
      {"K1", "..", "host/a.exe",
       "Refused item \"host/a.exe\": its Version \"..\" is \".\" or \"..\""},
      {"C:", "1.0", "host/a.exe", "Refused item \"host/a.exe\": its BaseKey \"C:\" names a drive"},
      {"K1", "1.0", "host/dir/", "Refused item \"host/dir/\": its file name \"\" is empty"},
      {"K1", "1.0", "host/..", "Refused item \"host/..\": its file name \"..\" is \".\" or \"..\""},
      {"K1", "1.0", "host/a\\..\\..\\b.exe",
       "Refused item \"host/a\\..\\..\\b.exe\": its file name \"a\\..\\..\\b.exe\" holds \"..\""},
      {"K1", "1.0", "host/a\\b.exe",
       "Refused item \"host/a\\b.exe\": its file name \"a\\b.exe\" holds a path separator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logLine);
    transports.calls.clear();
    installer.calls.clear();
    state.Log().Clear();
    UpdateHistory(store).ForgetAll();
    const std::string script = std::string("*http**run\"") + c.item + "\"\"host/ok.exe\"";
    Process({Entry("Dev", c.version, script, c.baseKey)});

    EXPECT_TRUE(Logged(c.logLine));
    EXPECT_TRUE(installer.calls.empty());  // the run mark went with the refused item
    EXPECT_EQ(History(c.baseKey).Downloaded, "false");
    for (const auto& call : transports.calls)
      EXPECT_NE(call.find("host/ok.exe"), std::string::npos);
  }
  // Nothing was made outside the data root's Downloads folder.
  for (const auto& entry : std::filesystem::directory_iterator(root))
    EXPECT_EQ(entry.path().filename(), "Downloads");
}

}  // namespace
}  // namespace cv2
