#include "qt_session_socket.h"

#include <netdb.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxy>

#include "error.h"
#include "text_util.h"

namespace cv2 {

QtSessionSocket::QtSessionSocket() {
  m_socket.setProxy(QNetworkProxy::NoProxy);
  m_socket.setReadBufferSize(kReadBufferSize);
  connect(&m_socket, &QAbstractSocket::stateChanged, this,
          [this](QAbstractSocket::SocketState state) { OnStateChanged(state); });
  connect(&m_socket, &QAbstractSocket::connected, this, [this] { OnConnected(); });
  connect(&m_socket, &QIODevice::readyRead, this, [this] { OnReadyRead(); });
  connect(&m_socket, &QIODevice::bytesWritten, this, [this] { OnBytesWritten(); });
  connect(&m_socket, &QAbstractSocket::errorOccurred, this,
          [this](QAbstractSocket::SocketError error) { OnErrorOccurred(error); });
  connect(&m_socket, &QAbstractSocket::disconnected, this, [this] { OnDisconnected(); });
}

QtSessionSocket::~QtSessionSocket() {
  m_ignoreSignals = true;
  m_socket.disconnect();
  if (m_lookupId >= 0) QHostInfo::abortHostLookup(m_lookupId);
  m_socket.abort();
}

uint16_t QtSessionSocket::ParsePort(const std::string& text) {
  const std::string port = Trim(text);
  if (port.empty()) throw Error("No port specified");
  if (port.find_first_not_of("0123456789") == std::string::npos) {
    if (port.size() > 5) throw Error("Invalid port '" + port + "'");
    const int value = std::stoi(port);
    if (value < 1 || value > 65535) throw Error("Invalid port '" + port + "'");
    return static_cast<uint16_t>(value);
  }
  const servent* service = getservbyname(port.c_str(), "tcp");
  if (!service) throw Error("Unknown service '" + port + "'");
  return ntohs(static_cast<uint16_t>(service->s_port));
}

template <class Handler>
void QtSessionSocket::Fire(Handler&& handler) {
  if (!m_events) return;
  std::string failure;
  try {
    handler(*m_events);
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown exception";
  }
  // An error inside an event handler: the handler hears of it, then the session is aborted.
  try {
    m_events->SocketBgException(failure);
  } catch (...) {
  }
  Close();
}

void QtSessionSocket::ResetSocket() {
  ++m_generation;
  m_ignoreSignals = true;
  if (m_lookupId >= 0) QHostInfo::abortHostLookup(m_lookupId);
  m_lookupId = -1;
  m_socket.abort();
  m_ignoreSignals = false;
  m_buffer.Clear();
  m_buffer.SetLineMode(true);
  m_handshake.reset();
  m_open = m_established = m_closePosted = false;
  m_state = SocketState::Closed;
}

void QtSessionSocket::Connect(const std::string& address, const std::string& port,
                              const SocksSettings& socks) {
  const uint16_t serverPort = ParsePort(port);
  if (address.empty()) throw Error("No address specified");
  const bool useSocks = !socks.Host.empty();
  uint16_t proxyPort = 0;
  if (useSocks) {
    proxyPort = ParsePort(socks.Port);
    // Checks the level, the lengths and the fields before anything goes out.
    SocksHandshake check(socks, address, serverPort,
                         socks.Level == "4" ? std::optional<uint32_t>(0) : std::nullopt);
  }
  // A connection still open from an earlier request is dropped without its events.
  ResetSocket();
  m_host = address;
  m_port = serverPort;
  m_socks = socks;
  m_useSocks = useSocks;
  m_open = true;
  const std::string& target = useSocks ? socks.Host : address;
  m_socket.connectToHost(QString::fromStdString(target), useSocks ? proxyPort : serverPort);
}

void QtSessionSocket::SetState(SocketState state) {
  if (state == m_state) return;
  const SocketState old = m_state;
  m_state = state;
  Fire([&](SessionSocketEvents& e) { e.SocketChangeState(old, state); });
}

void QtSessionSocket::OnStateChanged(QAbstractSocket::SocketState state) {
  if (m_ignoreSignals || !m_open) return;
  switch (state) {
    case QAbstractSocket::UnconnectedState:
      SetState(SocketState::Closed);
      break;
    case QAbstractSocket::HostLookupState:
      SetState(SocketState::DnsLookup);
      break;
    case QAbstractSocket::ConnectingState:
      SetState(SocketState::Connecting);
      break;
    case QAbstractSocket::ConnectedState:
      SetState(m_useSocks ? SocketState::SocksConnected : SocketState::Connected);
      break;
    case QAbstractSocket::ClosingState:
      SetState(SocketState::Closing);
      break;
    default:
      break;
  }
}

void QtSessionSocket::OnConnected() {
  if (!Live()) return;
  m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  if (!m_useSocks) {
    Established();
    return;
  }
  auto ipv4 = SocksHandshake::ParseIpv4(m_host);
  if (m_socks.Level != "4" || ipv4) {
    StartSocks(ipv4);
    return;
  }
  // SOCKS 4 carries an IPv4 address only: the name is resolved here.
  const uint64_t generation = m_generation;
  m_lookupId = QHostInfo::lookupHost(
      QString::fromStdString(m_host), this, [this, generation](const QHostInfo& info) {
        m_lookupId = -1;
        if (generation != m_generation || !Live()) return;
        for (const QHostAddress& address : info.addresses()) {
          if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            StartSocks(address.toIPv4Address());
            return;
          }
        }
        FailSocks("SOCKS4 cannot resolve the host name '" + m_host + "'");
      });
}

void QtSessionSocket::StartSocks(std::optional<uint32_t> targetIpv4) {
  try {
    m_handshake = std::make_unique<SocksHandshake>(m_socks, m_host, m_port, targetIpv4);
  } catch (const std::exception& e) {
    FailSocks(e.what());
    return;
  }
  const std::string hello = m_handshake->Start();
  m_socket.write(hello.data(), static_cast<qint64>(hello.size()));
  if (m_socket.bytesAvailable() > 0) OnReadyRead();
}

void QtSessionSocket::Established() {
  m_established = true;
  SetState(SocketState::Connected);
  if (!Live()) return;
  Fire([](SessionSocketEvents& e) { e.SocketSessionConnected(0); });
  Deliver();
}

void QtSessionSocket::FailSocks(const std::string& message) {
  Fire([&](SessionSocketEvents& e) { e.SocketSocksError(message); });
  Close();
}

void QtSessionSocket::OnReadyRead() {
  if (!Live()) return;
  if (!m_established) {
    if (!m_handshake || m_handshake->GetStatus() != SocksHandshake::Status::InProgress) return;
    const QByteArray data = m_socket.readAll();
    std::string reply;
    const auto status = m_handshake->Feed(
        std::string_view(data.constData(), static_cast<size_t>(data.size())), reply);
    if (!reply.empty()) m_socket.write(reply.data(), static_cast<qint64>(reply.size()));
    if (status == SocksHandshake::Status::Failed) {
      FailSocks(m_handshake->ErrorMessage());
    } else if (status == SocksHandshake::Status::Done) {
      m_buffer.Append(m_handshake->TakeLeftover());
      Established();
    }
    return;
  }
  Deliver();
}

void QtSessionSocket::ReadRemaining() {
  const QByteArray data = m_socket.readAll();
  if (!data.isEmpty())
    m_buffer.Append(std::string_view(data.constData(), static_cast<size_t>(data.size())));
}

void QtSessionSocket::OnBytesWritten() {
  if (!Live() || !m_established) return;
  Fire([](SessionSocketEvents& e) { e.SocketSendData(); });
}

void QtSessionSocket::OnErrorOccurred(QAbstractSocket::SocketError error) {
  if (!Live()) return;
  if (m_established) {
    // The connection ended (closed by the peer or broken): what came before is still handed
    // out, then the session closes.
    OnDisconnected();
    return;
  }
  if (m_socket.state() == QAbstractSocket::ConnectedState || m_handshake || m_lookupId >= 0) {
    FailSocks("the SOCKS server closed the connection");
    return;
  }
  // A failed attempt is reported through the connected event, then the session closes.
  Fire([error](SessionSocketEvents& e) { e.SocketSessionConnected(static_cast<int>(error) + 1); });
  PostClosed();
}

void QtSessionSocket::OnDisconnected() {
  if (!Live()) return;
  if (!m_established) {
    FailSocks("the SOCKS server closed the connection");
    return;
  }
  ReadRemaining();
  Deliver();
  PostClosed();
}

void QtSessionSocket::Deliver() {
  if (m_delivering) return;
  m_delivering = true;
  // One line per data event in line mode; in raw mode everything at once. A handler may switch
  // the mode: what is still buffered is then handed out in the new mode.
  // Bytes are read from the socket only here, and not while a data event is running: a handler
  // that waits (the support answer) leaves the rest in the socket, and the peer's sending is held
  // back by TCP instead of filling memory.
  while (Live() && m_established) {
    const bool lineMode = m_buffer.LineMode();
    if (lineMode ? !m_buffer.HasLine() : m_buffer.Empty()) {
      if (m_socket.bytesAvailable() <= 0) break;
      ReadRemaining();
      continue;
    }
    const size_t before = m_buffer.Size();
    Fire([](SessionSocketEvents& e) { e.SocketDataAvailable(); });
    if (m_buffer.Size() == before && m_buffer.LineMode() == lineMode) break;  // nothing taken
  }
  m_delivering = false;
}

void QtSessionSocket::PostDeliver() {
  const uint64_t generation = m_generation;
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (generation == m_generation) Deliver();
      },
      Qt::QueuedConnection);
}

void QtSessionSocket::SetLineMode(bool on) {
  m_buffer.SetLineMode(on);
  // Outside a data event, bytes already buffered are handed out from the event loop.
  if (!m_delivering && Live() && m_established && (on ? m_buffer.HasLine() : !m_buffer.Empty()))
    PostDeliver();
}

bool QtSessionSocket::Send(std::string_view bytes) {
  if (!Live() || !m_established || m_socket.state() != QAbstractSocket::ConnectedState) {
    Fire([](SessionSocketEvents& e) { e.SocketError(); });
    return false;
  }
  const qint64 written = m_socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (written != static_cast<qint64>(bytes.size())) {
    Fire([](SessionSocketEvents& e) { e.SocketError(); });
    return false;
  }
  return true;
}

void QtSessionSocket::Close() {
  if (!m_open || m_closePosted) return;
  m_established = false;
  // The closed event is queued first, so that the socket's own signals while it goes down are
  // taken for what they are: only its change of state is still reported.
  PostClosed();
  if (m_lookupId >= 0) QHostInfo::abortHostLookup(m_lookupId);
  m_lookupId = -1;
  m_socket.abort();
}

void QtSessionSocket::PostClosed() {
  if (!m_open || m_closePosted) return;
  m_closePosted = true;
  const uint64_t generation = m_generation;
  QMetaObject::invokeMethod(
      this,
      [this, generation] {
        if (generation != m_generation || !m_open) return;
        m_open = false;
        m_established = false;
        if (m_socket.state() != QAbstractSocket::UnconnectedState) {
          m_ignoreSignals = true;
          m_socket.abort();
          m_ignoreSignals = false;
        }
        SetState(SocketState::Closed);
        Fire([](SessionSocketEvents& e) { e.SocketSessionClosed(); });
      },
      Qt::QueuedConnection);
}

}  // namespace cv2
