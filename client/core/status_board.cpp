#include "status_board.h"

#include "error.h"
#include "text_util.h"

namespace cv2 {

StatusBoard::StatusBoard(UserInterface& ui) : m_ui(ui) {
  // The main window as it is designed: idle, the Run button's "enabled" picture shown.
  m_captions[static_cast<size_t>(Caption::SearchStatusLBL)] = "Ready";
  m_captions[static_cast<size_t>(Caption::Start1)] = "Start";
  m_captions[static_cast<size_t>(Caption::UpdatesCountLBL)] = "0";
  m_captions[static_cast<size_t>(Caption::NewUpdatesCount)] = "0";
  m_captions[static_cast<size_t>(Caption::StatusLBL)] = "Disconnected";
  m_visible[static_cast<size_t>(Visual::EnableBtn)] = true;
  m_visible[static_cast<size_t>(Visual::B_BtnUp)] = true;
  m_visible[static_cast<size_t>(Visual::MainWindowEnabled)] = true;
}

void StatusBoard::SetCaption(Caption element, const std::string& text) {
  m_captions[static_cast<size_t>(element)] = text;
  m_ui.CaptionChanged(element, text);
}

void StatusBoard::Advance(Caption element) {
  auto value = ParseInt32(GetCaption(element));
  if (!value) throw Error("'" + GetCaption(element) + "' is not a valid integer value");
  SetCaption(element, std::to_string(static_cast<int64_t>(*value) + 1));
}

void StatusBoard::SetVisible(Visual element, bool visible) {
  m_visible[static_cast<size_t>(element)] = visible;
  m_ui.VisibilityChanged(element, visible);
}

void StatusBoard::SetProgress(Bar bar, int64_t value, int64_t maximum) {
  m_bars[static_cast<size_t>(bar)] = {value, maximum};
  m_ui.ProgressChanged(bar, value, maximum);
}

void StatusBoard::SetTrayAnimation(bool on) {
  m_trayAnimating = on;
  m_ui.TrayAnimation(on);
}

}  // namespace cv2
