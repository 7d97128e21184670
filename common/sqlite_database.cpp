#include "sqlite_database.h"

#include <sqlite3.h>

#include "error.h"

namespace cv2 {

SqliteDatabase::SqliteDatabase(const std::string& file, const Options& options)
    : m_file(file), m_raise(options.Raise) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                    (options.Serialized ? SQLITE_OPEN_FULLMUTEX : SQLITE_OPEN_NOMUTEX);
  const int rc = sqlite3_open_v2(file.c_str(), &m_db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    sqlite3_close(m_db);
    m_db = nullptr;
    Raise({SqliteFaultKind::CannotOpen, file, "cannot open", why});
  }
  sqlite3_busy_timeout(m_db, options.BusyTimeoutMs);
  try {
    Create(options);
  } catch (...) {
    sqlite3_close(m_db);
    m_db = nullptr;
    throw;
  }
}

void SqliteDatabase::Create(const Options& options) {
  // Reading the schema is the first access to the file: a damaged or foreign file fails here.
  bool empty = false;
  int64_t id = 0;
  {
    SqliteStatement tables(*this, "SELECT count(*) FROM sqlite_master");
    tables.Step();
    empty = tables.Integer(0) == 0;
    SqliteStatement appId(*this, "PRAGMA application_id");
    appId.Step();
    id = appId.Integer(0);
  }
  if (!empty && id != options.ApplicationId)
    Raise({SqliteFaultKind::Foreign, m_file, "cannot use", "a database of another program"});
  if (*options.EveryOpen) Exec(options.EveryOpen);
  if (!empty) return;
  Exec("PRAGMA journal_mode=WAL");
  SqliteTransaction tx(*this);
  {
    // Another process may have created the tables since the first look.
    SqliteStatement recheck(*this, "SELECT count(*) FROM sqlite_master");
    recheck.Step();
    m_created = recheck.Integer(0) == 0;
  }
  Exec(options.Schema);
  Exec(("PRAGMA application_id=" + std::to_string(options.ApplicationId)).c_str());
  if (options.SchemaVersion != 0)
    Exec(("PRAGMA user_version=" + std::to_string(options.SchemaVersion)).c_str());
  tx.Commit();
}

SqliteDatabase::~SqliteDatabase() {
  sqlite3_close(m_db);
}

void SqliteDatabase::Exec(const char* sql) {
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

int SqliteDatabase::Changes() const {
  return sqlite3_changes(m_db);
}

int64_t SqliteDatabase::LastInsertId() const {
  return sqlite3_last_insert_rowid(m_db);
}

SqliteFault SqliteDatabase::FaultOfLastCall(const std::string& what) const {
  const int code = sqlite3_errcode(m_db);
  SqliteFaultKind kind = SqliteFaultKind::Failed;
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
    kind = SqliteFaultKind::Locked;
  else if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
    kind = SqliteFaultKind::Damaged;
  return {kind, m_file, what, sqlite3_errmsg(m_db)};
}

void SqliteDatabase::Fail(const std::string& what) const {
  Raise(FaultOfLastCall(what));
}

void SqliteDatabase::Raise(const SqliteFault& fault) const {
  if (m_raise) m_raise(fault);
  // A handler that returns, or none: still a failure.
  throw Error("The database '" + fault.File + "': " + fault.What + ": " + fault.Why);
}

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : m_db(db) {
  if (sqlite3_prepare_v2(db.m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
    db.Fail("cannot prepare a statement");
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(m_stmt);
}

SqliteStatement& SqliteStatement::Text(int index, const std::string& value) {
  sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::Blob(int index, const std::string& value) {
  sqlite3_bind_blob(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::Int(int index, int64_t value) {
  sqlite3_bind_int64(m_stmt, index, value);
  return *this;
}

bool SqliteStatement::Step() {
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // The fault is taken before the reset, which ends the statement's hold on the file.
  const SqliteFault fault = m_db.FaultOfLastCall("cannot run a statement");
  sqlite3_reset(m_stmt);
  m_db.Raise(fault);
}

void SqliteStatement::Reset() {
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

std::string SqliteStatement::Bytes(int col) {
  const void* data = sqlite3_column_blob(m_stmt, col);
  const int size = sqlite3_column_bytes(m_stmt, col);
  return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
              : std::string();
}

int64_t SqliteStatement::Integer(int col) {
  return sqlite3_column_int64(m_stmt, col);
}

bool SqliteStatement::IsNull(int col) {
  return sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db, Mode mode) : m_db(db) {
  db.Exec(mode == Mode::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
  if (!m_done) sqlite3_exec(m_db.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit() {
  m_db.Exec("COMMIT");
  m_done = true;
}

}  // namespace cv2
