#pragma once
// Failures are errors (exceptions); handlers catch them where the behaviour says so.
#include <stdexcept>
#include <string>

namespace cv2 {

// An error raised by the product's own code. Its message is shown or logged as it stands.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Replaces the first "%s" of a message pattern by a value, the way the original texts are built.
std::string FormatMessage(const std::string& pattern, const std::string& value);

}  // namespace cv2
