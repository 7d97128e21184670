#include "server_session.h"

#include "command_line.h"
#include "error.h"
#include "settings.h"
#include "settings_table.h"
#include "text_util.h"
#include "zlib_codec.h"

namespace cv2 {

namespace {

const Rgb kWarningColour{191, 64, 64};
const Rgb kInformationColour{51, 102, 153};

// The received buffer as text: up to its first zero byte, one entry per CR LF line. Record texts
// carry lone CR characters inside their values, so a lone CR never ends an entry.
std::vector<std::string> SplitEntries(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      entries.emplace_back(text.substr(start));
      break;
    }
    entries.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return entries;
}

}  // namespace

ServerSession::ServerSession(ClientState& state, SessionSocket& socket, RunControl& run,
                             ProcessingService& processing)
    : m_state(state), m_socket(socket), m_run(run), m_processing(processing) {
  m_socket.SetEvents(this);
  m_progressTimer.setSingleShot(true);
  QObject::connect(&m_progressTimer, &QTimer::timeout, [this] {
    if (!m_open || m_phase == SessionState::Closed) return;
    // The dialogue is over once "cv2_disconnect" went out: a server that does not close is
    // simply left. Anywhere else no progress for too long ends the session as a failed socket
    // operation would end it.
    if (m_phase == SessionState::Closing)
      m_socket.Close();
    else
      SocketError();
  });
}

ServerSession::~ServerSession() {
  m_socket.SetEvents(nullptr);
}

// The connect step: configures the socket and the proxies and requests the connection. It
// returns at once; the session goes on in the socket events.
bool ServerSession::Connect() {
  ClientState& s = m_state;
  const std::string port = ReadSettingString(s.Store(), "PortTXT");
  std::string address = ReadSettingString(s.Store(), "HostTXT");
  s.AppendLog("");
  s.AppendLog("");
  s.AppendLog(address);
  address = Trim(address);
  s.AppendLog("Connecting to the server");
  s.RunList.clear();
  try {
    s.ConnectFailed = true;
    s.NewCount = 0;
    s.SkippedCount = 0;
    ApplyProxy();
    m_reached = 0;
    m_phase = SessionState::Connecting;
    m_open = true;
    m_socket.Connect(address, port, m_socks);
  } catch (const std::exception&) {
    m_open = false;
    m_phase = SessionState::Idle;
    s.AppendLog("Error during connect call");
    return false;
  }
  Enter(SessionState::Connecting);
  return true;
}

// The proxy of the run, for the session socket and both download transports alike.
void ServerSession::ApplyProxy() {
  RegistryBackend& store = m_state.Store();
  ProxySettings& transports = m_state.Proxy;
  const int32_t kind = ReadSettingInteger(store, "ProxyCOMBO");
  if (kind == 0) {
    m_socks.Host.clear();
    transports.Enabled = false;
    transports.Host.clear();
    return;
  }
  // An address that is empty after trimming means a direct connection.
  m_socks.Host = Trim(ReadSettingString(store, "ProxyAddressTXT"));
  m_socks.Port = ReadSettingString(store, "ProxyPortTXT");
  const std::string user = ReadSettingString(store, "ProxyUserTXT");
  if (!user.empty()) {
    m_socks.User = user;
    m_socks.Password = ReadSettingString(store, "ProxyPassTXT");
  } else {
    m_socks.User.clear();
    m_socks.Password.clear();
  }
  switch (kind) {
    case 1:
      m_socks.Level = "4";
      break;
    case 2:
      m_socks.Level = "4a";
      break;
    case 3:
      m_socks.Level = "5";
      break;
    default:
      break;  // the level stays as it was
  }
  transports.Enabled = !m_socks.Host.empty();
  transports.Host = m_socks.Host;
  transports.Port = m_socks.Port;
  transports.Level = m_socks.Level;
  transports.User = m_socks.User;
  transports.Password = m_socks.Password;
}

void ServerSession::CloseSocket() {
  m_socket.Close();
}

void ServerSession::Enter(SessionState phase) {
  m_phase = phase;
  const unsigned bit = 1u << static_cast<unsigned>(phase);
  if (m_reached & bit) return;
  m_reached |= bit;
  Progress();
}

void ServerSession::Progress() {
  if (m_progressTimeout > 0 && m_open && m_phase != SessionState::Closed)
    m_progressTimer.start(m_progressTimeout);
}

void ServerSession::SendLine(const std::string& line) {
  m_socket.Send(line + "\r\n");
}

void ServerSession::CompressReport() {
  // The report travels as its lines, each followed by CR LF, in one zlib stream.
  std::string text;
  for (const auto& line : m_state.HardwareReport) {
    text += line;
    text += "\r\n";
  }
  m_state.ReportBuffer = ZlibCompress(text);
}

void ServerSession::SendHardwareLine(const std::string& user) {
  // The hardware line announces the bytes that the next "cv2_ready_for_buffer" sends. When the
  // report went out already (the server asked for the account again), it is compressed anew.
  if (!m_state.ReportBuffer) CompressReport();
  const auto size = static_cast<uint32_t>(m_state.ReportBuffer->size());
  SendLine("cv2_hardware size=" + HexUpper(size, 8) + " user=" + user + " log");
}

void ServerSession::SocketSessionConnected(int /*error*/) {
  // The error code is not looked at: a failed attempt runs this too, and its send then fails
  // into the socket error path.
  ClientState& s = m_state;
  Progress();
  s.Status().SetTrayAnimation(true);
  s.Status().SetCaption(Caption::StatusLBL, "Connected");
  if (ReadSettingString(s.Store(), "CompanyAlianceTXT").empty()) {
    const std::string company = s.Ui().SelectCompany();
    Registry reg(s.Store());
    if (reg.OpenKey(kSettingsKey, false)) {
      reg.WriteString("CompanyAlianceTXT", company);
      s.AppendLog("Aliance company set to: " + company);
    }
  }
  // The report is compressed once the connection stands and is held until the server asks for
  // it. A client without a user number asks for one first; otherwise it announces the report.
  CompressReport();
  AskAccountOrAnnounce(ReadSettingString(s.Store(), "User_licenceTXT"));
}

void ServerSession::AskAccountOrAnnounce(const std::string& user) {
  if (user.empty()) {
    SendLine("get_user");
    Enter(SessionState::AwaitAccount);
  } else {
    SendHardwareLine(user);
    Enter(SessionState::AwaitReady);
  }
}

void ServerSession::SocketDataAvailable() {
  m_state.Status().SetCaption(Caption::SearchStatusLBL, "Receiving");
  if (m_socket.LineMode()) {
    auto line = m_socket.ReceiveLine();
    if (line) LineReceived(Trim(*line));
  } else {
    RawReceived();
  }
}

void ServerSession::LineReceived(const std::string& line) {
  ClientState& s = m_state;
  if (line == "cv2_ready_for_buffer") {
    // The report is released also when the send fails. A second request finds it released and
    // sends nothing.
    if (s.ReportBuffer) {
      const std::string report = std::move(*s.ReportBuffer);
      s.ReportBuffer.reset();
      m_socket.Send(report);
    }
    Enter(SessionState::AwaitCommand);
    return;
  }
  if (line == "cv2_disconnect") {
    s.AppendLog("Server requested disconnection.");
    m_socket.Close();
    return;
  }
  if (line == "user_not_found") {
    // The stored account is unusable: it is dropped, and the same session asks for a new one.
    Registry reg(s.Store());
    if (reg.OpenKey(kSettingsKey, false)) {
      reg.DeleteValue("User_licenceTXT");
      reg.DeleteValue("User_passwordTXT");
    }
    SendLine("get_user");
    Enter(SessionState::AwaitAccount);
    return;
  }
  CommandLine(line);
}

void ServerSession::CommandLine(const std::string& line) {
  ClientState& s = m_state;
  s.SupportAnswerPending = false;
  const ServerCommand command = ParseCommandLine(line);
  s.SupportAnswerPending = command.SupportAnswer;
  // The tokens recognised before an unknown one still take effect; a send on the closed socket
  // then takes the socket error path.
  if (command.Unrecognised)
    m_run.StopTransfers("Unknown constant received from the server in command line");
  if (command.User && !ParseHex32(*command.User)) s.AppendLog("Username is not a valid integer");
  if (command.Size) {
    const auto size = ParseInt32(*command.Size);
    if (!size) {
      m_run.StopTransfers("Transmission Size variable is not a valid integer");
      return;
    }
    // A size beyond what the client will hold is a bad buffer: nothing is reserved for it.
    if (*size < 0 || *size > m_limits.MaxAnnouncedSize)
      throw Error("Announced buffer size out of range: " + std::to_string(*size));
    s.TransmissionSize = *size;
  }
  m_socket.SetLineMode(false);

  if (command.Pass) {
    // An account reply: the user number and its password are stored (the user number empty when
    // the line names none), and the session goes on in line mode: with the hardware line, or,
    // without a user number, by asking for one again. The user number is sent as it came.
    const std::string user = command.User.value_or("");
    Registry reg(s.Store());
    if (reg.OpenKey(kSettingsKey, false)) {
      reg.WriteString("User_licenceTXT", user);
      reg.WriteString("User_passwordTXT", *command.Pass);
    }
    m_socket.SetLineMode(true);
    AskAccountOrAnnounce(user);
    return;
  }

  if (s.TransmissionSize != 0)
    s.AppendLog("TransmissionSize set to: " + std::to_string(s.TransmissionSize));
  m_socket.SetLineMode(false);
  SendLine("cv2_ready_for_buffer");
  Enter(SessionState::Receiving);
}

void ServerSession::RawReceived() {
  ClientState& s = m_state;
  const std::string bytes = m_socket.ReceiveAll();
  if (!bytes.empty()) Progress();
  s.ReceiveStream += bytes;
  const auto expected = static_cast<size_t>(std::max<int32_t>(s.TransmissionSize, 0));
  if (s.ReceiveStream.size() > expected) {
    m_socket.SetLineMode(true);
    s.ReceiveStream.clear();
    s.AppendLog("Error - received size bigger then expected");
    m_run.StopTransfers("Error - received size bigger then expected");
    return;
  }
  if (s.ReceiveStream.size() < expected) return;
  if (s.SupportAnswerPending)
    SupportAnswerReceived();
  else
    UpdateListReceived();
}

std::string ServerSession::Decompress() {
  // A damaged stream or a content above the cap raises the error of a bad buffer.
  return ZlibDecompress(m_state.ReceiveStream, m_limits.MaxDecompressedSize);
}

void ServerSession::UpdateListReceived() {
  ClientState& s = m_state;
  m_socket.SetLineMode(true);
  s.ReportBuffer = Decompress();
  s.AppendLog("received support answer buffer");
  s.SockRcvMemo = SplitEntries(*s.ReportBuffer);
  s.ReportBuffer.reset();
  s.ConnectFailed = false;
  s.ReceiveStream.clear();
  m_socket.SetLineMode(true);
  SendLine("cv2_disconnect");
  Enter(SessionState::Closing);
}

void ServerSession::SupportAnswerReceived() {
  ClientState& s = m_state;
  StatusBoard& status = s.Status();
  SendLine("cv2_disconnect");
  Enter(SessionState::Closing);
  status.SetVisible(Visual::B_BtnUp, false);
  try {
    Registry reg(s.Store());
    if (reg.OpenKey(kSettingsKey, false)) reg.DeleteValue("SupportRequestPending");
    s.ReportBuffer = Decompress();
    const std::string answer = s.ReportBuffer->substr(0, s.ReportBuffer->find('\0'));
    s.AppendLog(answer);
    s.ConnectFailed = false;
    s.ReportBuffer.reset();
    s.ReceiveStream.clear();
    m_socket.SetLineMode(true);
    // The answer is shown with the main window disabled until the user has read it; the session
    // may end meanwhile.
    status.SetVisible(Visual::MainWindowEnabled, false);
    s.Ui().ShowTextMessage(answer, "");
  } catch (...) {
    status.SetVisible(Visual::MainWindowEnabled, true);
    status.SetVisible(Visual::B_BtnUp, true);
    s.ReceiveStream.clear();
    throw;
  }
  status.SetVisible(Visual::MainWindowEnabled, true);
  status.SetVisible(Visual::B_BtnUp, true);
  s.ReceiveStream.clear();
}

void ServerSession::SocketSendData() {
  m_state.Status().SetCaption(Caption::SearchStatusLBL, "Sending");
}

void ServerSession::SocketChangeState(SocketState, SocketState newState) {
  m_state.AppendLog("Socket change state");
  if (newState == SocketState::Closed)
    m_state.Status().SetCaption(Caption::StatusLBL, "Disconnected");
}

void ServerSession::SocketError() {
  ClientState& s = m_state;
  s.AppendLog("Error during connection to the server");
  s.ConnectFailed = true;
  m_run.StopTransfers("Socket Error");
  s.Status().SetCaption(Caption::SearchStatusLBL, "Error");
}

void ServerSession::SocketSocksError(const std::string& message) {
  m_state.AppendLog("Socks Error: " + message);
  m_state.ConnectFailed = true;
}

void ServerSession::SocketBgException(const std::string&) {
  // The socket aborts the session after this.
  m_state.ConnectFailed = true;
}

void ServerSession::SocketSessionClosed() {
  ClientState& s = m_state;
  m_progressTimer.stop();
  m_phase = SessionState::Closed;
  struct Done {
    bool& open;
    ~Done() { open = false; }
  } done{m_open};
  s.Status().SetTrayAnimation(false);
  s.Status().SetCaption(Caption::StatusLBL, "Disconnected");
  m_processing.WalkUpdateList();
  SummaryNotice();
  m_processing.ProcessRunList(true);
}

void ServerSession::SummaryNotice() {
  ClientState& s = m_state;
  std::string text;
  Rgb colour = kInformationColour;
  bool checkBox = true;
  if (s.ConnectFailed) {
    text =
        "Corvantis cannot connect to the server.  Please check your internet connection and "
        "firewall settings and try again at a later time.";
    colour = kWarningColour;
    checkBox = false;
  } else if (s.NewCount > 0) {
    text = "Congratulations - you've got " + std::to_string(s.NewCount) +
           " update(s)!  Follow the pop-up instructions as Corvantis takes you through the "
           "process of downloading and installing your updates.";
  } else if (s.SkippedCount > 0) {
    text = "No new updates this time.  In the past, Corvantis delivered " +
           std::to_string(s.SkippedCount) + " new updates to you.  Look for them in Your Updates.";
  } else {
    text =
        "No updates have been found for your system.  Please be sure to run Corvantis again "
        "within no more than thirty days to be certain you receive critical updates as they "
        "become available.";
  }
  // The notice counts as wanted when its setting is missing or unreadable.
  bool friendly = true;
  try {
    friendly = !ReadSettingBool(s.Store(), "ShowFriendlyMessagesCHK");
  } catch (const std::exception&) {
    friendly = true;
  }
  if (((s.ConnectFailed && s.Ui().IsMainWindowVisible()) || friendly) && !s.RepeatedRunMode)
    s.Ui().ShowNotice(text, colour, checkBox);
}

}  // namespace cv2
