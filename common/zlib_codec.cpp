#include "zlib_codec.h"

#include <zlib.h>

#include <algorithm>

namespace cv2 {

std::string ZlibCompress(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                     reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                     Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) throw ZlibError("Compression failed");
  out.resize(size);
  return out;
}

std::string ZlibDecompress(std::string_view stream, size_t maxOutput) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw ZlibError("Decompression failed: cannot start");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  zs.avail_in = static_cast<uInt>(stream.size());
  std::string out;
  char chunk[65536];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof(chunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      inflateEnd(&zs);
      throw ZlibError(rc == Z_BUF_ERROR ? "Decompression failed: the stream is incomplete"
                                        : "Decompression failed: the stream is damaged");
    }
    const size_t produced = sizeof(chunk) - zs.avail_out;
    if (out.size() + produced > maxOutput) {
      inflateEnd(&zs);
      throw ZlibError("Decompression failed: the data is larger than " +
                      std::to_string(maxOutput) + " bytes");
    }
    out.append(chunk, produced);
    if (rc == Z_OK && produced == 0 && zs.avail_in == 0) {
      inflateEnd(&zs);
      throw ZlibError("Decompression failed: the stream is incomplete");
    }
  }
  const bool trailing = zs.avail_in != 0;
  inflateEnd(&zs);
  if (trailing) throw ZlibError("Decompression failed: bytes follow the end of the stream");
  return out;
}

}  // namespace cv2
