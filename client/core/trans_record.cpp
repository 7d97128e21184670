#include "trans_record.h"

#include "text_util.h"

namespace cv2 {

namespace {
using R = TTransRecord;
const std::array<R::Field, 31> kFields = {{
    {"00", "DeviceName", &R::DeviceName},
    {"01", "Description", &R::Description},
    {"02", "Rating", &R::Rating},
    {"03", "MFG", &R::MFG},
    {"04", "Beta", &R::Beta},
    {"05", "Creation_Date", &R::Creation_Date},
    {"0E", "Updated_Date", &R::Updated_Date},
    {"06", "Version", &R::Version},
    {"08", "Upgrade_Version", &R::Upgrade_Version},
    {"09", "HWID", &R::HWID},
    {"0A", "GUID", &R::GUID},
    {"0B", "Registry_Branch", &R::Registry_Branch},
    {"0C", "Direct_Memory", &R::Direct_Memory},
    {"0F", "Uninstall_Entry", &R::Uninstall_Entry},
    {"10", "Region", &R::Region},
    {"11", "Location", &R::Location},
    {"12", "Data", &R::Data},
    {"13", "Language", &R::Language},
    {"14", "Owner", &R::Owner},
    {"07", "Version_History", &R::Version_History},
    {"0D", "Device_Branch", &R::Device_Branch},
    {"15", "BaseKey", &R::BaseKey},
    {"16", "DriverDate", &R::DriverDate},
    {"17", "BusType", &R::BusType},
    {"18", "OSVersion", &R::OSVersion},
    {"19", "UserName", &R::UserName},
    {"1A", "UserPass", &R::UserPass},
    {"90", "LocalLocation", &R::LocalLocation},
    {"91", "Downloaded", &R::Downloaded},
    {"92", "DownloadDate", &R::DownloadDate},
    {"93", "ClassGuid", &R::ClassGuid},
}};

// Reads up to four characters as a hexadecimal number, as the original's StrToInt("$" + s).
uint32_t ReadLength(std::string_view text) {
  std::string_view digits = text.substr(0, 4);
  auto value = ParseHex32(digits);
  if (!value) throw Error("'0x" + std::string(digits) + "' is not a valid integer value");
  return *value;
}
}  // namespace

const std::array<R::Field, 31>& TTransRecord::Fields() { return kFields; }

std::string* TTransRecord::FieldByTag(std::string_view tag) {
  for (const auto& f : kFields)
    if (tag == f.Tag) return &(this->*f.Member);
  return nullptr;
}

std::string* TTransRecord::FieldByName(std::string_view name) {
  for (const auto& f : kFields)
    if (name == f.Name) return &(this->*f.Member);
  return nullptr;
}

void TTransRecord::ClearRecord() {
  for (const auto& f : kFields) (this->*f.Member).clear();
  m_text.clear();
  m_error = false;
}

std::string TTransRecord::Transmition() {
  std::string body;
  for (const auto& f : kFields) {
    const std::string& value = this->*f.Member;
    if (value.empty()) continue;
    if (value.size() > kMaxText - 8 - 6)
      throw RecordTooLongError(std::string("The value of ") + f.Name + " is too long for a record (" +
                               std::to_string(value.size()) + " characters)");
    body += HexUpper(static_cast<uint32_t>(value.size() + 6), 4);
    body += f.Tag;
    body += value;
  }
  const size_t total = body.size() + 8;
  if (total > kMaxText)
    throw RecordTooLongError("The record is too long for its text form (" + std::to_string(total) +
                             " characters, at most 65535)");
  std::string text = HexUpper(static_cast<uint32_t>(total), 4) + "0001" + body;
  for (char& c : text)
    if (c == '\n') c = '\r';
  m_text = text;
  return text;
}

void TTransRecord::SetTransmition(std::string_view input) {
  ClearRecord();
  if (input.empty()) return;
  // Line ends: every CR becomes LF, then each pair of LF becomes CR LF again, scanning on after
  // the pair, so that a value's CR LF (written as CR CR) comes back as CR LF, and CR LF CR LF as
  // CR LF CR LF. A single CR or LF comes back as LF.
  std::string text(input);
  for (char& c : text)
    if (c == '\r') c = '\n';
  for (size_t i = 0; i + 1 < text.size();) {
    if (text[i] == '\n' && text[i + 1] == '\n') {
      text[i] = '\r';
      i += 2;
    } else {
      ++i;
    }
  }
  const uint32_t length = ReadLength(text);
  if (length != text.size()) {
    m_error = true;
    return;
  }
  std::string_view rest = std::string_view(text).substr(std::min<size_t>(8, text.size()));
  while (!rest.empty()) {
    const uint32_t f = ReadLength(rest);
    if (f == 0) {
      // A zero length cannot advance the parse: it ends here.
      m_error = true;
      return;
    }
    const std::string_view tag = rest.substr(std::min<size_t>(4, rest.size()), 2);
    std::string_view value;
    if (f >= 7 && rest.size() > 6) value = rest.substr(6, f - 6);
    if (std::string* field = FieldByTag(tag)) field->assign(value);
    rest = f >= rest.size() ? std::string_view() : rest.substr(f);
  }
}

}  // namespace cv2
