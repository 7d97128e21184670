// The session dialogue against a scripted client peer over real TCP connections.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "server_harness.h"

namespace cv2::test {
namespace {

const std::string kNetId = "PCI\\VEN_1AF4&DEV_1041&SUBSYS_11001AF4&REV_01";

class DialogueTest : public ::testing::Test {
 protected:
  explicit DialogueTest(SessionServerOptions options = ServerHarness::DefaultOptions())
      : server(options) {
    server.Store().PutEntries({Entry("NET-1", {kNetId, "PCI\\VEN_1AF4&DEV_1041"}, "2.0")}, false);
  }

  std::string Report() {
    return ReportText({"brand_name QEMU", "branded"},
                      {Device("Standard PC", {"QEMU", "Standard PC"}, ""),
                       Device("Virtio network", {kNetId}, "1.0")});
  }

  // A whole main session of a known user; the update list, or nothing when it failed.
  std::optional<std::string> MainSession(uint32_t user) {
    ScriptedClient client(server.Port());
    auto command = SendReport(client, user, Report());
    if (!command || command->rfind("size=", 0) != 0) return std::nullopt;
    auto list = TakeBuffer(client, *command);
    client.SendLine("cv2_disconnect");
    if (!client.WaitClosed()) return std::nullopt;
    return list;
  }

  ServerHarness server;
};

TEST_F(DialogueTest, FirstSessionIssuesAnAccountAndAnswersTheReport) {
  ScriptedClient client(server.Port());
  client.SendLine("get_user");
  auto account = client.ReadLine();
  ASSERT_TRUE(account);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(*account, m, std::regex("user=([0-9A-F]{8}) pass=([A-Za-z0-9]+)")))
      << *account;
  EXPECT_LT(account->size() + 2, 128u);  // the client's line limit
  const uint32_t user = *ParseHex32(m[1].str());
  EXPECT_LE(user, 0x7FFFFFFFu);
  EXPECT_GT(user, 0u);
  EXPECT_TRUE(server.Store().UserExists(user));

  auto command = SendReport(client, user, Report());
  ASSERT_TRUE(command);
  ASSERT_EQ(command->rfind("size=", 0), 0u) << *command;
  auto list = TakeBuffer(client, *command);
  ASSERT_TRUE(list);
  const auto records = UpdateRecords(*list);
  ASSERT_EQ(records.size(), 1u);
  // The client matches the answer to its device by the report's DeviceName.
  EXPECT_EQ(records[0].DeviceName, "Virtio network");
  EXPECT_EQ(records[0].BaseKey, "NET-1");
  EXPECT_EQ(records[0].HWID, kNetId + "**PCI\\VEN_1AF4&DEV_1041");
  EXPECT_EQ(records[0].Location, "*http**zip\"http://packages.test:8080/NET-1/2.0/driver.zip\"");
  client.SendLine("cv2_disconnect");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_EQ(client.Pending(), "");  // the server closes without a word
  EXPECT_TRUE(server.WaitForLog("report of user " + HexUpper(user, 8)));
}

TEST_F(DialogueTest, UnknownUserIsToldSoAndMayAskForANewAccountInTheSameSession) {
  const uint32_t known = server.Store().CreateUser().User;
  for (const std::string& user :
       std::vector<std::string>{"7FFFFFF0", "XYZ", "80000000", "0", "", HexUpper(known, 8) + "0"}) {
    SCOPED_TRACE(user);
    ScriptedClient client(server.Port());
    client.SendLine("cv2_hardware size=00000010 user=" + user + " log");
    EXPECT_EQ(client.ReadLine(), "user_not_found");
    // The client drops its account and asks for a new one on the same connection.
    client.SendLine("get_user");
    auto account = client.ReadLine();
    ASSERT_TRUE(account);
    const uint32_t fresh = *ParseHex32(account->substr(5, 8));
    auto command = SendReport(client, fresh, Report());
    ASSERT_TRUE(command);
    EXPECT_EQ(command->rfind("size=", 0), 0u);
  }
}

TEST_F(DialogueTest, SupportRequestIsStoredAndItsAnswerComesInTheNextSession) {
  const uint32_t user = server.Store().CreateUser().User;
  auto request = [&](const std::string& text) {
    ScriptedClient client(server.Port());
    const std::string stream = ZlibCompress(text);
    client.SendLine(
        "cv2_support_request size=" + HexUpper(static_cast<uint32_t>(stream.size()), 8) +
        " user=" + HexUpper(user, 8));
    EXPECT_EQ(client.ReadLine(), "cv2_ready_for_buffer");
    client.Send(stream);
    auto outcome = client.ReadLine();
    client.SendLine("cv2_disconnect");
    // The server's "cv2_disconnect" closes the client's support window.
    EXPECT_EQ(client.ReadLine(), "cv2_disconnect");
    EXPECT_TRUE(client.WaitClosed());
    return outcome;
  };
  const std::string first = "No sound.\n\r\n\r\n\r\n\r<Hardware Log>\n\r\r\nDevice\r\n\tHardwareID";
  EXPECT_EQ(request(first), "cv2_support_request_added");
  EXPECT_EQ(request("Still no sound."), "cv2_support_request_removed");
  auto requests = server.Store().SupportRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Text, first);  // bytes kept exactly
  EXPECT_EQ(requests[0].State, "replaced");
  EXPECT_EQ(requests[1].State, "open");

  const std::string answer = "Install the sound driver from the update list.";
  server.Store().QueueSupportAnswer(user, answer);
  EXPECT_EQ(server.Store().SupportRequests()[1].State, "answered");
  {
    // The session after the answer was queued delivers it instead of the update list.
    ScriptedClient client(server.Port());
    auto command = SendReport(client, user, Report());
    ASSERT_TRUE(command);
    ASSERT_EQ(command->rfind("cv2_support_request size=", 0), 0u) << *command;
    EXPECT_EQ(TakeBuffer(client, *command), answer);
    client.SendLine("cv2_disconnect");
    EXPECT_TRUE(client.WaitClosed());
  }
  EXPECT_FALSE(server.Store().SupportAnswers()[0].Delivered.empty());
  // And the session after that one has the update list again.
  auto list = MainSession(user);
  ASSERT_TRUE(list);
  EXPECT_EQ(UpdateRecords(*list).size(), 1u);
}

TEST_F(DialogueTest, AnswerTakenByAClientThatVanishedIsDeliveredAgain) {
  const uint32_t user = server.Store().CreateUser().User;
  server.Store().QueueSupportAnswer(user, "answer");
  {
    ScriptedClient client(server.Port());
    auto command = SendReport(client, user, Report());
    ASSERT_TRUE(command);
    ASSERT_EQ(command->rfind("cv2_support_request", 0), 0u);
    // Gone before saying "cv2_disconnect": the answer may not have arrived.
  }
  ASSERT_TRUE(server.WaitForLog("client closed the connection"));
  EXPECT_TRUE(server.Store().PendingSupportAnswer(user).has_value());
}

TEST_F(DialogueTest, SupportRequestOfAnUnknownUser) {
  ScriptedClient client(server.Port());
  client.SendLine("cv2_support_request size=00000010 user=12345678");
  EXPECT_EQ(client.ReadLine(), "user_not_found");
  client.SendLine("cv2_disconnect");
  EXPECT_EQ(client.ReadLine(), "cv2_disconnect");
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(server.Store().SupportRequests().empty());
}

// Input the dialogue does not accept ends that session, with a log line, and nothing else.
TEST_F(DialogueTest, BadInputEndsOnlyThatSession) {
  const uint32_t user = server.Store().CreateUser().User;
  const std::string u = HexUpper(user, 8);
  auto announce = [&](const std::string& stream) {
    return "cv2_hardware size=" + HexUpper(static_cast<uint32_t>(stream.size()), 8) + " user=" + u +
           " log\r\n" + stream;
  };
  TTransRecord cut = Device("x", {"ID"}, "1");
  const std::string cutRecord = cut.Transmition().substr(0, 20);
  struct Case {
    const char* Name;
    std::string Bytes;
    const char* Log;
  };
  const Case cases[] = {
      {"unknown line", "hello\r\n", "unexpected line"},
      {"ready before anything", "cv2_ready_for_buffer\r\n", "unexpected line"},
      {"no size", "cv2_hardware user=" + u + " log\r\n", "without a hexadecimal size"},
      {"size not hexadecimal", "cv2_hardware size=12G4 user=" + u + " log\r\n",
       "without a hexadecimal size"},
      {"endless line", std::string(5000, 'a'), "line longer than"},
      {"size zero", "cv2_hardware size=00000000 user=" + u + " log\r\n", "announced 0 bytes"},
      {"size far too large", "cv2_hardware size=FFFFFFFF user=" + u + " log\r\n",
       "announced 4294967295 bytes"},
      {"size above the limit", "cv2_hardware size=00100001 user=" + u + " log\r\n",
       "announced 1048577 bytes"},
      {"not zlib", announce("this is not a zlib stream"), "does not decompress"},
      {"decompression bomb", announce(ZlibCompress(std::string(5u << 20, '\0'))),
       "does not decompress"},
      {"not a report", announce(ZlibCompress("hello world\r\n")), "does not parse"},
      {"cut record", announce(ZlibCompress(cutRecord + "\r\n")), "does not parse"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ScriptedClient client(server.Port());
    client.Send(c.Bytes);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.Pending().find("size="), std::string::npos);
    EXPECT_TRUE(server.WaitForLog(c.Log));
  }
  EXPECT_TRUE(MainSession(user).has_value());  // the server goes on serving
}

TEST_F(DialogueTest, SlowClientIsServedAndAVanishingOneCostsNothing) {
  const uint32_t user = server.Store().CreateUser().User;
  // A client that holds a session open half-way does not keep others waiting.
  ScriptedClient stalled(server.Port());
  const std::string stream = ZlibCompress(Report());
  stalled.SendLine("cv2_hardware size=" + HexUpper(static_cast<uint32_t>(stream.size()), 8) +
                   " user=" + HexUpper(user, 8) + " log");
  ASSERT_EQ(stalled.ReadLine(), "cv2_ready_for_buffer");
  stalled.Send(stream.substr(0, stream.size() / 2));
  EXPECT_TRUE(MainSession(user).has_value());

  // A slow one: the report in small pieces with pauses, the session completes.
  {
    ScriptedClient slow(server.Port());
    slow.SendLine("cv2_hardware size=" + HexUpper(static_cast<uint32_t>(stream.size()), 8) +
                  " user=" + HexUpper(user, 8) + " log");
    ASSERT_EQ(slow.ReadLine(), "cv2_ready_for_buffer");
    for (size_t i = 0; i < stream.size(); i += 16) {
      slow.Send(stream.substr(i, 16));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    auto command = slow.ReadLine();
    ASSERT_TRUE(command);
    EXPECT_EQ(command->rfind("size=", 0), 0u);
  }

  // The stalled client vanishes: its session ends with a log line.
  stalled.Close();
  EXPECT_TRUE(server.WaitForLog("client closed the connection while receiving its report"));
  EXPECT_TRUE(MainSession(user).has_value());
}

TEST_F(DialogueTest, ManyClientsAtOnce) {
  std::vector<uint32_t> users;
  for (int i = 0; i < 8; ++i) users.push_back(server.Store().CreateUser().User);
  std::atomic<int> completed{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 32; ++i)
    clients.emplace_back([&, i] {
      for (int k = 0; k < 5; ++k)
        if (auto list = MainSession(users[static_cast<size_t>(i) % users.size()]);
            list && UpdateRecords(*list).size() == 1)
          ++completed;
    });
  for (auto& t : clients) t.join();
  EXPECT_EQ(completed.load(), 32 * 5);
}

class IdleDialogueTest : public DialogueTest {
 protected:
  static SessionServerOptions Options() {
    SessionServerOptions o = ServerHarness::DefaultOptions();
    o.IdleTimeout = std::chrono::milliseconds(200);
    return o;
  }
  IdleDialogueTest() : DialogueTest(Options()) {}
};

TEST_F(IdleDialogueTest, SilentClientsAreDisconnected) {
  const uint32_t user = server.Store().CreateUser().User;
  ScriptedClient silent(server.Port());
  EXPECT_TRUE(silent.WaitClosed());
  // Silent in the middle of its report, too.
  ScriptedClient halfway(server.Port());
  halfway.SendLine("cv2_hardware size=00000100 user=" + HexUpper(user, 8) + " log");
  EXPECT_EQ(halfway.ReadLine(), "cv2_ready_for_buffer");
  halfway.Send("abc");
  EXPECT_TRUE(halfway.WaitClosed());
  EXPECT_TRUE(server.WaitForLog("no data for 200 ms while receiving its report"));
}

class BudgetDialogueTest : public DialogueTest {
 protected:
  static SessionServerOptions Options() {
    SessionServerOptions o = ServerHarness::DefaultOptions();
    o.MaxBuffersInTransit = 5000;
    return o;
  }
  BudgetDialogueTest() : DialogueTest(Options()) {}
};

TEST_F(BudgetDialogueTest, BuffersInTransitAreBoundedOverAllSessions) {
  const uint32_t user = server.Store().CreateUser().User;
  const std::string line = "cv2_hardware size=00000BB8 user=" + HexUpper(user, 8) + " log";  // 3000
  auto holder = std::make_unique<ScriptedClient>(server.Port());
  holder->SendLine(line);
  EXPECT_EQ(holder->ReadLine(), "cv2_ready_for_buffer");
  ScriptedClient refused(server.Port());
  refused.SendLine(line);
  EXPECT_TRUE(refused.WaitClosed());
  EXPECT_EQ(refused.Pending(), "");
  EXPECT_TRUE(server.WaitForLog("holds as many buffers as it takes"));
  // The holder leaves: its share comes back.
  holder.reset();
  ASSERT_TRUE(server.WaitForLog("client closed the connection while receiving its report"));
  ScriptedClient next(server.Port());
  next.SendLine(line);
  EXPECT_EQ(next.ReadLine(), "cv2_ready_for_buffer");
}

}  // namespace
}  // namespace cv2::test
