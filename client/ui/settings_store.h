#pragma once
// Opening the settings store of a data root, seeded on first use as an installer would leave it.
#include <memory>
#include <string>

#include "registry_sqlite.h"

namespace cv2 {

// The store file of a data root.
std::string SettingsStoreFile(const std::string& dataRoot);

// Opens (creating the folder and the file when needed) the store of the data root. A new store is
// seeded with every setting of the window at its default. A damaged or locked store raises
// StoreError and is never replaced or reseeded.
std::unique_ptr<SqliteRegistry> OpenSettingsStore(const std::string& dataRoot);

// Writes the window default of every setting that is missing; leaves the others alone. Returns the
// names written, in table order.
std::vector<std::string> InitSettings(RegistryBackend& store);

}  // namespace cv2
