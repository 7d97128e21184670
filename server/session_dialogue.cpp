#include "session_dialogue.h"

#include <utility>

#include "report.h"
#include "text_util.h"
#include "zlib_codec.h"

namespace cv2 {

namespace {
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32) ++i;
    size_t start = i;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

// The value of a "name=value" word, the name compared without regard to case.
const std::string* Value(const std::vector<std::string>& words, std::string_view name,
                         std::string& holder) {
  for (size_t i = 1; i < words.size(); ++i)
    if (words[i].size() >= name.size() && IStartsWith(words[i], name)) {
      holder = words[i].substr(name.size());
      return &holder;
    }
  return nullptr;
}
}  // namespace

SessionDialogue::SessionDialogue(ServerStore& store, CatalogueCache& catalogue, ServerLog& log,
                                 const DialogueLimits& limits, std::string peer,
                                 std::string packagesUrl)
    : m_store(store),
      m_catalogue(catalogue),
      m_log(log),
      m_limits(limits),
      m_peer(std::move(peer)),
      m_packagesUrl(std::move(packagesUrl)) {}

SessionDialogue::~SessionDialogue() {
  ReleaseBudget();
}

SessionDialogue::SessionDialogue(SessionDialogue&& other) noexcept
    : m_store(other.m_store),
      m_catalogue(other.m_catalogue),
      m_log(other.m_log),
      m_limits(other.m_limits),
      m_peer(std::move(other.m_peer)),
      m_packagesUrl(std::move(other.m_packagesUrl)),
      m_state(other.m_state),
      m_line(std::move(other.m_line)),
      m_buffer(std::move(other.m_buffer)),
      m_expected(other.m_expected),
      m_budgeted(std::exchange(other.m_budgeted, 0)),
      m_user(other.m_user),
      m_support(other.m_support),
      m_newUsers(other.m_newUsers),
      m_payload(std::move(other.m_payload)),
      m_answerId(other.m_answerId),
      m_out(std::move(other.m_out)) {}

void SessionDialogue::ReleaseBudget() {
  if (m_budgeted && m_limits.Budget) m_limits.Budget->Give(m_budgeted);
  m_budgeted = 0;
}

void SessionDialogue::Receive(std::string_view data) {
  try {
    size_t pos = 0;
    while (pos < data.size() && !Finished()) {
      if (m_state == State::ReceivingReport || m_state == State::ReceivingRequest) {
        // Raw bytes: exactly the announced number, then lines again. The buffer grows with what
        // arrives; nothing is reserved on the strength of the announcement.
        const size_t take = std::min(m_expected - m_buffer.size(), data.size() - pos);
        m_buffer.append(data.substr(pos, take));
        pos += take;
        if (m_buffer.size() == m_expected) BufferComplete();
        continue;
      }
      const size_t nl = data.find('\n', pos);
      const size_t end = nl == std::string_view::npos ? data.size() : nl;
      if (m_line.size() + (end - pos) > m_limits.MaxLine) {
        End("line longer than " + std::to_string(m_limits.MaxLine) + " bytes: \"" +
            Printable(m_line + std::string(data.substr(pos, std::min<size_t>(end - pos, 80)))) +
            "\"");
        break;
      }
      m_line.append(data.substr(pos, end - pos));
      if (nl == std::string_view::npos) break;
      pos = nl + 1;
      std::string line = Trim(m_line);
      m_line.clear();
      HandleLine(line);
    }
  } catch (const std::exception& e) {
    // A store failure or anything unforeseen ends this session only.
    End(std::string("session failed: ") + e.what());
  }
}

void SessionDialogue::HandleLine(const std::string& line) {
  if (line.empty()) return;
  const std::vector<std::string> words = Words(line);
  const std::string command = AsciiLower(words.front());
  switch (m_state) {
    case State::Hello:
      if (command == "get_user" && words.size() == 1) {
        if (++m_newUsers > m_limits.MaxNewUsers) {
          End("asked for more than " + std::to_string(m_limits.MaxNewUsers) + " user numbers");
          return;
        }
        const Account account = m_store.CreateUser();
        m_user = account.User;
        Send("user=" + HexUpper(account.User, 8) + " pass=" + account.Password);
        m_log.Line("session " + m_peer + ": issued user " + HexUpper(account.User, 8));
        return;
      }
      if (command == "cv2_hardware" || command == "cv2_support_request") {
        Announcement(line, command == "cv2_support_request");
        return;
      }
      if (command == "cv2_disconnect" && words.size() == 1) {
        if (m_support) Send("cv2_disconnect");
        m_state = State::Finished;
        return;
      }
      break;
    case State::AwaitReady:
      if (command == "cv2_ready_for_buffer" && words.size() == 1) {
        m_out += m_payload;
        m_payload.clear();
        m_payload.shrink_to_fit();
        m_state = State::AwaitDisconnect;
        return;
      }
      if (command == "cv2_disconnect" && words.size() == 1) {
        End(std::string("client left before taking the ") +
            (m_answerId ? "support answer" : "update list"));
        return;
      }
      break;
    case State::AwaitDisconnect:
      if (command == "cv2_disconnect" && words.size() == 1) {
        if (m_answerId) {
          m_store.MarkSupportAnswerDelivered(m_answerId);
          m_log.Line("session " + m_peer + ": support answer " + std::to_string(m_answerId) +
                     " delivered to user " + UserText());
        }
        if (m_support) Send("cv2_disconnect");
        m_state = State::Finished;
        return;
      }
      break;
    default:
      break;
  }
  End(std::string("unexpected line while ") + StateName() + ": \"" + Printable(line) + "\"");
}

void SessionDialogue::Announcement(const std::string& line, bool support) {
  const std::vector<std::string> words = Words(line);
  m_support = m_support || support;
  std::string holder;
  const std::string* size = Value(words, "size=", holder);
  const auto announced = size ? ParseHex32(*size) : std::nullopt;
  if (!announced) {
    End("announcement without a hexadecimal size: \"" + Printable(line) + "\"");
    return;
  }
  std::string userHolder;
  const std::string* userText = Value(words, "user=", userHolder);
  const auto user = userText ? ParseHex32(*userText) : std::nullopt;
  if (!user || *user == 0 || *user > 0x7FFFFFFF || !m_store.UserExists(*user)) {
    Send("user_not_found");
    m_log.Line("session " + m_peer + ": user \"" + (userText ? Printable(*userText) : "") +
               "\" not found");
    return;
  }
  m_user = *user;
  if (*announced == 0 || *announced > m_limits.MaxBuffer) {
    End("user " + UserText() + " announced " + std::to_string(*announced) +
        " bytes; the limit is " + std::to_string(m_limits.MaxBuffer));
    return;
  }
  if (m_limits.Budget) {
    if (!m_limits.Budget->Take(*announced)) {
      End("user " + UserText() + " announced " + std::to_string(*announced) +
          " bytes while the server holds as many buffers as it takes");
      return;
    }
    m_budgeted = *announced;
  }
  m_expected = *announced;
  m_buffer.clear();
  m_state = support ? State::ReceivingRequest : State::ReceivingReport;
  Send("cv2_ready_for_buffer");
}

void SessionDialogue::BufferComplete() {
  std::string text;
  const bool report = m_state == State::ReceivingReport;
  try {
    text = ZlibDecompress(m_buffer, m_limits.MaxText);
  } catch (const ZlibError& e) {
    End(std::string(report ? "report" : "support request") + " of user " + UserText() +
        " does not decompress: " + e.what());
    return;
  }
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  ReleaseBudget();
  if (report)
    ReportComplete(text);
  else
    RequestComplete(text);
}

void SessionDialogue::ReportComplete(const std::string& text) {
  Report report;
  try {
    report = ParseReport(text);
  } catch (const ReportError& e) {
    End("report of user " + UserText() + " does not parse: " + e.what());
    return;
  }
  std::string summary = "session " + m_peer + ": report of user " + UserText() + ", " +
                        std::to_string(m_expected) + " -> " + std::to_string(text.size()) +
                        " bytes, " + std::to_string(report.Records.size()) + " records";
  for (const auto& [keyword, value] : report.Keywords)
    summary += ", " + keyword + (value.empty() ? "" : " \"" + Printable(value, 60) + "\"");
  if (auto answer = m_store.PendingSupportAnswer(m_user)) {
    m_payload = ZlibCompress(answer->Text);
    m_answerId = answer->Id;
    summary += "; support answer " + std::to_string(answer->Id) + " sent instead of updates";
    m_log.Line(summary);
    Send("cv2_support_request size=" + std::to_string(m_payload.size()));
  } else {
    MatchSummary match;
    const auto catalogue = m_catalogue.Get(m_store);
    m_payload = ZlibCompress(catalogue->UpdateList(report, m_packagesUrl, &match));
    summary += "; " + std::to_string(match.Matched) + " matched, " + std::to_string(match.Offered) +
               " offered";
    if (match.TooLong) summary += ", " + std::to_string(match.TooLong) + " too long to send";
    m_log.Line(summary);
    Send("size=" + std::to_string(m_payload.size()));
  }
  m_state = State::AwaitReady;
}

void SessionDialogue::RequestComplete(const std::string& text) {
  const SupportOutcome outcome = m_store.AddSupportRequest(m_user, text);
  m_log.Line("session " + m_peer + ": support request of user " + UserText() + " (" +
             std::to_string(text.size()) + " bytes) stored" +
             (outcome == SupportOutcome::Replaced ? ", replacing the open one" : ""));
  Send(outcome == SupportOutcome::Replaced ? "cv2_support_request_removed"
                                           : "cv2_support_request_added");
  m_state = State::AwaitDisconnect;
}

void SessionDialogue::Send(const std::string& line) {
  m_out += line;
  m_out += "\r\n";
}

void SessionDialogue::End(const std::string& why) {
  m_log.Line("session " + m_peer + ": " + why + "; session ended");
  m_state = State::Finished;
  m_payload.clear();
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  ReleaseBudget();
}

void SessionDialogue::PeerClosed() {
  if (Finished()) return;
  if (m_state == State::Hello && m_user == 0 && m_line.empty()) {
    m_state = State::Finished;  // connected and left without a word: nothing to report
    return;
  }
  End(std::string("client closed the connection while ") + StateName());
}

void SessionDialogue::TimedOut(const std::string& why) {
  if (!Finished()) End(why + " while " + StateName());
}

const char* SessionDialogue::StateName() const {
  switch (m_state) {
    case State::Hello:
      return "waiting for its first line";
    case State::ReceivingReport:
      return "receiving its report";
    case State::ReceivingRequest:
      return "receiving its support request";
    case State::AwaitReady:
      return "waiting for it to be ready for the buffer";
    case State::AwaitDisconnect:
      return "waiting for its disconnect";
    case State::Finished:
      return "finished";
  }
  return "";
}

std::string SessionDialogue::UserText() const {
  return HexUpper(m_user, 8);
}

}  // namespace cv2
