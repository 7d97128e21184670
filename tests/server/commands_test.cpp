// The cv2server program itself: operator commands, a served session, and clear failures.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "program_runner.h"
#include "server_harness.h"

namespace cv2::test {
namespace {

const std::string kProgram = std::string(CV2_OUTPUT_DIR) + "/cv2server";

struct Result {
  int Status;
  std::string Out, Err;
};

// Output files of the programs run by these tests.
const std::string& OutputFolder() {
  static TempDir folder;
  return folder.Path();
}

Result RunServer(const std::vector<std::string>& args) {
  Program p(kProgram, args, OutputFolder());
  const int status = p.Wait();
  return {status, p.Out(), p.Err()};
}

TEST(ServerCommands, CatalogueAndSupportDesk) {
  TempDir dir;
  const std::string data = dir.File("data");
  const std::string file = dir.File("entries.txt");
  std::ofstream(file) << "NET-1\n\tVersion\n\t\t2.0\n\tIDs\n\t\tPCI\\VEN_1\n";
  // A mistyped folder is reported, not answered from a new empty store.
  Result r = RunServer({"catalogue", "list", "--data", data});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("no server data in " + data), std::string::npos) << r.Err;
  r = RunServer({"catalogue", "import", "--data", data, file});
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = RunServer({"catalogue", "add", "--data", data, "--field", "Version=1.5", "--field",
                 "Location=*message*\"Hi\"", "--id", "USB\\A", "--when", "brand_name=Acme",
                 "MSG-1"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = RunServer({"catalogue", "list", "--data", data});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "NET-1\r\n\tVersion\r\n\t\t2.0\r\n\tIDs\r\n\t\tPCI\\VEN_1\r\n"
            "MSG-1\r\n\tVersion\r\n\t\t1.5\r\n\tLocation\r\n\t\t*message*"
            "\"Hi\"\r\n\tIDs\r\n\t\tUSB\\A\r\n"
            "\tbrand_name\r\n\t\tAcme\r\n");
  EXPECT_EQ(RunServer({"catalogue", "remove", "--data", data, "NET-1"}).Status, 0);
  r = RunServer({"catalogue", "remove", "--data", data, "NET-1"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("no entry NET-1"), std::string::npos);

  const uint32_t user = SqliteServerStore(StoreFile(data)).CreateUser().User;
  r = RunServer({"support", "answer", "--data", data, HexUpper(user, 8), "--see the FAQ"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = RunServer({"support", "list", "--data", data});
  EXPECT_NE(r.Out.find("user " + HexUpper(user, 8)), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("waiting\t\"--see the FAQ\""), std::string::npos) << r.Out;
  r = RunServer({"support", "answer", "--data", data, "7FFFFFFE", "text"});
  EXPECT_NE(r.Status, 0);
  EXPECT_NE(r.Err.find("no user number"), std::string::npos);
}

TEST(ServerCommands, UsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"frobnicate"},
           {"serve"},
           {"serve", "--data", "/tmp/x", "--port", "http"},
           {"serve", "--data", "/tmp/x", "--colour", "red"},
           {"catalogue", "add", "--data", "/tmp/x", "--field", "HWID=x", "K"}}) {
    Result r = RunServer(args);
    EXPECT_EQ(r.Status, 1) << args.front();
    EXPECT_NE(r.Err.find("usage: cv2server"), std::string::npos);
  }
}

TEST(ServerCommands, ServeSessionsAndPackagesThenStopOnSigterm) {
  TempDir dir;
  const std::string data = dir.File("data");
  ASSERT_EQ(RunServer({"demo-catalogue", "--data", data, "--hwlist",
                       std::string(CV2_TEST_DATA) + "/server/hwlist.txt"})
                .Status,
            0);
  const uint32_t user = SqliteServerStore(StoreFile(data)).CreateUser().User;
  Program server(kProgram, {"serve", "--data", data, "--port", "0", "--http-port", "0"},
                 dir.Path());
  const std::string ready = server.FirstLine();
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      ready, m, std::regex("sessions on 127.0.0.1:(\\d+), packages on http://127.0.0.1:(\\d+)/")))
      << ready;
  const auto port = static_cast<uint16_t>(std::stoi(m[1].str()));
  {
    ScriptedClient client(port);
    auto command = SendReport(
        client, user,
        ReportText({},
                   {Device("Virtio 1.0 network device",
                           {"PCI\\VEN_1AF4&DEV_1041&SUBSYS_11001AF4&REV_01"}, "6.18.44.1607")}));
    ASSERT_TRUE(command);
    auto list = TakeBuffer(client, *command);
    ASSERT_TRUE(list);
    const auto records = UpdateRecords(*list);
    ASSERT_EQ(records.size(), 3u);  // the device, the message, the page
    EXPECT_NE(records[0].Location.find("\"http://127.0.0.1:" + m[2].str() + "/DEMO-"),
              std::string::npos);
    client.SendLine("cv2_disconnect");
    EXPECT_TRUE(client.WaitClosed());
  }
  // The package the script names is there to download.
  ScriptedClient http(static_cast<uint16_t>(std::stoi(m[2].str())));
  http.Send("HEAD /welcome.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  http.WaitClosed();
  EXPECT_EQ(http.Pending().rfind("HTTP/1.1 200", 0), 0u);

  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
  EXPECT_NE(server.Err().find("report of user " + HexUpper(user, 8)), std::string::npos)
      << server.Err();
}

TEST(ServerCommands, PortInUseIsAClearError) {
  TempDir dir;
  ServerHarness other;  // holds a port
  Result r = RunServer({"serve", "--data", dir.File("data"), "--port", std::to_string(other.Port()),
                        "--http-port", "0"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("cannot listen on 127.0.0.1:" + std::to_string(other.Port()) +
                       ": Address already in use"),
            std::string::npos)
      << r.Err;
}

TEST(ServerCommands, DemoCatalogueWithoutAHardwareListNeedsTheLibrary) {
  TempDir dir;
  Result r = RunServer({"demo-catalogue", "--data", dir.File("data")});
  if (std::filesystem::exists(std::string(CV2_OUTPUT_DIR) + "/libHwSense.so")) {
    EXPECT_EQ(r.Status, 0) << r.Err;  // this machine's own devices
  } else {
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("cannot load libHwSense.so"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("--hwlist FILE"), std::string::npos);
  }
}

}  // namespace
}  // namespace cv2::test
