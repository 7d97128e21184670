#include "registry_memory.h"

#include "text_util.h"

namespace cv2 {

MemoryRegistry::Key* MemoryRegistry::Find(const std::string& path) {
  auto it = m_keys.find(AsciiLower(path));
  return it == m_keys.end() ? nullptr : &it->second;
}

bool MemoryRegistry::KeyExists(const std::string& path) { return Find(path) != nullptr; }

bool MemoryRegistry::CreateKey(const std::string& path) {
  // Parents exist whenever a child does, as in the registry.
  std::string prefix;
  for (const auto& part : Split(path, '\\')) {
    if (!prefix.empty()) prefix += '\\';
    prefix += part;
    m_keys.try_emplace(AsciiLower(prefix));
  }
  return true;
}

std::optional<RegValue> MemoryRegistry::GetValue(const std::string& path, const std::string& name) {
  Key* key = Find(path);
  if (!key) return std::nullopt;
  for (const auto& [n, v] : key->Values)
    if (IEquals(n, name)) return v;
  return std::nullopt;
}

void MemoryRegistry::SetValue(const std::string& path, const std::string& name,
                              const RegValue& value) {
  Key* key = Find(path);
  if (!key) throw Error("key does not exist: " + path);
  for (auto& [n, v] : key->Values)
    if (IEquals(n, name)) {
      v = value;
      return;
    }
  key->Values.emplace_back(name, value);
}

bool MemoryRegistry::DeleteValue(const std::string& path, const std::string& name) {
  Key* key = Find(path);
  if (!key) return false;
  for (auto it = key->Values.begin(); it != key->Values.end(); ++it)
    if (IEquals(it->first, name)) {
      key->Values.erase(it);
      return true;
    }
  return false;
}

std::vector<std::string> MemoryRegistry::ValueNames(const std::string& path) {
  std::vector<std::string> names;
  if (Key* key = Find(path))
    for (const auto& [n, v] : key->Values) names.push_back(n);
  return names;
}

void MemoryRegistry::DeleteKey(const std::string& path) {
  const std::string lower = AsciiLower(path);
  for (auto it = m_keys.begin(); it != m_keys.end();) {
    if (it->first == lower || it->first.rfind(lower + "\\", 0) == 0) it = m_keys.erase(it);
    else ++it;
  }
}

void ReadOnlyRegistry::SetValue(const std::string& path, const std::string&, const RegValue&) {
  throw Error("read-only key: " + path);
}

void MountedRegistry::Mount(const std::string& path, RegistryBackend& backend) {
  m_mounts.emplace_back(AsciiLower(Registry::NormalizeKeyPath(path)), &backend);
}

RegistryBackend& MountedRegistry::Route(const std::string& path) {
  const std::string lower = AsciiLower(path);
  for (const auto& [mount, backend] : m_mounts)
    if (lower == mount || lower.rfind(mount + "\\", 0) == 0) return *backend;
  return m_fallback;
}

}  // namespace cv2
