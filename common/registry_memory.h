#pragma once
// An in-memory registry backend: the store of tests, and the base of read-only sources.
#include <map>

#include "registry.h"

namespace cv2 {

class MemoryRegistry : public RegistryBackend {
 public:
  bool KeyExists(const std::string& path) override;
  bool CreateKey(const std::string& path) override;
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override;
  void SetValue(const std::string& path, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
  std::vector<std::string> ValueNames(const std::string& path) override;

  void DeleteKey(const std::string& path);

 private:
  struct Key {
    std::vector<std::pair<std::string, RegValue>> Values;  // in the order first written
  };
  Key* Find(const std::string& path);
  std::map<std::string, Key> m_keys;  // by lower-cased path
};

// A read-only source: every key it holds exists, nothing can be created, written or deleted.
class ReadOnlyRegistry : public RegistryBackend {
 public:
  explicit ReadOnlyRegistry(MemoryRegistry content) : m_content(std::move(content)) {}
  bool KeyExists(const std::string& path) override { return m_content.KeyExists(path); }
  bool CreateKey(const std::string& path) override { return m_content.KeyExists(path); }
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override {
    return m_content.GetValue(path, name);
  }
  void SetValue(const std::string&, const std::string&, const RegValue&) override;
  bool DeleteValue(const std::string&, const std::string&) override { return false; }
  std::vector<std::string> ValueNames(const std::string& path) override {
    return m_content.ValueNames(path);
  }

 private:
  MemoryRegistry m_content;
};

// Joins backends: a key at or below a mounted path goes to that backend, every other key to the
// default one. Read-only keys that Windows fills (the OEM information, the locale list) are
// mounted over the settings store this way.
class MountedRegistry : public RegistryBackend {
 public:
  explicit MountedRegistry(RegistryBackend& fallback) : m_fallback(fallback) {}
  void Mount(const std::string& path, RegistryBackend& backend);

  bool KeyExists(const std::string& path) override { return Route(path).KeyExists(path); }
  bool CreateKey(const std::string& path) override { return Route(path).CreateKey(path); }
  std::optional<RegValue> GetValue(const std::string& path, const std::string& name) override {
    return Route(path).GetValue(path, name);
  }
  void SetValue(const std::string& path, const std::string& name, const RegValue& value) override {
    Route(path).SetValue(path, name, value);
  }
  bool DeleteValue(const std::string& path, const std::string& name) override {
    return Route(path).DeleteValue(path, name);
  }
  std::vector<std::string> ValueNames(const std::string& path) override {
    return Route(path).ValueNames(path);
  }
  void SetValues(const std::string& path,
                 const std::vector<std::pair<std::string, RegValue>>& values,
                 bool onlyMissing) override {
    Route(path).SetValues(path, values, onlyMissing);
  }

 private:
  RegistryBackend& Route(const std::string& path);
  RegistryBackend& m_fallback;
  std::vector<std::pair<std::string, RegistryBackend*>> m_mounts;  // lower-cased path
};

}  // namespace cv2
