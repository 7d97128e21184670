#include "script_tokenizer.h"

#include <array>
#include <utility>

#include "error.h"
#include "text_util.h"

namespace cv2 {

namespace {

bool IsSkipped(std::string_view token) {
  return token.empty() || token == "\"" || token == "\"\"";
}

// The value of a value token: between its prefix and its last character, trimmed.
std::string ValueOf(std::string_view token, size_t prefixLength) {
  if (token.size() <= prefixLength + 1) return {};
  return Trim(token.substr(prefixLength, token.size() - prefixLength - 1));
}

std::string NotAnInteger(std::string_view text) {
  return FormatMessage("'%s' is not a valid integer value", std::string(text));
}

}  // namespace

bool ScriptTokenizer::Next(std::string& token) {
  if (m_rest.empty()) return false;
  const size_t end = m_rest.find_first_of("*\"", 1);
  if (end == std::string::npos) {
    token = std::move(m_rest);
    m_rest.clear();
  } else {
    token = m_rest.substr(0, end + 1);
    m_rest.erase(0, end);  // the closing delimiter stays: it opens the next token
  }
  // After a skipped token the rest is taken as it stands.
  if (!IsSkipped(token)) m_rest = Trim(m_rest);
  return true;
}

ScriptToken ClassifyToken(std::string_view token) {
  if (IsSkipped(token)) return {TokenKind::Skipped, {}};
  if (token == "*ftp*") return {TokenKind::Ftp, {}};
  if (token == "*http*") return {TokenKind::Http, {}};
  if (token == "*html*") return {TokenKind::Html, {}};
  if (token == "*message*" || token == "*message\"") return {TokenKind::Message, {}};

  static const std::array<std::pair<std::string_view, TokenKind>, 8> kValueTokens = {{
      {"*user ", TokenKind::User},
      {"*pass ", TokenKind::Password},
      {"*port ", TokenKind::Port},
      {"*pos ", TokenKind::Pos},
      {"*caption ", TokenKind::Caption},
      {"*msg ", TokenKind::Msg},
      {"*link ", TokenKind::Link},
      {"*ver", TokenKind::Ver},
  }};
  for (const auto& [prefix, kind] : kValueTokens)
    if (token.starts_with(prefix)) return {kind, ValueOf(token, prefix.size())};

  if (token == "*run\"" || token == "*zip\"") return {TokenKind::Run, {}};
  if (token.size() >= 2 && token.front() == '"' && token.back() == '"')
    return {TokenKind::QuotedItem, std::string(token.substr(1, token.size() - 2))};
  return {TokenKind::Ignored, {}};
}

void ParsePos(std::string_view value, int32_t& width, int32_t& height) {
  const size_t comma = value.find(',');
  const std::string_view before =
      comma == std::string_view::npos ? std::string_view() : value.substr(0, comma);
  auto w = ParseInt32(before);
  if (!w) throw Error(NotAnInteger(before));
  const std::string_view after = value.substr(comma + 1);
  auto h = ParseInt32(after);
  if (!h) throw Error(NotAnInteger(after));
  width = *w;
  height = *h;
}

int32_t ParsePlatformCode(std::string_view value) {
  const std::string text = "$" + std::string(value);
  auto code = ParseInt32(text);
  if (!code) throw Error(NotAnInteger(text));
  return *code;
}

}  // namespace cv2
