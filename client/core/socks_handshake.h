#pragma once
// The client side of a SOCKS negotiation (levels 4, 4a and 5, no authentication or user name and
// password), as bytes in and bytes out, so that any transport can drive it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "session_socket.h"

namespace cv2 {

class SocksHandshake {
 public:
  enum class Status { InProgress, Done, Failed };

  // targetHost is the address as configured (a name or a dotted IPv4 address). Level "4" carries
  // only an IPv4 address: the caller resolves a name first and passes targetIpv4 (host order).
  // Settings that cannot be sent (a name, user or password longer than 255 bytes, an unknown
  // level, level 4 without an address) raise an error.
  SocksHandshake(const SocksSettings& socks, std::string targetHost, uint16_t targetPort,
                 std::optional<uint32_t> targetIpv4 = std::nullopt);

  // The first bytes to send once the connection to the SOCKS server stands.
  std::string Start();
  // Takes bytes from the SOCKS server; appends to toSend what must go out next.
  Status Feed(std::string_view bytes, std::string& toSend);
  Status GetStatus() const { return m_status; }
  // The reason of a failure, for the log.
  const std::string& ErrorMessage() const { return m_error; }
  // Bytes that arrived after the server's final reply: the start of the session's own data.
  std::string TakeLeftover();

  // The dotted IPv4 address in text, when the text is one.
  static std::optional<uint32_t> ParseIpv4(std::string_view text);

 private:
  enum class Step { Greeting, Authentication, Request };
  Status Fail(std::string message);
  std::string ConnectRequest() const;

  int m_version;  // 4 or 5
  bool m_socks4a = false;
  SocksSettings m_socks;
  std::string m_host;
  uint16_t m_port;
  std::optional<uint32_t> m_ipv4;
  Step m_step = Step::Greeting;
  Status m_status = Status::InProgress;
  std::string m_in;
  std::string m_error;
};

}  // namespace cv2
