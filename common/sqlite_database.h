#pragma once
// One SQLite database file of ours: opened with a busy timeout, marked with its application id and
// given its tables the first time, refused when it belongs to another program. Prepared
// statements, IMMEDIATE transactions. Every fault goes to the owner's handler, which raises the
// owner's own error in its own words.
#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace cv2 {

enum class SqliteFaultKind {
  CannotOpen,  // the file cannot be opened or created
  Foreign,     // a database of another program
  Locked,      // another connection held the lock longer than the busy timeout
  Damaged,     // not a database at all, or a damaged one
  Failed,      // any other fault
};

// What went wrong with the file, for its owner to put in its own words.
struct SqliteFault {
  SqliteFaultKind Kind = SqliteFaultKind::Failed;
  std::string File;
  std::string What;  // the step that failed: a description or the SQL text run
  std::string Why;   // SQLite's own message
};

// Raises the owner's error for a fault; never returns.
using SqliteFaultHandler = void (*)(const SqliteFault& fault);

class SqliteDatabase {
 public:
  struct Options {
    int ApplicationId = 0;       // marks the file as ours
    const char* Schema = "";     // the tables, created in the first transaction of a new file
    int SchemaVersion = 0;       // user_version of a new file; 0 leaves it unset
    const char* EveryOpen = "";  // pragmas for each connection, such as "PRAGMA foreign_keys=ON"
    bool Serialized = false;     // the connection is shared by threads (SQLITE_OPEN_FULLMUTEX)
    int BusyTimeoutMs = 10000;
    SqliteFaultHandler Raise = nullptr;
  };

  // Opens the file, creating it when it does not exist. A file that exists but is not ours, or is
  // not a database, is left untouched and raised as a fault.
  SqliteDatabase(const std::string& file, const Options& options);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // True when this open created the tables: a new file, to be filled by its owner.
  bool Created() const { return m_created; }
  const std::string& File() const { return m_file; }

  void Exec(const char* sql);
  // Rows changed by the last statement, and the row id of the last insert, of this connection.
  int Changes() const;
  int64_t LastInsertId() const;
  // Raises the fault of the last call on this connection; what names the step that failed.
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  friend class SqliteStatement;
  friend class SqliteTransaction;
  SqliteFault FaultOfLastCall(const std::string& what) const;
  [[noreturn]] void Raise(const SqliteFault& fault) const;
  void Create(const Options& options);

  std::string m_file;
  SqliteFaultHandler m_raise = nullptr;
  sqlite3* m_db = nullptr;
  bool m_created = false;
};

// A prepared statement. Bind with Text/Blob/Int (1-based), Step through the rows, read columns
// (0-based); Reset makes it ready for its next use.
class SqliteStatement {
 public:
  SqliteStatement(SqliteDatabase& db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  SqliteStatement& Text(int index, const std::string& value);
  SqliteStatement& Blob(int index, const std::string& value);
  SqliteStatement& Int(int index, int64_t value);
  // True while a row is available.
  bool Step();
  void Reset();

  std::string Bytes(int col);
  int64_t Integer(int col);
  bool IsNull(int col);

 private:
  SqliteDatabase& m_db;
  sqlite3_stmt* m_stmt = nullptr;
};

// Rolled back unless committed. Immediate takes the write lock at once, so two writers queue
// instead of deadlocking; Deferred suits a read that must see one state throughout.
class SqliteTransaction {
 public:
  enum class Mode { Immediate, Deferred };
  explicit SqliteTransaction(SqliteDatabase& db, Mode mode = Mode::Immediate);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  void Commit();

 private:
  SqliteDatabase& m_db;
  bool m_done = false;
};

}  // namespace cv2
