#pragma once
// The embedded store: one SQLite file (WAL journal, so the operator's commands and any number
// of session threads can use it at once; every change is one transaction).
#include <memory>
#include <string>

#include "server_store.h"
#include "sqlite_database.h"

namespace cv2 {

class SqliteServerStore : public ServerStore {
 public:
  // Opens or creates the file. A file of another program is refused, never changed.
  explicit SqliteServerStore(const std::string& file, int busyTimeoutMs = 10000);
  ~SqliteServerStore() override;
  SqliteServerStore(const SqliteServerStore&) = delete;
  SqliteServerStore& operator=(const SqliteServerStore&) = delete;

  Account CreateUser() override;
  bool UserExists(uint32_t user) override;
  SupportOutcome AddSupportRequest(uint32_t user, const std::string& text) override;
  std::vector<SupportRequest> SupportRequests() override;
  std::optional<SupportRequest> FindSupportRequest(int64_t id) override;
  int64_t QueueSupportAnswer(uint32_t user, const std::string& text) override;
  std::vector<SupportAnswer> SupportAnswers() override;
  std::optional<SupportAnswer> PendingSupportAnswer(uint32_t user) override;
  void MarkSupportAnswerDelivered(int64_t answerId) override;
  int64_t CatalogueGeneration() override;
  std::vector<CatalogueEntry> LoadCatalogue() override;
  void PutEntries(const std::vector<CatalogueEntry>& entries, bool replaceAll) override;
  bool RemoveEntry(const std::string& baseKey) override;

 private:
  SqliteStatement& Cached(const char* sql);
  void BumpGeneration();

  SqliteDatabase m_db;
  // Prepared statements of the session path, kept for the life of the connection (declared after
  // the connection, so they are finalized before it closes).
  std::vector<std::pair<const char*, std::unique_ptr<SqliteStatement>>> m_cache;
};

// The file of the store inside a server data folder.
std::string StoreFile(const std::string& dataFolder);

}  // namespace cv2
