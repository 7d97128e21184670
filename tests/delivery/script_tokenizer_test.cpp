#include "script_tokenizer.h"

#include <gtest/gtest.h>

#include "error.h"

namespace cv2 {
namespace {

std::vector<std::string> Tokens(const std::string& script) {
  ScriptTokenizer tokenizer(script);
  std::vector<std::string> tokens;
  std::string token;
  while (tokenizer.Next(token)) tokens.push_back(token);
  return tokens;
}

TEST(ScriptTokenizer, CutsAtStarsAndQuotes) {
  struct Case {
    const char* script;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"*ftp**user u1**port 2121**run\"host/pub/drv.zip\"",
       {"*ftp*", "**", "*user u1*", "**", "*port 2121*", "**", "*run\"", "\"host/pub/drv.zip\"",
        "\""}},
      {"*http**zip\"host/d/pkg.zip\"\"host/d/readme.txt\"",
       {"*http*", "**", "*zip\"", "\"host/d/pkg.zip\"", "\"\"", "\"host/d/readme.txt\"", "\""}},
      // Blanks between tokens go; blanks inside quotes stay.
      {"*link page* *message*  \" Read this \"  ",
       {"*link page*", "* *", "*message*", "*  \"", "\" Read this \"", "\""}},
      // Two quoted items side by side meet in a skipped "\"\"".
      {"\"a\"\" b\"", {"\"a\"", "\"\"", "\" b\"", "\""}},
      {"*ftp*\"host/a.zip", {"*ftp*", "*\"", "\"host/a.zip"}},  // unterminated quote
      {"no delimiter", {"no delimiter"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(Tokens(c.script), c.tokens);
  }
}

TEST(ScriptTokenizer, ClassifiesEveryKindOfToken) {
  struct Case {
    const char* token;
    TokenKind kind;
    const char* value;
  };
  const Case cases[] = {
      {"", TokenKind::Skipped, ""},
      {"\"", TokenKind::Skipped, ""},
      {"\"\"", TokenKind::Skipped, ""},
      {"*ftp*", TokenKind::Ftp, ""},
      {"*http*", TokenKind::Http, ""},
      {"*html*", TokenKind::Html, ""},
      {"*message*", TokenKind::Message, ""},
      {"*message\"", TokenKind::Message, ""},
      {"*user  u1 *", TokenKind::User, "u1"},
      {"*pass secret*", TokenKind::Password, "secret"},
      {"*port 2121*", TokenKind::Port, "2121"},
      {"*pos 640,480*", TokenKind::Pos, "640,480"},
      {"*caption Release notes*", TokenKind::Caption, "Release notes"},
      {"*msg hello*", TokenKind::Msg, "hello"},
      {"*link http://x/y*", TokenKind::Link, "http://x/y"},
      {"*ver18*", TokenKind::Ver, "18"},
      {"*user u1", TokenKind::User, "u"},  // the last character always closes the token
      {"*run\"", TokenKind::Run, ""},
      {"*zip\"", TokenKind::Run, ""},
      {"\"host/a.zip\"", TokenKind::QuotedItem, "host/a.zip"},
      {"\"not_supported\"", TokenKind::QuotedItem, "not_supported"},
      {"**", TokenKind::Ignored, ""},
      {"*\"", TokenKind::Ignored, ""},
      {"*FTP*", TokenKind::Ignored, ""},  // markers are case-sensitive
      {"*run*", TokenKind::Ignored, ""},
      {"*ftp\"", TokenKind::Ignored, ""},
      {"\"host/a.zip", TokenKind::Ignored, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    ScriptToken token = ClassifyToken(c.token);
    EXPECT_EQ(token.Kind, c.kind);
    EXPECT_EQ(token.Value, c.value);
  }
}

TEST(ScriptTokenizer, ReadsWindowSizesAndPlatformCodes) {
  int32_t width = 0, height = 0;
  ParsePos("640,480", width, height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(ParsePlatformCode("18"), 24);
  EXPECT_EQ(ParsePlatformCode("0"), 0);
  EXPECT_EQ(ParsePlatformCode("FFFFFFFF"), -1);

  for (const char* bad : {"640", ",480", "640,", "a,b"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParsePos(bad, width, height), Error);
  }
  for (const char* bad : {"", "XY", "-1", "123456789"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParsePlatformCode(bad), Error);
  }
}

}  // namespace
}  // namespace cv2
