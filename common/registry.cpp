#include "registry.h"

#include "text_util.h"

namespace cv2 {

void RegistryBackend::SetValues(const std::string& path,
                                const std::vector<std::pair<std::string, RegValue>>& values,
                                bool onlyMissing) {
  if (!CreateKey(path)) throw Error("cannot create key: " + path);
  for (const auto& [name, value] : values) {
    if (onlyMissing && GetValue(path, name)) continue;
    SetValue(path, name, value);
  }
}

std::string Registry::NormalizeKeyPath(const std::string& path) {
  // Backslashes separate the levels; empty levels (doubled or outer separators) are dropped.
  std::string out;
  for (const auto& part : Split(path, '\\')) {
    if (part.empty()) continue;
    if (!out.empty()) out += '\\';
    out += part;
  }
  return out;
}

bool Registry::OpenKey(const std::string& path, bool canCreate) {
  CloseKey();
  std::string key = NormalizeKeyPath(path);
  if (!m_backend.KeyExists(key)) {
    if (!canCreate) return false;
    if (!m_backend.CreateKey(key)) return false;
  }
  m_current = key;
  return true;
}

const std::string& Registry::CurrentPath() const { return RequireKey(); }

const std::string& Registry::RequireKey() const {
  if (!m_current) throw Error("No registry key is open");
  return *m_current;
}

std::string Registry::ReadString(const std::string& name) {
  auto value = m_backend.GetValue(RequireKey(), name);
  if (!value) return {};
  if (value->Type != ValueType::String) throw RegistryError(FormatMessage(kInvalidDataType, name));
  return value->Str;
}

int32_t Registry::ReadInteger(const std::string& name) {
  auto value = m_backend.GetValue(RequireKey(), name);
  if (!value) throw RegistryError(FormatMessage(kFailedToGetData, name));
  if (value->Type != ValueType::Dword) throw RegistryError(FormatMessage(kInvalidDataType, name));
  return static_cast<int32_t>(value->Dword);
}

void Registry::WriteString(const std::string& name, const std::string& value) {
  try {
    m_backend.SetValue(RequireKey(), name, RegValue::MakeString(value));
  } catch (const std::exception& e) {
    throw RegistryError(FormatMessage(kFailedToSetData, name), e.what());
  }
}

void Registry::WriteInteger(const std::string& name, int32_t value) {
  try {
    m_backend.SetValue(RequireKey(), name, RegValue::MakeDword(static_cast<uint32_t>(value)));
  } catch (const std::exception& e) {
    throw RegistryError(FormatMessage(kFailedToSetData, name), e.what());
  }
}

bool Registry::DeleteValue(const std::string& name) {
  return m_backend.DeleteValue(RequireKey(), name);
}

bool Registry::ValueExists(const std::string& name) {
  return m_backend.GetValue(RequireKey(), name).has_value();
}

std::optional<ValueType> Registry::GetDataType(const std::string& name) {
  auto value = m_backend.GetValue(RequireKey(), name);
  if (!value) return std::nullopt;
  return value->Type;
}

std::vector<std::string> Registry::GetValueNames() { return m_backend.ValueNames(RequireKey()); }

}  // namespace cv2
