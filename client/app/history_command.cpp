// cv2ctl history: lists the update history of the data root and forgets entries, so that the
// next run offers those updates again.
#include <ostream>

#include "cv2ctl_commands.h"
#include "paths.h"
#include "settings_store.h"
#include "update_history.h"

namespace cv2 {

namespace {

constexpr const char* kUsage =
    "usage: cv2ctl history list\n"
    "       cv2ctl history forget BASEKEY | --all\n";

// One line per update, fields separated by tabs: BaseKey, DeviceName, Version, Downloaded and
// the download date.
int List(UpdateHistory& history, std::ostream& out) {
  for (const auto& baseKey : history.List()) {
    TTransRecord record = UpdateHistory::ParseEntry(history.ReadEntry(baseKey).value_or(""));
    out << baseKey << '\t' << record.DeviceName << '\t' << record.Version << '\t'
        << record.Downloaded << '\t' << record.DownloadDate << '\n';
  }
  return 0;
}

int Forget(UpdateHistory& history, const std::string& what, std::ostream& out) {
  if (what == "--all") {
    out << history.ForgetAll() << " update(s) forgotten\n";
    return 0;
  }
  if (history.Forget(what))
    out << what << " forgotten\n";
  else
    out << what << " was not in the history\n";
  return 0;
}

}  // namespace

int HistoryCommand(const Args& args, std::ostream& out, std::ostream& err) {
  const bool list = args.size() == 1 && args[0] == "list";
  const bool forget = args.size() == 2 && args[0] == "forget" && !args[1].empty();
  if (!list && !forget) {
    err << kUsage;
    return 1;
  }
  try {
    auto store = OpenSettingsStore(DataRoot());
    UpdateHistory history(*store);
    return list ? List(history, out) : Forget(history, args[1], out);
  } catch (const RegistryError& e) {
    err << "cv2ctl history: " << e.what();
    if (!e.Detail().empty()) err << " (" << e.Detail() << ")";
    err << "\n";
  } catch (const std::exception& e) {
    err << "cv2ctl history: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace cv2
