#pragma once
// The status elements of the main window as the core knows them. Every change is mirrored to
// the user interface; tests read the board directly.
#include <array>
#include <string>

#include "user_interface.h"

namespace cv2 {

class StatusBoard {
 public:
  explicit StatusBoard(UserInterface& ui);

  void SetCaption(Caption element, const std::string& text);
  const std::string& GetCaption(Caption element) const {
    return m_captions[static_cast<size_t>(element)];
  }
  // Reads a counter label as a number, adds 1 and writes it back.
  void Advance(Caption element);

  void SetVisible(Visual element, bool visible);
  bool IsVisible(Visual element) const { return m_visible[static_cast<size_t>(element)]; }

  void SetProgress(Bar bar, int64_t value, int64_t maximum);
  void SetProgressValue(Bar bar, int64_t value) { SetProgress(bar, value, Maximum(bar)); }
  int64_t Value(Bar bar) const { return m_bars[static_cast<size_t>(bar)].first; }
  int64_t Maximum(Bar bar) const { return m_bars[static_cast<size_t>(bar)].second; }

  void SetTrayAnimation(bool on);
  bool TrayAnimating() const { return m_trayAnimating; }

 private:
  UserInterface& m_ui;
  std::array<std::string, kCaptionCount> m_captions;
  std::array<bool, kVisualCount> m_visible{};
  std::array<std::pair<int64_t, int64_t>, kBarCount> m_bars{};
  bool m_trayAnimating = false;
};

}  // namespace cv2
