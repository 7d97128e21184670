#pragma once
// The update record: one set of named text fields that client and server use for report records,
// update list entries and history values, and its one-line text form (Transmition):
//
//   LLLL 0001 { FFFF TT value }...
//
// LLLL is the length of the whole text and FFFF the length of a field (6 + the value's length),
// both as four upper-case hexadecimal digits; TT is the field's two-character tag. Fields are
// written in a fixed order and only when not empty; LF is written as CR, so a record is one line.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "error.h"

namespace cv2 {

// The text form cannot hold the record: it would be longer than FFFF characters.
class RecordTooLongError : public Error {
 public:
  using Error::Error;
};

class TTransRecord {
 public:
  // The fields of the text layout, with their tags.
  std::string DeviceName;       // 00
  std::string Description;      // 01
  std::string Rating;           // 02
  std::string MFG;              // 03
  std::string Beta;             // 04
  std::string Creation_Date;    // 05
  std::string Updated_Date;     // 0E
  std::string Version;          // 06
  std::string Version_History;  // 07
  std::string Upgrade_Version;  // 08
  std::string HWID;             // 09
  std::string GUID;             // 0A
  std::string Registry_Branch;  // 0B
  std::string Direct_Memory;    // 0C
  std::string Device_Branch;    // 0D
  std::string Uninstall_Entry;  // 0F
  std::string Region;           // 10
  std::string Location;         // 11
  std::string Data;             // 12
  std::string Language;         // 13
  std::string Owner;            // 14
  std::string BaseKey;          // 15
  std::string BusType;          // 17
  std::string DriverDate;       // 16
  std::string OSVersion;        // 18
  std::string UserName;         // 19
  std::string UserPass;         // 1A
  std::string LocalLocation;    // 90
  std::string Downloaded;       // 91
  std::string DownloadDate;     // 92
  std::string ClassGuid;        // 93

  // Plain properties outside the text layout: never written, read or cleared by it.
  int32_t Branded = 0;
  int32_t Enabled = 0;
  std::string BrandName;
  std::string BrandModel;
  int32_t NewVersion = 0;
  std::string MB_MFG;
  std::string MB_Model;

  // Builds the text from the fields. Raises RecordTooLongError when the text would exceed FFFF
  // characters (the record is never truncated).
  std::string Transmition();
  // Clears the record and fills it from a text. A header length that does not match the text
  // sets Error and leaves the record empty; a length field that is not hexadecimal raises
  // "'0x....' is not a valid integer value" with the fields parsed before it kept. A field length
  // of 0 cannot advance the parse: it ends the parse and sets Error, keeping the fields before it.
  void SetTransmition(std::string_view text);
  // True when the last parse found a length that does not fit.
  bool Error() const { return m_error; }
  // Empties all 31 fields of the text layout and the text buffer; Error := false.
  void ClearRecord();
  // The text of the last Transmition built.
  const std::string& LastText() const { return m_text; }

  // The 31 fields in their writing order.
  struct Field {
    const char* Tag;
    const char* Name;
    std::string TTransRecord::*Member;
  };
  static const std::array<Field, 31>& Fields();
  // The field of a tag (compared exactly), or null.
  std::string* FieldByTag(std::string_view tag);
  std::string* FieldByName(std::string_view name);

  // The largest text the layout can express.
  static constexpr size_t kMaxText = 0xFFFF;

 private:
  bool m_error = false;
  std::string m_text;
};

}  // namespace cv2
