// Sessions through real SOCKS proxies on 127.0.0.1: dante (4 and 5), microsocks (5, with and
// without user name and password) and our SOCKS 4/4a peer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <fstream>

#include "session_harness.h"
#include "sync_runner.h"
#include "text_util.h"
#include "zlib_codec.h"

namespace cv2::test {
namespace {

std::string Executable(const char* name) {
  QString path = QStandardPaths::findExecutable(name);
  if (path.isEmpty()) path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin"});
  return path.toStdString();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A proxy process on 127.0.0.1.
struct Proxy {
  QTemporaryDir dir;
  HelperProcess process;
  uint16_t port = 0;
  std::string log;  // our SOCKS 4/4a peer's request log

  void StartDante() {
    const std::string sockd =
        Executable("danted").empty() ? Executable("sockd") : Executable("danted");
    ASSERT_FALSE(sockd.empty()) << "dante's sockd is not installed (scripts/install-deps)";
    port = FreePort();
    const std::string conf = dir.filePath("sockd.conf").toStdString();
    std::ofstream out(conf);
    out << "logoutput: " << dir.filePath("sockd.log").toStdString() << "\n"
        << "internal: 127.0.0.1 port = " << port
        << "\n"
        // Outgoing connections leave from 127.0.0.2, so the server sees the proxy at work.
        << "external: 127.0.0.2\n"
        << "socksmethod: none\n"
        << "clientmethod: none\n";
    if (geteuid() == 0) out << "user.privileged: root\nuser.unprivileged: root\n";
    out << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
        << "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  command: connect\n"
        << "  protocol: tcp\n}\n";
    out.close();
    process.Start(sockd, {"-f", conf, "-N", "1", "-p", dir.filePath("sockd.pid").toStdString()});
    ASSERT_TRUE(WaitForListening(port))
        << process.Output() << ReadFile(dir.filePath("sockd.log").toStdString());
  }

  void StartMicrosocks(const std::string& user, const std::string& password) {
    const std::string microsocks = Executable("microsocks");
    ASSERT_FALSE(microsocks.empty()) << "microsocks is not installed (scripts/install-deps)";
    port = FreePort();
    std::vector<std::string> args = {"-i", "127.0.0.1", "-p", std::to_string(port),
                                     "-b", "127.0.0.2"};
    if (!user.empty()) args.insert(args.end(), {"-u", user, "-P", password});
    process.Start(microsocks, args);
    ASSERT_TRUE(WaitForListening(port)) << process.Output();
  }

  void StartOurs(const std::string& requiredUser) {
    log = dir.filePath("requests.log").toStdString();
    std::vector<std::string> args = {std::string(CV2_TEST_PEERS) + "/socks4a_peer.py", "--port",
                                     "0", "--log", log};
    if (!requiredUser.empty()) args.insert(args.end(), {"--user", requiredUser});
    process.Start("/usr/bin/python3", args);
    const std::string first = process.FirstLine();
    ASSERT_EQ(first.rfind("PORT ", 0), 0u) << process.Output();
    port = static_cast<uint16_t>(std::stoi(first.substr(5)));
  }
};

enum class Kind { Dante, Microsocks, Ours };

TEST(SocksSession, CompleteSessionThroughEachProxy) {
  struct Case {
    const char* name;
    Kind kind;
    int32_t combo;     // ProxyCOMBO: 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5
    const char* host;  // HostTXT
    const char* user;  // ProxyUserTXT (and the user the proxy requires)
    const char* password;
    const char* level;    // what the transports are given
    const char* request;  // our peer's log line, "%PORT%" standing for the server's port
  };
  const Case cases[] = {
      {"dante, SOCKS 4", Kind::Dante, 1, "127.0.0.1", "", "", "4", nullptr},
      {"dante, SOCKS 5", Kind::Dante, 3, "127.0.0.1", "", "", "5", nullptr},
      {"microsocks, SOCKS 5", Kind::Microsocks, 3, "127.0.0.1", "", "", "5", nullptr},
      {"microsocks, SOCKS 5 with user and password", Kind::Microsocks, 3, "127.0.0.1", "cv2",
       "s3cret", "5", nullptr},
      {"our peer, SOCKS 4", Kind::Ours, 1, "127.0.0.1", "cv2", "unused", "4",
       "4 127.0.0.1 %PORT% cv2 granted"},
      {"our peer, SOCKS 4 with a name resolved here", Kind::Ours, 1, "localhost", "", "", "4",
       "4 127.0.0.1 %PORT%  granted"},
      {"our peer, SOCKS 4a", Kind::Ours, 2, "localhost", "", "", "4a",
       "4a localhost %PORT%  granted"},
  };
  const std::string list = ZlibCompress("entry one\r\nentry two\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Proxy proxy;
    if (c.kind == Kind::Dante)
      proxy.StartDante();
    else if (c.kind == Kind::Microsocks)
      proxy.StartMicrosocks(c.user, c.password);
    else
      proxy.StartOurs(c.user);
    if (::testing::Test::HasFatalFailure()) return;

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
    f.SetString("HostTXT", c.host);
    f.SetString("PortTXT", std::to_string(peer.Port()));
    f.SetInteger("ProxyCOMBO", c.combo);
    f.SetString("ProxyAddressTXT", "127.0.0.1");
    f.SetString("ProxyPortTXT", std::to_string(proxy.port));
    f.SetString("ProxyUserTXT", c.user);
    f.SetString("ProxyPassTXT", c.password);
    EXPECT_EQ(f.Run(), kSyncCompleted);
    const std::string hw =
        "cv2_hardware size=" +
        HexUpper(static_cast<uint32_t>(CompressedLines(f.report.lines).size()), 8) +
        " user=1F log\r\n";
    EXPECT_EQ(peer.Received(),
              hw + CompressedLines(f.report.lines) + "cv2_ready_for_buffer\r\ncv2_disconnect\r\n");
    EXPECT_EQ(peer.Status(), "ok");
    EXPECT_EQ(f.State().SockRcvMemo, (std::vector<std::string>{"entry one", "entry two"}));
    if (c.request) {
      std::string expected = c.request;
      expected.replace(expected.find("%PORT%"), 6, std::to_string(peer.Port()));
      EXPECT_EQ(ReadFile(proxy.log), expected + "\n");
    } else {
      EXPECT_EQ(peer.ClientAddress(), "127.0.0.2");
    }
    const ProxySettings& transports = f.State().Proxy;
    EXPECT_TRUE(transports.Enabled);
    EXPECT_EQ(transports.Host, "127.0.0.1");
    EXPECT_EQ(transports.Port, std::to_string(proxy.port));
    EXPECT_EQ(transports.Level, c.level);
    EXPECT_EQ(transports.User, c.user);
  }
}

TEST(SocksSession, RefusalsAreSocksErrors) {
  struct Case {
    const char* name;
    Kind kind;
    int32_t combo;
    const char* required;  // the user the proxy requires
    const char* user;
    const char* password;
    const char* logLine;
  };
  const Case cases[] = {
      {"wrong password", Kind::Microsocks, 3, "cv2", "cv2", "wrong",
       "Socks Error: SOCKS5 authentication failed"},
      {"no credentials where they are required", Kind::Microsocks, 3, "cv2", "", "",
       "Socks Error: SOCKS5 server requires authentication"},
      {"SOCKS 4 user id refused", Kind::Ours, 1, "alice", "bob", "",
       "Socks Error: SOCKS4 request rejected: the user id does not match"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Proxy proxy;
    if (c.kind == Kind::Microsocks)
      proxy.StartMicrosocks(c.required, "s3cret");
    else
      proxy.StartOurs(c.required);
    if (::testing::Test::HasFatalFailure()) return;
    SyncFixture f;
    f.SetString("PortTXT", std::to_string(FreePort()));
    f.SetInteger("ProxyCOMBO", c.combo);
    f.SetString("ProxyAddressTXT", "127.0.0.1");
    f.SetString("ProxyPortTXT", std::to_string(proxy.port));
    f.SetString("ProxyUserTXT", c.user);
    f.SetString("ProxyPassTXT", c.password);
    EXPECT_EQ(f.Run(), kSyncConnectFailed);
    EXPECT_EQ(f.Count(c.logLine), 1);
    EXPECT_EQ(f.Count("Error during connection to the server"), 0);
    ASSERT_EQ(f.ui.notices.size(), 1u);
    EXPECT_EQ(f.ui.notices[0].Colour, (Rgb{191, 64, 64}));
  }
}

TEST(SocksSession, UnreachableProxyTakesTheSocketErrorPath) {
  SyncFixture f;
  f.SetString("PortTXT", "80");
  f.SetInteger("ProxyCOMBO", 3);
  f.SetString("ProxyAddressTXT", "127.0.0.1");
  f.SetString("ProxyPortTXT", std::to_string(FreePort()));
  EXPECT_EQ(f.Run(), kSyncConnectFailed);
  EXPECT_EQ(f.Count("Error during connection to the server"), 1);
  EXPECT_EQ(f.Count("Socket Error"), 1);
}

}  // namespace
}  // namespace cv2::test
