#include "sqlite_server_store.h"

#include <sys/random.h>

#include <algorithm>
#include <ctime>

#include "paths.h"

namespace cv2 {

namespace {
// Marks the file as a Corvantis server store ("CV2D").
constexpr int kApplicationId = 0x43563244;

const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(
  key TEXT PRIMARY KEY,
  value INTEGER NOT NULL);
INSERT OR IGNORE INTO meta(key, value) VALUES('catalogue_generation', 1);
CREATE TABLE IF NOT EXISTS entries(
  id INTEGER PRIMARY KEY,
  base_key TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS entry_fields(
  entry_id INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(entry_id, name));
CREATE TABLE IF NOT EXISTS entry_ids(
  entry_id INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  hwid TEXT NOT NULL,
  PRIMARY KEY(entry_id, position));
CREATE TABLE IF NOT EXISTS entry_conditions(
  entry_id INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  keyword TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(entry_id, position));
CREATE TABLE IF NOT EXISTS users(
  number INTEGER PRIMARY KEY,
  password TEXT NOT NULL,
  created TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS support_requests(
  id INTEGER PRIMARY KEY,
  user INTEGER NOT NULL REFERENCES users(number),
  text BLOB NOT NULL,
  received TEXT NOT NULL,
  state TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS support_requests_user ON support_requests(user, state);
CREATE TABLE IF NOT EXISTS support_answers(
  id INTEGER PRIMARY KEY,
  user INTEGER NOT NULL REFERENCES users(number),
  text BLOB NOT NULL,
  queued TEXT NOT NULL,
  delivered TEXT);
CREATE INDEX IF NOT EXISTS support_answers_pending ON support_answers(user) WHERE delivered IS NULL;
)sql";

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

void RandomBytes(void* data, size_t size) {
  auto* p = static_cast<unsigned char*>(data);
  while (size > 0) {
    ssize_t n = getrandom(p, size, 0);
    if (n < 0) throw ServerStoreError("cannot draw random numbers");
    p += n;
    size -= static_cast<size_t>(n);
  }
}

[[noreturn]] void RaiseServerStoreError(const SqliteFault& fault) {
  const std::string store = "The server store '" + fault.File + "'";
  if (fault.Kind == SqliteFaultKind::CannotOpen)
    throw ServerStoreError(store + " cannot be opened: " + fault.Why);
  if (fault.Kind == SqliteFaultKind::Foreign)
    throw ServerStoreError(store +
                           " cannot be used: it is a database of another program. It was left "
                           "as it is.");
  throw ServerStoreError(store + ": " + fault.What + ": " + fault.Why);
}
}  // namespace

std::string StoreFile(const std::string& dataFolder) {
  return JoinPath(dataFolder, "catalogue.db");
}

// A cached statement is reset when its use ends, so that no read stays open on an old snapshot.
struct ResetOnExit {
  SqliteStatement& Stmt;
  ~ResetOnExit() { Stmt.Reset(); }
};

SqliteServerStore::SqliteServerStore(const std::string& file, int busyTimeoutMs)
    : m_db(file, {.ApplicationId = kApplicationId,
                  .Schema = kSchema,
                  .EveryOpen = "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL",
                  .BusyTimeoutMs = busyTimeoutMs,
                  .Raise = RaiseServerStoreError}) {}

SqliteServerStore::~SqliteServerStore() = default;

SqliteStatement& SqliteServerStore::Cached(const char* sql) {
  for (auto& [text, stmt] : m_cache)
    if (text == sql) {
      stmt->Reset();
      return *stmt;
    }
  m_cache.emplace_back(sql, std::make_unique<SqliteStatement>(m_db, sql));
  return *m_cache.back().second;
}

Account SqliteServerStore::CreateUser() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 64; ++attempt) {
    uint32_t number = 0;
    RandomBytes(&number, sizeof number);
    number &= 0x7FFFFFFF;
    if (number == 0) continue;
    unsigned char raw[16];
    RandomBytes(raw, sizeof raw);
    Account account{number, {}};
    for (unsigned char b : raw) account.Password += kAlphabet[b % (sizeof kAlphabet - 1)];
    SqliteStatement& insert =
        Cached("INSERT OR IGNORE INTO users(number, password, created) VALUES(?, ?, ?)");
    ResetOnExit resetinsert{insert};
    insert.Int(1, number).Text(2, account.Password).Text(3, UtcNow());
    insert.Step();
    if (m_db.Changes() == 1) return account;
  }
  throw ServerStoreError("cannot issue a new user number");
}

bool SqliteServerStore::UserExists(uint32_t user) {
  SqliteStatement& q = Cached("SELECT 1 FROM users WHERE number = ?");
  ResetOnExit resetq{q};
  q.Int(1, user);
  return q.Step();
}

SupportOutcome SqliteServerStore::AddSupportRequest(uint32_t user, const std::string& text) {
  SqliteTransaction tx(m_db);
  SqliteStatement replace(
      m_db, "UPDATE support_requests SET state = 'replaced' WHERE user = ? AND state = 'open'");
  replace.Int(1, user).Step();
  const bool replaced = m_db.Changes() > 0;
  SqliteStatement insert(
      m_db, "INSERT INTO support_requests(user, text, received, state) VALUES(?, ?, ?, 'open')");
  insert.Int(1, user).Blob(2, text).Text(3, UtcNow()).Step();
  tx.Commit();
  return replaced ? SupportOutcome::Replaced : SupportOutcome::Added;
}

std::vector<SupportRequest> SqliteServerStore::SupportRequests() {
  std::vector<SupportRequest> out;
  SqliteStatement q(m_db,
                    "SELECT id, user, text, received, state FROM support_requests ORDER BY id");
  while (q.Step())
    out.push_back(SupportRequest{q.Integer(0), static_cast<uint32_t>(q.Integer(1)), q.Bytes(2),
                                 q.Bytes(3), q.Bytes(4)});
  return out;
}

std::optional<SupportRequest> SqliteServerStore::FindSupportRequest(int64_t id) {
  SqliteStatement q(m_db,
                    "SELECT id, user, text, received, state FROM support_requests WHERE id = ?");
  q.Int(1, id);
  if (!q.Step()) return std::nullopt;
  return SupportRequest{q.Integer(0), static_cast<uint32_t>(q.Integer(1)), q.Bytes(2), q.Bytes(3),
                        q.Bytes(4)};
}

int64_t SqliteServerStore::QueueSupportAnswer(uint32_t user, const std::string& text) {
  SqliteTransaction tx(m_db);
  {
    SqliteStatement known(m_db, "SELECT 1 FROM users WHERE number = ?");
    known.Int(1, user);
    if (!known.Step())
      throw ServerStoreError("no user number " + std::to_string(user) + " was issued");
  }
  SqliteStatement close(
      m_db, "UPDATE support_requests SET state = 'answered' WHERE user = ? AND state = 'open'");
  close.Int(1, user).Step();
  SqliteStatement insert(m_db, "INSERT INTO support_answers(user, text, queued) VALUES(?, ?, ?)");
  insert.Int(1, user).Blob(2, text).Text(3, UtcNow()).Step();
  const int64_t id = m_db.LastInsertId();
  tx.Commit();
  return id;
}

std::vector<SupportAnswer> SqliteServerStore::SupportAnswers() {
  std::vector<SupportAnswer> out;
  SqliteStatement q(m_db,
                    "SELECT id, user, text, queued, delivered FROM support_answers ORDER BY id");
  while (q.Step())
    out.push_back(SupportAnswer{q.Integer(0), static_cast<uint32_t>(q.Integer(1)), q.Bytes(2),
                                q.Bytes(3), q.IsNull(4) ? "" : q.Bytes(4)});
  return out;
}

std::optional<SupportAnswer> SqliteServerStore::PendingSupportAnswer(uint32_t user) {
  SqliteStatement& q = Cached(
      "SELECT id, user, text, queued FROM support_answers WHERE user = ? AND delivered IS NULL "
      "ORDER BY id LIMIT 1");
  ResetOnExit resetq{q};
  q.Int(1, user);
  if (!q.Step()) return std::nullopt;
  return SupportAnswer{q.Integer(0), static_cast<uint32_t>(q.Integer(1)), q.Bytes(2), q.Bytes(3),
                       ""};
}

void SqliteServerStore::MarkSupportAnswerDelivered(int64_t answerId) {
  SqliteStatement& q =
      Cached("UPDATE support_answers SET delivered = ? WHERE id = ? AND delivered IS NULL");
  ResetOnExit resetq{q};
  q.Text(1, UtcNow()).Int(2, answerId).Step();
}

int64_t SqliteServerStore::CatalogueGeneration() {
  SqliteStatement& q = Cached("SELECT value FROM meta WHERE key = 'catalogue_generation'");
  ResetOnExit resetq{q};
  return q.Step() ? q.Integer(0) : 0;
}

void SqliteServerStore::BumpGeneration() {
  m_db.Exec("UPDATE meta SET value = value + 1 WHERE key = 'catalogue_generation'");
}

std::vector<CatalogueEntry> SqliteServerStore::LoadCatalogue() {
  // One read transaction, so that the entries and their parts are of one state.
  SqliteTransaction tx(m_db, SqliteTransaction::Mode::Deferred);
  std::vector<CatalogueEntry> entries;
  std::vector<int64_t> ids;
  {
    SqliteStatement q(m_db, "SELECT id, base_key FROM entries ORDER BY id");
    while (q.Step()) {
      ids.push_back(q.Integer(0));
      entries.emplace_back();
      entries.back().Fields.BaseKey = q.Bytes(1);
    }
  }
  auto indexOf = [&](int64_t id) -> CatalogueEntry* {
    auto it = std::lower_bound(ids.begin(), ids.end(), id);
    return it != ids.end() && *it == id ? &entries[static_cast<size_t>(it - ids.begin())] : nullptr;
  };
  {
    SqliteStatement q(m_db, "SELECT entry_id, name, value FROM entry_fields");
    while (q.Step())
      if (CatalogueEntry* e = indexOf(q.Integer(0)))
        if (std::string* field = e->Fields.FieldByName(q.Bytes(1));
            field && q.Bytes(1) != "BaseKey")
          *field = q.Bytes(2);
  }
  {
    SqliteStatement q(m_db, "SELECT entry_id, hwid FROM entry_ids ORDER BY entry_id, position");
    while (q.Step())
      if (CatalogueEntry* e = indexOf(q.Integer(0))) e->Ids.push_back(q.Bytes(1));
  }
  {
    SqliteStatement q(
        m_db, "SELECT entry_id, keyword, value FROM entry_conditions ORDER BY entry_id, position");
    while (q.Step())
      if (CatalogueEntry* e = indexOf(q.Integer(0)))
        e->Conditions.emplace_back(q.Bytes(1), q.Bytes(2));
  }
  tx.Commit();
  return entries;
}

void SqliteServerStore::PutEntries(const std::vector<CatalogueEntry>& entries, bool replaceAll) {
  for (const CatalogueEntry& entry : entries) CheckEntry(entry);
  SqliteTransaction tx(m_db);
  if (replaceAll) m_db.Exec("DELETE FROM entries");
  for (const CatalogueEntry& entry : entries) {
    SqliteStatement upsert(
        m_db, "INSERT INTO entries(base_key) VALUES(?) ON CONFLICT(base_key) DO NOTHING");
    upsert.Text(1, entry.Fields.BaseKey).Step();
    int64_t id = 0;
    {
      SqliteStatement q(m_db, "SELECT id FROM entries WHERE base_key = ?");
      q.Text(1, entry.Fields.BaseKey);
      if (!q.Step()) m_db.Fail("cannot add an entry");
      id = q.Integer(0);
    }
    for (const char* table : {"entry_fields", "entry_ids", "entry_conditions"}) {
      SqliteStatement clear(m_db,
                            (std::string("DELETE FROM ") + table + " WHERE entry_id = ?").c_str());
      clear.Int(1, id).Step();
    }
    TTransRecord fields = entry.Fields;
    for (const auto& f : TTransRecord::Fields()) {
      const std::string& value = fields.*f.Member;
      if (value.empty() || std::string_view(f.Name) == "BaseKey" ||
          std::string_view(f.Name) == "HWID")
        continue;
      SqliteStatement insert(m_db,
                             "INSERT INTO entry_fields(entry_id, name, value) VALUES(?, ?, ?)");
      insert.Int(1, id).Text(2, f.Name).Text(3, value).Step();
    }
    for (size_t i = 0; i < entry.Ids.size(); ++i) {
      SqliteStatement insert(m_db,
                             "INSERT INTO entry_ids(entry_id, position, hwid) VALUES(?, ?, ?)");
      insert.Int(1, id).Int(2, static_cast<int64_t>(i)).Text(3, entry.Ids[i]).Step();
    }
    for (size_t i = 0; i < entry.Conditions.size(); ++i) {
      SqliteStatement insert(
          m_db,
          "INSERT INTO entry_conditions(entry_id, position, keyword, value) VALUES(?, ?, ?, ?)");
      insert.Int(1, id)
          .Int(2, static_cast<int64_t>(i))
          .Text(3, entry.Conditions[i].first)
          .Text(4, entry.Conditions[i].second)
          .Step();
    }
  }
  BumpGeneration();
  tx.Commit();
}

bool SqliteServerStore::RemoveEntry(const std::string& baseKey) {
  SqliteTransaction tx(m_db);
  SqliteStatement remove(m_db, "DELETE FROM entries WHERE base_key = ?");
  remove.Text(1, baseKey).Step();
  const bool removed = m_db.Changes() > 0;
  if (removed) BumpGeneration();
  tx.Commit();
  return removed;
}

}  // namespace cv2
