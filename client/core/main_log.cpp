#include "main_log.h"

#include <algorithm>

#include "tree_text.h"

namespace cv2 {

void MainLog::Append(const std::string& text) {
  // The memo splits at CR LF, CR or LF; an empty text is one empty line.
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty()) lines.emplace_back();
  for (auto& line : lines) {
    m_lines.push_back(std::move(line));
    if (m_listener) m_listener(&m_lines.back());
  }
}

void MainLog::Clear() {
  m_lines.clear();
  if (m_listener) m_listener(nullptr);
}

bool MainLog::Contains(const std::string& line) const {
  return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
}

}  // namespace cv2
