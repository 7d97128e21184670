// Fuzz target: bytes from the server through the line framing (in pieces of a size the first
// byte chooses) and every delivered line through the command-line tokenizer. Lines never exceed
// the line limit, values never hold a blank, and nothing crashes or grows without bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "command_line.h"
#include "receive_buffer.h"
#include "text_util.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckValue(const std::optional<std::string>& value) {
  if (value) Require(value->find(' ') == std::string::npos);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  cv2::ReceiveBuffer buffer;
  while (!rest.empty()) {
    const size_t n = rest.size() < piece ? rest.size() : piece;
    buffer.Append(rest.substr(0, n));
    rest.remove_prefix(n);
    while (auto line = buffer.TakeLine()) {
      Require(line->size() >= 2 && line->size() <= cv2::ReceiveBuffer::kLineLimit + 2);
      Require(line->compare(line->size() - 2, 2, "\r\n") == 0);
      const cv2::ServerCommand command = cv2::ParseCommandLine(cv2::Trim(*line));
      CheckValue(command.User);
      CheckValue(command.Pass);
      CheckValue(command.Size);
      if (command.Size) (void)cv2::ParseInt32(*command.Size);
      if (command.User) (void)cv2::ParseHex32(*command.User);
    }
    // What stays is at most one incomplete line of the limit and a pending CR.
    Require(buffer.Size() <= cv2::ReceiveBuffer::kLineLimit + 1);
  }
  return 0;
}
