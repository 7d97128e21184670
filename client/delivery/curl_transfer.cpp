#include "curl_transfer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <cstring>

namespace cv2 {

namespace {

// How often the worker reports progress to the owning thread at most.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

std::string AddressText(const struct sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  }
  return text;
}

// The start of a "Content-Range: bytes N-M/T" header, -1 when the line is something else.
int64_t ContentRangeStart(std::string_view line) {
  constexpr std::string_view name = "content-range:";
  if (line.size() < name.size()) return -1;
  for (size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return -1;
  line.remove_prefix(name.size());
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  if (line.substr(0, 6) != "bytes ") return -1;
  line.remove_prefix(6);
  int64_t value = 0;
  size_t digits = 0;
  while (digits < line.size() && digits < 18 && line[digits] >= '0' && line[digits] <= '9')
    value = value * 10 + (line[digits++] - '0');
  return digits > 0 ? value : -1;
}

}  // namespace

CurlTransfer::CurlTransfer(CURL* easy, Kind kind, BodySink& sink, TransferEvents events)
    : m_easy(easy), m_kind(kind), m_sink(sink), m_events(std::move(events)) {
  curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
  curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::WriteCallback);
  curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::HeaderCallback);
  curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::ProgressCallback);
  curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(m_easy, CURLOPT_DEBUGFUNCTION, &CurlTransfer::DebugCallback);
  curl_easy_setopt(m_easy, CURLOPT_DEBUGDATA, this);
  // The traffic lines come from curl's debug output; only the FTP control connection is logged.
  curl_easy_setopt(m_easy, CURLOPT_VERBOSE, kind == Kind::Ftp ? 1L : 0L);
  curl_easy_setopt(m_easy, CURLOPT_PREREQFUNCTION, &CurlTransfer::PrereqCallback);
  curl_easy_setopt(m_easy, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETFUNCTION, &CurlTransfer::OpenSocketCallback);
  curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETDATA, this);
  m_multi = curl_multi_init();
}

CurlTransfer::~CurlTransfer() {
  if (m_worker.joinable()) {
    Abort();
    m_worker.join();
  }
  if (m_multi) curl_multi_cleanup(m_multi);
}

CURLcode CurlTransfer::Run() {
  if (!m_multi) return CURLE_OUT_OF_MEMORY;
  m_worker = std::thread([this] { Work(); });
  QEventLoop loop;
  m_loop = &loop;
  // The worker's last queued call ends the wait.
  loop.exec();
  m_loop = nullptr;
  // An application that quits meanwhile ends every nested loop, and no loop runs again: the
  // transfer is cut short and waited for without serving events.
  if (!m_finished) Abort();
  m_worker.join();
  return m_result;
}

void CurlTransfer::Abort() {
  m_abort.store(true);
  if (m_multi) curl_multi_wakeup(m_multi);
}

std::string CurlTransfer::ErrorText() const {
  if (m_errorBuffer[0]) return m_errorBuffer;
  return curl_easy_strerror(m_result);
}

void CurlTransfer::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&m_context, std::move(call), Qt::QueuedConnection);
}

void CurlTransfer::Work() {
  CURLcode result = CURLE_OK;
  curl_multi_add_handle(m_multi, m_easy);
  bool done = false;
  while (!done) {
    int running = 0;
    CURLMcode code = curl_multi_perform(m_multi, &running);
    if (code != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done) break;
    if (m_abort.load()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
    if (m_abort.load()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
  }
  if (m_failedInSink && result != CURLE_OK && result != CURLE_ABORTED_BY_CALLBACK)
    result = CURLE_WRITE_ERROR;
  // Removing the handle ends the connection (the transfers never share one) and sends the
  // protocol's goodbye when the transfer ended normally.
  curl_multi_remove_handle(m_multi, m_easy);
  if (result == CURLE_OK && !m_begun) BeginBody();
  if (!m_trafficTail.empty()) {
    std::string tail = std::move(m_trafficTail);
    Post([this, tail] {
      if (m_events.Traffic) m_events.Traffic(tail);
    });
  }
  m_result = result;  // read by the owning thread after the join
  const int64_t bytes = m_bytes;
  const bool begun = m_begun;
  Post([this, bytes, begun] {
    if (begun && m_events.Work) m_events.Work(bytes);
    m_finished = true;
    if (m_loop) m_loop->quit();
  });
}

void CurlTransfer::BeginBody() {
  m_begun = true;
  long status = 0;
  if (m_kind == Kind::Http) curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t total = -1;
  curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
  if (!m_sink.Begin(status, m_contentRangeStart)) m_failedInSink = true;
  const int64_t expected = total;
  Post([this, expected] {
    if (m_events.WorkBegin) m_events.WorkBegin(expected);
  });
}

size_t CurlTransfer::WriteCallback(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  const size_t length = size * count;
  if (!transfer->m_begun) transfer->BeginBody();
  if (transfer->m_failedInSink || !transfer->m_sink.Write(data, length)) {
    transfer->m_failedInSink = true;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer->m_bytes += static_cast<int64_t>(length);
  transfer->PostProgress();
  return length;
}

void CurlTransfer::PostProgress() {
  // At most one report per interval; what arrived since the last one is reported later by the
  // progress callback, which curl calls while the connection is quiet as well.
  if (!m_begun || m_bytes == m_postedBytes) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastPost < kProgressInterval) return;
  m_lastPost = now;
  m_postedBytes = m_bytes;
  const int64_t bytes = m_bytes;
  Post([this, bytes] {
    if (m_events.Work) m_events.Work(bytes);
  });
}

size_t CurlTransfer::HeaderCallback(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  const size_t length = size * count;
  if (transfer->m_kind != Kind::Http) return length;
  std::string_view line(data, length);
  if (line.substr(0, 5) == "HTTP/") {
    // A new response: what the previous one said no longer counts.
    transfer->m_contentRangeStart = -1;
    return length;
  }
  if (const int64_t start = ContentRangeStart(line); start >= 0)
    transfer->m_contentRangeStart = start;
  if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_easy_getinfo(transfer->m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 300 && status < 400) transfer->m_redirectPending = true;
  }
  return length;
}

int CurlTransfer::ProgressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  if (transfer->m_abort.load()) return 1;
  transfer->PostProgress();
  return 0;
}

int CurlTransfer::DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  if (transfer->m_kind != Kind::Ftp) return 0;
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
  if (type == CURLINFO_HEADER_IN && !transfer->m_connectedPosted) {
    // The server's greeting is the first thing on a new control connection.
    transfer->m_connectedPosted = true;
    transfer->Post([transfer] {
      if (transfer->m_events.Connected) transfer->m_events.Connected();
    });
  }
  std::string& tail = transfer->m_trafficTail;
  tail.append(data, size);
  size_t start = 0;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (tail[i] != '\n') continue;
    size_t end = i;
    if (end > start && tail[end - 1] == '\r') --end;
    std::string line = tail.substr(start, end - start);
    transfer->Post([transfer, line] {
      if (transfer->m_events.Traffic) transfer->m_events.Traffic(line);
    });
    start = i + 1;
  }
  tail.erase(0, start);
  return 0;
}

int CurlTransfer::PrereqCallback(void* self, char*, char*, int, int) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  if (transfer->m_kind != Kind::Http) return CURL_PREREQFUNC_OK;
  if (!transfer->m_connectedPosted) {
    transfer->m_connectedPosted = true;
    transfer->Post([transfer] {
      if (transfer->m_events.Connected) transfer->m_events.Connected();
    });
  }
  if (transfer->m_redirectPending) {
    transfer->m_redirectPending = false;
    char* url = nullptr;
    curl_easy_getinfo(transfer->m_easy, CURLINFO_EFFECTIVE_URL, &url);
    std::string target = url ? url : "";
    transfer->Post([transfer, target] {
      if (transfer->m_events.Redirected) transfer->m_events.Redirected(target);
    });
  }
  return CURL_PREREQFUNC_OK;
}

curl_socket_t CurlTransfer::OpenSocketCallback(void* self, curlsocktype,
                                               struct curl_sockaddr* address) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  if (!transfer->m_connectingPosted) {
    transfer->m_connectingPosted = true;
    std::string text = AddressText(&address->addr);
    transfer->Post([transfer, text] {
      if (transfer->m_events.Connecting) transfer->m_events.Connecting(text);
    });
  }
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

}  // namespace cv2
