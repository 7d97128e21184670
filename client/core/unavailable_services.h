#pragma once
// What a run does where a subsystem is not part of this build: each stand-in takes the honest
// failure path of its subsystem, never a pretend success.
#include <memory>

#include "client_state.h"
#include "services.h"

namespace cv2 {

class UnavailableServices {
 public:
  explicit UnavailableServices(ClientState& state);
  ~UnavailableServices();
  UnavailableServices(const UnavailableServices&) = delete;
  UnavailableServices& operator=(const UnavailableServices&) = delete;

  // Points every missing service of the set at a stand-in of this object.
  void FillGaps(ClientServices& services);

 private:
  struct StandIns;
  std::unique_ptr<StandIns> m_standIns;
};

// The four log lines of a hardware list that cannot be loaded.
void LogHardwareListFailure(ClientState& state);

// The closing step of update processing: the run ends and the window looks idle again.
void CloseProcessing(ClientState& state);

}  // namespace cv2
