// The download transports against real peers on 127.0.0.1: pyftpdlib, our HTTP peer (redirects,
// ranges, dropped and stalled connections, TLS), dante, microsocks and our SOCKS 4a peer.
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "client_controller.h"
#include "curl_transports.h"
#include "fake_ui.h"
#include "peer_process.h"
#include "registry_memory.h"
#include "safe_names.h"
#include "transfer_rules.h"

namespace cv2 {
namespace {

using test::PeerProcess;
using test::ReadFile;
using test::ScratchFolder;
using test::WriteFile;
namespace fs = std::filesystem;

std::string Bytes(size_t count, unsigned seed = 1) {
  std::string out(count, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return out;
}

// Compares file contents without printing megabytes of bytes on a failure.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at " << at;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

using Progress = std::pair<int64_t, int64_t>;

class WatchingUi : public test::FakeUserInterface {
 public:
  void ProgressChanged(Bar bar, int64_t value, int64_t maximum) override {
    if (bar != Bar::DownloadProgress) return;
    progress.emplace_back(value, maximum);
    if (onProgress) onProgress(value);
  }
  std::vector<std::pair<int64_t, int64_t>> progress;
  std::function<void(int64_t)> onProgress;
};

class NoLibraries : public LibraryLoader {
 public:
  std::unique_ptr<LoadedLibrary> Load(const std::string&) override { return nullptr; }
};

TransportOptions TestOptions() {
  TransportOptions options;
  // Safety nets only: no test waits on them when it passes.
  options.ConnectTimeoutSeconds = 15;
  options.StallSeconds = 30;
  return options;
}

class Downloads : public ::testing::Test {
 protected:
  Downloads()
      : clock("01/02/2026"),
        state(store, ui, clock),
        transports(state, TestOptions()),
        controller(state, libraries) {
    ClientServices services;
    services.Transfers = &transports;
    controller.AttachServices(services);
    fs::create_directories(Root());
  }

  std::string Root() const { return scratch / "root"; }
  std::string Folder() const { return scratch / "Downloads/K1/1.0"; }
  std::string Target(const std::string& name) const { return Folder() + "/" + name; }
  void Serve(const std::string& path, const std::string& content) const {
    fs::create_directories(fs::path(Root() + "/" + path).parent_path());
    WriteFile(Root() + "/" + path, content);
  }
  bool Logged(const std::string& line) { return state.Log().Contains(line); }
  size_t LogIndex(const std::string& line) {
    const auto& lines = state.Log().Lines();
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  }

  void StartFtp(PeerProcess& peer, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {test::kPython, test::PeerScript("ftp_peer.py"),
                                     "--root",      Root(),
                                     "--log",       scratch / "ftp.log"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_TRUE(peer.Start(argv)) << "the FTP peer did not start";
  }
  void StartHttp(PeerProcess& peer, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {test::kPython, test::PeerScript("http_peer.py"),
                                     "--root",      Root(),
                                     "--log",       scratch / "http.log"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_TRUE(peer.Start(argv)) << "the HTTP peer did not start";
  }
  UpdateRec Rec(const std::string& item, const std::string& port = "") const {
    UpdateRec rec;
    rec.Item = item;
    rec.Port = port;
    rec.Folder = Folder();
    return rec;
  }
  // Whether the call raised an error.
  static bool Fails(const std::function<void()>& call) {
    try {
      call();
    } catch (const std::exception&) {
      return true;
    }
    return false;
  }

  ScratchFolder scratch;
  MemoryRegistry store;
  WatchingUi ui;
  FixedClock clock;
  ClientState state;
  CurlTransports transports;
  NoLibraries libraries;
  ClientController controller;
};

TEST(TransferRules, PortsAddressesAndNames) {
  const struct {
    std::string port;
    int ftpPort;
  } ports[] = {{"", 21},  {"abc", 21},   {"2121", 2121}, {" 2121 ", 2121},
               {"0", 21}, {"70000", 21}, {"-5", 21},     {"$15", 21}};
  for (const auto& row : ports) EXPECT_EQ(FtpPortOf(row.port), row.ftpPort) << row.port;

  const struct {
    std::string item, url;
  } urls[] = {{"host/dir/setup.exe", "http://host/dir/setup.exe"},
              {"HTTP://host/x.exe", "HTTP://host/x.exe"},
              {"https://host/x.exe", "https://host/x.exe"},
              {"HtTpS://host/x.exe", "HtTpS://host/x.exe"},
              {"host:8080/f.exe", "http://host:8080/f.exe"},
              {"f.exe", "http://f.exe"},
              {"ftp://host/f.exe", "http://ftp://host/f.exe"}};
  for (const auto& row : urls) EXPECT_EQ(HttpUrlOf(row.item), row.url) << row.item;

  const FtpItem item = SplitFtpItem("host/a/b/c.exe");
  EXPECT_EQ(item.Host, "host");
  EXPECT_EQ(item.Folders, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(item.FileName, "c.exe");
  EXPECT_EQ(SplitFtpItem("host/file.zip").Folders.size(), 0u);
  EXPECT_EQ(SplitFtpItem("file.zip").Host, "");
  EXPECT_EQ(ItemFileName("host/dir/setup.exe"), "setup.exe");
  EXPECT_EQ(ItemFileName("setup.exe"), "setup.exe");

  const struct {
    std::string name;
    bool refused;
  } names[] = {{"setup.exe", false},
               {"", true},
               {"..", true},
               {".", true},
               {"a..b", true},
               {"a\\b", true},
               {std::string("a\0b", 3), true},
               {"drv.zip", false},
               {".hidden", false}};
  for (const auto& row : names)
    EXPECT_EQ(PathNameFault(row.name).has_value(), row.refused) << row.name;
}

TEST_F(Downloads, FtpChangesIntoEachFolderAndRetrievesTheFile) {
  const std::string content = Bytes(100000);
  Serve("a/b/c.exe", content);
  fs::create_directories(Folder());
  WriteFile(Target("c.exe"), "an older copy");
  PeerProcess peer;
  StartFtp(peer);

  transports.FtpDownload(Rec("127.0.0.1/a/b/c.exe", std::to_string(peer.Port())));

  EXPECT_TRUE(SameBytes(ReadFile(Target("c.exe")), content));
  // The commands as the server saw them; PWD, EPSV and TYPE are curl's housekeeping.
  std::vector<std::string> commands;
  for (const std::string& line : Lines(ReadFile(scratch / "ftp.log")))
    if (line != "PWD" && line != "EPSV" && line != "PASV" && line != "TYPE I")
      commands.push_back(line);
  EXPECT_EQ(commands, (std::vector<std::string>{
                          "USER anonymous", std::string("PASS ") + kAnonymousFtpPassword, "SYST",
                          "CWD a", "CWD b", "SIZE c.exe", "RETR c.exe", "QUIT"}));
  // Status, events and traffic; the password never reaches the log.
  EXPECT_LT(LogIndex("Interceptor: Connect event"), LogIndex("USER anonymous"));
  EXPECT_TRUE(Logged("PASS ****"));
  EXPECT_TRUE(Logged("213 100000"));
  EXPECT_LT(LogIndex("QUIT"), LogIndex("Disconnected."));
  for (const std::string& line : state.Log().Lines())
    EXPECT_EQ(line.find(kAnonymousFtpPassword), std::string::npos) << line;
  EXPECT_EQ(state.Status().GetCaption(Caption::StatusLBL), "Disconnected");
  EXPECT_FALSE(state.Status().TrayAnimating());
  // Progress: 0 of the announced size at the begin, then the bytes, 100 percent at the end.
  ASSERT_FALSE(ui.progress.empty());
  EXPECT_EQ(ui.progress.front(), Progress(0, 100000));
  EXPECT_EQ(ui.progress.back(), Progress(100000, 100000));
  const std::string rate = state.Status().GetCaption(Caption::MessageLBL);
  EXPECT_EQ(rate.rfind("Reading:  ", 0), 0u) << rate;
  EXPECT_EQ(rate.substr(rate.size() - 5), " KB/s");
  EXPECT_EQ(rate[rate.size() - 8], '.') << rate;
}

TEST_F(Downloads, FtpOutcomes) {
  const std::string content = Bytes(20000, 2);
  Serve("pub/drv.zip", content);
  const struct {
    const char* name;
    std::vector<std::string> peer;
    std::string item, user, password;
    bool ok;
  } rows[] = {
      {"server without SIZE", {"--no-size"}, "pub/drv.zip", "", "", true},
      {"named user", {"--user", "u1", "--password", "p1"}, "pub/drv.zip", "u1", "p1", true},
      {"refused anonymous login", {"--no-anonymous"}, "pub/drv.zip", "", "", false},
      {"wrong password", {"--user", "u1", "--password", "p1"}, "pub/drv.zip", "u1", "x", false},
      {"missing folder", {}, "nothere/drv.zip", "", "", false},
      {"missing file", {}, "pub/none.zip", "", "", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PeerProcess peer;
    StartFtp(peer, row.peer);
    const std::string name = ItemFileName(row.item);
    fs::create_directories(Folder());
    WriteFile(Target(name), "an older copy");
    ui.progress.clear();
    UpdateRec rec = Rec("127.0.0.1/" + row.item, std::to_string(peer.Port()));
    rec.User = row.user;
    rec.Password = row.password;
    EXPECT_EQ(Fails([&] { transports.FtpDownload(rec); }), !row.ok);
    // A failed retrieval leaves the earlier file as it was, and no partial file beside it.
    EXPECT_EQ(ReadFile(Target(name)), row.ok ? content : "an older copy");
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);
    if (std::string(row.name) == "server without SIZE") {
      ASSERT_FALSE(ui.progress.empty());
      EXPECT_EQ(ui.progress.front().second, 0);  // nothing announced the size
    }
    fs::remove(Target(name));
    fs::remove(scratch / "ftp.log");
  }
}

TEST_F(Downloads, HttpFollowsRedirectsWithTheClientsHeaders) {
  const std::string content = Bytes(30000, 3);
  Serve("dir/setup.exe", content);
  PeerProcess peer;
  StartHttp(peer);
  const std::string host = "127.0.0.1:" + std::to_string(peer.Port());
  const std::string item = host + "/redirect/2/dir/setup.exe";

  // The "*port " value plays no part in HTTP: the port comes from the item.
  transports.HttpDownload(Rec(item, "1"));

  EXPECT_TRUE(SameBytes(ReadFile(Target("setup.exe")), content));
  EXPECT_TRUE(Logged("HTTP downloading: " + item));
  EXPECT_TRUE(Logged("Redirected to: http://" + host + "/redirect/1/dir/setup.exe"));
  EXPECT_TRUE(Logged("Redirected to: http://" + host + "/dir/setup.exe"));
  EXPECT_LT(LogIndex("Interceptor: Connect event"), LogIndex("http connected"));
  EXPECT_LT(LogIndex("http connected"), LogIndex("http disconnected"));
  EXPECT_EQ(state.Status().GetCaption(Caption::StatusLBL), "Disconnected");
  EXPECT_EQ(ui.progress.back(), Progress(30000, 30000));
  const auto requests = Lines(ReadFile(scratch / "http.log"));
  ASSERT_EQ(requests.size(), 3u);
  for (const std::string& request : requests)
    EXPECT_NE(request.find("| Range= | Accept=text/html, */* | "
                           "User-Agent=Mozilla/3.0 (compatible; Indy Library)"),
              std::string::npos)
        << request;
}

TEST_F(Downloads, HttpOutcomes) {
  const std::string content = Bytes(10000, 4);
  Serve("f.bin", content);
  PeerProcess peer;
  StartHttp(peer);
  const std::string host = "127.0.0.1:" + std::to_string(peer.Port());
  const struct {
    std::string item;
    bool ok;
    int64_t leftSize;  // -1: no file left
  } rows[] = {
      {host + "/f.bin", true, 10000},
      {"HTTP://" + host + "/f.bin", true, 10000},  // the scheme is kept, in any letter case
      {host + "/redirect/15/f.bin", true, 10000},
      {host + "/redirect/16/f.bin", false, -1},
      {host + "/drop/5000/f.bin", false, 3976},  // all but the last kilobyte stays for a resume
      {host + "/drop/800/f.bin", false, -1},
      {host + "/missing.bin", false, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.item);
    const std::string target = Target(ItemFileName(row.item));
    EXPECT_EQ(Fails([&] { transports.HttpDownload(Rec(row.item)); }), !row.ok);
    if (row.leftSize < 0) {
      EXPECT_FALSE(fs::exists(target));
    } else {
      EXPECT_TRUE(
          SameBytes(ReadFile(target), content.substr(0, static_cast<size_t>(row.leftSize))));
    }
    fs::remove(target);
  }
}

TEST_F(Downloads, ResumeContinuesThePartialFile) {
  const std::string content = Bytes(10000, 5);
  Serve("f.bin", content);
  const struct {
    const char* name;
    size_t present;  // bytes of the file already there (0: no file)
    bool serverIgnoresRanges;
    std::string range;  // the Range header the server must see
  } rows[] = {
      {"continued", 3976, false, "bytes=3976-"},
      {"server ignores the range: started over", 3976, true, "bytes=3976-"},
      {"no file yet", 0, false, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    PeerProcess peer;
    StartHttp(peer, row.serverIgnoresRanges ? std::vector<std::string>{"--no-ranges"}
                                            : std::vector<std::string>{});
    fs::create_directories(Folder());
    const std::string target = Target("f.bin");
    if (row.present > 0) WriteFile(target, content.substr(0, row.present));
    const std::string url = "127.0.0.1:" + std::to_string(peer.Port()) + "/f.bin";
    EXPECT_TRUE(transports.DownloadToFile(url, target, true));
    EXPECT_TRUE(SameBytes(ReadFile(target), content));
    const auto requests = Lines(ReadFile(scratch / "http.log"));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("| Range=" + row.range + " |"), std::string::npos) << requests[0];
    fs::remove(target);
    fs::remove(scratch / "http.log");
  }
}

TEST_F(Downloads, HttpsIsVerifiedAgainstTrustedCertificates) {
  // A CA of the test and a server certificate for 127.0.0.1 signed by it.
  const std::string script =
      "cd '" + scratch.Path() +
      "' && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
      " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
      " -keyout ca.key -out ca.pem -days 2 -subj '/CN=cv2 test CA' 2>/dev/null"
      " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
      " -keyout server.key -out server.csr -subj '/CN=127.0.0.1' 2>/dev/null"
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
      " -out server.pem -days 2 -extfile san.ext 2>/dev/null";
  ASSERT_EQ(std::system(script.c_str()), 0);
  const std::string content = Bytes(5000, 6);
  Serve("secure.bin", content);
  PeerProcess peer;
  StartHttp(peer, {"--tls", scratch / "server.pem", scratch / "server.key"});
  const std::string item = "https://127.0.0.1:" + std::to_string(peer.Port()) + "/secure.bin";

  // The system's store does not know the test CA: the peer is refused, nothing is kept.
  EXPECT_TRUE(Fails([&] { transports.HttpDownload(Rec(item)); }));
  EXPECT_FALSE(fs::exists(Target("secure.bin")));

  TransportOptions options = TestOptions();
  options.CaBundle = scratch / "ca.pem";
  CurlTransports trusting(state, options);
  trusting.HttpDownload(Rec(item));
  EXPECT_TRUE(SameBytes(ReadFile(Target("secure.bin")), content));
}

TEST_F(Downloads, UnsafeFileNamesAreRefusedBeforeAnythingIsWritten) {
  const struct {
    bool ftp;
    std::string item;
  } rows[] = {
      {false, "127.0.0.1:9/dir/"}, {false, "127.0.0.1:9/dir/.."}, {false, "127.0.0.1:9/..\\x.exe"},
      {true, "127.0.0.1/dir/"},    {true, "127.0.0.1/a/.."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.item);
    EXPECT_TRUE(Fails([&] {
      if (row.ftp)
        transports.FtpDownload(Rec(row.item, "9"));
      else
        transports.HttpDownload(Rec(row.item));
    }));
    EXPECT_NE(state.Log().Lines().back().find("Refused to store download"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "Downloads"));
  }
  // An empty item is no transfer and no failure.
  EXPECT_FALSE(Fails([&] { transports.HttpDownload(Rec("")); }));
  EXPECT_FALSE(Fails([&] { transports.FtpDownload(Rec("")); }));
}

TEST_F(Downloads, SocksProxies) {
  const std::string content = Bytes(50000, 7);
  Serve("pub/drv.zip", content);
  PeerProcess http, ftp;
  StartHttp(http);
  StartFtp(ftp);

  // dante for SOCKS 4 and 5, microsocks for SOCKS 5 with a user name, our peer for 4 and 4a.
  const int dantePort = test::FreePort();
  WriteFile(scratch / "danted.conf",
            "logoutput: " + (scratch / "danted.log") +
                "\ninternal: 127.0.0.1 port = " + std::to_string(dantePort) +
                "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n" +
                // As root, dante wants to know whom to run as; as anyone else it stays that user.
                (geteuid() == 0 ? "user.privileged: root\nuser.unprivileged: nobody\n" : "") +
                "client pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n log: connect error\n}\n"
                "socks pass {\n from: 127.0.0.0/8 to: 0.0.0.0/0\n command: connect\n"
                " log: connect error\n}\n");
  PeerProcess dante, microsocks, socks4a;
  ASSERT_TRUE(dante.Start(
      {"/usr/sbin/danted", "-f", scratch / "danted.conf", "-p", scratch / "danted.pid", "-N", "1"},
      dantePort));
  const int microsocksPort = test::FreePort();
  ASSERT_TRUE(microsocks.Start({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                std::to_string(microsocksPort), "-u", "u1", "-P", "p1"},
                               microsocksPort, scratch / "microsocks.log"));
  ASSERT_TRUE(socks4a.Start({test::kPython, test::PeerScript("socks4a_peer.py"), "--user", "id7",
                             "--log", scratch / "socks4a.log"}));

  const std::string httpPath = ":" + std::to_string(http.Port()) + "/pub/drv.zip";
  const struct {
    const char* name;
    PeerProcess* proxy;
    std::string level, user, password;
    bool ftp;
    std::string item;  // HTTP: the item; FTP: the item, with the FTP peer's port
    bool ok;
    std::string proxyLog, proxyLogLine;  // a line the proxy must have logged
  } rows[] = {
      {"SOCKS 4, dante", &dante, "4", "", "", false, "127.0.0.1" + httpPath, true, "danted.log",
       "tcp/connect"},
      {"SOCKS 5, dante, FTP", &dante, "5", "", "", true, "127.0.0.1/pub/drv.zip", true,
       "danted.log", "tcp/connect"},
      {"SOCKS 5 with user and password", &microsocks, "5", "u1", "p1", false,
       "localhost" + httpPath, true, "microsocks.log",
       "connected to localhost:" + std::to_string(http.Port())},
      {"SOCKS 5 with a wrong password", &microsocks, "5", "u1", "bad", false,
       "localhost" + httpPath, false, "", ""},
      {"SOCKS 4a, a name resolved by the proxy", &socks4a, "4a", "id7", "", false,
       "localhost" + httpPath, true, "socks4a.log",
       "4a localhost " + std::to_string(http.Port()) + " id7 granted"},
      {"SOCKS 4 with the wrong user id", &socks4a, "4", "other", "", false, "127.0.0.1" + httpPath,
       false, "socks4a.log", "4 127.0.0.1 " + std::to_string(http.Port()) + " other rejected"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    state.Proxy = ProxySettings{true,      "127.0.0.1", std::to_string(row.proxy->Port()),
                                row.level, row.user,    row.password};
    const bool failed = Fails([&] {
      if (row.ftp)
        transports.FtpDownload(Rec(row.item, std::to_string(ftp.Port())));
      else
        transports.HttpDownload(Rec(row.item));
    });
    EXPECT_EQ(failed, !row.ok);
    if (row.ok) {
      EXPECT_TRUE(SameBytes(ReadFile(Target("drv.zip")), content));
    }
    if (!row.proxyLog.empty()) {
      EXPECT_NE(ReadFile(scratch / row.proxyLog).find(row.proxyLogLine), std::string::npos);
    }
    fs::remove(Target("drv.zip"));
  }
}

TEST_F(Downloads, StopEndsARunningTransferWhileEventsKeepRunning) {
  const std::string content = Bytes(400000, 8);
  Serve("slow.bin", content);
  const struct { bool ftp; } rows[] = {{false}, {true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ftp ? "FTP" : "HTTP");
    PeerProcess peer;
    if (row.ftp)
      StartFtp(peer, {"--throttle", "20000"});
    else
      StartHttp(peer);
    // The user presses Stop once the first bytes are shown: a timer event that can only run while
    // the transfer is waiting.
    bool stopped = false;
    ui.onProgress = [&](int64_t value) {
      if (value <= 0 || stopped) return;
      stopped = true;
      QTimer::singleShot(0, [&] { controller.StopTransfers("User terminated synchronization"); });
    };
    const std::string port = std::to_string(peer.Port());
    EXPECT_TRUE(Fails([&] {
      if (row.ftp)
        transports.FtpDownload(Rec("127.0.0.1/slow.bin", port));
      else
        transports.HttpDownload(Rec("127.0.0.1:" + port + "/stall/5000/slow.bin"));
    }));
    ui.onProgress = nullptr;
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(Logged("Transfer aborted."));
    EXPECT_TRUE(Logged("User terminated synchronization"));
    EXPECT_EQ(state.Status().GetCaption(Caption::StatusLBL), "Disconnected");
    if (row.ftp) {
      EXPECT_FALSE(fs::exists(Target("slow.bin")));
    } else {
      EXPECT_TRUE(SameBytes(ReadFile(Target("slow.bin")), content.substr(0, 3976)));
    }
    fs::remove(Target("slow.bin"));
  }
}

}  // namespace
}  // namespace cv2
