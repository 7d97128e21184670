#pragma once
// The catalogue of updates and how a report's devices are matched against it.
//
// An entry carries the record fields the client shows and uses (DeviceName, Description,
// Rating, MFG, Updated_Date, Version, Language, Region, GUID, BaseKey, Location, ...), the
// hardware and compatible IDs it applies to, and optional conditions on the report's keyword
// lines. A device record matches an entry when one of its IDs equals one of the entry's IDs
// without regard to case; among the matching entries the one found through the device's most
// specific ID wins, then the highest version. An entry without IDs applies to every report
// that meets its conditions (messages, web pages, brand-wide notices).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "report.h"
#include "trans_record.h"

namespace cv2 {

// The placeholder of a Location script for the server's own package address, replaced at
// answer time by the address the client reached the server at, e.g. "http://host:8080".
inline constexpr std::string_view kPackagesPlaceholder = "{packages}";

struct CatalogueEntry {
  // The record fields of the answer. HWID is not used: the answer's HWID joins the IDs with
  // "**", and its DeviceName is the matched device's name.
  TTransRecord Fields;
  std::vector<std::string> Ids;
  // Conditions on keyword lines: the entry applies only when, for every keyword named here, the
  // report has that line with one of the listed values (without regard to case, blanks around
  // ignored). "branded" takes "yes" or "no".
  std::vector<std::pair<std::string, std::string>> Conditions;
};

// The keywords an entry's conditions may name.
bool IsConditionKeyword(std::string_view keyword);

// What matching found for one report.
struct MatchSummary {
  size_t Records = 0;  // records in the report
  size_t Matched = 0;  // records that matched an entry
  size_t Offered = 0;  // entries in the answer (device entries and general ones)
  size_t TooLong = 0;  // answer records that did not fit the record text and were left out
};

class Catalogue {
 public:
  Catalogue() = default;
  Catalogue(std::vector<CatalogueEntry> entries, int64_t generation);

  int64_t Generation() const { return m_generation; }
  const std::vector<CatalogueEntry>& Entries() const { return m_entries; }

  // One offer: the entry and the device record it was matched with (null for a general entry).
  struct Offer {
    const CatalogueEntry* Entry;
    const TTransRecord* Device;
  };
  // The offers for a report: for every record in report order its best entry, each entry at
  // most once, then the general entries that meet their conditions.
  std::vector<Offer> Match(const Report& report) const;

  // The update list text for a report: one record per offer, each followed by CR LF.
  // packagesUrl replaces the placeholder in the scripts.
  std::string UpdateList(const Report& report, const std::string& packagesUrl,
                         MatchSummary* summary = nullptr) const;

  // The answer record of one offer.
  static TTransRecord AnswerRecord(const Offer& offer, const std::string& packagesUrl);

 private:
  bool MeetsConditions(const CatalogueEntry& entry, const Report& report) const;

  std::vector<CatalogueEntry> m_entries;
  int64_t m_generation = 0;
  // Lower-cased ID -> indexes of the entries that list it.
  std::unordered_map<std::string, std::vector<size_t>> m_byId;
  std::vector<size_t> m_general;
};

}  // namespace cv2

namespace cv2 {

// Refuses an entry the server must not offer, with the reason: a BaseKey or Version that could
// name a folder outside the client's download folder (separators, "..", a drive), an empty or
// multi-line ID, an unknown condition keyword, or fields too long for the record text.
void CheckEntry(const CatalogueEntry& entry);

// True when a text can serve as one folder name on the client: not empty, no separator, no
// drive colon, no control character, not "." or "..".
bool IsSafeFolderName(std::string_view name);

}  // namespace cv2
