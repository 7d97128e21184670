// cv2ctl report: gathers the machine identity and the hardware list as a run does, composes the
// hardware report and prints it, one report line per output line, so that a person can read what
// would be sent. Record lines hold CR characters (a value's line ends travel as CR CR); they are
// shown as \r. The log of the inventory goes to standard error.
#include <ostream>

#include "client_assembly.h"
#include "console_ui.h"
#include "cv2ctl_commands.h"
#include "paths.h"
#include "settings_store.h"

namespace cv2 {

namespace {

constexpr const char* kUsage = "usage: cv2ctl report\n";

}  // namespace

std::string VisibleReportLine(const std::string& line) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(line.size());
  for (char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int ReportCommand(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) {
    err << kUsage;
    return 1;
  }
  try {
    auto store = OpenSettingsStore(DataRoot());
    ConsoleUserInterface ui(err, err);
    ClientAssembly assembly(*store, ui);
    // What start-up and a run do before the session: identity, platform, hardware list, report.
    assembly.Identity().ReadSystemIdentity();
    assembly.Identity().DetectPlatform();
    const bool loaded = assembly.Inventory().LoadHardwareList();
    assembly.Inventory().ReleaseHardwareLibrary();
    assembly.Report().ComposeReport();
    for (const std::string& line : assembly.State().HardwareReport)
      out << VisibleReportLine(line) << "\n";
    out.flush();
    return loaded ? 0 : 2;
  } catch (const RegistryError& e) {
    err << "cv2ctl report: " << e.what();
    if (!e.Detail().empty()) err << " (" << e.Detail() << ")";
    err << "\n";
  } catch (const std::exception& e) {
    err << "cv2ctl report: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace cv2
