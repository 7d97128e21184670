#pragma once
// The settings store: the registry layer over one SQLite database file. Every write is a
// transaction, so two processes (the tray program and cv2ctl) can share the file without losing a
// write, and a crash never leaves a half-written value.
#include <string>

#include "registry.h"
#include "sqlite_database.h"

namespace cv2 {

// The store file cannot be used: damaged, locked for too long, not a store of ours, unreadable.
class StoreError : public Error {
 public:
  using Error::Error;
};

class SqliteRegistry : public RegistryBackend {
 public:
  // Opens the store file, creating it when it does not exist. A file that exists but is not a
  // usable store raises StoreError and is left untouched.
  explicit SqliteRegistry(const std::string& file, int busyTimeoutMs = 10000);
  ~SqliteRegistry() override;
  SqliteRegistry(const SqliteRegistry&) = delete;
  SqliteRegistry& operator=(const SqliteRegistry&) = delete;

  // True when this open created the store's tables: a new store, to be seeded by its owner.
  bool Created() const { return m_db.Created(); }
  const std::string& File() const { return m_db.File(); }

  bool KeyExists(const std::string& path) override;
  bool CreateKey(const std::string& path) override;
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override;
  void SetValue(const std::string& path, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
  std::vector<std::string> ValueNames(const std::string& path) override;
  void SetValues(const std::string& path,
                 const std::vector<std::pair<std::string, RegValue>>& values,
                 bool onlyMissing) override;

 private:
  void CreateKeyInTransaction(const std::string& path);
  void UpsertInTransaction(const std::string& path, const std::string& name, const RegValue& value,
                           bool onlyMissing);

  SqliteDatabase m_db;
};

}  // namespace cv2
