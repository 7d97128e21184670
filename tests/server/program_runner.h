#pragma once
// Runs a program of the build as a child process with its output in files; a child a test leaves
// running is killed. Every wait is bounded.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "paths.h"

namespace cv2::test {

class Program {
 public:
  // outputFolder receives NAME.out and NAME.err (NAME: the program's file name and a number).
  Program(const std::string& path, const std::vector<std::string>& args,
          const std::string& outputFolder, const std::vector<std::string>& environment = {}) {
    static int counter = 0;
    const std::string base =
        outputFolder + "/" + path.substr(path.rfind('/') + 1) + "-" + std::to_string(++counter);
    m_outFile = base + ".out";
    m_errFile = base + ".err";
    // Everything the child needs is made before the fork: other threads may hold locks.
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envText = environment;  // NAME=VALUE, replacing inherited ones
    for (char** e = environ; *e; ++e) {
      const std::string inherited = *e;
      const std::string name = inherited.substr(0, inherited.find('=') + 1);
      bool replaced = false;
      for (const auto& assignment : environment) replaced |= assignment.rfind(name, 0) == 0;
      if (!replaced) envText.push_back(inherited);
    }
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int out = open(m_outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_pid = fork();
    if (m_pid == 0) {
      if (out < 0 || err < 0 || in < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      execve(path.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(out);
    close(err);
    close(in);
    if (m_pid < 0) throw std::runtime_error("fork failed");
  }
  ~Program() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The first line of standard output, waiting at most ten seconds.
  std::string FirstLine() const {
    for (int i = 0; i < 1000; ++i) {
      const std::string out = Out();
      if (out.find('\n') != std::string::npos) return out.substr(0, out.find('\n'));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }

  // Waits for the end and gives the exit status; -1 when it did not end in time (it is killed).
  int Wait(std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void Signal(int sig) { kill(m_pid, sig); }
  std::string Out() const { return Read(m_outFile); }
  std::string Err() const { return Read(m_errFile); }

 private:
  static std::string Read(const std::string& file) {
    std::string text;
    ReadWholeFile(file, text);
    return text;
  }

  pid_t m_pid = -1;
  std::string m_outFile, m_errFile;
};

}  // namespace cv2::test
