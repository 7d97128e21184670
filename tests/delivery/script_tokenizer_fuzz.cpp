// Fuzz target: the update script tokenizer and the readers of its values. Any input must cut
// into non-empty tokens that use the script up step by step, and bad values may only raise the
// product's own error.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "error.h"
#include "script_tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  cv2::ScriptTokenizer tokenizer(script);
  std::string token;
  size_t before = script.size();
  while (tokenizer.Next(token)) {
    if (token.empty() || tokenizer.Rest().size() >= before) std::abort();
    before = tokenizer.Rest().size();
    const cv2::ScriptToken classified = cv2::ClassifyToken(token);
    try {
      int32_t width = 0, height = 0;
      if (classified.Kind == cv2::TokenKind::Pos) cv2::ParsePos(classified.Value, width, height);
      if (classified.Kind == cv2::TokenKind::Ver) cv2::ParsePlatformCode(classified.Value);
    } catch (const cv2::Error&) {
    }
    if (classified.Kind == cv2::TokenKind::QuotedItem &&
        classified.Value.size() + 2 != token.size())
      std::abort();
  }
  return 0;
}
