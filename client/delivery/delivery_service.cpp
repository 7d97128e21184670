#include "delivery_service.h"

#include "update_list.h"
#include "update_processing.h"

namespace cv2 {

void DeliveryService::WalkUpdateList() {
  try {
    cv2::WalkUpdateList(m_state);
  } catch (const std::exception& e) {
    m_runControl.ApplicationException(e.what());
  }
}

void DeliveryService::ProcessRunList(bool downloading) {
  try {
    cv2::ProcessRunList(m_state, m_transports, m_installer, downloading);
  } catch (const std::exception& e) {
    m_runControl.ApplicationException(e.what());
  }
}

void NoTransports::FtpDownload(const UpdateRec&) {
  throw Error("no transport available");
}

void NoTransports::HttpDownload(const UpdateRec&) {
  throw Error("no transport available");
}

bool NoInstaller::ExtractAndLaunch(const std::string& zipPath, const std::string&) {
  m_state.AppendLog("No installer available: cannot install " + zipPath);
  return false;
}

void NoInstaller::LaunchAndWait(const std::string& path) {
  m_state.AppendLog("No installer available: cannot install " + path);
}

}  // namespace cv2
