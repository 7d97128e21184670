#include "update_history.h"

namespace cv2 {

void UpdateHistory::RecordUpdate(TTransRecord record, bool success, bool stampDate) {
  Registry reg(m_store);
  if (!reg.OpenKey(kUpdatesKey, true)) return;
  record.Downloaded = success ? "true" : "false";
  // The history says when a file arrived, not when the server built the entry.
  if (success && stampDate && m_clock) record.DownloadDate = m_clock->ShortDate();
  if (record.BaseKey.empty()) return;
  reg.WriteString(record.BaseKey, record.Transmition());
}

std::optional<std::string> UpdateHistory::ReadEntry(const std::string& baseKey) {
  Registry reg(m_store);
  if (!reg.OpenKey(kUpdatesKey, true)) return std::nullopt;
  try {
    return reg.ReadString(baseKey);
  } catch (const RegistryError&) {
    return std::string();  // a value of another type is no record
  }
}

TTransRecord UpdateHistory::ParseEntry(const std::string& text) {
  TTransRecord record;
  try {
    record.SetTransmition(text);
  } catch (const Error&) {
    record.ClearRecord();
  }
  if (record.Error()) record.ClearRecord();
  return record;
}

std::vector<std::string> UpdateHistory::List() {
  Registry reg(m_store);
  if (!reg.OpenKey(kUpdatesKey, true)) return {};
  return reg.GetValueNames();
}

bool UpdateHistory::Forget(const std::string& baseKey) {
  Registry reg(m_store);
  if (!reg.OpenKey(kUpdatesKey, true)) return false;
  return reg.DeleteValue(baseKey);
}

size_t UpdateHistory::ForgetAll() {
  Registry reg(m_store);
  if (!reg.OpenKey(kUpdatesKey, true)) return 0;
  size_t count = 0;
  for (const auto& name : reg.GetValueNames())
    if (reg.DeleteValue(name)) ++count;
  return count;
}

}  // namespace cv2
