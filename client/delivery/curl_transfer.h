#pragma once
// One libcurl transfer run on a worker thread while the calling thread waits in a nested event
// loop, so the window, the Stop button, the progress bar and the log stay live. Whatever the
// transfer reports reaches the calling thread as queued calls: client state is only ever touched
// on the thread that owns it. The body goes to a sink that the worker thread calls directly.
#include <curl/curl.h>

#include <QEventLoop>
#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace cv2 {

// Where the body of the final response goes. Called on the worker thread only.
class BodySink {
 public:
  virtual ~BodySink() = default;
  // The body of the final response is about to arrive (status: the HTTP status, 0 for FTP;
  // contentRange: the start of the "Content-Range" answer of the server, -1 when it sent none).
  // False fails the transfer.
  virtual bool Begin(long status, int64_t contentRangeStart) = 0;
  // False fails the transfer (a write error).
  virtual bool Write(const char* data, size_t size) = 0;
};

// What the transfer reports, each called on the thread that started it.
struct TransferEvents {
  std::function<void(const std::string& address)> Connecting;  // the first connection attempt
  std::function<void()> Connected;
  std::function<void(const std::string& text)> Traffic;  // one line of protocol traffic
  std::function<void(const std::string& url)> Redirected;
  std::function<void(int64_t total)> WorkBegin;  // total: the expected size, -1 unknown
  std::function<void(int64_t bytes)> Work;       // bytes of the body so far
};

class CurlTransfer {
 public:
  enum class Kind { Ftp, Http };

  // Takes over a configured easy handle; the transfer sets its own callbacks on it.
  CurlTransfer(CURL* easy, Kind kind, BodySink& sink, TransferEvents events);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Runs the transfer; returns when it has ended. Events keep being served meanwhile.
  CURLcode Run();
  // Ends a running transfer as soon as possible; safe from any handler on the owning thread.
  void Abort();

  bool Aborted() const { return m_abort.load(); }
  // curl's description of the failure, or the text of the result code.
  std::string ErrorText() const;
  bool BodyBegun() const { return m_begun; }

 private:
  void Work();
  void Post(std::function<void()> call);
  void BeginBody();
  void PostProgress();

  static size_t WriteCallback(char* data, size_t size, size_t count, void* self);
  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
  static int ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self);
  static int PrereqCallback(void* self, char* primaryIp, char* localIp, int primaryPort,
                            int localPort);
  static curl_socket_t OpenSocketCallback(void* self, curlsocktype purpose,
                                          struct curl_sockaddr* address);

  CURL* m_easy;
  CURLM* m_multi = nullptr;
  Kind m_kind;
  BodySink& m_sink;
  TransferEvents m_events;
  QObject m_context;  // lives on the owning thread; queued calls run in its thread
  std::thread m_worker;
  std::atomic<bool> m_abort{false};
  bool m_finished = false;       // owning thread only
  QEventLoop* m_loop = nullptr;  // owning thread only
  CURLcode m_result = CURLE_OK;  // written by the worker, read after the join
  char m_errorBuffer[CURL_ERROR_SIZE] = {};

  // Worker thread only.
  bool m_begun = false;
  bool m_connectingPosted = false;
  bool m_connectedPosted = false;
  bool m_redirectPending = false;
  bool m_failedInSink = false;
  int64_t m_contentRangeStart = -1;
  int64_t m_bytes = 0;
  int64_t m_postedBytes = 0;
  std::string m_trafficTail;  // a traffic line not yet ended by its line break
  std::chrono::steady_clock::time_point m_lastPost{};
};

}  // namespace cv2
