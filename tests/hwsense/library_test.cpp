// libHwSense.so as its callers see it: loaded by name, entry points looked up and called.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "library_loader.h"
#include "paths.h"
#include "tree_text.h"

namespace cv2 {
namespace {

namespace fs = std::filesystem;
using ListCall = const char* (*)();

const std::string kLaptop = std::string(CV2_TEST_DATA) + "/sysfs/laptop-tigerlake";

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

// Points the library at a root for the life of the object.
class RootGuard {
 public:
  explicit RootGuard(const std::string& root) { setenv("HWSENSE_ROOT", root.c_str(), 1); }
  ~RootGuard() { unsetenv("HWSENSE_ROOT"); }
};

class HwSenseLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    m_library = m_loader.Load("libHwSense.so");
    ASSERT_TRUE(m_library) << m_loader.Error();
  }
  ListCall Entry(const char* name) {
    auto call = reinterpret_cast<ListCall>(m_library->Symbol(name));
    EXPECT_NE(call, nullptr) << name;
    return call;
  }
  DlLibraryLoader m_loader;
  std::unique_ptr<LoadedLibrary> m_library;
};

TEST(HwSenseExports, ExactlyTheListEntryPoints) {
  const std::string output =
      RunCommand("nm -D --defined-only '" + std::string(CV2_OUTPUT_DIR) + "/libHwSense.so'");
  std::set<std::string> names;
  for (const auto& line : SplitLines(output)) {
    auto space = line.rfind(' ');
    if (space != std::string::npos) names.insert(line.substr(space + 1));
  }
  EXPECT_EQ(names, (std::set<std::string>{"_GetHwList", "_HwCompatibleList", "_HwList"}));
}

TEST_F(HwSenseLibrary, EveryCallReturnsItsOwnBufferThatLaterCallsLeaveAlone) {
  RootGuard root(kLaptop);
  std::string expected;
  ASSERT_TRUE(ReadWholeFile(kLaptop + "/expected-hwlist.txt", expected));
  ListCall getHwList = Entry("_GetHwList");
  const char* first = getHwList();
  ASSERT_NE(first, nullptr);
  const char* second = getHwList();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(std::string(first), expected);
  EXPECT_EQ(std::string(second), expected);
}

TEST_F(HwSenseLibrary, IdListsHoldTheIdsOfTheHardwareList) {
  RootGuard root(kLaptop);
  std::string text;
  ASSERT_TRUE(ReadWholeFile(kLaptop + "/expected-hwlist.txt", text));
  Tree tree;
  ReadTreeText(text, tree);
  std::string hardware, compatible;
  for (const auto& device : tree.Roots) {
    for (const auto& id : device.FindChild("HardwareID")->Children) hardware += id.Text + "\r\n";
    for (const auto& id : device.FindChild("Compatible HWID")->Children)
      compatible += id.Text + "\r\n";
  }
  EXPECT_EQ(std::string(Entry("_HwList")()), hardware);
  EXPECT_EQ(std::string(Entry("_HwCompatibleList")()), compatible);
}

TEST_F(HwSenseLibrary, EmptyMachineNoSysfsAndFailedCallAreTold) {
  char pattern[] = "/tmp/hwsense-root-XXXXXX";
  const std::string root = mkdtemp(pattern);
  ListCall getHwList = Entry("_GetHwList");
  {
    RootGuard guard(root);  // no sys/: the enumeration cannot start
    EXPECT_EQ(getHwList(), nullptr);
    EXPECT_EQ(Entry("_HwList")(), nullptr);
  }
  fs::create_directories(root + "/sys");
  {
    RootGuard guard(root);  // a machine without devices
    const char* text = getHwList();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
  }
  {
    RootGuard guard(root + "/missing");  // a failed call
    EXPECT_THROW(getHwList(), std::exception);
  }
  fs::remove_all(root);
}

TEST(Cv2ctlHwList, PrintsTheHardwareListOfTheLibrary) {
  std::string expected;
  ASSERT_TRUE(ReadWholeFile(kLaptop + "/expected-hwlist.txt", expected));
  EXPECT_EQ(RunCommand("HWSENSE_ROOT='" + kLaptop + "' '" + std::string(CV2_OUTPUT_DIR) +
                       "/cv2ctl' hwlist"),
            expected);
}

}  // namespace
}  // namespace cv2
