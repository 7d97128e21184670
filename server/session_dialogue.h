#pragma once
// The server's side of one client session, without any I/O: bytes in, bytes out.
//
//   client                                   server
//   "get_user"                         ->    "user=XXXXXXXX pass=…"       (a new account)
//   "cv2_hardware size=S user=U log"   ->    "cv2_ready_for_buffer"       (or "user_not_found")
//   S bytes: the zlib report           ->    "size=N" then, after the client's
//   "cv2_ready_for_buffer"             ->    N bytes: the zlib update list
//   "cv2_disconnect"                   ->    (closes)
//
// When an operator's answer to a support request waits for the user, the line after the report
// is "cv2_support_request size=N" and the buffer holds the answer; the update list comes in the
// session after. The support exchange:
//
//   "cv2_support_request size=S user=U" ->   "cv2_ready_for_buffer"       (or "user_not_found")
//   S bytes: the zlib request           ->   "cv2_support_request_added"  (or "…_removed" when
//                                            it replaces an open request of the user)
//   "cv2_disconnect"                    ->   "cv2_disconnect", then closes
//
// Every line ends with CR LF. Everything from the client is untrusted: announced sizes are
// checked against the limits before anything is kept, buffers are decompressed with a cap, and
// a line the dialogue does not expect ends the session with a log line.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue_cache.h"
#include "server_log.h"
#include "server_store.h"

namespace cv2 {

// The bytes of client buffers all sessions together may hold at once: a session takes its
// announced size from it before receiving, and gives it back when the buffer is done.
class BufferBudget {
 public:
  explicit BufferBudget(size_t total) : m_left(total) {}
  bool Take(size_t bytes) {
    size_t left = m_left.load();
    do {
      if (left < bytes) return false;
    } while (!m_left.compare_exchange_weak(left, left - bytes));
    return true;
  }
  void Give(size_t bytes) { m_left += bytes; }

 private:
  std::atomic<size_t> m_left;
};

struct DialogueLimits {
  size_t MaxLine = 1024;           // bytes of one client line
  size_t MaxBuffer = 8u << 20;     // compressed bytes a client may announce
  size_t MaxText = 64u << 20;      // a report or request after decompression
  int MaxNewUsers = 4;             // "get_user" answered in one session
  BufferBudget* Budget = nullptr;  // shared by the sessions of a server; none: no overall bound
};

class SessionDialogue {
 public:
  // peer names the client in log lines; packagesUrl replaces the placeholder in the scripts.
  SessionDialogue(ServerStore& store, CatalogueCache& catalogue, ServerLog& log,
                  const DialogueLimits& limits, std::string peer, std::string packagesUrl);
  ~SessionDialogue();
  SessionDialogue(SessionDialogue&& other) noexcept;
  SessionDialogue(const SessionDialogue&) = delete;
  SessionDialogue& operator=(const SessionDialogue&) = delete;
  SessionDialogue& operator=(SessionDialogue&&) = delete;

  // Takes bytes from the client; what to send back collects in Output().
  void Receive(std::string_view bytes);
  // Bytes to send; the caller removes what it has sent.
  std::string& Output() { return m_out; }
  // The session is over: send what Output() holds, then close.
  bool Finished() const { return m_state == State::Finished; }

  // The client closed its side, or it was silent too long: logged when the dialogue was not done.
  void PeerClosed();
  void TimedOut(const std::string& why);

 private:
  enum class State {
    Hello,
    ReceivingReport,
    ReceivingRequest,
    AwaitReady,
    AwaitDisconnect,
    Finished
  };

  void HandleLine(const std::string& line);
  void Announcement(const std::string& line, bool support);
  void BufferComplete();
  void ReportComplete(const std::string& text);
  void RequestComplete(const std::string& text);
  void Send(const std::string& line);
  void ReleaseBudget();
  void End(const std::string& why);
  const char* StateName() const;
  std::string UserText() const;

  ServerStore& m_store;
  CatalogueCache& m_catalogue;
  ServerLog& m_log;
  const DialogueLimits& m_limits;
  std::string m_peer;
  std::string m_packagesUrl;

  State m_state = State::Hello;
  std::string m_line;     // a line not yet ended
  std::string m_buffer;   // the client's buffer while it arrives
  size_t m_expected = 0;  // its announced size
  size_t m_budgeted = 0;  // what this session holds of the shared budget
  uint32_t m_user = 0;
  bool m_support = false;  // a support exchange: "cv2_disconnect" is answered in kind
  int m_newUsers = 0;
  std::string m_payload;   // the buffer to send on "cv2_ready_for_buffer"
  int64_t m_answerId = 0;  // the support answer in m_payload, 0 for an update list
  std::string m_out;
};

}  // namespace cv2
