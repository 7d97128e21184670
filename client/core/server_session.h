#pragma once
// The server session of a run: the connect step, the dialogue with the update server as socket
// events, and the closed-session handling that hands the received update list to processing.
//
// The dialogue of a client that holds its user number U:
//   client  "cv2_hardware size=" + 8 upper-case hex digits + " user=" + U + " log" CR LF
//   server  "cv2_ready_for_buffer"            client sends the compressed report, raw
//   server  a command line with "size=N"      client switches to raw mode and answers
//                                             "cv2_ready_for_buffer"
//   server  N raw bytes (a zlib stream)       client answers "cv2_disconnect", the server closes
// Without a user number the client first says "get_user" and the server answers with a command
// line carrying "user=" and "pass=".
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <string>

#include "client_state.h"
#include "services.h"
#include "session_socket.h"

namespace cv2 {

enum class SessionState {
  Idle,          // no session yet in this run
  Connecting,    // waiting for the connected event
  AwaitAccount,  // "get_user" sent
  AwaitReady,    // the hardware line sent
  AwaitCommand,  // the report sent
  Receiving,     // raw mode, the announced buffer arriving
  Closing,       // "cv2_disconnect" sent
  Closed,        // the closed-session handling has run
};

class ServerSession : public SessionService, private SessionSocketEvents {
 public:
  // Limits on what the server may make the client hold.
  struct Limits {
    int32_t MaxAnnouncedSize = 64 * 1024 * 1024;     // a larger "size=" is a bad buffer
    size_t MaxDecompressedSize = 128 * 1024 * 1024;  // a larger content is a bad buffer
  };

  ServerSession(ClientState& state, SessionSocket& socket, RunControl& run,
                ProcessingService& processing);
  ~ServerSession() override;
  ServerSession(const ServerSession&) = delete;
  ServerSession& operator=(const ServerSession&) = delete;

  // SessionService
  bool Connect() override;
  void CloseSocket() override;

  // A session that makes no progress for this long ends as a socket error would (after
  // "cv2_disconnect" went out, the socket is just closed); 0 (the default) waits as long as the
  // socket does. Progress is the connection standing, the session reaching a state it had not
  // reached before, and bytes of the announced buffer arriving.
  void SetProgressTimeout(int milliseconds) { m_progressTimeout = milliseconds; }
  void SetLimits(const Limits& limits) { m_limits = limits; }

  SessionState State() const { return m_phase; }
  // True from a successful connect step until the closed-session handling has returned.
  bool Open() const { return m_open; }

 private:
  // Socket events.
  void SocketSessionConnected(int error) override;
  void SocketDataAvailable() override;
  void SocketSendData() override;
  void SocketSessionClosed() override;
  void SocketChangeState(SocketState oldState, SocketState newState) override;
  void SocketError() override;
  void SocketSocksError(const std::string& message) override;
  void SocketBgException(const std::string& message) override;

  void ApplyProxy();
  void LineReceived(const std::string& line);
  void CommandLine(const std::string& line);
  void RawReceived();
  void UpdateListReceived();
  void SupportAnswerReceived();
  void SummaryNotice();
  void SendLine(const std::string& line);
  void SendHardwareLine(const std::string& user);
  // "get_user" without a user number, else the hardware line announcing the report.
  void AskAccountOrAnnounce(const std::string& user);
  void CompressReport();
  void Enter(SessionState phase);
  void Progress();
  std::string Decompress();

  ClientState& m_state;
  SessionSocket& m_socket;
  RunControl& m_run;
  ProcessingService& m_processing;
  SocksSettings m_socks;  // the level stays as it was when the proxy setting names none
  Limits m_limits;
  SessionState m_phase = SessionState::Idle;
  unsigned m_reached = 0;  // the states reached in this session, as bits
  bool m_open = false;
  int m_progressTimeout = 0;
  QTimer m_progressTimer;
};

}  // namespace cv2
