#pragma once
// Everything the server keeps between sessions: issued user numbers, support requests and
// answers, and the catalogue. Sessions hold no other state, so several server nodes can share
// one store (the embedded default is one SQLite file; a networked database can take its place
// behind this interface). One store object serves one thread at a time.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "error.h"

namespace cv2 {

class ServerStoreError : public Error {
 public:
  using Error::Error;
};

// A user number (hexadecimal on the wire, 1 to 7FFFFFFF) and the password issued with it.
struct Account {
  uint32_t User = 0;
  std::string Password;
};

struct SupportRequest {
  int64_t Id = 0;
  uint32_t User = 0;
  std::string Text;
  std::string Received;  // UTC, "YYYY-MM-DD HH:MM:SS"
  std::string State;     // "open", "replaced" (by a later request) or "answered"
};

struct SupportAnswer {
  int64_t Id = 0;
  uint32_t User = 0;
  std::string Text;
  std::string Queued;
  std::string Delivered;  // empty while waiting for the user's next session
};

enum class SupportOutcome { Added, Replaced };

class ServerStore {
 public:
  virtual ~ServerStore() = default;

  // Issues a new user number with a password of letters and digits.
  virtual Account CreateUser() = 0;
  virtual bool UserExists(uint32_t user) = 0;

  // Stores a request. An open request of the same user is replaced by it.
  virtual SupportOutcome AddSupportRequest(uint32_t user, const std::string& text) = 0;
  virtual std::vector<SupportRequest> SupportRequests() = 0;
  virtual std::optional<SupportRequest> FindSupportRequest(int64_t id) = 0;
  // Queues an answer for the user's next session and closes the user's open request.
  // Raises ServerStoreError when the user number was never issued.
  virtual int64_t QueueSupportAnswer(uint32_t user, const std::string& text) = 0;
  virtual std::vector<SupportAnswer> SupportAnswers() = 0;
  // The oldest answer not yet delivered to the user.
  virtual std::optional<SupportAnswer> PendingSupportAnswer(uint32_t user) = 0;
  virtual void MarkSupportAnswerDelivered(int64_t answerId) = 0;

  // A number that changes with every change of the catalogue.
  virtual int64_t CatalogueGeneration() = 0;
  // The entries in the order they were first added.
  virtual std::vector<CatalogueEntry> LoadCatalogue() = 0;
  // Adds entries in one transaction; an entry with the BaseKey of an existing one replaces it.
  // With replaceAll, every entry not in the list is removed as well.
  virtual void PutEntries(const std::vector<CatalogueEntry>& entries, bool replaceAll) = 0;
  // False when there is no entry with that BaseKey.
  virtual bool RemoveEntry(const std::string& baseKey) = 0;
};

}  // namespace cv2
