#include "command_line.h"

#include "text_util.h"

namespace cv2 {

ServerCommand ParseCommandLine(std::string_view line) {
  ServerCommand command;
  std::string rest = Trim(line);
  while (!rest.empty()) {
    // The token is the text up to the first blank, or the whole rest when there is none.
    const size_t blank = rest.find(' ');
    const std::string token = Trim(std::string_view(rest).substr(0, blank));
    rest = blank == std::string::npos ? std::string() : Trim(std::string_view(rest).substr(blank));
    if (IStartsWith(token, "cv2_support_request")) {
      command.SupportAnswer = true;
    } else if (IStartsWith(token, "user=")) {
      command.User = token.substr(5);
    } else if (IStartsWith(token, "pass=")) {
      command.Pass = token.substr(5);
    } else if (IStartsWith(token, "size=")) {
      command.Size = token.substr(5);
    } else {
      command.Unrecognised = true;
      break;
    }
  }
  return command;
}

}  // namespace cv2
