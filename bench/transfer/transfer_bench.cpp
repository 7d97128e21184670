// Fetches one file several times with our transport and with the curl command-line tool, and
// prints the median times, their ratio and the worst gap between two ticks of a 10 ms timer of
// the event loop while our transfers ran.
//
//   transfer_bench http HOST:PORT/PATH FOLDER RUNS
//   transfer_bench ftp  HOST/PATH PORT FOLDER RUNS
#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "curl_transports.h"
#include "registry_memory.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class QuietUi : public cv2::UserInterface {
 public:
  void ShowNotice(const std::string&, cv2::Rgb, bool) override {}
  std::optional<std::string> InputBox(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
  bool Confirm(const std::string&) override { return true; }
  void ShowTextMessage(const std::string&, const std::string&) override {}
  void ShowWebPage(const std::string&, int, int, const std::string&) override {}
  std::string SelectCompany() override { return ""; }
  void ErrorBox(const std::string&) override {}
  void InformationBox(const std::string&) override {}
  void OpenWithDesktop(const std::string&) override {}
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double RunCurlTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bool ftp = argc == 6 && std::string(argv[1]) == "ftp";
  if (!(argc == 5 && std::string(argv[1]) == "http") && !ftp) {
    std::fprintf(stderr,
                 "usage: transfer_bench http HOST:PORT/PATH FOLDER RUNS\n"
                 "       transfer_bench ftp HOST/PATH PORT FOLDER RUNS\n");
    return 2;
  }
  const std::string item = argv[2];
  const std::string port = ftp ? argv[3] : "";
  const std::string folder = argv[ftp ? 4 : 3];
  const int runs = std::atoi(argv[ftp ? 5 : 4]);
  const std::string name = item.substr(item.rfind('/') + 1);
  const std::string target = folder + "/" + name;
  const std::string toolUrl =
      ftp ? "ftp://" + item.substr(0, item.find('/')) + ":" + port + item.substr(item.find('/'))
          : "http://" + item;

  cv2::MemoryRegistry store;
  QuietUi ui;
  cv2::FixedClock clock("");
  cv2::ClientState state(store, ui, clock);
  cv2::CurlTransports transports(state);
  cv2::UpdateRec rec;
  rec.Item = item;
  rec.Port = port;
  rec.Folder = folder;

  // The event loop's pulse: the worst gap between ticks while our transfers run.
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(10);
  bool measuring = false;
  Clock::time_point lastTick;
  double worstGapMs = 0;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    if (measuring)
      worstGapMs =
          std::max(worstGapMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
    lastTick = now;
  });
  ticker.start();

  std::vector<double> ours, tool;
  for (int i = 0; i < runs; ++i) {
    std::filesystem::remove(target);
    lastTick = Clock::now();
    measuring = true;
    const auto start = Clock::now();
    try {
      if (ftp)
        transports.FtpDownload(rec);
      else
        transports.HttpDownload(rec);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "transfer failed: %s\n", error.what());
      return 1;
    }
    ours.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    measuring = false;
    const auto size = std::filesystem::file_size(target);

    std::filesystem::remove(target);
    const double seconds = RunCurlTool({"curl", "-s", "-o", target, toolUrl});
    if (seconds < 0 || std::filesystem::file_size(target) != size) {
      std::fprintf(stderr, "the curl tool failed\n");
      return 1;
    }
    tool.push_back(seconds);
    std::printf("run %d: ours %.3f s, curl %.3f s\n", i + 1, ours.back(), seconds);
  }
  const auto size = std::filesystem::file_size(target);
  const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
  std::printf(
      "%s %.0f MiB, %d runs: median ours %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s), "
      "ratio ours/curl %.3f, worst event-loop gap %.1f ms\n",
      ftp ? "FTP" : "HTTP", mib, runs, Median(ours), mib / Median(ours), Median(tool),
      mib / Median(tool), Median(ours) / Median(tool), worstGapMs);
  std::filesystem::remove(target);
  return 0;
}
