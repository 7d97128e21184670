// How reports are read and matched against the catalogue, and the order of versions.
#include <gtest/gtest.h>

#include <cstring>

#include "catalogue.h"
#include "report.h"
#include "server_harness.h"
#include "version_order.h"

namespace cv2::test {
namespace {

TEST(Versions, NumericOrderAndAVersionAboveThatTextComparisonAlsoAccepts) {
  struct Case {
    const char* A;
    const char* B;
    int Order;
  };
  const Case order[] = {
      {"10.0", "9.0", 1},  {"1.0", "1.0.0", 0},
      {"1.10", "1.9", 1},  {"6.18.44.1607", "6.18.44.1607", 0},
      {"2.0b", "2.0a", 1}, {"", "0", 0},
      {"007", "7", 0},     {"1.2", "1.2.1", -1},
  };
  for (const auto& c : order) {
    EXPECT_EQ(server::CompareVersions(c.A, c.B), c.Order) << c.A << " vs " << c.B;
    EXPECT_EQ(server::CompareVersions(c.B, c.A), -c.Order) << c.B << " vs " << c.A;
  }
  const std::pair<const char*, const char*> above[] = {
      {"5.1.0.0", "5.1.0.1"}, {"5.1.0.9", "5.1.1.0"}, {"2.19.99", "2.20.0"},
      {"9.9", "9.9.1"},       {"99", "99.1"},         {"", "1.0.0.0"},
      {"0.0.0.0", "0.0.0.1"}, {"09", "10"},           {"2.6.32-5", "2.6.32-5.1"},
  };
  for (const auto& [installed, expected] : above) {
    const std::string next = server::VersionAbove(installed);
    EXPECT_EQ(next, expected) << installed;
    EXPECT_GT(server::CompareVersions(next, installed), 0) << installed;
    // The client compares version texts: the offer must sort above the installed one there too.
    EXPECT_GT(std::strcmp(next.c_str(), installed), 0) << installed;
  }
}

TEST(Reports, OnlyCrLfEndsALine) {
  // A record's CR LF inside a value travels as CR CR; the line ends with CR LF after it.
  TTransRecord device = Device("Network", {"PCI\\VEN_1", "PCI\\VEN_1&DEV_2"}, "1.0");
  device.Description = "two\r\nlines\r\n";
  const std::string text = ReportText({"alias  Acme", "branded", "mb_model X1"},
                                      {device, Device("Other", {"USB\\X"}, "")});
  const Report report = ParseReport(text);
  ASSERT_EQ(report.Records.size(), 2u);
  EXPECT_EQ(report.Records[0].Description, "two\r\nlines\r\n");
  EXPECT_EQ(RecordIds(report.Records[0]),
            (std::vector<std::string>{"PCI\\VEN_1", "PCI\\VEN_1&DEV_2"}));
  EXPECT_EQ(*report.Keyword("alias"), " Acme");  // the value as sent, after one blank
  EXPECT_TRUE(report.Has("branded"));
  EXPECT_FALSE(report.Has("brand_name"));

  const std::pair<const char*, const char*> bad[] = {
      {"branded\r\nnot a record\r\n", "line 2"},
      {"00090001\r\n", "not a whole record"},
      {"0019000100090000abc00081816\r\n", "not a whole record"},
  };
  for (const auto& [input, why] : bad) {
    try {
      ParseReport(input);
      ADD_FAILURE() << input;
    } catch (const ReportError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(ParseReport("\r\n\r\n").Records.empty());  // the client's empty lines are skipped
}

// Each case: the catalogue, the report, and the BaseKeys offered in order.
TEST(Matching, Rules) {
  const std::string specific = "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086";
  const std::string generic = "PCI\\VEN_8086&DEV_100E";
  struct Case {
    const char* Name;
    std::vector<CatalogueEntry> Entries;
    std::vector<std::string> Keywords;
    std::vector<TTransRecord> Devices;
    std::vector<std::string> Offered;
  };
  const Case cases[] = {
      {"IDs compare without regard to case",
       {Entry("A", {"pci\\ven_8086&dev_100e"}, "1.0")},
       {},
       {Device("Nic", {generic}, "")},
       {"A"}},
      {"no common ID, no offer",
       {Entry("A", {"PCI\\VEN_10EC"}, "1.0")},
       {},
       {Device("Nic", {specific, generic}, "")},
       {}},
      {"the most specific ID of the device wins over a higher version",
       {Entry("GENERIC", {generic}, "9.0"), Entry("SPECIFIC", {specific}, "1.0")},
       {},
       {Device("Nic", {specific, generic}, "")},
       {"SPECIFIC"}},
      {"then the highest version, compared as numbers",
       {Entry("NINE", {generic}, "9.0"), Entry("TEN", {generic}, "10.0"),
        Entry("EIGHT", {generic}, "8.5")},
       {},
       {Device("Nic", {specific, generic}, "")},
       {"TEN"}},
      {"an entry is offered once however many devices match it",
       {Entry("CPU", {"ACPI\\GenuineIntel_-_x86"}, "1.0")},
       {},
       {Device("Core", {"ACPI\\GenuineIntel_-_x86"}, ""),
        Device("Core", {"ACPI\\GenuineIntel_-_x86"}, "")},
       {"CPU"}},
      {"offers follow the report's order",
       {Entry("B", {"USB\\B"}, "1"), Entry("A", {"USB\\A"}, "1")},
       {},
       {Device("a", {"USB\\A"}, ""), Device("b", {"USB\\B"}, "")},
       {"A", "B"}},
      {"a brand condition narrows an entry; the general one serves other brands",
       {Entry("DELL", {generic}, "5.0", {{"brand_name", "Dell Inc."}}),
        Entry("ANY", {generic}, "4.0")},
       {"brand_name  dell inc. "},
       {Device("Nic", {generic}, "")},
       {"DELL"}},
      {"the same catalogue for another brand",
       {Entry("DELL", {generic}, "5.0", {{"brand_name", "Dell Inc."}}),
        Entry("ANY", {generic}, "4.0")},
       {"brand_name HP"},
       {Device("Nic", {generic}, "")},
       {"ANY"}},
      {"a report without the keyword line does not meet its condition",
       {Entry("BOARD", {generic}, "5.0", {{"mb_model", "X1"}, {"mb_model", "X2"}})},
       {},
       {Device("Nic", {generic}, "")},
       {}},
      {"values of one keyword are alternatives",
       {Entry("BOARD", {generic}, "5.0", {{"mb_model", "X1"}, {"mb_model", "X2"}})},
       {"mb_model X2"},
       {Device("Nic", {generic}, "")},
       {"BOARD"}},
      {"branded yes and no",
       {Entry("OEM", {generic}, "5.0", {{"branded", "yes"}}),
        Entry("RETAIL", {"USB\\A"}, "5.0", {{"branded", "no"}})},
       {"branded"},
       {Device("Nic", {generic}, ""), Device("a", {"USB\\A"}, "")},
       {"OEM"}},
      {"an entry without IDs goes to every report that meets its conditions, after the devices",
       {Entry("NEWS", {}, "1.0"), Entry("ACME-NEWS", {}, "1.0", {{"alias", "Acme"}}),
        Entry("A", {"USB\\A"}, "1")},
       {"alias Acme"},
       {Device("a", {"USB\\A"}, "")},
       {"A", "NEWS", "ACME-NEWS"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Catalogue catalogue(c.Entries, 1);
    const Report report = ParseReport(ReportText(c.Keywords, c.Devices));
    std::vector<std::string> offered;
    for (const TTransRecord& r : UpdateRecords(catalogue.UpdateList(report, "http://p")))
      offered.push_back(r.BaseKey);
    EXPECT_EQ(offered, c.Offered);
  }
}

TEST(Matching, AnswerRecordCarriesTheDeviceNameTheEntryFieldsAndThePackageAddress) {
  CatalogueEntry entry = Entry("K", {"PCI\\A", "PCI\\B"}, "2.1");
  entry.Fields.Rating = "Critical";
  entry.Fields.Language = "0409;0407";
  entry.Fields.Location = "*http**zip\"{packages}/K/2.1/a.zip\"*link {packages}/x.html*";
  const Catalogue catalogue({entry}, 1);
  const Report report = ParseReport(ReportText({}, {Device("My NIC", {"pci\\b"}, "1.0")}));
  MatchSummary summary;
  const auto records = UpdateRecords(catalogue.UpdateList(report, "http://h:81", &summary));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].DeviceName, "My NIC");
  EXPECT_EQ(records[0].HWID, "PCI\\A**PCI\\B");
  EXPECT_EQ(records[0].Version, "2.1");
  EXPECT_EQ(records[0].Rating, "Critical");
  EXPECT_EQ(records[0].Language, "0409;0407");
  EXPECT_EQ(records[0].Location, "*http**zip\"http://h:81/K/2.1/a.zip\"*link http://h:81/x.html*");
  EXPECT_EQ(summary.Records, 1u);
  EXPECT_EQ(summary.Matched, 1u);
  EXPECT_EQ(summary.Offered, 1u);
}

TEST(Matching, EntriesThatCouldNameAFolderOutsideTheDownloadsAreRefused) {
  for (const char* key : {"", "..", ".", "a/b", "a\\b", "C:", "a\tb"}) {
    EXPECT_THROW(CheckEntry(Entry(key, {"X"}, "1")), Error) << key;
  }
  for (const char* version : {"..", "1/2", "1\\2"}) {
    EXPECT_THROW(CheckEntry(Entry("K", {"X"}, version)), Error) << version;
  }
  EXPECT_THROW(CheckEntry(Entry("K", {"X\r\nY"}, "1")), Error);
  EXPECT_THROW(CheckEntry(Entry("K", {std::string("X\0Y", 3)}, "1")), Error);
  CatalogueEntry zero = Entry("K", {"X"}, "1");
  zero.Fields.Description = std::string("cut\0here", 8);  // the client's list would end there
  EXPECT_THROW(CheckEntry(zero), Error);
  EXPECT_THROW(CheckEntry(Entry("K", {"X"}, "1", {{"colour", "red"}})), Error);
  EXPECT_NO_THROW(CheckEntry(Entry("K-1.2_x", {"X"}, "1.2.3")));
}

}  // namespace
}  // namespace cv2::test
