#include "settings_store.h"

#include <filesystem>

#include "paths.h"
#include "settings_table.h"

namespace cv2 {

std::string SettingsStoreFile(const std::string& dataRoot) {
  return JoinPath(dataRoot, "settings.db");
}

std::unique_ptr<SqliteRegistry> OpenSettingsStore(const std::string& dataRoot) {
  std::error_code ec;
  std::filesystem::create_directories(dataRoot, ec);
  if (ec) throw StoreError("The data folder '" + dataRoot + "' cannot be created: " + ec.message());
  auto store = std::make_unique<SqliteRegistry>(SettingsStoreFile(dataRoot));
  if (store->Created()) InitSettings(*store);
  return store;
}

std::vector<std::string> InitSettings(RegistryBackend& store) {
  std::vector<std::string> written;
  std::vector<std::pair<std::string, RegValue>> values;
  for (const auto& info : WindowSettings()) {
    if (!store.GetValue(kSettingsKey, info.Name)) written.emplace_back(info.Name);
    values.emplace_back(info.Name, DefaultValue(info));
  }
  // One transaction: "only missing" is decided again inside it, so a value another process
  // writes meanwhile is never overwritten with its default.
  store.SetValues(kSettingsKey, values, /*onlyMissing=*/true);
  return written;
}

}  // namespace cv2
