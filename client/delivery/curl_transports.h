#pragma once
// The download transports on libcurl: FTP (passive, binary, one CWD per folder of the item) and
// HTTP/1.1 (redirects, ranges for resume), both through the run's SOCKS proxy. A transfer runs on
// a worker thread while this thread waits in a nested event loop; progress, rate, status and
// traffic lines reach the client state on this thread only.
#include <chrono>
#include <cstdint>
#include <string>

#include "client_state.h"
#include "transports.h"

namespace cv2 {

class CurlTransfer;

struct TransportOptions {
  // Certificates that TLS peers are checked against; empty: the system's certificate store.
  std::string CaBundle;
  long ConnectTimeoutSeconds = 60;
  // A transfer that receives nothing for this long fails, so that an unattended run cannot hang
  // on a dead connection.
  long StallSeconds = 300;
};

class CurlTransports : public Transports {
 public:
  explicit CurlTransports(ClientState& state, TransportOptions options = {});
  ~CurlTransports() override;
  CurlTransports(const CurlTransports&) = delete;
  CurlTransports& operator=(const CurlTransports&) = delete;

  void FtpDownload(const UpdateRec& rec) override;
  void HttpDownload(const UpdateRec& rec) override;
  void DisconnectFtp() override;
  void SafeDisconnectHttp() override;

  // The HTTP client's GET of a URL into a file. With resume set and the file present, the file
  // is continued from its end. False on any failure: the file then loses its last kilobyte (so
  // that a later resume fetches it again), or is deleted when it holds no more than that.
  bool DownloadToFile(const std::string& url, const std::string& fileName, bool resume);
  // Ends the HTTP connection; true when that raised no error.
  bool SafeDisconnect();

  bool Busy() const { return m_ftpTransfer || m_httpTransfer; }

 private:
  enum class Client { Ftp, Http };

  void Status(const std::string& text);
  void Connecting(const std::string& address);
  void Connected(Client client);
  void Disconnected(Client client);
  void FtpTraffic(const std::string& line);
  void WorkBegin(int64_t total);
  void Work(Client client, int64_t bytes);
  void WorkEnd();
  void CheckFileName(const std::string& name);
  void ApplyConnection(void* easy, std::string& proxyError);

  ClientState& m_state;
  TransportOptions m_options;
  CurlTransfer* m_ftpTransfer = nullptr;
  CurlTransfer* m_httpTransfer = nullptr;

  // Progress of the current transfer.
  int64_t m_ftpSize = 0;  // the server's answer to SIZE, 0 when it gave none
  bool m_sizeAsked = false;
  std::chrono::steady_clock::time_point m_workStart{};
  double m_rate = 0;
};

}  // namespace cv2
