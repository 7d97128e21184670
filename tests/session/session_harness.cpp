#include "session_harness.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "settings_store.h"
#include "settings_table.h"
#include "sync_runner.h"
#include "zlib_codec.h"

namespace cv2::test {

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

std::string PseudoRandomText(size_t size, uint32_t seed) {
  std::string out(size, ' ');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(0x20 + x % 0xE0);
  }
  return out;
}

std::string CompressedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return ZlibCompress(text);
}

namespace {
template <class Make>
std::vector<std::string> Search(size_t compressed, Make make) {
  for (size_t size = compressed / 2; size < compressed * 2; ++size) {
    auto lines = make(size);
    if (CompressedLines(lines).size() == compressed) return lines;
  }
  throw std::runtime_error("no text compresses to " + std::to_string(compressed) + " bytes");
}
}  // namespace

std::vector<std::string> ReportCompressingTo(size_t compressed) {
  return Search(compressed, [](size_t size) {
    const std::string text = PseudoRandomText(size, 7);
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size(); pos += 80) lines.push_back(text.substr(pos, 80));
    return lines;
  });
}

std::vector<std::string> EntriesCompressingTo(size_t compressed) {
  return Search(compressed, [](size_t size) {
    const std::string text = PseudoRandomText(size, 11);
    std::vector<std::string> entries;
    for (size_t pos = 0; pos < text.size(); pos += 60)
      entries.push_back("entry " + std::to_string(pos / 60) + "\r" + text.substr(pos, 60));
    return entries;
  });
}

Script& Script::Line() {
  m_steps.push_back(R"({"line": true})");
  return *this;
}
Script& Script::Report() {
  m_steps.push_back(R"({"report": true})");
  return *this;
}
Script& Script::Bytes(size_t count) {
  m_steps.push_back(R"({"bytes": )" + std::to_string(count) + "}");
  return *this;
}
Script& Script::Send(std::string_view bytes) {
  m_steps.push_back(R"({"send": ")" + Hex(bytes) + "\"}");
  return *this;
}
Script& Script::Pause(int milliseconds) {
  m_steps.push_back(R"({"pause": )" + std::to_string(milliseconds) + "}");
  return *this;
}
Script& Script::Close() {
  m_steps.push_back(R"({"close": true})");
  return *this;
}
std::string Script::Json() const {
  std::string json = "[";
  for (size_t i = 0; i < m_steps.size(); ++i) json += (i ? ",\n" : "\n") + m_steps[i];
  return json + "\n]\n";
}

void HelperProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& arg : args) list << QString::fromStdString(arg);
  m_process.setProcessChannelMode(QProcess::SeparateChannels);
  m_process.start(QString::fromStdString(program), list);
  if (!m_process.waitForStarted(10000)) throw std::runtime_error("cannot start " + program);
}

std::string HelperProcess::FirstLine(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!m_process.canReadLine() && !deadline.hasExpired())
    if (!m_process.waitForReadyRead(
            static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
      if (m_process.state() != QProcess::Running) break;
  if (!m_process.canReadLine()) return {};
  return m_process.readLine().trimmed().toStdString();
}

bool HelperProcess::WaitFinished(int timeoutMs) {
  if (m_process.state() == QProcess::NotRunning) return true;
  return m_process.waitForFinished(timeoutMs);
}

void HelperProcess::Stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(5000)) {
    m_process.kill();
    m_process.waitForFinished(5000);
  }
}

std::string HelperProcess::Output() {
  return (m_process.readAllStandardOutput() + m_process.readAllStandardError()).toStdString();
}

SessionPeer::SessionPeer(const Script& script, int timeoutSeconds) {
  if (!m_dir.isValid()) throw std::runtime_error("no temporary folder");
  const std::string scriptFile = File("script.json");
  std::ofstream(scriptFile, std::ios::binary) << script.Json();
  m_process.Start("/usr/bin/python3",
                  {std::string(CV2_TEST_PEERS) + "/session_peer.py", "--script", scriptFile,
                   "--record", File("record"), "--timeout", std::to_string(timeoutSeconds)});
  const std::string first = m_process.FirstLine();
  if (first.rfind("PORT ", 0) != 0) throw std::runtime_error("session peer did not start");
  m_port = static_cast<uint16_t>(std::stoi(first.substr(5)));
}

std::string SessionPeer::File(const std::string& suffix) {
  return m_dir.filePath(QString::fromStdString(suffix)).toStdString();
}

namespace {
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

std::string SessionPeer::Received() {
  if (!m_finished) {
    if (!m_process.WaitFinished(20000)) m_process.Stop();
    m_finished = true;
  }
  return ReadFile(File("record"));
}

std::string SessionPeer::Status() {
  Received();
  return ReadFile(File("record.status"));
}

std::string SessionPeer::ClientAddress() {
  Received();
  return ReadFile(File("record.client"));
}

uint16_t FreePort() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("no free port");
  return server.serverPort();
}

bool WaitForListening(uint16_t port, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    if (probe.waitForConnected(500)) return true;
    QThread::msleep(50);
  }
  return false;
}

SyncFixture::SyncFixture() {
  InitSettings(store);
  SetString("HostTXT", "127.0.0.1");
  SetString("CompanyAlianceTXT", "Acer");
  SetString("User_licenceTXT", "1F");
  SetInteger("ShowFriendlyMessagesCHK", 0);
  overrides.Inventory = &inventory;
  overrides.Report = &report;
  overrides.Processing = &processing;
}

void SyncFixture::SetString(const std::string& name, const std::string& value) {
  Registry reg(store);
  reg.OpenKey(kSettingsKey, true);
  reg.WriteString(name, value);
}

void SyncFixture::SetInteger(const std::string& name, int32_t value) {
  Registry reg(store);
  reg.OpenKey(kSettingsKey, true);
  reg.WriteInteger(name, value);
}

std::optional<std::string> SyncFixture::GetString(const std::string& name) {
  auto value = store.GetValue(kSettingsKey, name);
  if (!value) return std::nullopt;
  return value->Str;
}

bool SyncFixture::HasValue(const std::string& name) {
  return store.GetValue(kSettingsKey, name).has_value();
}

int SyncFixture::Run(int timeoutSeconds, const std::function<void(ClientAssembly&)>& prepare) {
  m_assembly = std::make_unique<ClientAssembly>(store, ui, overrides);
  report.state = &m_assembly->State();
  processing.state = &m_assembly->State();
  if (prepare) prepare(*m_assembly);
  return RunSynchronization(*m_assembly, timeoutSeconds);
}

std::vector<std::string> SyncFixture::SessionLog() const {
  const auto& lines = m_assembly->State().Log().Lines();
  auto start = std::find(lines.begin(), lines.end(), "Loading hardware list...");
  std::vector<std::string> out;
  if (start == lines.end()) return out;
  for (auto it = start + 1; it != lines.end(); ++it)
    if (*it != "Socket change state") out.push_back(*it);
  return out;
}

int SyncFixture::Count(const std::string& line) const {
  const auto& lines = m_assembly->State().Log().Lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

}  // namespace cv2::test
