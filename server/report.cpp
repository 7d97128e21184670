#include "report.h"

#include <array>

#include "text_util.h"

namespace cv2 {

namespace {
constexpr std::array<std::string_view, 6> kKeywords = {"alias",   "brand_name", "brand_model",
                                                       "branded", "mb_model",   "mb_mfg"};

// Shows a line in an error message: printable ASCII only, cut short.
std::string Excerpt(std::string_view line) {
  std::string out;
  for (char c : line.substr(0, 40)) {
    auto u = static_cast<unsigned char>(c);
    out += (u >= 32 && u < 127) ? c : '?';
  }
  if (line.size() > 40) out += "...";
  return out;
}
}  // namespace

bool IsReportKeyword(std::string_view word) {
  for (auto k : kKeywords)
    if (k == word) return true;
  return false;
}

const std::string* Report::Keyword(std::string_view keyword) const {
  for (const auto& [k, v] : Keywords)
    if (k == keyword) return &v;
  return nullptr;
}

Report ParseReport(std::string_view text, size_t maxRecords) {
  Report report;
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    std::string_view line =
        end == std::string_view::npos ? text.substr(pos) : text.substr(pos, end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 2;
    ++lineNo;
    if (Trim(line).empty()) continue;
    // A keyword line: the keyword, then one blank and the value ("branded" stands alone).
    const size_t blank = line.find(' ');
    const std::string_view word = line.substr(0, blank);
    if (IsReportKeyword(word)) {
      std::string value =
          blank == std::string_view::npos ? "" : std::string(line.substr(blank + 1));
      report.Keywords.emplace_back(std::string(word), std::move(value));
      continue;
    }
    if (report.Records.size() >= maxRecords)
      throw ReportError("the report holds more than " + std::to_string(maxRecords) + " records");
    TTransRecord record;
    try {
      record.SetTransmition(line);
    } catch (const Error&) {
      throw ReportError("line " + std::to_string(lineNo) +
                        " is neither a keyword nor a record: \"" + Excerpt(line) + "\"");
    }
    if (record.Error())
      throw ReportError("line " + std::to_string(lineNo) + " is not a whole record: \"" +
                        Excerpt(line) + "\"");
    report.Records.push_back(std::move(record));
  }
  return report;
}

std::vector<std::string> RecordIds(const TTransRecord& record) {
  std::vector<std::string> ids;
  for (const std::string& line : Split(record.HWID, '\n')) {
    std::string id = Trim(line);
    if (!id.empty()) ids.push_back(std::move(id));
  }
  return ids;
}

}  // namespace cv2
