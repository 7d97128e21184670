#pragma once
// The received update list and the download decision: which offered updates are new for this PC.
// Every decision is written to the log.
#include <string>

#include "client_state.h"

namespace cv2 {

// Walks SockRcvMemo once: logs each real entry, decides it, queues the accepted ones in RunList
// and counts them (NewCount, SkippedCount, the two count labels). An entry whose record text
// raises an error while it is read ends the walk with that error; what was queued stays queued.
void WalkUpdateList(ClientState& state);

// The download decision for one entry text (a trimmed list line): true means queue it. Refuses an
// update delivered before in the same or a later version, one whose version is not newer than
// the installed driver, and one whose languages the user does not accept.
bool ShouldDownload(ClientState& state, const std::string& entry);

// The regional test: true when the language list is empty, nothing is configured, or one of its
// codes is among the accepted ones (LocaleSettingsTXT, codes each closed by ";").
bool LocaleMatches(ClientState& state, const std::string& languages);

}  // namespace cv2
