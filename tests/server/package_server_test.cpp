// Package delivery over HTTP: whole files, byte ranges for resumed downloads, and requests that
// try to leave the package folder.
#include "package_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>

#include "server_harness.h"

namespace cv2::test {
namespace {

class PackageServerTest : public ::testing::Test {
 protected:
  PackageServerTest() {
    std::filesystem::create_directories(dir.File("packages/K/1.0"));
    for (int i = 0; i < 100000; ++i) content += static_cast<char>('a' + i % 26);
    std::ofstream(dir.File("packages/K/1.0/driver.zip"), std::ios::binary) << content;
    std::ofstream(dir.File("secret.txt")) << "outside";
    std::filesystem::create_symlink(dir.File("secret.txt"), dir.File("packages/link-out"));
    std::filesystem::create_symlink("K/1.0/driver.zip", dir.File("packages/link-in"));
    server = std::make_unique<PackageServer>(dir.File("packages"), log);
    server->Bind("127.0.0.1", 0);
    server->Start();
  }
  ~PackageServerTest() override { server->Stop(); }

  // One raw request line, so that the path reaches the server exactly as written.
  std::string RawGet(const std::string& target) {
    ScriptedClient client(server->Port());
    client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    client.WaitClosed();
    return client.Pending();
  }

  TempDir dir;
  std::string content;
  ServerLog log{[](const std::string&) {}};
  std::unique_ptr<PackageServer> server;
};

TEST_F(PackageServerTest, WholeFilesAndByteRanges) {
  httplib::Client client("127.0.0.1", server->Port());
  client.set_read_timeout(10, 0);
  auto whole = client.Get("/K/1.0/driver.zip");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, content);
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");

  struct Case {
    const char* Range;
    int Status;
    size_t First, Length;
    const char* ContentRange;
  };
  const Case cases[] = {
      {"bytes=0-9", 206, 0, 10, "bytes 0-9/100000"},
      {"bytes=99000-", 206, 99000, 1000, "bytes 99000-99999/100000"},  // resume from an offset
      {"bytes=-16", 206, 99984, 16, "bytes 99984-99999/100000"},
      {"bytes=99990-200000", 206, 99990, 10, "bytes 99990-99999/100000"},
      {"bytes=100000-", 416, 0, 0, "bytes */100000"},
      {"bytes=0-1,5-6", 200, 0, 100000, ""},  // several ranges: the whole file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Range);
    auto res = client.Get("/K/1.0/driver.zip", {{"Range", c.Range}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.Status);
    EXPECT_EQ(res->get_header_value("Content-Range"), c.ContentRange);
    EXPECT_EQ(res->body, c.Status == 416 ? "" : content.substr(c.First, c.Length));
  }
  auto head = client.Head("/K/1.0/driver.zip");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), "100000");
}

TEST_F(PackageServerTest, NoRequestLeavesThePackageFolder) {
  for (const char* target :
       {"/../secret.txt", "/K/../../secret.txt", "/%2e%2e/secret.txt",
        "/K/%2E%2E/%2E%2E/secret.txt", "/..%2Fsecret.txt", "/link-out", "/K", "/K/1.0/",
        "//secret.txt", "/K/1.0/driver.zip%00.txt", "/missing.zip", "/K\\1.0\\driver.zip"}) {
    SCOPED_TRACE(target);
    const std::string response = RawGet(target);
    // Refused as missing (404) or, for what the HTTP layer itself rejects, as bad (400).
    EXPECT_TRUE(response.rfind("HTTP/1.1 404", 0) == 0 || response.rfind("HTTP/1.1 400", 0) == 0)
        << response.substr(0, 40);
    EXPECT_EQ(response.find("outside"), std::string::npos);
  }
  // A link that stays inside the folder is followed.
  EXPECT_EQ(RawGet("/link-in").rfind("HTTP/1.1 200", 0), 0u);
}

}  // namespace
}  // namespace cv2::test
