// cv2ctl: the command-line front end of the client, for headless machines, scripts and tests.
#include <QCoreApplication>
#include <cstring>
#include <iostream>

#include "cv2ctl_commands.h"

namespace {

constexpr const char* kUsage =
    "usage: cv2ctl COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  config list|get NAME|set NAME VALUE|delete NAME|init\n"
    "                    the settings store of the data root\n"
    "  history list|forget BASEKEY|forget --all\n"
    "                    the updates processed on this PC; a forgotten one is offered again\n"
    "  hwlist [--hardware-ids|--compatible-ids]\n"
    "                    the hardware list of libHwSense.so ($HWSENSE_ROOT: a captured tree)\n"
    "  report            the hardware report of this machine as a run would send it\n"
    "  sync --yes|--no [--company NAME] [--timeout SECONDS]\n"
    "                    one synchronization run; the log goes to standard output\n"
    "\n"
    "The data root is $CV2_HOME when set, else the folder of this program.\n";

struct Command {
  const char* Name;
  int (*Run)(const cv2::Args&, std::ostream&, std::ostream&);
};

const Command kCommands[] = {
    {"config", cv2::ConfigCommand},
    {"history", cv2::HistoryCommand},
    {"hwlist", cv2::HwListCommand},
    {"report", cv2::ReportCommand},
    {"sync", cv2::SyncCommand},
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    (argc < 2 ? std::cerr : std::cout) << kUsage;
    return argc < 2 ? 1 : 0;
  }
  cv2::Args args(argv + 2, argv + argc);
  for (const auto& command : kCommands)
    if (std::strcmp(argv[1], command.Name) == 0) return command.Run(args, std::cout, std::cerr);
  std::cerr << "cv2ctl: unknown command '" << argv[1] << "'\n" << kUsage;
  return 1;
}
