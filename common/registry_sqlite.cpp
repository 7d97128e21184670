#include "registry_sqlite.h"

#include <sqlite3.h>

#include "text_util.h"

namespace cv2 {

namespace {
// Marks the file as a Corvantis settings store ("CV2S").
constexpr int kApplicationId = 0x43563253;
constexpr int kSchemaVersion = 1;

const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
  path_fold TEXT PRIMARY KEY,
  path TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS reg_values(
  id INTEGER PRIMARY KEY,
  key_fold TEXT NOT NULL REFERENCES reg_keys(path_fold) ON DELETE CASCADE,
  name_fold TEXT NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  str BLOB,
  num INTEGER,
  UNIQUE(key_fold, name_fold));
)sql";
}  // namespace

class SqliteRegistry::Statement {
 public:
  Statement(SqliteRegistry& owner, const char* sql) : m_owner(owner) {
    if (sqlite3_prepare_v2(owner.m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
      owner.Fail("cannot prepare a statement");
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Text(int index, const std::string& value) {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Blob(int index, const std::string& value) {
    sqlite3_bind_blob(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Int(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
  }
  // True while a row is available.
  bool Step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_owner.Fail("cannot run a statement");
  }
  std::string ColumnBytes(int col) {
    const void* data = sqlite3_column_blob(m_stmt, col);
    int size = sqlite3_column_bytes(m_stmt, col);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
  }
  int64_t ColumnInt(int col) { return sqlite3_column_int64(m_stmt, col); }
  int Changes() { return sqlite3_changes(m_owner.m_db); }

 private:
  SqliteRegistry& m_owner;
  sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE takes the write lock at once, so two writers queue instead of deadlocking.
class SqliteRegistry::Transaction {
 public:
  explicit Transaction(SqliteRegistry& owner) : m_owner(owner) { owner.Exec("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (!m_done) sqlite3_exec(m_owner.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    m_owner.Exec("COMMIT");
    m_done = true;
  }

 private:
  SqliteRegistry& m_owner;
  bool m_done = false;
};

SqliteRegistry::SqliteRegistry(const std::string& file, int busyTimeoutMs) : m_file(file) {
  int rc = sqlite3_open_v2(file.c_str(), &m_db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    sqlite3_close(m_db);
    m_db = nullptr;
    throw StoreError("The settings store '" + file + "' cannot be opened: " + why);
  }
  sqlite3_busy_timeout(m_db, busyTimeoutMs);
  try {
    // Reading the schema is the first access to the file: a damaged or foreign file fails here.
    bool empty = false;
    int64_t id = 0;
    {
      Statement tables(*this, "SELECT count(*) FROM sqlite_master");
      tables.Step();
      empty = tables.ColumnInt(0) == 0;
      Statement appId(*this, "PRAGMA application_id");
      appId.Step();
      id = appId.ColumnInt(0);
    }
    if (!empty && id != kApplicationId)
      throw StoreError("The settings store '" + file +
                       "' cannot be used: it is a database of another program. It was left as it "
                       "is; move it away to start with a new store.");
    if (empty) {
      Exec("PRAGMA journal_mode=WAL");
      Transaction tx(*this);
      {
        Statement recheck(*this, "SELECT count(*) FROM sqlite_master");
        recheck.Step();
        m_created = recheck.ColumnInt(0) == 0;
      }
      Exec(kSchema);
      Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
      Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
      tx.Commit();
    }
    Exec("PRAGMA foreign_keys=ON");
  } catch (const StoreError&) {
    sqlite3_close(m_db);
    m_db = nullptr;
    throw;
  }
}

SqliteRegistry::~SqliteRegistry() { sqlite3_close(m_db); }

void SqliteRegistry::Fail(const std::string& what) {
  const int code = sqlite3_errcode(m_db);
  std::string why = sqlite3_errmsg(m_db);
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
    throw StoreError("The settings store '" + m_file +
                     "' is locked by another program for too long: " + why);
  if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
    throw StoreError("The settings store '" + m_file + "' is damaged (" + why +
                     "). It was left as it is; move it away to start with a new store.");
  throw StoreError("The settings store '" + m_file + "' failed: " + what + ": " + why);
}

void SqliteRegistry::Exec(const char* sql) {
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

bool SqliteRegistry::KeyExists(const std::string& path) {
  Statement st(*this, "SELECT 1 FROM reg_keys WHERE path_fold=?1");
  st.Text(1, AsciiLower(path));
  return st.Step();
}

void SqliteRegistry::CreateKeyInTransaction(const std::string& path) {
  std::string prefix;
  for (const auto& part : Split(path, '\\')) {
    if (!prefix.empty()) prefix += '\\';
    prefix += part;
    Statement st(*this, "INSERT OR IGNORE INTO reg_keys(path_fold, path) VALUES(?1, ?2)");
    st.Text(1, AsciiLower(prefix)).Text(2, prefix).Step();
  }
}

bool SqliteRegistry::CreateKey(const std::string& path) {
  Transaction tx(*this);
  CreateKeyInTransaction(path);
  tx.Commit();
  return true;
}

std::optional<RegValue> SqliteRegistry::GetValue(const std::string& path, const std::string& name) {
  Statement st(*this, "SELECT type, str, num FROM reg_values WHERE key_fold=?1 AND name_fold=?2");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name));
  if (!st.Step()) return std::nullopt;
  if (st.ColumnInt(0) == static_cast<int>(ValueType::Dword))
    return RegValue::MakeDword(static_cast<uint32_t>(st.ColumnInt(2)));
  return RegValue::MakeString(st.ColumnBytes(1));
}

void SqliteRegistry::UpsertInTransaction(const std::string& path, const std::string& name,
                                         const RegValue& value, bool onlyMissing) {
  if (!KeyExists(path)) throw Error("key does not exist: " + path);
  Statement st(*this, onlyMissing
                          ? "INSERT OR IGNORE INTO reg_values(key_fold, name_fold, name, type, "
                            "str, num) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
                          : "INSERT INTO reg_values(key_fold, name_fold, name, type, str, num) "
                            "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(key_fold, name_fold) DO "
                            "UPDATE SET type=excluded.type, str=excluded.str, num=excluded.num");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name)).Text(3, name);
  st.Int(4, static_cast<int>(value.Type));
  if (value.Type == ValueType::String) st.Blob(5, value.Str).Int(6, 0);
  else st.Blob(5, std::string()).Int(6, value.Dword);
  st.Step();
}

void SqliteRegistry::SetValue(const std::string& path, const std::string& name,
                              const RegValue& value) {
  Transaction tx(*this);
  UpsertInTransaction(path, name, value, false);
  tx.Commit();
}

void SqliteRegistry::SetValues(const std::string& path,
                               const std::vector<std::pair<std::string, RegValue>>& values,
                               bool onlyMissing) {
  Transaction tx(*this);
  CreateKeyInTransaction(path);
  for (const auto& [name, value] : values) UpsertInTransaction(path, name, value, onlyMissing);
  tx.Commit();
}

bool SqliteRegistry::DeleteValue(const std::string& path, const std::string& name) {
  Transaction tx(*this);
  Statement st(*this, "DELETE FROM reg_values WHERE key_fold=?1 AND name_fold=?2");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name)).Step();
  const bool deleted = st.Changes() > 0;
  tx.Commit();
  return deleted;
}

std::vector<std::string> SqliteRegistry::ValueNames(const std::string& path) {
  Statement st(*this, "SELECT name FROM reg_values WHERE key_fold=?1 ORDER BY id");
  st.Text(1, AsciiLower(path));
  std::vector<std::string> names;
  while (st.Step()) names.push_back(st.ColumnBytes(0));
  return names;
}

}  // namespace cv2
