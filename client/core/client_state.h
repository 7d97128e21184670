#pragma once
// The run state of the client: what the original kept in its main window. One object, owned by
// the composition root, shared by the controller and the services of a run. No widgets here.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "main_log.h"
#include "registry.h"
#include "status_board.h"
#include "tree_text.h"
#include "user_interface.h"

namespace cv2 {

// The machine's identity from SMBIOS, read once at start-up.
struct SmbiosIdentity {
  std::string MainBoardModel;
  std::string MainBoardManufacturer;
  std::string SMBIOSVersion;
  std::string ChassisManufacturer;
  std::string ChassisVersion;
  std::string SystemModel;
  std::string SystemManufacturer;
  std::string SystemVersion;
  bool IsBranded = false;
};

// The settings the connect step hands to the download transports.
struct ProxySettings {
  bool Enabled = false;   // false: direct connections
  std::string Host;
  std::string Port;
  std::string Level = "5";  // "4", "4a" or "5"
  std::string User;         // empty: no authentication
  std::string Password;
};

class ClientState {
 public:
  ClientState(RegistryBackend& store, UserInterface& ui, Clock& clock);
  ClientState(const ClientState&) = delete;
  ClientState& operator=(const ClientState&) = delete;

  RegistryBackend& Store() { return m_store; }
  UserInterface& Ui() { return m_ui; }
  Clock& ClockPort() { return m_clock; }
  MainLog& Log() { return m_log; }
  StatusBoard& Status() { return m_status; }

  // Appends one text to the log (several lines when it holds line breaks).
  void AppendLog(const std::string& text) { m_log.Append(text); }
  void ProcessMessages() { m_ui.ProcessMessages(); }

  // The pressed state of the Run button: a run is active exactly while it is pressed.
  bool RunActive() const { return m_runActive; }
  void SetRunActive(bool pressed);

  // The main window's idle look, shown when a run ends or is stopped.
  void ShowIdleLook();

  // Run state.
  bool StopRequested = false;
  bool ConnectFailed = false;
  int32_t NewCount = 0;
  int32_t SkippedCount = 0;
  int32_t TransmissionSize = 0;
  bool SupportAnswerPending = false;
  std::vector<std::string> HardwareReport;
  std::optional<std::string> ReportBuffer;  // nullopt: released
  std::string ReceiveStream;
  std::string KeyBuffer;  // the last five typed characters, newest first

  // The repeated-run mode is on while its timer is enabled (set by the controller).
  bool RepeatedRunMode = false;

  // Trees and lists.
  Tree DeviceTree;
  Tree SoftwareTree;
  int32_t DeviceCount = 0;
  std::vector<std::string> SockRcvMemo;  // the received update list, one record per line
  std::vector<std::string> RunList;      // queued update entries

  // Identity, read once at start-up.
  SmbiosIdentity FSMBIOS;
  int32_t PlatformCode = 0;

  // The proxy of the current run, for the transports.
  ProxySettings Proxy;

 private:
  RegistryBackend& m_store;
  UserInterface& m_ui;
  Clock& m_clock;
  MainLog m_log;
  StatusBoard m_status;
  bool m_runActive = false;
};

}  // namespace cv2
