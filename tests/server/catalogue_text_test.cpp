// The catalogue's text form: what "catalogue import" reads and "catalogue list" writes.
#include "catalogue_text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "server_harness.h"

namespace cv2::test {
namespace {

TEST(CatalogueText, ImportThenListGivesTheSameText) {
  const std::string text =
      "# comment\n"
      "NET-1\n"
      "\tDeviceName\n\t\tIntel PRO/1000\n"
      "\tdescription\n\t\tFirst line\n\t\t\n\t\tThird line\n"  // field names without regard to case
      "\tVersion\n\t\t8.0.1.0\n"
      "\tLocation\n\t\t*http**zip\"{packages}/NET-1/8.0.1.0/driver.zip\"\n"
      "\tIDs\n\t\tPCI\\VEN_8086&DEV_100E&SUBSYS_001E8086\n\t\tPCI\\VEN_8086&DEV_100E\n"
      "\tbrand_name\n\t\tDell Inc.\n\t\tDell Computer Corporation\n"
      "\n"
      "NEWS\n"
      "\tLocation\n\t\t*message*\"Hello\"\n";
  const auto entries = ReadCatalogueText(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Fields.BaseKey, "NET-1");
  EXPECT_EQ(entries[0].Fields.Description, "First line\r\n\r\nThird line");
  EXPECT_EQ(entries[0].Ids.size(), 2u);
  EXPECT_EQ(entries[0].Conditions.size(), 2u);
  EXPECT_TRUE(entries[1].Ids.empty());

  // Through a real store and back.
  TempDir dir;
  SqliteServerStore store(StoreFile(dir.Path()));
  store.PutEntries(entries, false);
  const std::string listed = WriteCatalogueText(store.LoadCatalogue());
  EXPECT_NE(listed.find("\tDescription\r\n\t\tFirst line\r\n\t\t\r\n\t\tThird line\r\n"),
            std::string::npos);
  EXPECT_EQ(WriteCatalogueText(ReadCatalogueText(listed)), listed);
}

TEST(CatalogueText, FaultsNameTheEntry) {
  const std::pair<const char*, const char*> cases[] = {
      {"K\n\tColour\n\t\tred\n", "\"Colour\" is neither"},
      {"K\n\tHWID\n\t\tPCI\\X\n", "under \"IDs\""},
      {"K\n\tBaseKey\n\t\tL\n", "its BaseKey"},
      {"K\n\tVersion\n\t\t1\n\t\t\tdeeper\n", "has lines under it"},
      {"K\nK\n", "appears twice"},
      {"../K\n", "BaseKey must be one folder name"},
      {"K\n\tVersion\n\t\t..\n", "Version \"..\""},
      {"K\n\t\t\tvalue\n", "not a tree"},
  };
  for (const auto& [text, why] : cases) {
    try {
      ReadCatalogueText(text);
      ADD_FAILURE() << text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
}

TEST(CatalogueStore, ReplacingAndRemovingMoveTheGeneration) {
  TempDir dir;
  SqliteServerStore store(StoreFile(dir.Path()));
  const int64_t g0 = store.CatalogueGeneration();
  store.PutEntries({Entry("A", {"X"}, "1"), Entry("B", {"Y"}, "1")}, false);
  store.PutEntries({Entry("A", {"Z"}, "2")}, false);  // same BaseKey: replaced in place
  auto entries = store.LoadCatalogue();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Fields.Version, "2");
  EXPECT_EQ(entries[0].Ids, std::vector<std::string>{"Z"});
  EXPECT_TRUE(store.RemoveEntry("B"));
  EXPECT_FALSE(store.RemoveEntry("B"));
  store.PutEntries({Entry("C", {}, "1")}, true);  // the whole catalogue replaced
  entries = store.LoadCatalogue();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Fields.BaseKey, "C");
  EXPECT_GT(store.CatalogueGeneration(), g0 + 3);
  // A refused entry leaves the catalogue as it was.
  EXPECT_THROW(store.PutEntries({Entry("D", {}, "1"), Entry("a/b", {}, "1")}, true), Error);
  EXPECT_EQ(store.LoadCatalogue().size(), 1u);

  // Another program's database is not touched.
  const std::string foreign = dir.File("foreign.db");
  { SqliteServerStore created(foreign); }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA application_id=7", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_THROW(SqliteServerStore{foreign}, ServerStoreError);
}

}  // namespace
}  // namespace cv2::test
