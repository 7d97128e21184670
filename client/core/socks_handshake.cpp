#include "socks_handshake.h"

#include "error.h"

namespace cv2 {

namespace {

void PutPort(std::string& out, uint16_t port) {
  out += static_cast<char>(port >> 8);
  out += static_cast<char>(port & 0xFF);
}

void PutIpv4(std::string& out, uint32_t address) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((address >> shift) & 0xFF);
}

uint8_t Byte(const std::string& s, size_t i) {
  return static_cast<uint8_t>(s[i]);
}

std::string Socks5Reason(uint8_t code) {
  switch (code) {
    case 1:
      return "general SOCKS server failure";
    case 2:
      return "connection not allowed by ruleset";
    case 3:
      return "network unreachable";
    case 4:
      return "host unreachable";
    case 5:
      return "connection refused";
    case 6:
      return "TTL expired";
    case 7:
      return "command not supported";
    case 8:
      return "address type not supported";
    default:
      return "unknown reply code " + std::to_string(code);
  }
}

}  // namespace

std::optional<uint32_t> SocksHandshake::ParseIpv4(std::string_view text) {
  uint32_t address = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    uint32_t part = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      part = part * 10 + static_cast<uint32_t>(text[i] - '0');
      if (++digits > 3 || part > 255) return std::nullopt;
      ++i;
    }
    address = (address << 8) | part;
    if (++parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return address;
}

SocksHandshake::SocksHandshake(const SocksSettings& socks, std::string targetHost,
                               uint16_t targetPort, std::optional<uint32_t> targetIpv4)
    : m_socks(socks), m_host(std::move(targetHost)), m_port(targetPort), m_ipv4(targetIpv4) {
  if (!m_ipv4) m_ipv4 = ParseIpv4(m_host);
  if (socks.Level == "5")
    m_version = 5;
  else if (socks.Level == "4" || socks.Level == "4a")
    m_version = 4;
  else
    throw Error("Unknown SOCKS level '" + socks.Level + "'");
  m_socks4a = socks.Level == "4a" && !m_ipv4;
  if (m_version == 4 && !m_socks4a && !m_ipv4)
    throw Error("SOCKS 4 needs the IPv4 address of '" + m_host + "'");
  if (m_host.empty() || m_host.size() > 255) throw Error("Invalid host name for SOCKS");
  if (m_socks.User.size() > 255 || m_socks.Password.size() > 255)
    throw Error("SOCKS user name or password longer than 255 bytes");
  if (m_socks.User.find('\0') != std::string::npos || m_host.find('\0') != std::string::npos)
    throw Error("Invalid character in a SOCKS field");
}

std::string SocksHandshake::Start() {
  if (m_version == 4) {
    m_step = Step::Request;
    return ConnectRequest();
  }
  m_step = Step::Greeting;
  // With a user name both methods are offered, so a server without authentication still serves.
  if (m_socks.User.empty()) return std::string("\x05\x01\x00", 3);
  return std::string("\x05\x02\x00\x02", 4);
}

std::string SocksHandshake::ConnectRequest() const {
  std::string out;
  if (m_version == 4) {
    out += '\x04';
    out += '\x01';
    PutPort(out, m_port);
    // SOCKS 4a: the address 0.0.0.1 says that the host name follows the user id.
    PutIpv4(out, m_socks4a ? 1u : *m_ipv4);
    out += m_socks.User;
    out += '\0';
    if (m_socks4a) {
      out += m_host;
      out += '\0';
    }
    return out;
  }
  out += std::string("\x05\x01\x00", 3);
  if (m_ipv4) {
    out += '\x01';
    PutIpv4(out, *m_ipv4);
  } else {
    out += '\x03';
    out += static_cast<char>(m_host.size());
    out += m_host;
  }
  PutPort(out, m_port);
  return out;
}

SocksHandshake::Status SocksHandshake::Fail(std::string message) {
  m_status = Status::Failed;
  m_error = std::move(message);
  m_in.clear();
  return m_status;
}

SocksHandshake::Status SocksHandshake::Feed(std::string_view bytes, std::string& toSend) {
  if (m_status != Status::InProgress) {
    if (m_status == Status::Done) m_in.append(bytes);
    return m_status;
  }
  m_in.append(bytes);
  while (m_status == Status::InProgress) {
    if (m_version == 4) {
      if (m_in.size() < 8) return m_status;
      if (Byte(m_in, 0) != 0)
        return Fail("SOCKS4 server answered with version " + std::to_string(Byte(m_in, 0)));
      const uint8_t code = Byte(m_in, 1);
      if (code != 90) {
        if (code == 92) return Fail("SOCKS4 request rejected: the server cannot reach identd");
        if (code == 93) return Fail("SOCKS4 request rejected: the user id does not match");
        return Fail("SOCKS4 request rejected or failed (code " + std::to_string(code) + ")");
      }
      m_in.erase(0, 8);
      m_status = Status::Done;
      return m_status;
    }
    switch (m_step) {
      case Step::Greeting: {
        if (m_in.size() < 2) return m_status;
        if (Byte(m_in, 0) != 5)
          return Fail("SOCKS5 server answered with version " + std::to_string(Byte(m_in, 0)));
        const uint8_t method = Byte(m_in, 1);
        m_in.erase(0, 2);
        if (method == 0) {
          m_step = Step::Request;
          toSend += ConnectRequest();
        } else if (method == 2 && !m_socks.User.empty()) {
          m_step = Step::Authentication;
          toSend += '\x01';
          toSend += static_cast<char>(m_socks.User.size());
          toSend += m_socks.User;
          toSend += static_cast<char>(m_socks.Password.size());
          toSend += m_socks.Password;
        } else if (method == 0xFF) {
          return Fail(m_socks.User.empty()
                          ? "SOCKS5 server requires authentication"
                          : "SOCKS5 server accepts none of the authentication methods");
        } else {
          return Fail("SOCKS5 server chose an unsupported method " + std::to_string(method));
        }
        break;
      }
      case Step::Authentication: {
        if (m_in.size() < 2) return m_status;
        const uint8_t status = Byte(m_in, 1);
        m_in.erase(0, 2);
        if (status != 0) return Fail("SOCKS5 authentication failed");
        m_step = Step::Request;
        toSend += ConnectRequest();
        break;
      }
      case Step::Request: {
        if (m_in.size() < 5) return m_status;
        if (Byte(m_in, 0) != 5)
          return Fail("SOCKS5 server answered with version " + std::to_string(Byte(m_in, 0)));
        if (Byte(m_in, 1) != 0)
          return Fail("SOCKS5 request failed: " + Socks5Reason(Byte(m_in, 1)));
        size_t length;
        switch (Byte(m_in, 3)) {
          case 1:
            length = 4 + 4 + 2;
            break;
          case 3:
            length = 4 + 1 + Byte(m_in, 4) + 2;
            break;
          case 4:
            length = 4 + 16 + 2;
            break;
          default:
            return Fail("SOCKS5 reply with unknown address type");
        }
        if (m_in.size() < length) return m_status;
        m_in.erase(0, length);
        m_status = Status::Done;
        return m_status;
      }
    }
  }
  return m_status;
}

std::string SocksHandshake::TakeLeftover() {
  std::string leftover;
  leftover.swap(m_in);
  return leftover;
}

}  // namespace cv2
