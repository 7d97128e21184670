#include "registry_sqlite.h"

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

[[noreturn]] void RaiseStoreError(const SqliteFault& fault) {
  const std::string store = "The settings store '" + fault.File + "'";
  switch (fault.Kind) {
    case SqliteFaultKind::CannotOpen:
      throw StoreError(store + " cannot be opened: " + fault.Why);
    case SqliteFaultKind::Foreign:
      throw StoreError(store +
                       " cannot be used: it is a database of another program. It was left as it "
                       "is; move it away to start with a new store.");
    case SqliteFaultKind::Locked:
      throw StoreError(store + " is locked by another program for too long: " + fault.Why);
    case SqliteFaultKind::Damaged:
      throw StoreError(store + " is damaged (" + fault.Why +
                       "). It was left as it is; move it away to start with a new store.");
    case SqliteFaultKind::Failed:
      break;
  }
  throw StoreError(store + " failed: " + fault.What + ": " + fault.Why);
}
}  // namespace

SqliteRegistry::SqliteRegistry(const std::string& file, int busyTimeoutMs)
    : m_db(file, {.ApplicationId = kApplicationId,
                  .Schema = kSchema,
                  .SchemaVersion = kSchemaVersion,
                  .EveryOpen = "PRAGMA foreign_keys=ON",
                  .Serialized = true,
                  .BusyTimeoutMs = busyTimeoutMs,
                  .Raise = RaiseStoreError}) {}

SqliteRegistry::~SqliteRegistry() = default;

bool SqliteRegistry::KeyExists(const std::string& path) {
  SqliteStatement st(m_db, "SELECT 1 FROM reg_keys WHERE path_fold=?1");
  st.Text(1, AsciiLower(path));
  return st.Step();
}

void SqliteRegistry::CreateKeyInTransaction(const std::string& path) {
  std::string prefix;
  for (const auto& part : Split(path, '\\')) {
    if (!prefix.empty()) prefix += '\\';
    prefix += part;
    SqliteStatement st(m_db, "INSERT OR IGNORE INTO reg_keys(path_fold, path) VALUES(?1, ?2)");
    st.Text(1, AsciiLower(prefix)).Text(2, prefix).Step();
  }
}

bool SqliteRegistry::CreateKey(const std::string& path) {
  SqliteTransaction tx(m_db);
  CreateKeyInTransaction(path);
  tx.Commit();
  return true;
}

std::optional<RegValue> SqliteRegistry::GetValue(const std::string& path, const std::string& name) {
  SqliteStatement st(m_db,
                     "SELECT type, str, num FROM reg_values WHERE key_fold=?1 AND name_fold=?2");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name));
  if (!st.Step()) return std::nullopt;
  if (st.Integer(0) == static_cast<int>(ValueType::Dword))
    return RegValue::MakeDword(static_cast<uint32_t>(st.Integer(2)));
  return RegValue::MakeString(st.Bytes(1));
}

void SqliteRegistry::UpsertInTransaction(const std::string& path, const std::string& name,
                                         const RegValue& value, bool onlyMissing) {
  if (!KeyExists(path)) throw Error("key does not exist: " + path);
  SqliteStatement st(
      m_db, onlyMissing ? "INSERT OR IGNORE INTO reg_values(key_fold, name_fold, name, type, "
                          "str, num) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
                        : "INSERT INTO reg_values(key_fold, name_fold, name, type, str, num) "
                          "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(key_fold, name_fold) DO "
                          "UPDATE SET type=excluded.type, str=excluded.str, num=excluded.num");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name)).Text(3, name);
  st.Int(4, static_cast<int>(value.Type));
  if (value.Type == ValueType::String)
    st.Blob(5, value.Str).Int(6, 0);
  else
    st.Blob(5, std::string()).Int(6, value.Dword);
  st.Step();
}

void SqliteRegistry::SetValue(const std::string& path, const std::string& name,
                              const RegValue& value) {
  SqliteTransaction tx(m_db);
  UpsertInTransaction(path, name, value, false);
  tx.Commit();
}

void SqliteRegistry::SetValues(const std::string& path,
                               const std::vector<std::pair<std::string, RegValue>>& values,
                               bool onlyMissing) {
  SqliteTransaction tx(m_db);
  CreateKeyInTransaction(path);
  for (const auto& [name, value] : values) UpsertInTransaction(path, name, value, onlyMissing);
  tx.Commit();
}

bool SqliteRegistry::DeleteValue(const std::string& path, const std::string& name) {
  SqliteTransaction tx(m_db);
  SqliteStatement st(m_db, "DELETE FROM reg_values WHERE key_fold=?1 AND name_fold=?2");
  st.Text(1, AsciiLower(path)).Text(2, AsciiLower(name)).Step();
  const bool deleted = m_db.Changes() > 0;
  tx.Commit();
  return deleted;
}

std::vector<std::string> SqliteRegistry::ValueNames(const std::string& path) {
  SqliteStatement st(m_db, "SELECT name FROM reg_values WHERE key_fold=?1 ORDER BY id");
  st.Text(1, AsciiLower(path));
  std::vector<std::string> names;
  while (st.Step()) names.push_back(st.Bytes(0));
  return names;
}

}  // namespace cv2
