#pragma once
// zlib streams (RFC 1950) as the session and the support desk exchange them: one-shot
// compression at the default level, and decompression of a complete stream with a size cap.
#include <cstddef>
#include <string>
#include <string_view>

#include "error.h"

namespace cv2 {

class ZlibError : public Error {
 public:
  using Error::Error;
};

std::string ZlibCompress(std::string_view data);
// Decompresses a whole stream. A damaged or truncated stream, trailing bytes after the stream's
// end, or an output above maxOutput raise ZlibError; nothing larger than the cap is ever reserved.
std::string ZlibDecompress(std::string_view stream, size_t maxOutput);

}  // namespace cv2
