#pragma once
// What the session socket has received and not yet handed out, with the two ways of handing it
// out: line mode (one CR LF line at a time, line limit 128) and raw mode (everything at once).
// Bytes already buffered survive a switch of mode and are handed out in the new mode.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cv2 {

class ReceiveBuffer {
 public:
  // The longest line text (without its CR LF) that line mode delivers.
  static constexpr size_t kLineLimit = 128;

  // Adds received bytes.
  void Append(std::string_view bytes);

  void SetLineMode(bool on);
  bool LineMode() const { return m_lineMode; }

  // Line mode: true when a complete line waits at the front. The line limit applies to the front
  // of the buffer whenever a line is asked for or bytes arrive: a line whose text reaches
  // kLineLimit + 1 bytes before its CR LF is dropped, up to and including its CR LF, so that
  // neither the line nor its tail is ever delivered. Bytes behind a complete line are left alone
  // (the line may switch the socket to raw mode).
  bool HasLine();
  // Line mode: the front line with its CR LF; nothing when no complete line waits.
  std::optional<std::string> TakeLine();
  // Every buffered byte, possibly none.
  std::string TakeAll();

  bool Empty() const { return m_bytes.size() == m_front; }
  size_t Size() const { return m_bytes.size() - m_front; }
  void Clear();

 private:
  void ApplyLineLimit();

  std::string m_bytes;
  size_t m_front = 0;  // bytes before it are handed out already
  bool m_lineMode = true;
  bool m_discarding = false;  // inside an overlong line, waiting for its CR LF
};

}  // namespace cv2
