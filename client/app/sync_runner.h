#pragma once
// One synchronization run without a display: what `cv2ctl sync` does, in a form that tests can
// drive with their own settings store and services.
#include <iosfwd>
#include <string>
#include <vector>

#include "client_assembly.h"
#include "registry.h"
#include "services.h"

namespace cv2 {

// Exit statuses of a synchronization run.
inline constexpr int kSyncCompleted = 0;      // the run ended idle after a completed session
inline constexpr int kSyncUsageError = 1;     // bad arguments, or the store cannot be opened
inline constexpr int kSyncStalled = 2;        // hardware list failure or connect call error
inline constexpr int kSyncConnectFailed = 3;  // server unreachable, buffer broken, peer gone

// Creates the main window's state, presses the Run button once and lets the events run until the
// run has ended or stalled; a session without progress for timeoutSeconds ends as a socket error
// would, so this never waits on the network for ever.
int RunSynchronization(ClientAssembly& assembly, int timeoutSeconds);

// `cv2ctl sync` with its arguments. store null: the settings store of the data root.
int SyncCommandWith(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    RegistryBackend* store, const ClientServices& overrides = {});

}  // namespace cv2
