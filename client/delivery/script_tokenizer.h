#pragma once
// The processing script of an update entry (its Location): transport markers, connection and
// window values, platform codes and quoted items, for example
//
//   *ftp**user u1**port 2121**run"host/pub/drv.zip"
//
// The script is cut at "*" and the double quote. A token runs from the start of the rest up to
// and including the next delimiter at its second character or later (or to the end); the
// delimiter that closes one token opens the next. No Qt here: the fuzz target links this alone.
#include <cstdint>
#include <string>
#include <string_view>

namespace cv2 {

class ScriptTokenizer {
 public:
  explicit ScriptTokenizer(std::string_view script) : m_rest(script) {}
  // Takes the next token; false when the script is used up.
  bool Next(std::string& token);
  const std::string& Rest() const { return m_rest; }

 private:
  std::string m_rest;
};

enum class TokenKind {
  Skipped,     // empty, "\"" or "\"\""
  Ftp,         // "*ftp*"
  Http,        // "*http*"
  Html,        // "*html*"
  Message,     // "*message*" or "*message\""
  User,        // "*user " value
  Password,    // "*pass " value
  Port,        // "*port " value
  Pos,         // "*pos " value: width,height
  Caption,     // "*caption " value
  Msg,         // "*msg " value (read by nothing)
  Link,        // "*link " value
  Ver,         // "*ver" value: platform code in hexadecimal
  Run,         // "*run\"" or "*zip\"": install the next file item
  QuotedItem,  // "\"...\"": the value is the text between the quotes
  Ignored,     // anything else, a lone "**" between two tokens among them
};

struct ScriptToken {
  TokenKind Kind = TokenKind::Ignored;
  std::string Value;  // the value of a value token, the text of a quoted item
};

// What a token means. The rows are tried in a fixed order, the first that fits applies; the
// markers must be the whole token, the value keywords are prefixes.
ScriptToken ClassifyToken(std::string_view token);

// The value of "*pos ": the number before the first "," and the number after it. A value
// without "," or with a part that is not a number raises an error.
void ParsePos(std::string_view value, int32_t& width, int32_t& height);
// The value of "*ver" read as a hexadecimal number; raises an error when it is not one.
int32_t ParsePlatformCode(std::string_view value);

}  // namespace cv2
