#include "client_controller.h"

#include "settings.h"
#include "text_util.h"
#include "unavailable_services.h"

namespace cv2 {

namespace {
constexpr const char* kCodeWord = "pruxo";
constexpr size_t kKeyBufferSize = 5;
constexpr size_t kLogLimit = 1000;
const Rgb kWarningColour{191, 64, 64};
}  // namespace

ClientController::ClientController(ClientState& state, LibraryLoader& libraries)
    : m_state(state),
      m_libraries(libraries),
      m_standIns(std::make_unique<UnavailableServices>(state)) {
  m_runTimer.setSingleShot(false);
  m_runCycleTimer.setSingleShot(false);
  m_runCycleTimer.setInterval(m_runCycleInterval);
  QObject::connect(&m_runTimer, &QTimer::timeout, [this] { RunTIMERTimer(); });
  QObject::connect(&m_runCycleTimer, &QTimer::timeout, [this] { RunCycleTimerTimer(); });
  AttachServices({});
}

ClientController::~ClientController() = default;

void ClientController::AttachServices(const ClientServices& services) {
  m_services = services;
  m_standIns->FillGaps(m_services);
}

void ClientController::Guard(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ApplicationException(e.what());
  } catch (...) {
    ApplicationException("Unknown exception");
  }
}

void ClientController::ApplicationException(const std::string& message) {
  m_state.Status().SetVisible(Visual::ExceptionFlagShape, true);
  m_state.AppendLog("Application Exception: " + message);
}

int ClientController::RunFrequencyInterval(int32_t index) {
  switch (index) {
    case 0: return 21'600'000;     // 6 hours
    case 1: return 86'400'000;     // 1 day
    case 2: return 259'200'000;    // 3 days
    case 3: return 604'800'000;    // 1 week
    case 4: return 1'814'400'000;  // 3 weeks
    default: return 0;             // "never", no item selected, or an unknown index
  }
}

void ClientController::FormCreate() {
  // Each step in order; an error ends creation at that step and goes to the error handler.
  Guard([this] {
    // The error handler is in place from here on: every entry point runs under Guard.
    m_state.Ui().CentreMainWindow();
    m_state.HardwareReport.clear();
    m_state.ReceiveStream.clear();
    if (ReadSettingBool(m_state.Store(), "ShowLogoCHK")) m_state.Ui().ShowStartupLogo();
    m_state.AppendLog("Loading compression Library...");
    LoadSquisher();
    const int interval =
        RunFrequencyInterval(ReadSettingInteger(m_state.Store(), "RunFrequencyCOMBO"));
    if (interval > 0) m_runTimer.setInterval(interval);
    m_services.Identity->ReadSystemIdentity();
    m_services.Identity->DetectPlatform();
    m_services.Identity->FillOemBrand();
    m_services.Extractor->LoadLibraries();
    // The first scheduled run comes one full interval after start-up, never at start-up.
    if (interval > 0) m_runTimer.start();
    m_state.Ui().ActivateTray();
    m_created = true;
  });
}

void ClientController::LoadSquisher() {
  // The client only holds the outside library; a missing library or export changes nothing.
  auto library = m_libraries.Load("libSquisher.so");
  if (!library) return;
  if (!library->Symbol("Compress") || !library->Symbol("Decompress")) return;
  m_squisher = std::move(library);
}

void ClientController::FormShow() {
  Guard([this] {
    m_state.Status().SetCaption(Caption::DateLBL,
                                ReadSettingString(m_state.Store(), "last run date"));
  });
}

void ClientController::FormClose() {
  Guard([this] {
    m_runTimer.stop();
    m_runCycleTimer.stop();
    m_squisher.reset();
    m_services.Extractor->UnloadLibraries();
    m_state.HardwareReport.clear();
    m_state.ReceiveStream.clear();
  });
}

void ClientController::RunButtonClicked() {
  m_state.SetRunActive(!m_state.RunActive());
  RunBtnClick();
}

void ClientController::Start1Click() {
  m_state.SetRunActive(!m_state.RunActive());
  RunBtnClick();
}

void ClientController::RunTIMERTimer() {
  // A tick during a run does nothing; a tick never stops its timer.
  if (m_state.RunActive()) return;
  m_state.SetRunActive(true);
  RunBtnClick();
}

void ClientController::RunCycleTimerTimer() {
  if (m_state.RunActive()) return;
  m_state.SetRunActive(true);
  RunBtnClick();
}

void ClientController::RunBtnClick() {
  Guard([this] {
    if (m_state.RunActive()) StartRun();
    else StopRun();
  });
}

void ClientController::StartRun() {
  ClientState& s = m_state;
  StatusBoard& status = s.Status();
  if (s.Log().LineCount() > kLogLimit) s.Log().Clear();
  status.SetCaption(Caption::SearchStatusLBL, "Probing");
  s.ProcessMessages();
  s.AppendLog("Loading hardware list...");

  bool loaded = true;
  if (!m_runCycleEnabled || s.DeviceTree.Empty()) {
    // The library is released and the report composed whether or not the load succeeded.
    try {
      loaded = m_services.Inventory->LoadHardwareList();
    } catch (...) {
      m_services.Inventory->ReleaseHardwareLibrary();
      m_services.Report->ComposeReport();
      throw;
    }
    m_services.Inventory->ReleaseHardwareLibrary();
    m_services.Report->ComposeReport();
  }
  if (!loaded) {
    // Stalled: the Run button stays pressed and the status stays "Probing" until a user stop.
    s.Ui().ShowNotice(
        "Corvantis cannot find all it's components.  Please reinstall Corvantis software.",
        kWarningColour, /*showCheckBox=*/false);
    return;
  }

  s.TransmissionSize = 0;
  s.SockRcvMemo.clear();
  s.StopRequested = false;
  status.SetCaption(Caption::Start1, "Stop");
  status.SetCaption(Caption::UpdatesCountLBL, "0");
  status.SetCaption(Caption::NewUpdatesCount, "0");
  status.SetCaption(Caption::MessageLBL, "Checking for messages");
  status.SetVisible(Visual::EnableBtn, false);
  status.SetVisible(Visual::DisableBtn, true);
  s.ProcessMessages();
  status.SetCaption(Caption::oldStatusLBL, "ENABLED");
  status.SetCaption(Caption::MessageLBL, "Checking for new updates");
  // A connect call error has been logged by the session; the run stays active (stalled).
  m_services.Session->Connect();
}

void ClientController::StopRun() {
  StatusBoard& status = m_state.Status();
  status.SetCaption(Caption::SearchStatusLBL, "Ready");
  status.SetCaption(Caption::Start1, "Start");
  status.SetVisible(Visual::EnableBtn, true);
  status.SetVisible(Visual::DisableBtn, false);
  status.SetCaption(Caption::oldStatusLBL, "DISABLED");
  m_state.StopRequested = true;
  StopTransfers("User terminated synchronization");
  m_state.Ui().ClosePromptWindow();
}

void ClientController::StopTransfers(const std::string& message) {
  m_services.Session->CloseSocket();
  m_services.Transfers->DisconnectFtp();
  m_services.Transfers->SafeDisconnectHttp();
  m_state.Status().SetCaption(Caption::SearchStatusLBL, "Ready");
  m_state.AppendLog(message);
}

void ClientController::FormKeyPress(char key) {
  Guard([this, key] { KeyPressed(key); });
}

void ClientController::KeyPressed(char key) {
  std::string& buffer = m_state.KeyBuffer;
  buffer.insert(buffer.begin(), key);
  if (buffer.size() > kKeyBufferSize) buffer.resize(kKeyBufferSize);
  // The buffer holds the newest character first and is compared as it stands.
  if (buffer != kCodeWord) return;
  if (!m_runCycleEnabled) {
    auto answer = m_state.Ui().InputBox("Ping frequency specification", "Millisecs: ", "100");
    const std::string text = answer ? *answer : "100";
    auto interval = ParseInt32(text);
    if (!interval) throw Error("'" + text + "' is not a valid integer value");
    if (*interval < 0) throw Error("Range check error");
    m_runCycleInterval = *interval;
    m_runCycleTimer.setInterval(m_runCycleInterval);
  }
  m_runCycleEnabled = !m_runCycleEnabled;
  m_state.RepeatedRunMode = m_runCycleEnabled;
  // An interval of 0 switches the mode on, but its timer never fires.
  if (m_runCycleEnabled && m_runCycleInterval > 0) m_runCycleTimer.start();
  else m_runCycleTimer.stop();
}

}  // namespace cv2
