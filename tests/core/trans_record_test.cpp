#include <gtest/gtest.h>

#include "trans_record.h"

namespace cv2 {
namespace {

const std::string CR = "\r", LF = "\n";

TEST(TransRecord, ExamplesOfTheFormat) {
  TTransRecord r;
  r.DeviceName = "abc";
  r.OSVersion = "16";
  EXPECT_EQ(r.Transmition(), "00190001000900abc00081816");

  TTransRecord back;
  back.SetTransmition("00190001000900abc00081816");
  EXPECT_FALSE(back.Error());
  EXPECT_EQ(back.DeviceName, "abc");
  EXPECT_EQ(back.OSVersion, "16");

  TTransRecord hwid;
  hwid.HWID = "A" + CR + LF + "B";
  EXPECT_EQ(hwid.Transmition(), "00120001000A09A" + CR + CR + "B");

  TTransRecord empty;
  EXPECT_EQ(empty.Transmition(), "00080001");
}

TEST(TransRecord, FieldsAreWrittenInTheFixedOrder) {
  TTransRecord r;
  for (const auto& f : TTransRecord::Fields()) r.*f.Member = "v";
  const std::string text = r.Transmition();
  std::string tags;
  for (size_t pos = 8; pos < text.size(); pos += 7) tags += text.substr(pos + 4, 2) + " ";
  EXPECT_EQ(tags,
            "00 01 02 03 04 05 0E 06 08 09 0A 0B 0C 0F 10 11 12 13 14 07 0D 15 16 17 18 19 1A "
            "90 91 92 93 ");
}

struct ParseCase {
  const char* name;
  std::string text;
  bool error;
  std::string field;  // tag of the field to check
  std::string value;
  std::string raised;  // message of a raised error
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class TransRecordParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TransRecordParse, Outcome) {
  const ParseCase& c = GetParam();
  TTransRecord r;
  r.Version = "stale";
  std::string raised;
  try {
    r.SetTransmition(c.text);
  } catch (const Error& e) {
    raised = e.what();
  }
  EXPECT_EQ(raised, c.raised);
  EXPECT_EQ(r.Error(), c.error);
  if (!c.field.empty()) {
    EXPECT_EQ(*r.FieldByTag(c.field), c.value);
  }
  // The parse always starts from a cleared record.
  if (c.field != "06") {
    EXPECT_EQ(r.Version, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransRecordParse,
    ::testing::Values(
        ParseCase{"Empty", "00080001", false, "", "", ""},
        ParseCase{"EmptyText", "", false, "", "", ""},
        ParseCase{"HeaderTooLong", "00090001", true, "", "", ""},
        ParseCase{"VersionNotChecked", "0008ABCD", false, "", "", ""},
        ParseCase{"SecondDuplicateWins", "001A0001000906aaa000906bbb", false, "06", "bbb", ""},
        ParseCase{"LowerCaseTagSkipped", "000F00010009" "0ex", false, "0E", "", ""},
        ParseCase{"UpperCaseTagTaken", "000F00010009" "0Ex", false, "0E", "x", ""},
        ParseCase{"LowerCaseLengthDigits", "001a0001" "001203Maker0000abc", false, "03",
                  "Maker0000abc", ""},
        ParseCase{"UnknownTagSkipped", "00170001" "0009ZZabc" "000600", false, "00", "", ""},
        ParseCase{"LastFieldClaimsMore", "00110001" "0010" "00abc", false, "00", "abc", ""},
        ParseCase{"SixLengthFieldIsEmpty", "000E0001" "000600", false, "00", "", ""},
        ParseCase{"ZeroLengthEndsTheParse", "00150001" "000700a" "0000" "00", true, "00", "a", ""},
        ParseCase{"NonHexLengthRaisesAndKeeps", "00150001" "000700a" "zz0000", false, "00", "a",
                  "'0xzz00' is not a valid integer value"},
        ParseCase{"KeywordLineRaises", "branded", false, "", "",
                  "'0xbran' is not a valid integer value"},
        ParseCase{"TruncatedLine", "00190001000900abc000818", true, "00", "", ""}),
    [](const auto& info) { return info.param.name; });

TEST(TransRecord, RoundTripTable) {
  const std::string cases[] = {
      "",
      "A" + CR + LF + "B",
      "x" + CR + LF + CR + LF + "y",
      CR + LF + CR + LF + CR + LF,
      "caf\xC3\xA9 \x01",
  };
  for (const auto& value : cases) {
    TTransRecord r;
    r.Location = value;
    r.HWID = value + "!";
    TTransRecord back;
    back.SetTransmition(r.Transmition());
    EXPECT_FALSE(back.Error());
    EXPECT_EQ(back.Location, value);
    EXPECT_EQ(back.HWID, value + "!");
  }
  // A lone CR or a lone LF comes back as LF.
  for (const std::string& lone : {CR, LF}) {
    TTransRecord r;
    r.Data = "a" + lone + "b";
    TTransRecord back;
    back.SetTransmition(r.Transmition());
    EXPECT_EQ(back.Data, "a" + LF + "b");
  }
}

TEST(TransRecord, SevenLineEndPairsOfAnEmptyIdentity) {
  TTransRecord r;
  std::string hwid;
  for (int i = 0; i < 7; ++i) hwid += CR + LF;
  r.HWID = hwid;
  TTransRecord back;
  back.SetTransmition(r.Transmition());
  EXPECT_EQ(back.HWID, hwid);
}

TEST(TransRecord, LargestWritableValueAndOneMore) {
  TTransRecord r;
  r.Data = std::string(65521, 'x');
  const std::string text = r.Transmition();
  EXPECT_EQ(text.size(), 65535u);
  EXPECT_EQ(text.substr(0, 4), "FFFF");
  TTransRecord back;
  back.SetTransmition(text);
  EXPECT_EQ(back.Data.size(), 65521u);
  r.Data += "x";
  EXPECT_THROW(r.Transmition(), RecordTooLongError);
  r.Data.resize(40000);
  r.Location = std::string(40000, 'y');  // each fits, together they do not
  EXPECT_THROW(r.Transmition(), RecordTooLongError);
}

TEST(TransRecord, ClearRecordEmptiesEveryLayoutFieldOnly) {
  TTransRecord r;
  r.SetTransmition("001C0001000A07hist000A0Ddevb");
  EXPECT_EQ(r.Version_History, "hist");
  EXPECT_EQ(r.Device_Branch, "devb");
  r.Branded = 5;
  r.ClearRecord();
  EXPECT_EQ(r.Transmition(), "00080001");
  EXPECT_EQ(r.Branded, 5);
}

}  // namespace
}  // namespace cv2
