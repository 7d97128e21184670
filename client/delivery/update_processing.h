#pragma once
// Update processing: carries out the entries queued in RunList, from the last to the first. Each
// entry's script fetches files into the update's download folder, shows web pages and messages;
// the files it marked are installed after the script, and the entry goes into the history.
#include "client_state.h"
#include "installer.h"
#include "transports.h"

namespace cv2 {

// With downloading on (end of a session) the configured questions are asked and files are
// fetched; with it off (installing again from the history) nothing is asked or fetched and the
// marked files are installed from the download folders. The closing step always runs and ends
// the run. An error other than a failed transfer ends processing: the entry being processed is
// not recorded, it and the entries after it stay in RunList, and the error goes on to the caller.
void ProcessRunList(ClientState& state, Transports& transports, Installer& installer,
                    bool downloading);

}  // namespace cv2
