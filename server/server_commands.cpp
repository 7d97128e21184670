#include "server_commands.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>

#include "catalogue_text.h"
#include "demo_catalogue.h"
#include "hardware_list_source.h"
#include "package_server.h"
#include "paths.h"
#include "session_server.h"
#include "sqlite_server_store.h"
#include "text_util.h"
#include "tree_text.h"

namespace cv2 {

namespace {
constexpr const char* kUsage =
    "usage: cv2server COMMAND [OPTIONS] [ARGS]\n"
    "\n"
    "  serve --data DIR [--listen ADDR] [--port N] [--http-port M] [--loops N]\n"
    "        [--idle-timeout SECONDS] [--public-url URL]\n"
    "      serve sessions on ADDR:N (127.0.0.1:80) and the packages of DIR/packages over HTTP\n"
    "      on ADDR:M (8080); port 0 takes any free port. Stops on SIGINT or SIGTERM.\n"
    "  catalogue add --data DIR [--field NAME=VALUE]... [--id ID]... [--when KEYWORD=VALUE]... "
    "BASEKEY\n"
    "  catalogue import --data DIR [--replace] FILE     entries in the catalogue text form (- = "
    "stdin)\n"
    "  catalogue list --data DIR                        the catalogue in the same form\n"
    "  catalogue remove --data DIR BASEKEY...\n"
    "  support list --data DIR                          requests and answers\n"
    "  support show --data DIR REQUEST                  the whole text of a request\n"
    "  support answer --data DIR USER TEXT              queue an answer for the user's next "
    "session\n"
    "  demo-catalogue --data DIR [--hwlist FILE]\n"
    "      replace the catalogue by demo updates for a hardware list (default: this machine's,\n"
    "      through libHwSense.so) and write their packages into DIR/packages\n";

class UsageError : public Error {
 public:
  using Error::Error;
};

struct Options {
  std::multimap<std::string, std::string> Values;
  std::vector<std::string> Positional;

  std::optional<std::string> Get(const std::string& name) const {
    auto it = Values.find(name);
    if (it == Values.end()) return std::nullopt;
    return it->second;
  }
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    for (auto [it, end] = Values.equal_range(name); it != end; ++it) out.push_back(it->second);
    return out;
  }
  bool Has(const std::string& name) const { return Values.count(name) > 0; }
  std::string Data() const {
    auto data = Get("data");
    if (!data || data->empty()) throw UsageError("--data DIR is required");
    return *data;
  }
};

// Options first ("--name value", or "--flag"), then the positional arguments.
Options ParseOptions(const std::vector<std::string>& args, size_t from,
                     const std::vector<std::string>& valued,
                     const std::vector<std::string>& flags) {
  Options options;
  size_t i = from;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 || arg == "--") {
      if (arg == "--") ++i;
      break;
    }
    const std::string name = arg.substr(2);
    if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      options.Values.emplace(name, "");
    } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
      if (i + 1 >= args.size()) throw UsageError("option " + arg + " needs a value");
      options.Values.emplace(name, args[++i]);
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  for (; i < args.size(); ++i) options.Positional.push_back(args[i]);
  return options;
}

uint16_t PortOption(const Options& options, const std::string& name, uint16_t fallback) {
  auto text = options.Get(name);
  if (!text) return fallback;
  auto value = ParseInt32(*text);
  if (!value || *value < 0 || *value > 65535 ||
      text->find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("--" + name + " takes a port number from 0 to 65535");
  return static_cast<uint16_t>(*value);
}

std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

std::string PackageFolderOf(const std::string& data) {
  return JoinPath(data, "packages");
}

void PrepareDataFolder(const std::string& data) {
  std::filesystem::create_directories(PackageFolderOf(data));
}

// The store of a data folder. Commands that add to it create it; the others expect it, so that
// a mistyped folder is reported instead of answered from an empty store.
std::unique_ptr<SqliteServerStore> OpenStore(const std::string& data, bool create) {
  if (create) {
    PrepareDataFolder(data);
  } else if (!std::filesystem::exists(StoreFile(data))) {
    throw Error("no server data in " + data + " (" + StoreFile(data) +
                " is missing); serve, catalogue add or import, or demo-catalogue create it");
  }
  return std::make_unique<SqliteServerStore>(StoreFile(data));
}

int Serve(const Options& options, std::ostream& out) {
  if (!options.Positional.empty()) throw UsageError("serve takes no arguments");
  const std::string data = options.Data();
  SessionServerOptions sessions;
  sessions.Address = options.Get("listen").value_or("127.0.0.1");
  sessions.Port = PortOption(options, "port", 80);
  const uint16_t httpPort = PortOption(options, "http-port", 8080);
  if (auto loops = options.Get("loops")) {
    auto n = ParseInt32(*loops);
    if (!n || *n < 1 || *n > 256) throw UsageError("--loops takes a number from 1 to 256");
    sessions.Loops = *n;
  }
  if (auto idle = options.Get("idle-timeout")) {
    auto n = ParseInt32(*idle);
    if (!n || *n < 1) throw UsageError("--idle-timeout takes a number of seconds above 0");
    sessions.IdleTimeout = std::chrono::seconds(*n);
  }
  std::string publicUrl = options.Get("public-url").value_or("");
  while (!publicUrl.empty() && publicUrl.back() == '/') publicUrl.pop_back();

  // Every session is a descriptor: take what the system allows, and keep the session bound
  // below it so that accepting never runs out.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 1u << 20);
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur > 256)
      sessions.MaxSessions = std::min<size_t>(sessions.MaxSessions, files.rlim_cur - 128);
  }

  PrepareDataFolder(data);
  const std::string storeFile = StoreFile(data);
  { SqliteServerStore check(storeFile); }  // creates the store, or says why it cannot be used

  // Signals are taken by sigwait below; every thread started from here on inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ServerLog log;
  CatalogueCache catalogue;
  PackageServer packages(PackageFolderOf(data), log);
  packages.Bind(sessions.Address, httpPort);
  const uint16_t boundHttp = packages.Port();
  SessionServer server(
      sessions, [storeFile] { return std::make_unique<SqliteServerStore>(storeFile); }, catalogue,
      log,
      [publicUrl, boundHttp](const std::string& localHost) {
        return publicUrl.empty() ? "http://" + UrlHost(localHost) + ":" + std::to_string(boundHttp)
                                 : publicUrl;
      });
  try {
    server.Bind();
  } catch (const ServerError& e) {
    if (sessions.Port != 0 && sessions.Port < 1024 &&
        std::string(e.what()).find("denied") != std::string::npos)
      throw ServerError(std::string(e.what()) +
                        " (ports below 1024 need privileges; choose another with --port)");
    throw;
  }
  packages.Start();
  server.Start();
  out << "cv2server: sessions on " << UrlHost(sessions.Address) << ":" << server.Port()
      << ", packages on http://" << UrlHost(sessions.Address) << ":" << boundHttp << "/ (data "
      << data << ")" << std::endl;
  log.Line("serving sessions on " + UrlHost(sessions.Address) + ":" +
           std::to_string(server.Port()) + " and packages on port " + std::to_string(boundHttp));
  int signal = 0;
  sigwait(&stopSignals, &signal);
  log.Line(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  server.Stop();
  packages.Stop();
  return 0;
}

int CatalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) throw UsageError("catalogue needs add, import, list or remove");
  const std::string& verb = args[1];
  if (verb == "add") {
    Options o = ParseOptions(args, 2, {"data", "field", "id", "when"}, {});
    if (o.Positional.size() != 1) throw UsageError("catalogue add takes one BASEKEY");
    CatalogueEntry entry;
    entry.Fields.BaseKey = o.Positional[0];
    for (const std::string& assignment : o.All("field")) {
      const size_t eq = assignment.find('=');
      const std::string name = assignment.substr(0, eq);
      std::string* field = entry.Fields.FieldByName(name);
      if (eq == std::string::npos || !field || name == "BaseKey" || name == "HWID")
        throw UsageError(
            "--field takes NAME=VALUE with NAME a record field (not BaseKey or HWID): " +
            assignment);
      *field = assignment.substr(eq + 1);
    }
    entry.Ids = o.All("id");
    for (const std::string& condition : o.All("when")) {
      const size_t eq = condition.find('=');
      if (eq == std::string::npos) throw UsageError("--when takes KEYWORD=VALUE: " + condition);
      entry.Conditions.emplace_back(condition.substr(0, eq), condition.substr(eq + 1));
    }
    OpenStore(o.Data(), true)->PutEntries({entry}, false);
    out << "entry " << entry.Fields.BaseKey << " stored\n";
    return 0;
  }
  if (verb == "import") {
    Options o = ParseOptions(args, 2, {"data"}, {"replace"});
    if (o.Positional.size() != 1) throw UsageError("catalogue import takes one FILE");
    std::string text;
    if (o.Positional[0] == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else if (!ReadWholeFile(o.Positional[0], text)) {
      err << "cv2server: cannot read " << o.Positional[0] << "\n";
      return 1;
    }
    const auto entries = ReadCatalogueText(text);
    OpenStore(o.Data(), true)->PutEntries(entries, o.Has("replace"));
    out << entries.size() << " entries imported\n";
    return 0;
  }
  if (verb == "list") {
    Options o = ParseOptions(args, 2, {"data"}, {});
    if (!o.Positional.empty()) throw UsageError("catalogue list takes no arguments");
    out << WriteCatalogueText(OpenStore(o.Data(), false)->LoadCatalogue());
    return 0;
  }
  if (verb == "remove") {
    Options o = ParseOptions(args, 2, {"data"}, {});
    if (o.Positional.empty()) throw UsageError("catalogue remove takes one or more BASEKEYs");
    auto store = OpenStore(o.Data(), false);
    int status = 0;
    for (const std::string& key : o.Positional) {
      if (store->RemoveEntry(key)) {
        out << "entry " << key << " removed\n";
      } else {
        err << "cv2server: no entry " << key << "\n";
        status = 1;
      }
    }
    return status;
  }
  throw UsageError("unknown catalogue command '" + verb + "'");
}

std::string FirstLine(const std::string& text) {
  const auto lines = SplitLines(text);
  return lines.empty() ? "" : lines.front();
}

int SupportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) throw UsageError("support needs list, show or answer");
  const std::string& verb = args[1];
  Options o = ParseOptions(args, 2, {"data"}, {});
  auto storeHandle = OpenStore(o.Data(), false);
  ServerStore& store = *storeHandle;
  if (verb == "list") {
    if (!o.Positional.empty()) throw UsageError("support list takes no arguments");
    for (const SupportRequest& r : store.SupportRequests())
      out << "request " << r.Id << "\tuser " << HexUpper(r.User, 8) << "\t" << r.Received << "\t"
          << r.State << "\t" << r.Text.size() << " bytes\t\"" << Printable(FirstLine(r.Text), 60)
          << "\"\n";
    for (const SupportAnswer& a : store.SupportAnswers())
      out << "answer " << a.Id << "\tuser " << HexUpper(a.User, 8) << "\tqueued " << a.Queued
          << "\t" << (a.Delivered.empty() ? "waiting" : "delivered " + a.Delivered) << "\t\""
          << Printable(FirstLine(a.Text), 60) << "\"\n";
    return 0;
  }
  if (verb == "show") {
    if (o.Positional.size() != 1) throw UsageError("support show takes one REQUEST number");
    auto id = ParseInt32(o.Positional[0]);
    auto request = id ? store.FindSupportRequest(*id) : std::nullopt;
    if (!request) {
      err << "cv2server: no support request " << o.Positional[0] << "\n";
      return 1;
    }
    out << request->Text;
    if (!request->Text.empty() && request->Text.back() != '\n') out << "\n";
    return 0;
  }
  if (verb == "answer") {
    if (o.Positional.size() != 2) throw UsageError("support answer takes USER and TEXT");
    auto user = ParseHex32(o.Positional[0]);
    if (!user || *user == 0 || *user > 0x7FFFFFFF)
      throw UsageError("USER is a user number in hexadecimal, 1 to 7FFFFFFF");
    const int64_t id = store.QueueSupportAnswer(*user, o.Positional[1]);
    out << "answer " << id << " queued for user " << HexUpper(*user, 8)
        << "; it is delivered in the user's next session\n";
    return 0;
  }
  throw UsageError("unknown support command '" + verb + "'");
}

int DemoCatalogueCommand(const std::vector<std::string>& args, std::ostream& out) {
  Options o = ParseOptions(args, 1, {"data", "hwlist"}, {});
  if (!o.Positional.empty()) throw UsageError("demo-catalogue takes no arguments");
  const std::string data = o.Data();
  std::string text;
  if (auto file = o.Get("hwlist")) {
    if (!ReadWholeFile(*file, text)) throw Error("cannot read the hardware list " + *file);
  } else {
    text = HardwareListFromLibrary();
  }
  Tree tree;
  try {
    ReadTreeText(text, tree);
  } catch (const TreeLevelError& e) {
    throw Error(std::string("the hardware list cannot be read: ") + e.what());
  }
  auto store = OpenStore(data, true);
  const DemoCatalogue demo = BuildDemoCatalogue(tree, PackageFolderOf(data), Today());
  store->PutEntries(demo.Entries, true);
  out << "demo catalogue: " << demo.Devices << " device updates, a message and a web page; "
      << "packages in " << PackageFolderOf(data) << "\n";
  return 0;
}
}  // namespace

int RunServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 1;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << kUsage;
    return 0;
  }
  try {
    if (args[0] == "serve")
      return Serve(
          ParseOptions(
              args, 1,
              {"data", "listen", "port", "http-port", "loops", "idle-timeout", "public-url"}, {}),
          out);
    if (args[0] == "catalogue") return CatalogueCommand(args, out, err);
    if (args[0] == "support") return SupportCommand(args, out, err);
    if (args[0] == "demo-catalogue") return DemoCatalogueCommand(args, out);
    throw UsageError("unknown command '" + args[0] + "'");
  } catch (const UsageError& e) {
    err << "cv2server: " << e.what() << "\n\n" << kUsage;
    return 1;
  } catch (const ServerError& e) {
    err << "cv2server: " << e.what() << "\n";
    return 2;
  } catch (const ServerStoreError& e) {
    err << "cv2server: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "cv2server: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace cv2
