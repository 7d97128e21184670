#pragma once
// The composition root shared by CV2Client and cv2ctl: the run state, the controller and the real
// services of every subsystem, wired together around one settings store and one user interface.
#include <memory>

#include "client_controller.h"
#include "client_state.h"
#include "clock.h"
#include "library_loader.h"
#include "qt_session_socket.h"
#include "registry.h"
#include "registry_memory.h"
#include "server_session.h"
#include "unavailable_services.h"
#include "user_interface.h"

namespace cv2 {

class ClientAssembly {
 public:
  // Services given in overrides replace the real ones (tests and tools inject fakes this way);
  // the rest are the real services, or the honest stand-ins where a subsystem is missing.
  ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui,
                 const ClientServices& overrides = {});
  ~ClientAssembly();
  ClientAssembly(const ClientAssembly&) = delete;
  ClientAssembly& operator=(const ClientAssembly&) = delete;

  ClientState& State() { return m_state; }
  ClientController& Controller() { return m_controller; }
  // The settings store with the read-only keys that Windows fills mounted over it.
  RegistryBackend& Store() { return m_registry; }
  // The server session (also when an override replaces it in the run cycle).
  ServerSession& Session() { return *m_session; }

 private:
  MountedRegistry m_registry;
  SystemClock m_clock;
  DlLibraryLoader m_loader;
  ClientState m_state;
  ClientController m_controller;
  UnavailableServices m_standIns;
  QtSessionSocket m_socket;
  std::unique_ptr<ServerSession> m_session;
};

}  // namespace cv2
