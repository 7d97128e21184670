#include "receive_buffer.h"

namespace cv2 {

namespace {
constexpr std::string_view kLineEnd = "\r\n";
}

void ReceiveBuffer::Append(std::string_view bytes) {
  m_bytes.append(bytes);
  ApplyLineLimit();
}

void ReceiveBuffer::SetLineMode(bool on) {
  m_lineMode = on;
  m_discarding = false;
  ApplyLineLimit();
}

void ReceiveBuffer::ApplyLineLimit() {
  if (!m_lineMode) return;
  while (m_front < m_bytes.size()) {
    const size_t end = m_bytes.find(kLineEnd, m_front);
    if (end != std::string::npos) {
      if (!m_discarding && end - m_front <= kLineLimit) break;  // a line to deliver
      // The overlong line ends here and is lost with its CR LF.
      m_discarding = false;
      m_front = end + kLineEnd.size();
      continue;
    }
    // No complete line: a CR at the very end may be the first half of a CR LF and is kept until
    // the next byte tells.
    const bool pendingCr = m_bytes.back() == '\r';
    const size_t text = m_bytes.size() - m_front - (pendingCr ? 1 : 0);
    if (m_discarding || text > kLineLimit) {
      m_discarding = true;
      m_front = m_bytes.size() - (pendingCr ? 1 : 0);
    }
    break;
  }
  // Handed-out bytes are dropped once they make up most of the buffer.
  if (m_front > 0 && m_front >= m_bytes.size() / 2) {
    m_bytes.erase(0, m_front);
    m_front = 0;
  }
}

bool ReceiveBuffer::HasLine() {
  if (!m_lineMode) return false;
  ApplyLineLimit();
  return m_bytes.find(kLineEnd, m_front) != std::string::npos;
}

std::optional<std::string> ReceiveBuffer::TakeLine() {
  if (!HasLine()) return std::nullopt;
  const size_t end = m_bytes.find(kLineEnd, m_front) + kLineEnd.size();
  std::string line = m_bytes.substr(m_front, end - m_front);
  m_front = end;
  if (m_front == m_bytes.size()) {
    m_bytes.clear();
    m_front = 0;
  }
  return line;
}

std::string ReceiveBuffer::TakeAll() {
  std::string all = m_bytes.substr(m_front);
  Clear();
  return all;
}

void ReceiveBuffer::Clear() {
  m_bytes.clear();
  m_front = 0;
  m_discarding = false;
}

}  // namespace cv2
