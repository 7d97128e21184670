#include "client_state.h"

namespace cv2 {

ClientState::ClientState(RegistryBackend& store, UserInterface& ui, Clock& clock)
    : m_store(store), m_ui(ui), m_clock(clock), m_status(ui) {
  m_log.SetListener([this](const std::string* line) {
    if (line) m_ui.LogAppended(*line);
    else m_ui.LogCleared();
  });
}

void ClientState::SetRunActive(bool pressed) {
  m_runActive = pressed;
  m_ui.RunButtonChanged(pressed);
}

void ClientState::ShowIdleLook() {
  m_status.SetVisible(Visual::EnableBtn, true);
  m_status.SetVisible(Visual::DisableBtn, false);
  SetRunActive(false);
  m_status.SetCaption(Caption::Start1, "Start");
  m_status.SetCaption(Caption::SearchStatusLBL, "Ready");
}

}  // namespace cv2
