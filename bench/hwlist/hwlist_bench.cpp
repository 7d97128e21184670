// Times one _GetHwList call (in process, library loaded once), `cv2ctl hwlist` as a process, and
// the tools `lspci -nnk` and `lshw -json` as processes; prints the median of each over RUNS runs
// and the ratios. usage: hwlist_bench [RUNS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "library_loader.h"
#include "paths.h"

extern char** environ;

namespace {

double MedianMs(int runs, const std::function<bool()>& once) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!once()) return -1;
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Runs a program with its output thrown away; false when it cannot run or fails.
bool RunQuiet(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  cv2::DlLibraryLoader loader;
  auto library = loader.Load("libHwSense.so");
  if (!library) {
    std::fprintf(stderr, "cannot load libHwSense.so: %s\n", loader.Error().c_str());
    return 1;
  }
  auto getHwList = reinterpret_cast<const char* (*)()>(library->Symbol("_GetHwList"));
  size_t bytes = 0;
  const double inProcess = MedianMs(runs, [&] {
    const char* text = getHwList();
    bytes = text ? std::string(text).size() : 0;
    return text != nullptr;
  });
  const std::string cv2ctl = cv2::JoinPath(cv2::ProgramFolder(), "cv2ctl");
  const double command = MedianMs(runs, [&] { return RunQuiet({cv2ctl, "hwlist"}); });
  const double lspci = MedianMs(runs, [] { return RunQuiet({"lspci", "-nnk"}); });
  const double lshw = MedianMs(runs, [] { return RunQuiet({"lshw", "-json"}); });

  std::printf("runs: %d (median)\n", runs);
  std::printf("_GetHwList in process : %8.2f ms (%zu bytes)\n", inProcess, bytes);
  std::printf("cv2ctl hwlist         : %8.2f ms\n", command);
  std::printf("lspci -nnk            : %8.2f ms\n", lspci);
  if (lshw < 0)
    std::printf("lshw -json            : not run (install lshw)\n");
  else
    std::printf("lshw -json            : %8.2f ms\n", lshw);
  if (lspci > 0) {
    std::printf("ratio _GetHwList / lspci -nnk    : %.2f\n", inProcess / lspci);
    std::printf("ratio cv2ctl hwlist / lspci -nnk : %.2f\n", command / lspci);
  }
  if (lshw > 0) {
    std::printf("ratio _GetHwList / lshw -json    : %.3f\n", inProcess / lshw);
    std::printf("ratio cv2ctl hwlist / lshw -json : %.3f\n", command / lshw);
  }
  return 0;
}
