// The framing of the server dialogue without a network: line and raw reception with the line
// limit, and the command-line tokenizer.
#include <gtest/gtest.h>

#include "command_line.h"
#include "receive_buffer.h"

namespace cv2 {
namespace {

// Feeds the pieces in line mode and takes every line the buffer delivers.
std::vector<std::string> Lines(const std::vector<std::string>& pieces, ReceiveBuffer& buffer) {
  std::vector<std::string> lines;
  for (const auto& piece : pieces) {
    buffer.Append(piece);
    while (auto line = buffer.TakeLine()) lines.push_back(*line);
  }
  return lines;
}

TEST(ReceiveBuffer, LineModeDeliversCompleteLinesWithinTheLimit) {
  const std::string x128(128, 'x'), x129(129, 'x');
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    std::string left;  // what is still buffered afterwards
  };
  const Case cases[] = {
      {"one line in pieces",
       {"cv2_rea", "dy_for_buffer\r", "\n"},
       {"cv2_ready_for_buffer\r\n"},
       ""},
      {"two lines in one piece", {"a\r\nb\r\nc"}, {"a\r\n", "b\r\n"}, "c"},
      {"a lone CR does not end a line", {"a\rb\r\n"}, {"a\rb\r\n"}, ""},
      {"empty line", {"\r\n"}, {"\r\n"}, ""},
      {"128 bytes are delivered", {x128 + "\r\n"}, {x128 + "\r\n"}, ""},
      {"128 bytes and a pending CR wait", {x128 + "\r"}, {}, x128 + "\r"},
      {"129 bytes in one piece are lost", {x129 + "\r\nnext\r\n"}, {"next\r\n"}, ""},
      // The tail of a lost line never arrives as a line of its own, not even an empty one.
      {"129 bytes in pieces are lost whole",
       {x128, "x", "yyy", "\r", "\nnext\r\n"},
       {"next\r\n"},
       ""},
      {"lost line ending in a CR LF split", {x129 + "\r", "\n", "\r\n"}, {"\r\n"}, ""},
      {"lost line followed by a lone CR", {x129 + "\r", "z\r\n", "ok\r\n"}, {"ok\r\n"}, ""},
  };
  for (const auto& c : cases) {
    ReceiveBuffer buffer;
    EXPECT_EQ(Lines(c.pieces, buffer), c.lines) << c.name;
    EXPECT_EQ(buffer.TakeAll(), c.left) << c.name;
  }
}

TEST(ReceiveBuffer, BufferedBytesSurviveModeSwitches) {
  ReceiveBuffer buffer;
  // "size=5" and the five bytes of the buffer in one piece, then the next line.
  buffer.Append("size=5\r\nABCDE");
  EXPECT_EQ(buffer.TakeLine(), "size=5\r\n");
  EXPECT_FALSE(buffer.HasLine());
  buffer.SetLineMode(false);
  EXPECT_EQ(buffer.TakeLine(), std::nullopt);
  buffer.Append("F\r\nline two\r\n");
  // Raw mode hands out everything, lines included; lines not yet taken go back in order.
  buffer.SetLineMode(true);
  EXPECT_EQ(buffer.TakeLine(), "ABCDEF\r\n");
  buffer.SetLineMode(false);
  EXPECT_EQ(buffer.TakeAll(), "line two\r\n");
  // A complete line shields what follows it: the line may switch to raw mode.
  buffer.SetLineMode(true);
  buffer.Append("size=200\r\n" + std::string(200, 'b'));
  EXPECT_EQ(buffer.TakeLine(), "size=200\r\n");
  buffer.SetLineMode(false);
  EXPECT_EQ(buffer.TakeAll(), std::string(200, 'b'));
  // Raw mode has no line limit; switching back to line mode applies it to what is buffered.
  buffer.Append(std::string(300, 'r'));
  EXPECT_EQ(buffer.Size(), 300u);
  buffer.Append("\r\nkept\r\n");
  buffer.SetLineMode(true);
  EXPECT_EQ(buffer.TakeLine(), "kept\r\n");
  EXPECT_TRUE(buffer.Empty());
}

TEST(ReceiveBuffer, AnEndlessLineKeepsMemoryBounded) {
  ReceiveBuffer buffer;
  for (int i = 0; i < 10000; ++i) buffer.Append(std::string(1000, 'z'));
  EXPECT_LE(buffer.Size(), ReceiveBuffer::kLineLimit + 1);
  buffer.Append("\r\nafter\r\n");
  EXPECT_EQ(buffer.TakeLine(), "after\r\n");
}

TEST(CommandLine, Tokens) {
  struct Case {
    const char* line;
    bool support;
    std::optional<std::string> user, pass, size;
    bool unrecognised;
  };
  const std::optional<std::string> none;
  const Case cases[] = {
      {"size=1500", false, none, none, "1500", false},
      {"CV2_Support_Request SIZE=10", true, none, none, "10", false},
      {"cv2_support_request_answer size=3", true, none, none, "3", false},
      {"user=2A pass=Secret", false, "2A", "Secret", none, false},
      {"USER=ab  PASS=CaSe   size=1", false, "ab", "CaSe", "1", false},
      {"size=1 size=2", false, none, none, "2", false},
      {"size=5 xyz", false, none, none, "5", true},
      {"xyz size=5", false, none, none, none, true},
      {"user= pass=", false, "", "", none, false},
      {"size=1A", false, none, none, "1A", false},
      {"size=5\tuser=1", false, none, none, "5\tuser=1", false},
      {"", false, none, none, none, false},
      {"us", false, none, none, none, true},
  };
  for (const auto& c : cases) {
    const ServerCommand command = ParseCommandLine(c.line);
    EXPECT_EQ(command.SupportAnswer, c.support) << c.line;
    EXPECT_EQ(command.User, c.user) << c.line;
    EXPECT_EQ(command.Pass, c.pass) << c.line;
    EXPECT_EQ(command.Size, c.size) << c.line;
    EXPECT_EQ(command.Unrecognised, c.unrecognised) << c.line;
  }
}

}  // namespace
}  // namespace cv2
