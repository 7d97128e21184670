#include "sync_runner.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <optional>
#include <ostream>

#include "company_list.h"
#include "console_ui.h"
#include "paths.h"
#include "settings_store.h"
#include "text_util.h"

namespace cv2 {

namespace {

constexpr const char* kUsage =
    "usage: cv2ctl sync --yes|--no [--company NAME] [--timeout SECONDS]\n"
    "\n"
    "  --yes, --no        the answer to every question of the run (one is required)\n"
    "  --company NAME     the company chosen when the client has none yet (one of the list)\n"
    "  --timeout SECONDS  end a session that makes no progress for this long (default 60)\n"
    "\n"
    "exit status: 0 the run ended after a completed session, 1 usage error,\n"
    "             2 the run stalled (hardware list or connect call failed),\n"
    "             3 the session failed (server unreachable, buffer broken, peer gone)\n";

constexpr int kMaxTimeoutSeconds = 86400;

struct SyncOptions {
  ConsoleOptions Console;
  int TimeoutSeconds = 60;
};

std::optional<SyncOptions> ParseOptions(const std::vector<std::string>& args, std::ostream& err) {
  SyncOptions options;
  bool yes = false, no = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--yes") {
      yes = true;
    } else if (arg == "--no") {
      no = true;
    } else if (arg == "--company" || arg == "--timeout") {
      if (i + 1 >= args.size()) {
        err << "cv2ctl sync: " << arg << " needs a value\n" << kUsage;
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--company") {
        if (!IsKnownCompany(value)) {
          err << "cv2ctl sync: '" << value << "' is not a company of the list:";
          for (const char* company : CompanyList()) err << " \"" << company << "\"";
          err << "\n";
          return std::nullopt;
        }
        options.Console.Company = value;
      } else {
        auto seconds = ParseInt32(value);
        if (!seconds || *seconds < 1 || *seconds > kMaxTimeoutSeconds ||
            value.find_first_not_of("0123456789") != std::string::npos) {
          err << "cv2ctl sync: --timeout takes whole seconds from 1 to " << kMaxTimeoutSeconds
              << ", not '" << value << "'\n";
          return std::nullopt;
        }
        options.TimeoutSeconds = *seconds;
      }
    } else {
      err << "cv2ctl sync: unknown argument '" << arg << "'\n" << kUsage;
      return std::nullopt;
    }
  }
  if (yes == no) {
    err << "cv2ctl sync: give exactly one of --yes and --no: the run may ask questions\n" << kUsage;
    return std::nullopt;
  }
  options.Console.Answer = yes;
  return options;
}

}  // namespace

int RunSynchronization(ClientAssembly& assembly, int timeoutSeconds) {
  ClientController& controller = assembly.Controller();
  ClientState& state = assembly.State();
  ServerSession& session = assembly.Session();
  session.SetProgressTimeout(timeoutSeconds * 1000);
  controller.FormCreate();
  controller.RunButtonClicked();
  // The run goes on in the socket events. It ends when processing releases the Run button; when
  // the closed-session handling returns with the button still pressed, it has stalled.
  if (state.RunActive() && session.Open()) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!state.RunActive() || !session.Open()) loop.quit();
    });
    poll.start();
    loop.exec();
  }
  const int status = state.RunActive()     ? kSyncStalled
                     : state.ConnectFailed ? kSyncConnectFailed
                                           : kSyncCompleted;
  controller.FormClose();
  return status;
}

int SyncCommandWith(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    RegistryBackend* store, const ClientServices& overrides) {
  auto options = ParseOptions(args, err);
  if (!options) return kSyncUsageError;
  std::unique_ptr<SqliteRegistry> ownStore;
  if (!store) {
    try {
      ownStore = OpenSettingsStore(DataRoot());
    } catch (const std::exception& e) {
      err << "cv2ctl sync: " << e.what() << "\n";
      return kSyncUsageError;
    }
    store = ownStore.get();
  }
  ConsoleUserInterface ui(out, err, options->Console);
  int status;
  {
    ClientAssembly assembly(*store, ui, overrides);
    status = RunSynchronization(assembly, options->TimeoutSeconds);
  }
  if (status == kSyncStalled)
    err << "cv2ctl sync: the run stalled (see the log above)\n";
  else if (status == kSyncConnectFailed)
    err << "cv2ctl sync: the session with the server failed\n";
  return status;
}

}  // namespace cv2
