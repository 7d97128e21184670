#pragma once
// What the run cycle calls out to. Each service is filled by its own subsystem; the composition
// root passes them in. Services reach back to the run cycle through RunControl.
#include <string>

namespace cv2 {

// The run cycle as the services see it.
class RunControl {
 public:
  virtual ~RunControl() = default;
  // Ends all network activity of a run and logs the message; does not release the Run button.
  virtual void StopTransfers(const std::string& message) = 0;
  // The application error handler: shows the exception marker and logs the message.
  virtual void ApplicationException(const std::string& message) = 0;
};

// Machine identity, read once during start-up.
class IdentityService {
 public:
  virtual ~IdentityService() = default;
  virtual void ReadSystemIdentity() = 0;
  virtual void DetectPlatform() = 0;
  virtual void FillOemBrand() = 0;
};

// The hardware list of a run.
class InventoryService {
 public:
  virtual ~InventoryService() = default;
  // Loads the hardware library, fills the device tree; false after the four failure lines.
  virtual bool LoadHardwareList() = 0;
  // Releases the hardware library (the run handler's cleanup step).
  virtual void ReleaseHardwareLibrary() = 0;
};

class ReportService {
 public:
  virtual ~ReportService() = default;
  virtual void ComposeReport() = 0;
};

// The server session of a run.
class SessionService {
 public:
  virtual ~SessionService() = default;
  // The connect step. False when configuring or requesting the connection failed; the step has
  // then logged "Error during connect call" and the run stalls.
  virtual bool Connect() = 0;
  // Closes the session socket (a user stop or a protocol error).
  virtual void CloseSocket() = 0;
};

// The download transports, as far as the run cycle stops them.
class TransferService {
 public:
  virtual ~TransferService() = default;
  virtual void DisconnectFtp() = 0;
  // Disconnects the HTTP transport, swallowing any error.
  virtual void SafeDisconnectHttp() = 0;
};

// The zip component's libraries (loaded at start-up, unloaded at close).
class ExtractorService {
 public:
  virtual ~ExtractorService() = default;
  virtual void LoadLibraries() = 0;
  virtual void UnloadLibraries() = 0;
};

// What the end of a session starts: the walk over the update list and the processing.
class ProcessingService {
 public:
  virtual ~ProcessingService() = default;
  virtual void WalkUpdateList() = 0;
  // Processes the run list; its closing step always ends the run.
  virtual void ProcessRunList(bool downloading) = 0;
};

struct ClientServices {
  IdentityService* Identity = nullptr;
  InventoryService* Inventory = nullptr;
  ReportService* Report = nullptr;
  SessionService* Session = nullptr;
  TransferService* Transfers = nullptr;
  ExtractorService* Extractor = nullptr;
  ProcessingService* Processing = nullptr;
};

}  // namespace cv2
