#include "curl_transports.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "curl_transfer.h"
#include "error.h"
#include "paths.h"
#include "safe_names.h"
#include "text_util.h"
#include "transfer_rules.h"

namespace cv2 {

namespace {

// The request headers of the HTTP client, as the update servers have always seen them.
constexpr char kAccept[] = "Accept: text/html, */*";
constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";
constexpr long kMaxRedirects = 15;
constexpr long kBufferSize = 512 * 1024;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string Encoded(const std::string& part) {
  char* escaped = curl_easy_escape(nullptr, part.data(), static_cast<int>(part.size()));
  std::string out = escaped ? escaped : "";
  curl_free(escaped);
  return out;
}

std::string RateText(double rate) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, rate, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr) + " KB/s";
}

int ProxyPortOf(const std::string& text) {
  const std::string port = Trim(text);
  if (port.empty()) return 1080;
  if (auto number = ParseInt32(port)) return *number >= 1 && *number <= 65535 ? *number : -1;
  if (const servent* service = getservbyname(port.c_str(), "tcp")) return ntohs(service->s_port);
  return -1;
}

// Writes an FTP file beside its target under a hidden temporary name; the target is replaced only
// when the whole file has arrived.
class FtpFileSink : public BodySink {
 public:
  FtpFileSink(const std::string& folder, const std::string& target) : m_target(target) {
    std::string pattern = JoinPath(folder, ".cv2-download-XXXXXX");
    m_fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) throw Error("Cannot create a file in " + folder + ": " + std::strerror(errno));
    m_temp = pattern;
    fchmod(m_fd, 0644);
  }
  ~FtpFileSink() override {
    if (m_fd >= 0) close(m_fd);
    if (!m_temp.empty()) unlink(m_temp.c_str());
  }
  bool Begin(long, int64_t) override { return true; }
  bool Write(const char* data, size_t size) override { return WriteAll(m_fd, data, size); }
  // Puts the file in place; false when that failed.
  bool Commit() {
    const bool closed = close(m_fd) == 0;
    m_fd = -1;
    if (!closed || rename(m_temp.c_str(), m_target.c_str()) != 0) return false;
    m_temp.clear();
    return true;
  }

  static bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = write(fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

 private:
  std::string m_target;
  std::string m_temp;
  int m_fd = -1;
};

// The file of an HTTP download: created or continued before the request, cut after a failure.
class HttpFileSink : public BodySink {
 public:
  explicit HttpFileSink(int fd, int64_t rangeStart) : m_fd(fd), m_rangeStart(rangeStart) {}
  bool Begin(long status, int64_t contentRangeStart) override {
    if (m_rangeStart <= 0) return true;
    if (status == 206) return contentRangeStart == m_rangeStart;
    // A server that ignores the range sends the whole file: start the file over rather than
    // append a second copy behind the part that is already there.
    return ftruncate(m_fd, 0) == 0 && lseek(m_fd, 0, SEEK_SET) == 0;
  }
  bool Write(const char* data, size_t size) override {
    return FtpFileSink::WriteAll(m_fd, data, size);
  }

 private:
  int m_fd;
  int64_t m_rangeStart;
};

}  // namespace

CurlTransports::CurlTransports(ClientState& state, TransportOptions options)
    : m_state(state), m_options(std::move(options)) {
  GlobalInit();
}

CurlTransports::~CurlTransports() {
  if (m_ftpTransfer) m_ftpTransfer->Abort();
  if (m_httpTransfer) m_httpTransfer->Abort();
}

void CurlTransports::Status(const std::string& text) {
  m_state.AppendLog(text);
}

void CurlTransports::Connecting(const std::string& address) {
  Status("Connecting to " + address + ".");
}

void CurlTransports::Connected(Client client) {
  m_state.AppendLog("Interceptor: Connect event");
  Status("Connected.");
  m_state.Status().SetCaption(Caption::StatusLBL, "Connected");
  if (client == Client::Http) m_state.AppendLog("http connected");
  m_state.Status().SetTrayAnimation(true);
}

void CurlTransports::Disconnected(Client client) {
  Status("Disconnected.");
  m_state.Status().SetCaption(Caption::StatusLBL, "Disconnected");
  // Animation off shows the first image of the tray icon list.
  m_state.Status().SetTrayAnimation(false);
  if (client == Client::Http) m_state.AppendLog("http disconnected");
}

void CurlTransports::FtpTraffic(const std::string& line) {
  // The traffic goes to the log as it is, except the password of the login.
  if (IStartsWith(line, "PASS ")) {
    m_state.AppendLog("PASS ****");
    return;
  }
  m_state.AppendLog(line);
  if (IStartsWith(line, "SIZE ")) {
    m_sizeAsked = true;
    return;
  }
  if (m_sizeAsked && line.size() >= 3 && line[0] >= '1' && line[0] <= '5') {
    m_sizeAsked = false;
    if (line.compare(0, 4, "213 ") == 0) {
      int64_t size = 0;
      const char* begin = line.data() + 4;
      const char* end = line.data() + line.size();
      if (std::from_chars(begin, end, size).ec == std::errc() && size > 0) m_ftpSize = size;
    }
  }
}

void CurlTransports::WorkBegin(int64_t total) {
  m_workStart = std::chrono::steady_clock::now();
  const int64_t maximum = total > 0 ? total : m_ftpSize;
  m_state.Status().SetProgress(Bar::DownloadProgress, 0, maximum);
  m_rate = 0;
}

void CurlTransports::Work(Client, int64_t bytes) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - m_workStart);
  // Below one millisecond the rate keeps its last value.
  if (elapsed.count() > 0)
    m_rate = static_cast<double>(bytes) / 1024.0 / (static_cast<double>(elapsed.count()) / 1000.0);
  m_state.Status().SetCaption(Caption::MessageLBL, "Reading:  " + RateText(m_rate));
  m_state.Status().SetProgressValue(Bar::DownloadProgress, bytes);
}

void CurlTransports::WorkEnd() {
  m_ftpSize = 0;
  StatusBoard& status = m_state.Status();
  if (status.Maximum(Bar::DownloadProgress) > 0)
    status.SetProgressValue(Bar::DownloadProgress, status.Maximum(Bar::DownloadProgress));
  else
    status.SetProgress(Bar::DownloadProgress, 100, 100);
  m_rate = 0;
}

void CurlTransports::CheckFileName(const std::string& name) {
  if (auto reason = PathNameFault(name)) {
    m_state.AppendLog("Refused to store download \"" + name + "\": the name " + *reason);
    throw Error("Refused file name \"" + name + "\": the name " + *reason);
  }
}

void CurlTransports::ApplyConnection(void* handle, std::string& proxyError) {
  CURL* easy = handle;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // Each transfer is a connection of its own.
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, m_options.ConnectTimeoutSeconds);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, m_options.StallSeconds);
  if (!m_options.CaBundle.empty())
    curl_easy_setopt(easy, CURLOPT_CAINFO, m_options.CaBundle.c_str());
  // The proxy comes from the settings only, never from the environment.
  const ProxySettings& proxy = m_state.Proxy;
  if (!proxy.Enabled) {
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    return;
  }
  std::string host = Trim(proxy.Host);
  const int port = ProxyPortOf(proxy.Port);
  if (host.empty()) {
    proxyError = "No SOCKS server is set";
    return;
  }
  if (port < 0) {
    proxyError = "Invalid SOCKS port '" + proxy.Port + "'";
    return;
  }
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  curl_easy_setopt(easy, CURLOPT_PROXY, host.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(port));
  long type = CURLPROXY_SOCKS5_HOSTNAME;
  if (proxy.Level == "4")
    type = CURLPROXY_SOCKS4;
  else if (IEquals(proxy.Level, "4a"))
    type = CURLPROXY_SOCKS4A;
  curl_easy_setopt(easy, CURLOPT_PROXYTYPE, type);
  if (!proxy.User.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy.User.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy.Password.c_str());
  }
}

void CurlTransports::FtpDownload(const UpdateRec& rec) {
  const std::string user = rec.User.empty() ? "anonymous" : rec.User;
  const std::string password = rec.Password.empty() ? kAnonymousFtpPassword : rec.Password;
  const int port = FtpPortOf(rec.Port);
  if (rec.Item.empty()) return;
  if (Busy()) throw Error("A transfer is already running");
  const FtpItem item = SplitFtpItem(rec.Item);
  CheckFileName(item.FileName);
  std::error_code ec;
  std::filesystem::create_directories(rec.Folder, ec);
  if (ec) throw Error("Cannot create folder " + rec.Folder + ": " + ec.message());
  const std::string target = JoinPath(rec.Folder, item.FileName);

  EasyHandle easy(curl_easy_init());
  if (!easy) throw Error("Cannot start an FTP transfer");
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  std::string path = "/";
  for (const std::string& folder : item.Folders) path += Encoded(folder) + "/";
  path += Encoded(item.FileName);
  if (!url || curl_url_set(url.get(), CURLUPART_SCHEME, "ftp", 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_HOST, item.Host.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PORT, std::to_string(port).c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) {
    Status("Invalid FTP host '" + item.Host + "'.");
    throw Error("FTP download of " + rec.Item + " failed: invalid host '" + item.Host + "'");
  }
  curl_easy_setopt(easy.get(), CURLOPT_CURLU, url.get());
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(easy.get(), CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
  curl_easy_setopt(easy.get(), CURLOPT_FTP_RESPONSE_TIMEOUT, m_options.StallSeconds);
  // The login asks for the system type, as the FTP client always did; a server that does not
  // know SYST is no failure.
  Slist quote(curl_slist_append(nullptr, "*SYST"));
  curl_easy_setopt(easy.get(), CURLOPT_QUOTE, quote.get());
  std::string proxyError;
  ApplyConnection(easy.get(), proxyError);
  if (!proxyError.empty()) {
    Status(proxyError + ".");
    throw Error("FTP download of " + rec.Item + " failed: " + proxyError);
  }

  FtpFileSink sink(rec.Folder, target);
  bool connected = false;
  bool begun = false;
  m_ftpSize = 0;
  m_sizeAsked = false;
  TransferEvents events;
  events.Connecting = [this](const std::string& address) { Connecting(address); };
  events.Connected = [this, &connected] {
    connected = true;
    Connected(Client::Ftp);
  };
  events.Traffic = [this](const std::string& line) { FtpTraffic(line); };
  events.WorkBegin = [this, &begun](int64_t total) {
    begun = true;
    WorkBegin(total);
  };
  events.Work = [this](int64_t bytes) { Work(Client::Ftp, bytes); };

  Status("Resolving hostname " + item.Host + ".");
  CurlTransfer transfer(easy.get(), CurlTransfer::Kind::Ftp, sink, std::move(events));
  m_ftpTransfer = &transfer;
  const CURLcode result = transfer.Run();
  m_ftpTransfer = nullptr;
  if (begun) WorkEnd();
  std::string failure;
  if (transfer.Aborted())
    failure = "Transfer aborted";
  else if (result != CURLE_OK)
    failure = transfer.ErrorText();
  else if (!sink.Commit())
    failure = "Cannot store " + target + ": " + std::strerror(errno);
  if (connected) Disconnected(Client::Ftp);
  if (!failure.empty()) {
    Status(failure + ".");
    throw Error("FTP download of " + rec.Item + " failed: " + failure);
  }
}

void CurlTransports::HttpDownload(const UpdateRec& rec) {
  if (rec.Item.empty()) return;
  const std::string name = ItemFileName(rec.Item);
  CheckFileName(name);
  std::error_code ec;
  std::filesystem::create_directories(rec.Folder, ec);
  if (ec) throw Error("Cannot create folder " + rec.Folder + ": " + ec.message());
  const std::string target = JoinPath(rec.Folder, name);
  m_state.AppendLog("HTTP downloading: " + rec.Item);
  if (!DownloadToFile(rec.Item, target, false))
    throw Error("HTTP download of " + rec.Item + " failed");
}

bool CurlTransports::DownloadToFile(const std::string& url, const std::string& fileName,
                                    bool resume) {
  if (Busy()) return false;
  int64_t rangeStart = 0;
  int fd = -1;
  struct stat info {};
  if (resume && lstat(fileName.c_str(), &info) == 0) {
    fd = open(fileName.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      const off_t end = lseek(fd, 0, SEEK_END);
      rangeStart = end > 0 ? end : 0;
    }
  } else {
    fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  }
  if (fd < 0) {
    Status("Cannot open " + fileName + ": " + std::strerror(errno) + ".");
    return false;
  }

  // The traffic logger stays quiet during the GET: only status and events are logged.
  bool ok = false;
  bool connected = false;
  bool begun = false;
  std::string failure;
  {
    EasyHandle easy(curl_easy_init());
    std::unique_ptr<CURLU, UrlDeleter> address(curl_url());
    const std::string full = HttpUrlOf(url);
    Slist headers(curl_slist_append(nullptr, kAccept));
    std::string proxyError;
    if (!easy || !address ||
        curl_url_set(address.get(), CURLUPART_URL, full.c_str(),
                     CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK) {
      failure = "Invalid address " + full;
    } else {
      ApplyConnection(easy.get(), proxyError);
      failure = proxyError;
    }
    if (failure.empty()) {
      char* host = nullptr;
      curl_url_get(address.get(), CURLUPART_HOST, &host, 0);
      const std::string hostName = host ? host : "";
      curl_free(host);
      curl_easy_setopt(easy.get(), CURLOPT_CURLU, address.get());
      curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http,https");
      curl_easy_setopt(easy.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
      curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
      curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
      curl_easy_setopt(easy.get(), CURLOPT_MAXREDIRS, kMaxRedirects);
      curl_easy_setopt(easy.get(), CURLOPT_FAILONERROR, 1L);
      curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
      curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, kUserAgent);
      const std::string range = std::to_string(rangeStart) + "-";
      if (rangeStart > 0) curl_easy_setopt(easy.get(), CURLOPT_RANGE, range.c_str());

      HttpFileSink sink(fd, rangeStart);
      TransferEvents events;
      events.Connecting = [this](const std::string& text) { Connecting(text); };
      events.Connected = [this, &connected] {
        connected = true;
        Connected(Client::Http);
      };
      events.Redirected = [this](const std::string& target) {
        m_state.AppendLog("Redirected to: " + target);
      };
      events.WorkBegin = [this, &begun](int64_t total) {
        begun = true;
        WorkBegin(total);
      };
      events.Work = [this](int64_t bytes) { Work(Client::Http, bytes); };

      Status("Resolving hostname " + hostName + ".");
      CurlTransfer transfer(easy.get(), CurlTransfer::Kind::Http, sink, std::move(events));
      m_httpTransfer = &transfer;
      const CURLcode result = transfer.Run();
      m_httpTransfer = nullptr;
      if (begun) WorkEnd();
      if (transfer.Aborted())
        failure = "Transfer aborted";
      else if (result != CURLE_OK)
        failure = transfer.ErrorText();
      else
        ok = true;
    }
  }
  if (connected) Disconnected(Client::Http);

  if (!ok) {
    Status(failure + ".");
    // Keep all but the last kilobyte for a later resume; a file of no more than that goes.
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position > 1024) {
      if (ftruncate(fd, position - 1024) != 0) Status("Cannot cut " + fileName + ".");
      close(fd);
    } else {
      close(fd);
      unlink(fileName.c_str());
    }
    return false;
  }
  if (close(fd) != 0) {
    Status("Cannot store " + fileName + ": " + std::strerror(errno) + ".");
    return false;
  }
  return true;
}

bool CurlTransports::SafeDisconnect() {
  if (m_httpTransfer) m_httpTransfer->Abort();
  return true;
}

void CurlTransports::DisconnectFtp() {
  if (m_ftpTransfer) m_ftpTransfer->Abort();
}

void CurlTransports::SafeDisconnectHttp() {
  SafeDisconnect();
}

}  // namespace cv2
