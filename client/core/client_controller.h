#pragma once
// The run cycle: start-up of the main window, the Run button and its triggers, the two timers,
// the repeated-run mode, the stop of a run and the application error handler. It owns no widget;
// the front end forwards clicks, key presses and window events to it.
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "client_state.h"
#include "library_loader.h"
#include "services.h"

namespace cv2 {

class ClientController : public RunControl {
 public:
  ClientController(ClientState& state, LibraryLoader& libraries);
  ~ClientController() override;
  ClientController(const ClientController&) = delete;
  ClientController& operator=(const ClientController&) = delete;

  // Services may be attached after construction (they need the controller as their RunControl).
  // A missing service takes the honest failure path of its subsystem.
  void AttachServices(const ClientServices& services);

  // Window events.
  void FormCreate();
  void FormShow();
  void FormClose();
  // A click of the user on the Run button: flips its pressed state, then RunBtnClick.
  void RunButtonClicked();
  // The run handler: starts a run when the button is pressed, stops it when released.
  void RunBtnClick();
  // The tray menu item "Start"/"Stop".
  void Start1Click();
  void RunTIMERTimer();
  void RunCycleTimerTimer();
  // Every character typed in the main window, before its controls see it.
  void FormKeyPress(char key);

  // RunControl
  void StopTransfers(const std::string& message) override;
  void ApplicationException(const std::string& message) override;

  // Runs a handler under the application error handler.
  void Guard(const std::function<void()>& handler);

  // Timer state, for the front ends and the tests.
  bool RunTimerActive() const { return m_runTimer.isActive(); }
  int RunTimerInterval() const { return m_runTimer.interval(); }
  bool RunCycleEnabled() const { return m_runCycleEnabled; }
  int RunCycleInterval() const { return m_runCycleInterval; }
  bool SquisherLoaded() const { return m_squisher != nullptr; }
  bool FormCreated() const { return m_created; }

  ClientState& State() { return m_state; }

  // The interval of the run timer for a stored run-frequency index; 0 when the timer stays off.
  static int RunFrequencyInterval(int32_t index);

 private:
  void StartRun();
  void KeyPressed(char key);
  void StopRun();
  void LoadSquisher();

  ClientState& m_state;
  LibraryLoader& m_libraries;
  ClientServices m_services;
  std::unique_ptr<class UnavailableServices> m_standIns;
  std::unique_ptr<LoadedLibrary> m_squisher;
  QTimer m_runTimer;
  QTimer m_runCycleTimer;
  bool m_runCycleEnabled = false;
  int m_runCycleInterval = 100;
  bool m_created = false;
};

}  // namespace cv2
