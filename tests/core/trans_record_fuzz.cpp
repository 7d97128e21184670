// Fuzz target of the record reader: any text parses, raises the conversion error, or sets Error,
// without hanging or reading outside the text; a record that parsed cleanly writes a text that
// parses back to the same fields.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "trans_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  cv2::TTransRecord record;
  try {
    record.SetTransmition(text);
  } catch (const cv2::Error&) {
    return 0;  // a length that is not hexadecimal
  }
  if (record.Error()) return 0;
  // Only known fields are kept and each once, so the written text is never longer than the
  // parsed one (or the 8 characters of an empty record) and always fits the layout.
  const std::string written = record.Transmition();
  if (written.size() > std::max<size_t>(size, 8)) std::abort();
  cv2::TTransRecord back;
  back.SetTransmition(written);
  if (back.Error()) std::abort();
  for (const auto& field : cv2::TTransRecord::Fields())
    if (back.*field.Member != record.*field.Member) std::abort();
  return 0;
}
