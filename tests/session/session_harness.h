#pragma once
// What the session tests share: the scripted server peer, helper processes (proxies), free ports,
// fake inventory and report services, and one synchronization run on a memory store.
#include <QProcess>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client_assembly.h"
#include "fake_ui.h"
#include "registry_memory.h"
#include "services.h"
#include "unavailable_services.h"

namespace cv2::test {

std::string Hex(std::string_view bytes);

// Reproducible bytes of 0x20 to 0xFF (never CR or LF).
std::string PseudoRandomText(size_t size, uint32_t seed);
// Report lines whose CR LF text compresses to exactly `compressed` bytes.
std::vector<std::string> ReportCompressingTo(size_t compressed);
// Update list entries (each with a lone CR inside) whose CR LF text compresses to exactly
// `compressed` bytes.
std::vector<std::string> EntriesCompressingTo(size_t compressed);
// The text of lines, each followed by CR LF, compressed.
std::string CompressedLines(const std::vector<std::string>& lines);

// The server's side of one connection, step by step (see tests/peers/session_peer.py).
class Script {
 public:
  Script& Line();
  Script& Report();
  Script& Bytes(size_t count);
  Script& Send(std::string_view bytes);
  Script& Pause(int milliseconds = 150);
  Script& Close();
  std::string Json() const;

 private:
  std::vector<std::string> m_steps;
};

// A helper process of a test, stopped when the test ends.
class HelperProcess {
 public:
  HelperProcess() = default;
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  ~HelperProcess() { Stop(); }
  void Start(const std::string& program, const std::vector<std::string>& args);
  // The first line of its standard output (without the line end); empty on timeout.
  std::string FirstLine(int timeoutMs = 10000);
  bool WaitFinished(int timeoutMs);
  void Stop();
  std::string Output();

 private:
  QProcess m_process;
};

// The scripted update-server peer, serving one connection on 127.0.0.1.
class SessionPeer {
 public:
  explicit SessionPeer(const Script& script, int timeoutSeconds = 15);
  uint16_t Port() const { return m_port; }
  // Waits (bounded) for the peer to end, then: every byte the client sent, the script's status
  // and the address the connection came from.
  std::string Received();
  std::string Status();
  std::string ClientAddress();

 private:
  std::string File(const std::string& suffix);
  QTemporaryDir m_dir;
  HelperProcess m_process;
  uint16_t m_port = 0;
  bool m_finished = false;
};

// A port on 127.0.0.1 that nothing listens on right now.
uint16_t FreePort();
// Waits (bounded) until something accepts connections on 127.0.0.1:port.
bool WaitForListening(uint16_t port, int timeoutMs = 10000);

class FakeInventory : public InventoryService {
 public:
  bool LoadHardwareList() override { return succeeds; }
  void ReleaseHardwareLibrary() override {}
  bool succeeds = true;  // false: the hardware list cannot be loaded
};

class FakeReport : public ReportService {
 public:
  void ComposeReport() override {
    if (state) state->HardwareReport = lines;
  }
  ClientState* state = nullptr;
  std::vector<std::string> lines{"report line"};
};

// The end of a session without the update delivery: the run ends with processing's closing step,
// so the session's own behaviour is seen alone.
class FakeProcessing : public ProcessingService {
 public:
  void WalkUpdateList() override { ++walks; }
  void ProcessRunList(bool) override {
    if (state) CloseProcessing(*state);
  }
  ClientState* state = nullptr;
  int walks = 0;
};

// One synchronization run of the real assembly, with the fake inventory and report, on a memory
// store seeded with the window defaults and pointed at 127.0.0.1.
class SyncFixture {
 public:
  SyncFixture();
  void SetString(const std::string& name, const std::string& value);
  void SetInteger(const std::string& name, int32_t value);
  std::optional<std::string> GetString(const std::string& name);
  bool HasValue(const std::string& name);
  // Runs one synchronization; prepare may adjust the assembly (limits, services) first.
  int Run(int timeoutSeconds = 10, const std::function<void(ClientAssembly&)>& prepare = nullptr);
  ClientState& State() { return m_assembly->State(); }
  // The log of the session: the lines after "Loading hardware list...", without the lines
  // "Socket change state".
  std::vector<std::string> SessionLog() const;
  int Count(const std::string& line) const;

  MemoryRegistry store;
  FakeUserInterface ui;
  FakeInventory inventory;
  FakeReport report;
  FakeProcessing processing;
  ClientServices overrides;

 private:
  std::unique_ptr<ClientAssembly> m_assembly;
};

}  // namespace cv2::test
