#pragma once
// The update history: one string value per processed update under the Updates key, named by the
// update's BaseKey and holding its record text with Downloaded "true" or "false". The download
// decision reads it, processing writes it, the user lists and forgets entries.
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "registry.h"
#include "trans_record.h"

namespace cv2 {

inline constexpr const char* kUpdatesKey = "Software\\Corvantis2\\Updates";

class UpdateHistory {
 public:
  // The clock stamps the download date; a history that only reads may pass none.
  explicit UpdateHistory(RegistryBackend& store, Clock* clock = nullptr)
      : m_store(store), m_clock(clock) {}

  // Stores the record under its BaseKey with Downloaded "true" (success) or "false", replacing
  // an earlier value. A successful download also gets today's date as its DownloadDate when
  // stampDate is set; otherwise the date stays as it came. A record without BaseKey is not
  // stored, nor is anything when the key cannot be opened.
  void RecordUpdate(TTransRecord record, bool success, bool stampDate = true);

  // The stored text of an update: empty when there is none (or the value is not text); nullopt
  // when the key cannot be opened.
  std::optional<std::string> ReadEntry(const std::string& baseKey);
  // A stored text as a record: a text that does not parse gives the empty record.
  static TTransRecord ParseEntry(const std::string& text);

  // The BaseKeys of all entries, in the store's order.
  std::vector<std::string> List();
  // Deletes the entry; false when there was none.
  bool Forget(const std::string& baseKey);
  // Deletes every entry; returns how many there were.
  size_t ForgetAll();

 private:
  RegistryBackend& m_store;
  Clock* m_clock;
};

}  // namespace cv2
