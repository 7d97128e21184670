// cv2server_bench: runs full sessions of known users (hardware line, report of 100 devices,
// update list, disconnect) against a cv2server child process from 1, 10 and 50 concurrent
// clients, and reports sessions per second, the median and 99th-percentile session time, the
// failed sessions and the server's peak memory (VmHWM).
//
//   build/release/out/cv2server_bench [--clients 1,10,50] [--seconds 5] [--devices 100]
//                                     [--entries 3000] [--server PATH]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "paths.h"
#include "sqlite_server_store.h"
#include "text_util.h"
#include "trans_record.h"
#include "zlib_codec.h"

namespace {
using Clock = std::chrono::steady_clock;

struct Machine {
  std::string Stream;  // the compressed report
  size_t TextSize = 0;
};

const char* kGuids[] = {
    "{4D36E972-E325-11CE-BFC1-08002BE10318}", "{4D36E97D-E325-11CE-BFC1-08002BE10318}",
    "{36FC9E60-C465-11CF-8056-444553540000}", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}",
    "{4D36E96C-E325-11CE-BFC1-08002BE10318}", "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}"};

// The hardware IDs of device number n of the catalogue's world, most specific first.
std::vector<std::string> DeviceIds(int n) {
  const std::string ven = cv2::HexUpper(0x1000 + static_cast<uint32_t>(n % 97), 4);
  const std::string dev = cv2::HexUpper(static_cast<uint32_t>(n), 4);
  switch (n % 4) {
    case 0:
      return {"PCI\\VEN_" + ven + "&DEV_" + dev + "&SUBSYS_" + dev + ven + "&REV_01",
              "PCI\\VEN_" + ven + "&DEV_" + dev + "&SUBSYS_" + dev + ven,
              "PCI\\VEN_" + ven + "&DEV_" + dev + "&CC_020000",
              "PCI\\VEN_" + ven + "&DEV_" + dev + "&CC_0200"};
    case 1:
      return {"USB\\Vid_" + cv2::AsciiLower(ven) + "&Pid_" + cv2::AsciiLower(dev) + "&Rev_0100",
              "USB\\Vid_" + cv2::AsciiLower(ven) + "&Pid_" + cv2::AsciiLower(dev)};
    case 2:
      return {"HID\\Vid_" + cv2::AsciiLower(ven) + "&Pid_" + cv2::AsciiLower(dev) + "&Rev_0100",
              "HID\\Vid_" + cv2::AsciiLower(ven) + "&Pid_" + cv2::AsciiLower(dev),
              "HID_DEVICE_SYSTEM_MOUSE", "HID_DEVICE_UP:0001_U:0002", "HID_DEVICE"};
    default:
      return {"ACPI\\PNP" + dev, "*PNP" + dev};
  }
}

Machine MakeMachine(int index, int devices, int world) {
  std::mt19937 random(static_cast<uint32_t>(index) * 7919u + 1);
  std::string text = "alias Acme Computers\r\nbrand_name Acme\r\nbrand_model Office " +
                     std::to_string(index) + "\r\nbranded\r\nmb_model B-" +
                     std::to_string(index % 5) + "\r\nmb_mfg Acme Boards\r\n";
  cv2::TTransRecord identity;
  identity.DeviceName = "Office " + std::to_string(index);
  identity.MFG = "Acme Boards";
  identity.HWID = "Acme\r\nOffice\r\n1.0\r\nAcme\r\n1\r\nAcme Boards\r\nB-1\r\n2.8";
  identity.GUID = "{8783F000-B07F-47BA-BB7C-2D585B5A4147}";
  identity.OSVersion = "0";
  text += identity.Transmition() + "\r\n";
  for (int i = 0; i < devices; ++i) {
    const int n = static_cast<int>(random() % static_cast<uint32_t>(world));
    cv2::TTransRecord r;
    r.DeviceName = "Device " + std::to_string(n) + " of the benchmark world";
    r.HWID = cv2::Join(DeviceIds(n), "\r\n");
    r.MFG = "Vendor " + std::to_string(n % 97);
    r.GUID = kGuids[n % 6];
    r.Version = "6.18." + std::to_string(n % 50) + ".1607";
    r.DriverDate = "1-15-2026";
    r.BusType = n % 4 == 0 ? "PCI" : (n % 4 == 3 ? "ACPI" : "USB");
    r.OSVersion.assign(1, '0');
    text += r.Transmition() + "\r\n";
  }
  return Machine{cv2::ZlibCompress(text), text.size()};
}

class Connection {
 public:
  explicit Connection(uint16_t port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{10, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_ok = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Connection() { close(m_fd); }
  bool Ok() const { return m_ok; }
  bool Send(std::string_view data) {
    while (!data.empty()) {
      ssize_t n = send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  bool Line(std::string& line) {
    for (;;) {
      size_t end = m_buf.find("\r\n");
      if (end != std::string::npos) {
        line = m_buf.substr(0, end);
        m_buf.erase(0, end + 2);
        return true;
      }
      if (!Fill()) return false;
    }
  }
  bool Bytes(size_t n, std::string& out) {
    while (m_buf.size() < n)
      if (!Fill()) return false;
    out = m_buf.substr(0, n);
    m_buf.erase(0, n);
    return true;
  }
  bool Closed() { return !Fill() && m_eof; }

 private:
  bool Fill() {
    char chunk[65536];
    ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      m_eof = n == 0;
      return false;
    }
    m_buf.append(chunk, static_cast<size_t>(n));
    return true;
  }
  int m_fd;
  bool m_ok = false;
  bool m_eof = false;
  std::string m_buf;
};

// One full session; the number of update records when check is set, else 1; 0 on failure.
size_t Session(uint16_t port, uint32_t user, const Machine& machine, bool check) {
  Connection c(port);
  if (!c.Ok()) return 0;
  std::string line;
  if (!c.Send(
          "cv2_hardware size=" + cv2::HexUpper(static_cast<uint32_t>(machine.Stream.size()), 8) +
          " user=" + cv2::HexUpper(user, 8) + " log\r\n") ||
      !c.Line(line) || line != "cv2_ready_for_buffer" || !c.Send(machine.Stream) || !c.Line(line) ||
      line.rfind("size=", 0) != 0)
    return 0;
  const size_t size = std::stoul(line.substr(5));
  std::string buffer;
  if (!c.Send("cv2_ready_for_buffer\r\n") || !c.Bytes(size, buffer) ||
      !c.Send("cv2_disconnect\r\n") || !c.Closed())
    return 0;
  if (!check) return 1;
  const std::string list = cv2::ZlibDecompress(buffer, 64u << 20);
  size_t records = 0;
  for (size_t at = list.find("\r\n"); at != std::string::npos; at = list.find("\r\n", at + 2))
    ++records;
  return records;
}

long PeakKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index =
      std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
  return values[index];
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<int> levels{1, 10, 50};
  int seconds = 5, devices = 100, entries = 3000;
  std::string server = cv2::JoinPath(cv2::ProgramFolder(), "cv2server");
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--clients") {
      levels.clear();
      for (const auto& part : cv2::Split(value, ',')) levels.push_back(std::stoi(part));
    } else if (name == "--seconds") {
      seconds = std::stoi(value);
    } else if (name == "--devices") {
      devices = std::stoi(value);
    } else if (name == "--entries") {
      entries = std::stoi(value);
    } else if (name == "--server") {
      server = value;
    } else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 1;
    }
  }

  std::string dir = (std::filesystem::temp_directory_path() / "cv2server-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  const int world = entries * 2;  // about half the devices of a report have an update
  std::vector<uint32_t> users;
  {
    cv2::SqliteServerStore store(cv2::StoreFile(dir));
    std::vector<cv2::CatalogueEntry> catalogue;
    for (int n = 0; n < world; n += 2) {
      cv2::CatalogueEntry e;
      e.Fields.BaseKey = "BENCH-" + std::to_string(n);
      e.Fields.DeviceName = "Device " + std::to_string(n);
      e.Fields.Description = "Benchmark update for device " + std::to_string(n);
      e.Fields.Rating = "Recommended";
      e.Fields.MFG = "Vendor " + std::to_string(n % 97);
      e.Fields.Version = "7.0." + std::to_string(n % 50) + ".1";
      e.Fields.Updated_Date = "2026-12-11";
      e.Fields.Region = "All";
      e.Fields.Location =
          "*http**zip\"{packages}/" + e.Fields.BaseKey + "/" + e.Fields.Version + "/driver.zip\"";
      e.Ids = DeviceIds(n);
      catalogue.push_back(std::move(e));
    }
    store.PutEntries(catalogue, true);
    for (int i = 0; i < 64; ++i) users.push_back(store.CreateUser().User);
  }
  std::vector<Machine> machines;
  for (int i = 0; i < 16; ++i) machines.push_back(MakeMachine(i, devices, world));
  std::printf("catalogue: %d entries; reports: %d devices, %zu bytes, %zu compressed\n", entries,
              devices, machines[0].TextSize, machines[0].Stream.size());

  int out[2];
  if (pipe(out) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    const std::string log = dir + "/server.log";
    if (!freopen(log.c_str(), "w", stderr)) _exit(126);
    execl(server.c_str(), server.c_str(), "serve", "--data", dir.c_str(), "--port", "0",
          "--http-port", "0", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string ready;
  char ch;
  while (read(out[0], &ch, 1) == 1 && ch != '\n') ready += ch;
  const size_t at = ready.find("127.0.0.1:");
  if (at == std::string::npos) {
    std::fprintf(stderr, "cv2server did not start: %s\n", ready.c_str());
    kill(child, SIGKILL);
    return 1;
  }
  const auto port = static_cast<uint16_t>(std::stoi(ready.substr(at + 10)));
  std::printf("%s\n", ready.c_str());
  std::printf("%8s %10s %12s %12s %12s %8s %14s\n", "clients", "sessions", "sessions/s",
              "median ms", "p99 ms", "failed", "server peak");

  int status = 0;
  for (int clients : levels) {
    std::atomic<bool> stop{false};
    std::atomic<size_t> failed{0};
    std::vector<std::vector<double>> times(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int t = 0; t < clients; ++t)
      threads.emplace_back([&, t] {
        const uint32_t user = users[static_cast<size_t>(t) % users.size()];
        const Machine& machine = machines[static_cast<size_t>(t) % machines.size()];
        for (bool first = true; !stop; first = false) {
          const auto begin = Clock::now();
          const size_t result = Session(port, user, machine, first);
          const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
          if (result == 0) {
            ++failed;
          } else {
            times[static_cast<size_t>(t)].push_back(ms);
          }
        }
      });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (auto& v : times) all.insert(all.end(), v.begin(), v.end());
    const size_t done = all.size();
    const double median = Percentile(all, 0.5), p99 = Percentile(all, 0.99);
    std::printf("%8d %10zu %12.0f %12.2f %12.2f %8zu %11ld KiB\n", clients, done,
                static_cast<double>(done) / elapsed, median, p99, failed.load(), PeakKiB(child));
    std::fflush(stdout);
    if (failed) status = 2;
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return status;
}
