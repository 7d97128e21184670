#pragma once
// The session socket on QTcpSocket: no-delay TCP, our line and raw framing, and our SOCKS 4, 4a
// and 5 negotiation. Events reach the handler from the Qt event loop of the owning thread.
#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <memory>

#include "receive_buffer.h"
#include "session_socket.h"
#include "socks_handshake.h"

namespace cv2 {

class QtSessionSocket : public QObject, public SessionSocket {
 public:
  QtSessionSocket();
  ~QtSessionSocket() override;
  QtSessionSocket(const QtSessionSocket&) = delete;
  QtSessionSocket& operator=(const QtSessionSocket&) = delete;

  void SetEvents(SessionSocketEvents* events) override { m_events = events; }
  void Connect(const std::string& address, const std::string& port,
               const SocksSettings& socks) override;
  void SetLineMode(bool on) override;
  bool LineMode() const override { return m_buffer.LineMode(); }
  std::optional<std::string> ReceiveLine() override { return m_buffer.TakeLine(); }
  std::string ReceiveAll() override { return m_buffer.TakeAll(); }
  bool Send(std::string_view bytes) override;
  void Close() override;
  SocketState State() const override { return m_state; }

  // What the socket holds from the network before the session takes it.
  static constexpr qint64 kReadBufferSize = 64 * 1024;

  // A port given as a number or a service name; an unusable one raises an error.
  static uint16_t ParsePort(const std::string& text);

 private:
  void OnStateChanged(QAbstractSocket::SocketState state);
  void OnConnected();
  void OnReadyRead();
  void OnBytesWritten();
  void OnErrorOccurred(QAbstractSocket::SocketError error);
  void OnDisconnected();

  void StartSocks(std::optional<uint32_t> targetIpv4);
  void Established();
  void FailSocks(const std::string& message);
  void ReadRemaining();
  void Deliver();
  void PostDeliver();
  void PostClosed();
  void ResetSocket();
  void SetState(SocketState state);
  bool Live() const { return m_open && !m_closePosted && !m_ignoreSignals; }
  template <class Handler>
  void Fire(Handler&& handler);

  QTcpSocket m_socket;
  SessionSocketEvents* m_events = nullptr;
  ReceiveBuffer m_buffer;
  SocksSettings m_socks;
  bool m_useSocks = false;
  std::string m_host;
  uint16_t m_port = 0;
  std::unique_ptr<SocksHandshake> m_handshake;
  int m_lookupId = -1;
  SocketState m_state = SocketState::Closed;
  bool m_open = false;         // an attempt is under way and its closed event is still due
  bool m_established = false;  // connected to the server itself (after any SOCKS negotiation)
  bool m_closePosted = false;  // the closed event is queued: nothing else happens before it
  bool m_delivering = false;
  bool m_ignoreSignals = false;
  uint64_t m_generation = 0;  // events queued for an earlier attempt are dropped
};

}  // namespace cv2
