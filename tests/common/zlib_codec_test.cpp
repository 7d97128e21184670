#include <gtest/gtest.h>

#include "zlib_codec.h"

namespace cv2 {
namespace {

TEST(ZlibCodec, RoundTripAndRefusals) {
  const std::string text = std::string(100000, 'a') + "tail\r\n";
  const std::string stream = ZlibCompress(text);
  EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78);  // zlib header, not raw deflate
  EXPECT_EQ(ZlibDecompress(stream, text.size()), text);
  EXPECT_EQ(ZlibDecompress(ZlibCompress(""), 0), "");
  // Above the cap, truncated, damaged, or followed by other bytes: refused.
  EXPECT_THROW(ZlibDecompress(stream, text.size() - 1), ZlibError);
  EXPECT_THROW(ZlibDecompress(stream.substr(0, stream.size() - 3), text.size()), ZlibError);
  std::string damaged = stream;
  damaged[5] ^= 0x55;
  EXPECT_THROW(ZlibDecompress(damaged, text.size()), ZlibError);
  EXPECT_THROW(ZlibDecompress(stream + "x", text.size()), ZlibError);
  EXPECT_THROW(ZlibDecompress("not zlib at all", 1000), ZlibError);
}

}  // namespace
}  // namespace cv2
