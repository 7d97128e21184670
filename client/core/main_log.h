#pragma once
// The client's diagnostic log (the main window's memo): lines are only appended; the run cycle
// clears it at a run start when it holds more than 1000 lines.
#include <functional>
#include <string>
#include <vector>

namespace cv2 {

class MainLog {
 public:
  using Listener = std::function<void(const std::string* line)>;  // null: cleared

  // Appends a text; a text holding line breaks adds several lines.
  void Append(const std::string& text);
  void Clear();
  size_t LineCount() const { return m_lines.size(); }
  const std::vector<std::string>& Lines() const { return m_lines; }
  bool Contains(const std::string& line) const;
  void SetListener(Listener listener) { m_listener = std::move(listener); }

 private:
  std::vector<std::string> m_lines;
  Listener m_listener;
};

}  // namespace cv2
