#pragma once
// The composition root shared by CV2Client and cv2ctl: the run state, the controller and the real
// services of every subsystem, wired together around one settings store and one user interface.
#include <memory>
#include <string>

#include "client_controller.h"
#include "client_state.h"
#include "clock.h"
#include "curl_transports.h"
#include "delivery_service.h"
#include "hardware_inventory.h"
#include "identity_sources.h"
#include "installer.h"
#include "library_loader.h"
#include "qt_session_socket.h"
#include "registry.h"
#include "registry_memory.h"
#include "report_composer.h"
#include "server_session.h"
#include "system_identity.h"
#include "transports.h"
#include "user_interface.h"
#include "zip_installer.h"

namespace cv2 {

// The ports a test may replace; what is left empty is this machine's own.
struct AssemblyPorts {
  LibraryLoader* Libraries = nullptr;   // dlopen
  IdentitySources* Identity = nullptr;  // sysfs below "/"
  Clock* ClockPort = nullptr;           // the system clock in the user's locale
  std::string DataRoot;                 // where Software.dat lives; empty: cv2::DataRoot()
};

class ClientAssembly {
 public:
  // Services given in overrides replace the real ones (tests and tools inject fakes this way).
  ClientAssembly(RegistryBackend& settingsStore, UserInterface& ui,
                 const ClientServices& overrides = {}, AssemblyPorts ports = {});
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

  IdentityService& Identity() { return m_identity; }
  InventoryService& Inventory() { return m_inventory; }
  ReportService& Report() { return m_report; }
  // The server session (also when an override replaces it in the run cycle).
  ServerSession& Session() { return *m_session; }

 private:
  static AssemblyPorts Resolve(AssemblyPorts ports, ClientAssembly& self);

  SystemClock m_systemClock;
  DlLibraryLoader m_dlLoader;
  LinuxIdentitySources m_machine;
  AssemblyPorts m_ports;
  MountedRegistry m_registry;
  ReadOnlyRegistry m_oemInfo;
  ClientState m_state;
  ClientController m_controller;
  SystemIdentity m_identity;
  HardwareInventory m_inventory;
  ReportComposer m_report;
  CurlTransports m_transports;
  ZipInstaller m_installer;
  DeliveryService m_delivery;
  QtSessionSocket m_socket;
  std::unique_ptr<ServerSession> m_session;
};

}  // namespace cv2
