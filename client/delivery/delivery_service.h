#pragma once
// What the end of a session starts, on the real update list, decision and processing. Errors
// that end the walk or the processing go to the application error handler here, so that the
// session always goes on to processing and processing always ends the run.
#include "client_state.h"
#include "installer.h"
#include "services.h"
#include "transports.h"

namespace cv2 {

class DeliveryService : public ProcessingService {
 public:
  DeliveryService(ClientState& state, Transports& transports, Installer& installer,
                  RunControl& runControl)
      : m_state(state),
        m_transports(transports),
        m_installer(installer),
        m_runControl(runControl) {}

  // An entry that cannot be read ends the walk there; the entries queued before it are kept.
  void WalkUpdateList() override;
  // The closing step has ended the run before an error is reported.
  void ProcessRunList(bool downloading) override;

 private:
  ClientState& m_state;
  Transports& m_transports;
  Installer& m_installer;
  RunControl& m_runControl;
};

// Stand-ins for a build without the real transports and installer: every transfer fails with
// "no transport available", every install is refused with a log line.
class NoTransports : public Transports {
 public:
  void FtpDownload(const UpdateRec& rec) override;
  void HttpDownload(const UpdateRec& rec) override;
  void DisconnectFtp() override {}
  void SafeDisconnectHttp() override {}
};

class NoInstaller : public Installer {
 public:
  explicit NoInstaller(ClientState& state) : m_state(state) {}
  void LoadLibraries() override {}
  void UnloadLibraries() override {}
  bool ExtractAndLaunch(const std::string& zipPath, const std::string& folder) override;
  void LaunchAndWait(const std::string& path) override;

 private:
  ClientState& m_state;
};

}  // namespace cv2
