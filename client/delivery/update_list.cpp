#include "update_list.h"

#include "settings.h"
#include "text_util.h"
#include "trans_record.h"
#include "update_history.h"
#include "version_order.h"

namespace cv2 {

void WalkUpdateList(ClientState& state) {
  StatusBoard& status = state.Status();
  TTransRecord encoder;
  for (const std::string& line : state.SockRcvMemo) {
    const std::string entry = Trim(line);
    encoder.SetTransmition(entry);
    // The server lists devices it has nothing for, too.
    if (encoder.Location == "no_driver" || encoder.Location.empty()) continue;
    state.AppendLog("**************");
    state.AppendLog("Encoder: " + encoder.Location);
    if (ShouldDownload(state, entry)) {
      status.Advance(Caption::NewUpdatesCount);
      ++state.NewCount;
      state.RunList.push_back(entry);
    } else {
      ++state.SkippedCount;
    }
    status.Advance(Caption::UpdatesCountLBL);
  }
}

bool ShouldDownload(ClientState& state, const std::string& entry) {
  TTransRecord update;
  update.SetTransmition(entry);
  bool result = true;
  state.AppendLog("Update's Verison is: " + update.Version);

  // The driver installed now: the first device of the report with the same name.
  std::string installed;
  bool found = false;
  TTransRecord scratch;
  for (const std::string& line : state.HardwareReport) {
    try {
      scratch.SetTransmition(line);
    } catch (const Error&) {
      // A keyword line is no record; the fields read before the error count as they are.
    }
    if (scratch.DeviceName == update.DeviceName) {
      installed = scratch.Version;
      found = true;
      break;
    }
  }
  if (found)
    state.AppendLog("Found Windows Verison for an update: " + installed);
  else
    state.AppendLog("Didn't find Windows Verison for an update, it was set to: " + installed);

  // The version delivered before.
  UpdateHistory history(state.Store());
  TTransRecord delivered;
  if (auto text = history.ReadEntry(update.BaseKey)) {
    delivered = UpdateHistory::ParseEntry(*text);
    state.AppendLog("Corvantis's previously downloaded verison is: " + delivered.Version);
    if (text->empty())
      state.AppendLog("ShouldDownload() didn't find such an update in history for:" +
                      update.DeviceName);
  }

  const int againstHistory = CompareVersions(update.Version, delivered.Version);
  const int againstInstalled = CompareVersions(update.Version, installed);
  if (againstHistory == 0) {
    result = false;
    state.AppendLog("ShouldDownload() found existing same Corvantis version for:" +
                    update.DeviceName + ", " + delivered.Version);
  }
  if (againstHistory < 0) {
    result = false;
    state.AppendLog("ShouldDownload() found newer Corvantis version for:" + update.DeviceName +
                    ", " + delivered.Version);
  }
  if (againstInstalled == 0) {
    result = false;
    state.AppendLog("ShouldDownload() found existing same Windows version for:" +
                    update.DeviceName + ", " + installed);
  }
  if (againstInstalled < 0) {
    result = false;
    state.AppendLog("ShouldDownload() found newer Windows version for:" + update.DeviceName + ", " +
                    installed);
  }

  if (!LocaleMatches(state, update.Language)) {
    result = false;
    state.AppendLog("ShouldDownload() found incompatible locale for:" + update.DeviceName);
  }
  if (!result)
    state.AppendLog("ShouldDownload() found incompatible windows version for:" + update.DeviceName);
  return result;
}

bool LocaleMatches(ClientState& state, const std::string& languages) {
  if (languages.empty()) return true;
  const std::string accepted = ReadSettingString(state.Store(), "LocaleSettingsTXT");
  if (accepted.empty()) return true;
  std::string rest = languages;
  if (rest.back() != ';') rest += ';';
  if (accepted.find(';') == std::string::npos) return true;
  const std::string haystack = ";" + accepted;
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    const std::string item = ";" + rest.substr(0, end + 1);
    rest.erase(0, end + 1);
    if (haystack.find(item) != std::string::npos) {
      state.AppendLog("\"ShouldDownload\" found " + item + " in config.Regional:" + accepted);
      return true;
    }
  }
  return false;
}

}  // namespace cv2
