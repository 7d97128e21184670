#include "catalogue.h"

#include <array>

#include "text_util.h"
#include "version_order.h"

namespace cv2 {

bool IsConditionKeyword(std::string_view keyword) {
  return IsReportKeyword(keyword);
}

Catalogue::Catalogue(std::vector<CatalogueEntry> entries, int64_t generation)
    : m_entries(std::move(entries)), m_generation(generation) {
  for (size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].Ids.empty()) {
      m_general.push_back(i);
      continue;
    }
    for (const std::string& id : m_entries[i].Ids) {
      auto& list = m_byId[AsciiLower(Trim(id))];
      if (list.empty() || list.back() != i) list.push_back(i);
    }
  }
}

bool Catalogue::MeetsConditions(const CatalogueEntry& entry, const Report& report) const {
  if (entry.Conditions.empty()) return true;
  // Each keyword named is one condition; its values are alternatives.
  for (const auto& [keyword, unused] : entry.Conditions) {
    bool met = false;
    if (keyword == "branded") {
      const bool branded = report.Has("branded");
      for (const auto& [k, v] : entry.Conditions) {
        if (k != keyword) continue;
        const std::string want = AsciiLower(Trim(v));
        if ((branded && (want == "yes" || want == "true" || want == "1")) ||
            (!branded && (want == "no" || want == "false" || want == "0")))
          met = true;
      }
    } else {
      for (const auto& [rk, rv] : report.Keywords) {
        if (rk != keyword) continue;
        for (const auto& [k, v] : entry.Conditions)
          if (k == keyword && IEquals(Trim(rv), Trim(v))) met = true;
      }
    }
    if (!met) return false;
  }
  return true;
}

std::vector<Catalogue::Offer> Catalogue::Match(const Report& report) const {
  std::vector<Offer> offers;
  std::vector<bool> offered(m_entries.size(), false);
  for (const TTransRecord& record : report.Records) {
    const CatalogueEntry* best = nullptr;
    size_t bestIndex = 0;
    for (const std::string& id : RecordIds(record)) {
      auto it = m_byId.find(AsciiLower(id));
      if (it == m_byId.end()) continue;
      for (size_t index : it->second) {
        const CatalogueEntry& entry = m_entries[index];
        if (!MeetsConditions(entry, report)) continue;
        if (!best || server::CompareVersions(entry.Fields.Version, best->Fields.Version) > 0) {
          best = &entry;
          bestIndex = index;
        }
      }
      // The most specific ID that found an entry decides; less specific ones are not looked at.
      if (best) break;
    }
    if (best && !offered[bestIndex]) {
      offered[bestIndex] = true;
      offers.push_back(Offer{best, &record});
    }
  }
  for (size_t index : m_general)
    if (MeetsConditions(m_entries[index], report))
      offers.push_back(Offer{&m_entries[index], nullptr});
  return offers;
}

TTransRecord Catalogue::AnswerRecord(const Offer& offer, const std::string& packagesUrl) {
  TTransRecord record = offer.Entry->Fields;
  if (offer.Device) record.DeviceName = offer.Device->DeviceName;
  record.HWID = Join(offer.Entry->Ids, "**");
  std::string& script = record.Location;
  for (size_t at = script.find(kPackagesPlaceholder); at != std::string::npos;
       at = script.find(kPackagesPlaceholder, at + packagesUrl.size()))
    script.replace(at, kPackagesPlaceholder.size(), packagesUrl);
  return record;
}

std::string Catalogue::UpdateList(const Report& report, const std::string& packagesUrl,
                                  MatchSummary* summary) const {
  MatchSummary local;
  MatchSummary& s = summary ? *summary : local;
  s = MatchSummary{};
  s.Records = report.Records.size();
  std::string list;
  for (const Offer& offer : Match(report)) {
    if (offer.Device) ++s.Matched;
    TTransRecord record = AnswerRecord(offer, packagesUrl);
    try {
      list += record.Transmition();
    } catch (const RecordTooLongError&) {
      ++s.TooLong;
      continue;
    }
    list += "\r\n";
    ++s.Offered;
  }
  return list;
}

}  // namespace cv2

namespace cv2 {

bool IsSafeFolderName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

void CheckEntry(const CatalogueEntry& entry) {
  const std::string& key = entry.Fields.BaseKey;
  if (!IsSafeFolderName(key))
    throw Error("entry \"" + key +
                "\": BaseKey must be one folder name (no \"/\", \"\\\", \":\", " +
                "control characters, \".\" or \"..\"; at most 200 bytes)");
  if (!entry.Fields.Version.empty() && !IsSafeFolderName(entry.Fields.Version))
    throw Error("entry \"" + key + "\": Version \"" + entry.Fields.Version +
                "\" must be usable as one folder name");
  // The client takes the update list as text up to its first zero byte.
  auto hasZero = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  for (const auto& f : TTransRecord::Fields())
    if (hasZero(entry.Fields.*f.Member))
      throw Error("entry \"" + key + "\": " + f.Name + " holds a zero byte");
  for (const auto& [keyword, value] : entry.Conditions)
    if (hasZero(value)) throw Error("entry \"" + key + "\": a condition holds a zero byte");
  for (const std::string& id : entry.Ids) {
    if (Trim(id).empty() || id.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        id.size() > 512)
      throw Error("entry \"" + key +
                  "\": an ID is empty, longer than 512 bytes or holds a line end");
  }
  for (const auto& [keyword, value] : entry.Conditions)
    if (!IsConditionKeyword(keyword))
      throw Error("entry \"" + key + "\": \"" + keyword + "\" is not a keyword a report has");
  TTransRecord probe = Catalogue::AnswerRecord(Catalogue::Offer{&entry, nullptr}, "");
  try {
    probe.Transmition();
  } catch (const RecordTooLongError& e) {
    throw Error("entry \"" + key + "\": " + e.what());
  }
}

}  // namespace cv2
