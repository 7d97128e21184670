#pragma once
// Test peers as child processes on 127.0.0.1: started with a bounded wait for their port, stopped
// (SIGTERM, then SIGKILL) when the test ends. Scratch folders that remove themselves.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace cv2::test {

inline const std::string kPython = "/usr/bin/python3";

inline std::string PeerScript(const std::string& name) {
  return std::string(CV2_TEST_PEERS) + "/" + name;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A port that nobody listens on right now.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

inline bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cv2-downloads-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

class PeerProcess {
 public:
  PeerProcess() = default;
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  ~PeerProcess() { Stop(); }

  // Starts the program. A peer that announces its port prints "PORT <n>" first; for any other,
  // `port` is the port it was told to use and is waited for. Standard output goes to `output`
  // (when given) after the announcement. False when the peer did not come up within 15 s.
  bool Start(const std::vector<std::string>& argv, int port = 0, const std::string& output = "") {
    int pipeFds[2] = {-1, -1};
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (port == 0) {
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    } else if (!output.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
      m_pid = -1;
      close(pipeFds[0]);
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    if (port != 0) {
      close(pipeFds[0]);
      m_port = port;
      while (std::chrono::steady_clock::now() < deadline) {
        if (Listening(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return false;
    }
    std::string line;
    while (std::chrono::steady_clock::now() < deadline && line.find('\n') == std::string::npos) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buffer[128];
      const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      line.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    if (line.rfind("PORT ", 0) != 0) return false;
    m_port = std::atoi(line.c_str() + 5);
    return m_port > 0;
  }

  void Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 250; ++i) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

  int Port() const { return m_port; }

 private:
  pid_t m_pid = -1;
  int m_port = 0;
};

}  // namespace cv2::test
