#include "unavailable_services.h"

namespace cv2 {

void LogHardwareListFailure(ClientState& state) {
  const std::string stars(50, '*');
  state.AppendLog(stars);
  state.AppendLog("Error - can't find _GetHwList in HwSense.dll");
  state.AppendLog("Can't continue GetUpdateList()Sequence");
  state.AppendLog(stars);
}

void CloseProcessing(ClientState& state) {
  StatusBoard& status = state.Status();
  status.SetProgressValue(Bar::InstallBAR, status.Maximum(Bar::InstallBAR));
  if (status.Maximum(Bar::InstallBAR) == 0) status.SetProgress(Bar::InstallBAR, 100, 100);
  status.SetCaption(Caption::MessageLBL, "Done");
  state.ShowIdleLook();
}

namespace {

class NoIdentity : public IdentityService {
 public:
  void ReadSystemIdentity() override {}
  void DetectPlatform() override {}
  void FillOemBrand() override {}
};

class NoInventory : public InventoryService {
 public:
  explicit NoInventory(ClientState& state) : m_state(state) {}
  bool LoadHardwareList() override {
    LogHardwareListFailure(m_state);
    return false;
  }
  void ReleaseHardwareLibrary() override {}

 private:
  ClientState& m_state;
};

class NoReport : public ReportService {
 public:
  void ComposeReport() override {}
};

class NoSession : public SessionService {
 public:
  explicit NoSession(ClientState& state) : m_state(state) {}
  bool Connect() override {
    m_state.AppendLog("Error during connect call");
    return false;
  }
  void CloseSocket() override {}

 private:
  ClientState& m_state;
};

class NoTransfers : public TransferService {
 public:
  void DisconnectFtp() override {}
  void SafeDisconnectHttp() override {}
};

class NoExtractor : public ExtractorService {
 public:
  void LoadLibraries() override {}
  void UnloadLibraries() override {}
};

class ClosingOnly : public ProcessingService {
 public:
  explicit ClosingOnly(ClientState& state) : m_state(state) {}
  void WalkUpdateList() override {}
  void ProcessRunList(bool) override { CloseProcessing(m_state); }

 private:
  ClientState& m_state;
};

}  // namespace

struct UnavailableServices::StandIns {
  explicit StandIns(ClientState& s) : inventory(s), session(s), processing(s) {}
  NoIdentity identity;
  NoInventory inventory;
  NoReport report;
  NoSession session;
  NoTransfers transfers;
  NoExtractor extractor;
  ClosingOnly processing;
};

UnavailableServices::UnavailableServices(ClientState& state)
    : m_standIns(std::make_unique<StandIns>(state)) {}

UnavailableServices::~UnavailableServices() = default;

void UnavailableServices::FillGaps(ClientServices& services) {
  StandIns* standIns = m_standIns.get();
  if (!services.Identity) services.Identity = &standIns->identity;
  if (!services.Inventory) services.Inventory = &standIns->inventory;
  if (!services.Report) services.Report = &standIns->report;
  if (!services.Session) services.Session = &standIns->session;
  if (!services.Transfers) services.Transfers = &standIns->transfers;
  if (!services.Extractor) services.Extractor = &standIns->extractor;
  if (!services.Processing) services.Processing = &standIns->processing;
}

}  // namespace cv2
