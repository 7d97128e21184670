#include "hardware_inventory.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "fake_ui.h"
#include "paths.h"
#include "registry_memory.h"

namespace cv2 {
namespace {

const std::string kData = CV2_TEST_DATA;
const std::string kStars(50, '*');
const std::vector<std::string> kFailureLines = {kStars,
                                                "Error - can't find _GetHwList in HwSense.dll",
                                                "Can't continue GetUpdateList()Sequence", kStars};

// What the fake library's export returns; the buffer stays "the library's" until replaced.
std::string g_listText;
const char* ReturnList() {
  return g_listText.c_str();
}
const char* ReturnNull() {
  return nullptr;
}
const char* Throw() {
  throw std::runtime_error("registry value of another type");
}

// A library port whose one library exports what the test says.
class FakeLibraries : public LibraryLoader {
 public:
  class Library : public LoadedLibrary {
   public:
    explicit Library(FakeLibraries& owner) : m_owner(owner) {}
    ~Library() override { ++m_owner.unloads; }
    void* Symbol(const std::string& name) override {
      auto it = m_owner.exports.find(name);
      return it == m_owner.exports.end() ? nullptr : it->second;
    }

   private:
    FakeLibraries& m_owner;
  };

  std::unique_ptr<LoadedLibrary> Load(const std::string& fileName) override {
    loads.push_back(fileName);
    if (!present) return nullptr;
    return std::make_unique<Library>(*this);
  }

  bool present = true;
  std::map<std::string, void*> exports;
  std::vector<std::string> loads;
  int unloads = 0;
};

void* Export(const char* (*function)()) {
  return reinterpret_cast<void*>(function);
}

class Inventory : public ::testing::Test {
 protected:
  Inventory() : state(store, ui, clock), inventory(state, libraries) {
    libraries.exports["_GetHwList"] = Export(ReturnList);
  }
  std::vector<std::string> Devices() const {
    std::vector<std::string> out;
    for (const auto& node : state.DeviceTree.Roots) out.push_back(node.Text);
    return out;
  }

  MemoryRegistry store;
  test::FakeUserInterface ui;
  FixedClock clock{""};
  ClientState state;
  FakeLibraries libraries;
  HardwareInventory inventory;
};

TEST_F(Inventory, LoadsPrunesAndCountsTheFixtureList) {
  ASSERT_TRUE(ReadWholeFile(kData + "/report/hwlist.txt", g_listText));
  ASSERT_TRUE(inventory.LoadHardwareList());
  // "Volume Manager" has no hardware identifier and goes; the two processors of the same
  // description both stay.
  EXPECT_EQ(Devices(),
            (std::vector<std::string>{"3c905C-TX/TX-M [Tornado]", "Virtio 1.0 network device",
                                      "USB Human Interface Device", "Communications Port",
                                      "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz",
                                      "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz"}));
  EXPECT_EQ(state.DeviceCount, 6);
  EXPECT_EQ(state.Status().GetCaption(Caption::DeviceCountLBL), "6");
  EXPECT_EQ(state.Status().Maximum(Bar::DownloadProgress), 6);
  EXPECT_EQ(state.Status().Value(Bar::DownloadProgress), 0);
  EXPECT_EQ(state.Log().Lines(), std::vector<std::string>{"Found: 6 known devices."});

  // The library is loaded by its file name at each call and stays loaded until released.
  EXPECT_EQ(libraries.loads, std::vector<std::string>{"libHwSense.so"});
  EXPECT_TRUE(inventory.LibraryLoaded());
  inventory.ReleaseHardwareLibrary();
  EXPECT_EQ(libraries.unloads, 1);
  g_listText.clear();
  ASSERT_TRUE(inventory.LoadHardwareList());
  EXPECT_EQ(libraries.loads.size(), 2u);
  EXPECT_TRUE(state.DeviceTree.Empty());  // a new load replaces the tree
}

struct PruneCase {
  const char* name;
  std::string text;
  std::vector<std::string> kept;
};

TEST_F(Inventory, PruneLooksOnlyAtEachDevicesFirstSection) {
  const PruneCase cases[] = {
      {"EmptyFirstSectionGoes", "A\r\n\tHardwareID\r\n\tClass GUID\r\n\t\t{x}\r\n", {}},
      {"OneIdentifierStays", "A\r\n\tHardwareID\r\n\t\tID\r\n", {"A"}},
      {"OtherSectionsDoNotMatter", "A\r\n\tOther\r\n\t\tv\r\n\tHardwareID\r\n", {"A"}},
      {"LineWithoutChildrenGoes", "First string\r\nA\r\n\tHardwareID\r\n\t\tID\r\n", {"A"}},
      {"DuplicatesStay",
       "A\r\n\tHardwareID\r\n\t\tID\r\nA\r\n\tHardwareID\r\n\t\tID\r\n",
       {"A", "A"}},
      {"EmptyText", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_listText = c.text;
    state.Log().Clear();
    ASSERT_TRUE(inventory.LoadHardwareList());
    EXPECT_EQ(Devices(), c.kept);
    EXPECT_EQ(
        state.Log().Lines(),
        std::vector<std::string>{"Found: " + std::to_string(c.kept.size()) + " known devices."});
  }
}

TEST_F(Inventory, NullResultIsAnEmptyList) {
  libraries.exports["_GetHwList"] = Export(ReturnNull);
  ASSERT_TRUE(inventory.LoadHardwareList());
  EXPECT_EQ(state.DeviceCount, 0);
  EXPECT_EQ(state.Log().Lines(), std::vector<std::string>{"Found: 0 known devices."});
}

struct FailureCase {
  const char* name;
  bool present;
  void* symbol;
  std::string text;
  std::vector<std::string> treeAfter;  // previous devices, or the part read before the fault
};

TEST_F(Inventory, FailuresLogTheFourLines) {
  const FailureCase cases[] = {
      {"NoLibrary", false, nullptr, "", {"Old"}},
      {"NoExport", true, nullptr, "", {"Old"}},
      {"CallRaises", true, Export(Throw), "", {"Old"}},
      // A second line two levels deep: "Invalid level (2) for item ..." ends the load.
      {"LevelJump", true, Export(ReturnList), "A\r\n\t\tHardwareID\r\nB\r\n", {"A"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state.DeviceTree.Roots = {TreeNode{"Old", {{"HardwareID", {{"ID", {}}}}}}};
    state.DeviceCount = 1;
    state.Log().Clear();
    libraries.present = c.present;
    libraries.exports.clear();
    if (c.symbol) libraries.exports["_GetHwList"] = c.symbol;
    g_listText = c.text;
    EXPECT_FALSE(inventory.LoadHardwareList());
    EXPECT_EQ(state.Log().Lines(), kFailureLines);
    EXPECT_EQ(Devices(), c.treeAfter);
    EXPECT_EQ(state.DeviceCount, 1);  // counted only by a load that succeeds
  }
}

}  // namespace
}  // namespace cv2
