#pragma once
// The server's command line: blank-separated tokens recognised by their beginning without regard
// to case. A value is the rest of its token after the first five characters, case kept.
//
//   cv2_support_request...   the buffer that follows is a support answer
//   user=VALUE               the user number issued to the client
//   pass=VALUE               the password issued with it
//   size=VALUE               the byte length of the buffer that follows, in decimal
//
// The scan stops at the first token it does not recognise; the tokens after it are ignored. A
// later token of a kind replaces an earlier one.
#include <optional>
#include <string>
#include <string_view>

namespace cv2 {

struct ServerCommand {
  bool SupportAnswer = false;
  std::optional<std::string> User;
  std::optional<std::string> Pass;
  std::optional<std::string> Size;
  bool Unrecognised = false;  // a token was not recognised (and ended the scan)
};

ServerCommand ParseCommandLine(std::string_view line);

}  // namespace cv2
