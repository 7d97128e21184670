#pragma once
// The registry layer: keys addressed by paths ("Software\Corvantis2\Updates") holding typed
// values (REG_SZ strings, REG_DWORD numbers). Key paths and value names compare without regard
// to ASCII case and keep the case they were written with.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "error.h"

namespace cv2 {

enum class ValueType { String, Dword };

// A registry failure. The message is the registry layer's own text; the detail, when there is
// one, says what the store reported (a locked or damaged file, for example).
class RegistryError : public Error {
 public:
  RegistryError(const std::string& message, std::string detail = {})
      : Error(message), m_detail(std::move(detail)) {}
  const std::string& Detail() const { return m_detail; }

 private:
  std::string m_detail;
};

struct RegValue {
  ValueType Type = ValueType::String;
  std::string Str;
  uint32_t Dword = 0;

  static RegValue MakeString(std::string s) { return {ValueType::String, std::move(s), 0}; }
  static RegValue MakeDword(uint32_t v) { return {ValueType::Dword, {}, v}; }
};

// Where keys and values live. Implementations: the SQLite store, an in-memory store for tests,
// read-only sources filled from Linux facts, and a mount table that joins them.
// Paths are given without leading or trailing backslashes.
class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;
  virtual bool KeyExists(const std::string& path) = 0;
  // Creates the key and its parents; false when the key cannot be created (read-only source).
  virtual bool CreateKey(const std::string& path) = 0;
  virtual std::optional<RegValue> GetValue(const std::string& path, const std::string& name) = 0;
  // Throws Error on failure (the caller words the message).
  virtual void SetValue(const std::string& path, const std::string& name, const RegValue& value) = 0;
  virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;
  // Value names in a stable order: the order in which they were first written.
  virtual std::vector<std::string> ValueNames(const std::string& path) = 0;
  // Writes several values as one transaction where the store supports it.
  virtual void SetValues(const std::string& path,
                         const std::vector<std::pair<std::string, RegValue>>& values,
                         bool onlyMissing);
};

// A key handle in the manner of the original's registry object: open a key, read and write its
// values with the original's error texts, close it.
class Registry {
 public:
  explicit Registry(RegistryBackend& backend) : m_backend(backend) {}
  ~Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens a key, creating it (and its parents) when canCreate is true. False when missing.
  bool OpenKey(const std::string& path, bool canCreate);
  bool OpenKeyReadOnly(const std::string& path) { return OpenKey(path, false); }
  void CloseKey() { m_current.reset(); }
  bool HasCurrentKey() const { return m_current.has_value(); }
  const std::string& CurrentPath() const;
  bool KeyExists(const std::string& path) { return m_backend.KeyExists(NormalizeKeyPath(path)); }

  // A missing string value reads as the empty text; a value of another type raises
  // "Invalid data type for '%s'".
  std::string ReadString(const std::string& name);
  // A missing value raises "Failed to get data for '%s'"; another type "Invalid data type for '%s'".
  int32_t ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name) { return ReadInteger(name) != 0; }
  // Failures raise "Failed to set data for '%s'".
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
  bool DeleteValue(const std::string& name);
  bool ValueExists(const std::string& name);
  std::optional<ValueType> GetDataType(const std::string& name);
  std::vector<std::string> GetValueNames();

  static std::string NormalizeKeyPath(const std::string& path);

 private:
  const std::string& RequireKey() const;
  RegistryBackend& m_backend;
  std::optional<std::string> m_current;
};

// The three error texts of the registry layer.
inline constexpr const char* kFailedToGetData = "Failed to get data for '%s'";
inline constexpr const char* kInvalidDataType = "Invalid data type for '%s'";
inline constexpr const char* kFailedToSetData = "Failed to set data for '%s'";

}  // namespace cv2
