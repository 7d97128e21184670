#pragma once
// The composition root shared by CV2Client and cv2ctl: the run state, the controller and the real
// services of every subsystem, wired together around one settings store and one user interface.
#include <memory>

#include "client_controller.h"
#include "client_state.h"
#include "clock.h"
#include "curl_transports.h"
#include "library_loader.h"
#include "registry.h"
#include "registry_memory.h"
#include "user_interface.h"
#include "zip_installer.h"

namespace cv2 {

class ClientAssembly {
 public:
  ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui);
  ~ClientAssembly();
  ClientAssembly(const ClientAssembly&) = delete;
  ClientAssembly& operator=(const ClientAssembly&) = delete;

  ClientState& State() { return m_state; }
  ClientController& Controller() { return m_controller; }
  // The settings store with the read-only keys that Windows fills mounted over it.
  RegistryBackend& Store() { return m_registry; }
  // The download transports and the installer, for update processing.
  Transports& TransportsPort() { return m_transports; }
  Installer& InstallerPort() { return m_installer; }

 private:
  MountedRegistry m_registry;
  SystemClock m_clock;
  DlLibraryLoader m_loader;
  ClientState m_state;
  ClientController m_controller;
  CurlTransports m_transports;
  ZipInstaller m_installer;
};

}  // namespace cv2
