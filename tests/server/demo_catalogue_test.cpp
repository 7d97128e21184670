// The demo catalogue built from a hardware list: versions the client takes for newer, real zip
// packages whose setup program records that it ran, and a report of the same machine matching.
#include "demo_catalogue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zip.h>

#include <cstring>
#include <fstream>

#include "catalogue.h"
#include "paths.h"
#include "server_harness.h"
#include "tree_text.h"
#include "version_order.h"

namespace cv2::test {
namespace {

std::string FirstValue(const TreeNode& node, const char* label) {
  const TreeNode* s = node.FindChild(label);
  return s && !s->Children.empty() ? s->Children.front().Text : "";
}

// The device records the client composes from the same list: every value of "HardwareID", and
// the first "Driver Version".
std::vector<TTransRecord> ClientRecords(const Tree& tree) {
  std::vector<TTransRecord> records;
  for (const TreeNode& node : tree.Roots) {
    std::vector<std::string> ids;
    if (const TreeNode* hw = node.FindChild("HardwareID"))
      for (const auto& v : hw->Children) ids.push_back(v.Text);
    records.push_back(Device(node.Text, ids, FirstValue(node, "Driver Version")));
  }
  return records;
}

TEST(DemoCatalogue, OffersEveryDriverOneVersionUpWithARunnablePackage) {
  std::string text;
  ASSERT_TRUE(ReadWholeFile(std::string(CV2_TEST_DATA) + "/server/hwlist.txt", text));
  Tree tree;
  ReadTreeText(text, tree);
  TempDir dir;
  const DemoCatalogue demo = BuildDemoCatalogue(tree, dir.File("packages"), "2026-12-11");
  // Devices with a driver, identical devices once; plus the message and the page.
  EXPECT_EQ(demo.Devices, 6u);
  ASSERT_EQ(demo.Entries.size(), 8u);
  for (const auto& entry : demo.Entries) EXPECT_NO_THROW(CheckEntry(entry));

  // The client compares an offer with the first device of the same name, as text.
  const Report report = ParseReport(ReportText({}, ClientRecords(tree)));
  const Catalogue catalogue(demo.Entries, 1);
  const auto offers = UpdateRecords(catalogue.UpdateList(report, "http://h:1"));
  ASSERT_EQ(offers.size(), 8u);
  for (const TTransRecord& offer : offers) {
    SCOPED_TRACE(offer.DeviceName);
    std::string installed;
    for (const auto& r : report.Records)
      if (r.DeviceName == offer.DeviceName) {
        installed = r.Version;
        break;
      }
    EXPECT_GT(std::strcmp(offer.Version.c_str(), installed.c_str()), 0);
    EXPECT_GT(server::CompareVersions(offer.Version, installed), 0);
  }
  EXPECT_NE(offers[6].Location.find("*message*\""), std::string::npos);
  EXPECT_NE(offers[7].Location.find("*html*"), std::string::npos);
  EXPECT_NE(offers[7].Location.find("\"http://h:1/welcome.html\""), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("packages/welcome.html")));

  // The package of the first offer: a real zip with an executable setup program.
  const TTransRecord& first = offers[0];
  EXPECT_EQ(first.Location,
            "*http**zip\"http://h:1/" + first.BaseKey + "/" + first.Version + "/driver.zip\"");
  const std::string zipPath =
      dir.File("packages/" + first.BaseKey + "/" + first.Version + "/driver.zip");
  int error = 0;
  zip_t* archive = zip_open(zipPath.c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(archive, nullptr);
  const zip_int64_t index = zip_name_locate(archive, "setup.sh", 0);
  ASSERT_GE(index, 0);
  zip_uint8_t os = 0;
  zip_uint32_t attributes = 0;
  zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, &os, &attributes);
  EXPECT_EQ(os, ZIP_OPSYS_UNIX);
  EXPECT_EQ((attributes >> 16) & 0777, 0755u);
  zip_stat_t st;
  zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &st);
  std::string script(st.size, '\0');
  zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
  ASSERT_EQ(zip_fread(file, script.data(), st.size), static_cast<zip_int64_t>(st.size));
  zip_fclose(file);
  zip_close(archive);

  // Run it as an installer would: it records that it ran.
  const std::string setup = dir.File("setup.sh");
  std::ofstream(setup, std::ios::binary) << script;
  chmod(setup.c_str(), 0755);
  const std::string record = dir.File("ran.log");
  const std::string command =
      std::string(kDemoLogVariable) + "='" + record + "' " + setup + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string ran;
  ASSERT_TRUE(ReadWholeFile(record, ran));
  EXPECT_NE(ran.find(first.BaseKey + "\t" + first.Version + "\t"), std::string::npos) << ran;
}

}  // namespace
}  // namespace cv2::test
