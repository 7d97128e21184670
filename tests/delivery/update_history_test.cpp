#include <gtest/gtest.h>

#include <QProcess>

#include "delivery_fixture.h"
#include "update_list.h"

namespace cv2 {
namespace {

using test::Entry;

TTransRecord Record(const std::string& baseKey, const std::string& version) {
  TTransRecord record;
  record.SetTransmition(Entry("Dev " + baseKey, version, "*http*\"h/a.exe\"", baseKey));
  return record;
}

// The history on the real store file of a data root.
class History : public test::DeliveryTest {
 protected:
  History() : file(OpenSettingsStore(root.string())), history(*file, &clock) {}
  std::unique_ptr<SqliteRegistry> file;
  UpdateHistory history;
};

TEST_F(History, RecordsReplacesAndStamps) {
  history.RecordUpdate(Record("K1", "1.0"), true);
  history.RecordUpdate(Record("K2", "2.0"), false);
  clock.Set("25.12.2024");
  history.RecordUpdate(Record("K1", "1.1"), true);  // the same update again: one value

  EXPECT_EQ(history.List(), (std::vector<std::string>{"K1", "K2"}));
  TTransRecord k1 = UpdateHistory::ParseEntry(history.ReadEntry("K1").value());
  EXPECT_EQ(k1.Version, "1.1");
  EXPECT_EQ(k1.Downloaded, "true");
  EXPECT_EQ(k1.DownloadDate, "25.12.2024");
  EXPECT_EQ(k1.Description, "Driver for Dev K1");  // the record as the server sent it
  TTransRecord k2 = UpdateHistory::ParseEntry(history.ReadEntry("K2").value());
  EXPECT_EQ(k2.Downloaded, "false");
  EXPECT_EQ(k2.DownloadDate, "server date");  // nothing arrived: the date stays

  history.RecordUpdate(Record("", "3.0"), true);  // no BaseKey: not stored
  EXPECT_EQ(history.List().size(), 2u);
  EXPECT_EQ(history.ReadEntry("missing").value(), "");
}

TEST_F(History, ForgetsAndReadsDamagedValues) {
  history.RecordUpdate(Record("K1", "1.0"), true);
  history.RecordUpdate(Record("K2", "1.0"), true);
  history.RecordUpdate(Record("K3", "1.0"), true);
  EXPECT_TRUE(history.Forget("k2"));  // value names compare without regard to case
  EXPECT_FALSE(history.Forget("K2"));
  EXPECT_EQ(history.List(), (std::vector<std::string>{"K1", "K3"}));
  EXPECT_EQ(history.ForgetAll(), 2u);
  EXPECT_TRUE(history.List().empty());

  for (const char* text : {"00090001", "zz", "000E000100zz00"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(UpdateHistory::ParseEntry(text).Transmition(), "00080001");
  }
  Registry reg(*file);
  reg.OpenKey(kUpdatesKey, true);
  reg.WriteInteger("K4", 1);  // not a record at all
  EXPECT_EQ(history.ReadEntry("K4").value(), "");
}

TEST_F(History, AKeyThatCannotBeOpenedIsAnEmptyHistory) {
  ReadOnlyRegistry readOnly{MemoryRegistry()};
  UpdateHistory none(readOnly, &clock);
  none.RecordUpdate(Record("K1", "1.0"), true);
  EXPECT_FALSE(none.ReadEntry("K1").has_value());
  EXPECT_TRUE(none.List().empty());

  // The decision then writes neither history line.
  ClientState readOnlyState(readOnly, ui, clock);
  EXPECT_TRUE(ShouldDownload(readOnlyState, Entry("Dev", "1.0", "*http*\"h/a\"", "K1")));
  for (const auto& line : readOnlyState.Log().Lines())
    EXPECT_EQ(line.find("Corvantis's previously downloaded verison"), std::string::npos);
}

// cv2ctl history on the same store file, as a user runs it.
TEST_F(History, Cv2ctlListsAndForgets) {
  TTransRecord record = Record("K1", "1.2.0");
  history.RecordUpdate(record, true);
  history.RecordUpdate(Record("K2", "7"), false);
  file.reset();

  auto run = [this](const QStringList& args, int expectedCode) {
    QProcess cv2ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CV2_HOME", QString::fromStdString(root.string()));
    cv2ctl.setProcessEnvironment(env);
    cv2ctl.start(QStringLiteral(CV2_OUTPUT_DIR "/cv2ctl"), QStringList{"history"} + args);
    EXPECT_TRUE(cv2ctl.waitForFinished(60000));
    EXPECT_EQ(cv2ctl.exitCode(), expectedCode) << cv2ctl.readAllStandardError().toStdString();
    return cv2ctl.readAllStandardOutput().toStdString();
  };
  EXPECT_EQ(run({"list"}, 0),
            "K1\tDev K1\t1.2.0\ttrue\t24.12.2024\n"
            "K2\tDev K2\t7\tfalse\tserver date\n");
  EXPECT_EQ(run({"forget", "K1"}, 0), "K1 forgotten\n");
  EXPECT_EQ(run({"forget", "K1"}, 0), "K1 was not in the history\n");
  EXPECT_EQ(run({"forget", "--all"}, 0), "1 update(s) forgotten\n");
  EXPECT_EQ(run({"list"}, 0), "");
  EXPECT_EQ(run({"forget"}, 1), "");
}

}  // namespace
}  // namespace cv2
