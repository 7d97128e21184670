#pragma once
// The session socket port: an asynchronous TCP client with the line and raw framing of the server
// dialogue and a SOCKS client. The server session and the support desk each use one. Everything
// happens on the owning thread: the outcome of every call arrives later as an event.
#include <optional>
#include <string>
#include <string_view>

namespace cv2 {

// The SOCKS server of a connection.
struct SocksSettings {
  std::string Host;         // empty: a direct connection
  std::string Port;         // a number or a service name
  std::string Level = "5";  // "4", "4a" or "5"
  std::string User;         // empty: no authentication
  std::string Password;
};

enum class SocketState { Closed, DnsLookup, Connecting, SocksConnected, Connected, Closing };

// What the socket reports. Every event runs on the owning thread; an error raised by a handler
// goes to SocketBgException, after which the socket aborts the session.
class SessionSocketEvents {
 public:
  virtual ~SessionSocketEvents() = default;
  // The connection is established, or (error != 0) the attempt failed; a failed attempt is
  // followed by SocketSessionClosed.
  virtual void SocketSessionConnected(int error) = 0;
  // Line mode: one complete line waits (ReceiveLine). Raw mode: bytes wait (ReceiveAll).
  virtual void SocketDataAvailable() = 0;
  // Queued bytes went out.
  virtual void SocketSendData() = 0;
  // The session is over: once per connection attempt, after every other event of it.
  virtual void SocketSessionClosed() = 0;
  virtual void SocketChangeState(SocketState oldState, SocketState newState) = 0;
  // A socket operation failed, a send on a socket that is not connected included.
  virtual void SocketError() = 0;
  virtual void SocketSocksError(const std::string& message) = 0;
  virtual void SocketBgException(const std::string& message) = 0;
};

class SessionSocket {
 public:
  virtual ~SessionSocket() = default;
  virtual void SetEvents(SessionSocketEvents* events) = 0;
  // Requests a connection to address:port (the port a number or a service name), through the
  // SOCKS server when one is set. Values that cannot be used raise an error at once.
  virtual void Connect(const std::string& address, const std::string& port,
                       const SocksSettings& socks) = 0;
  // Line mode is on when a connection is requested.
  virtual void SetLineMode(bool on) = 0;
  virtual bool LineMode() const = 0;
  // Line mode: the next complete line with its CR LF; nothing when none waits.
  virtual std::optional<std::string> ReceiveLine() = 0;
  // Every byte waiting, possibly none.
  virtual std::string ReceiveAll() = 0;
  // Queues bytes. False when the socket is not connected; SocketError has then run.
  virtual bool Send(std::string_view bytes) = 0;
  // Ends the connection; SocketSessionClosed follows from the event loop.
  virtual void Close() = 0;
  virtual SocketState State() const = 0;
};

}  // namespace cv2
