#pragma once
// A hardware report as the client sends it: up to six keyword lines ("alias …", "brand_name …",
// "brand_model …", "branded", "mb_model …", "mb_mfg …"), the system identity record and one
// update record per device and software item. Only CR LF ends a line: records carry lone CR
// characters inside their values.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.h"
#include "trans_record.h"

namespace cv2 {

class ReportError : public Error {
 public:
  using Error::Error;
};

struct Report {
  // Keyword lines in their order: keyword and the value after its one blank, as sent.
  std::vector<std::pair<std::string, std::string>> Keywords;
  // The records in their order: the identity record first, then devices and software items.
  std::vector<TTransRecord> Records;

  // The value of the first line of a keyword, or null when the report has none.
  const std::string* Keyword(std::string_view keyword) const;
  bool Has(std::string_view keyword) const { return Keyword(keyword) != nullptr; }
};

// True for the six keywords a report line may start with.
bool IsReportKeyword(std::string_view word);

// Reads a report. A line that is neither a keyword line nor a whole record raises ReportError
// naming the line; empty lines are skipped. At most maxRecords records are accepted.
Report ParseReport(std::string_view text, size_t maxRecords = 100000);

// The identifiers of a record: its HWID split into lines, trimmed, empty ones left out, most
// specific first as the client lists them.
std::vector<std::string> RecordIds(const TTransRecord& record);

}  // namespace cv2
