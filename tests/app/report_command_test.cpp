#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>

#include "text_util.h"
#include "trans_record.h"
#include "tree_text.h"

namespace cv2 {
namespace {

namespace fs = std::filesystem;
const std::string kData = CV2_TEST_DATA;

struct Outcome {
  int exitCode = -1;
  std::vector<std::string> out;  // standard output, line by line
  std::string err;
};

// Runs a copy of cv2ctl that has the stand-in library beside it (where the real one would be),
// with a data root holding the fixture Software.dat.
Outcome RunReport(const QTemporaryDir& home, const QStringList& args, const char* hwlist) {
  const fs::path folder = fs::path(home.path().toStdString()) / "program";
  if (!fs::exists(folder)) {
    fs::create_directory(folder);
    fs::copy_file(fs::path(CV2_OUTPUT_DIR) / "cv2ctl", folder / "cv2ctl");
    fs::copy_file(fs::path(FAKE_HWSENSE_DIR) / "libHwSense.so", folder / "libHwSense.so");
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CV2_HOME", home.path());
  // Under the sanitizers dlopen is called from their runtime, whose RUNPATH is not cv2ctl's:
  // name the folder explicitly too, for a loader that does not look beside the program itself.
  env.insert("LD_LIBRARY_PATH", QString::fromStdString(folder.string()));
  if (hwlist)
    env.insert("FAKE_HWSENSE_LIST", hwlist);
  else
    env.remove("FAKE_HWSENSE_LIST");
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString((folder / "cv2ctl").string()), QStringList{"report"} + args);
  Outcome o;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished(5000);
    ADD_FAILURE() << "cv2ctl report did not finish";
    return o;
  }
  o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(out.find('\r'), std::string::npos) << "CR must be shown, not printed";
  o.out = SplitLines(out);
  o.err = p.readAllStandardError().toStdString();
  return o;
}

// A printed record line back to its text: \r was a CR (the fixtures hold no "\r" of their own).
std::string Unshow(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line.compare(i, 2, "\\r") == 0) {
      out += '\r';
      ++i;
    } else {
      out += line[i];
    }
  }
  return out;
}

bool IsKeywordLine(const std::string& line) {
  for (const char* keyword : {"alias ", "brand_name ", "brand_model ", "mb_model ", "mb_mfg "})
    if (line.starts_with(keyword)) return true;
  return line == "branded";
}

// The device names of the record lines, after checking that each parses back to itself.
std::vector<std::string> RecordNames(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const auto& line : lines) {
    if (IsKeywordLine(line)) {
      EXPECT_TRUE(names.empty()) << "keyword line after a record: " << line;
      continue;
    }
    TTransRecord r;
    const std::string text = Unshow(line);
    r.SetTransmition(text);
    EXPECT_FALSE(r.Error()) << line;
    EXPECT_EQ(r.Transmition(), text);
    names.push_back(names.empty() ? r.GUID : r.DeviceName);  // the identity record first
  }
  return names;
}

class ReportCommand : public ::testing::Test {
 protected:
  ReportCommand() {
    fs::copy_file(kData + "/report/Software.dat",
                  fs::path(home.path().toStdString()) / "Software.dat");
  }
  QTemporaryDir home;
};

TEST_F(ReportCommand, PrintsTheReportOfTheLoadedList) {
  const std::string hwlist = kData + "/report/hwlist.txt";
  Outcome o = RunReport(home, {}, hwlist.c_str());
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(
      RecordNames(o.out),
      (std::vector<std::string>{
          "{8783F000-B07F-47BA-BB7C-2D585B5A4147}", "3c905C-TX/TX-M [Tornado]",
          "Virtio 1.0 network device", "USB Human Interface Device", "Communications Port",
          "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz", "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz",
          "Acme Scanner Utility", "Acme Office Suite"}));
  EXPECT_NE(o.err.find("Found: 6 known devices.\n"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("platform: 3; MajorVer: "), std::string::npos);
}

TEST_F(ReportCommand, FailedCallStillPrintsTheReport) {
  // The stand-in raises through _GetHwList: the load fails, the report has no device.
  Outcome o = RunReport(home, {}, nullptr);
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_NE(o.err.find("Error - can't find _GetHwList in HwSense.dll\n"
                       "Can't continue GetUpdateList()Sequence\n"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(RecordNames(o.out),
            (std::vector<std::string>{"{8783F000-B07F-47BA-BB7C-2D585B5A4147}",
                                      "Acme Scanner Utility", "Acme Office Suite"}));
}

TEST_F(ReportCommand, RefusesArguments) {
  Outcome o = RunReport(home, {"extra"}, nullptr);
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(o.out.empty());
  EXPECT_NE(o.err.find("usage: cv2ctl report"), std::string::npos);
}

}  // namespace
}  // namespace cv2
