#include <QSignalSpy>
#include <QTest>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QApplication>
#include <gtest/gtest.h>

#include "client_controller.h"
#include "main_window.h"
#include "qt_user_interface.h"
#include "registry_memory.h"
#include "settings_store.h"

namespace cv2 {
namespace {

class NoLibraries : public LibraryLoader {
 public:
  std::unique_ptr<LoadedLibrary> Load(const std::string&) override { return nullptr; }
};

struct WaitingSession : SessionService, InventoryService {
  explicit WaitingSession(ClientState& s) : state(s) {}
  bool LoadHardwareList() override { return true; }
  void ReleaseHardwareLibrary() override {}
  bool Connect() override {
    ++connects;
    return true;
  }
  void CloseSocket() override { ++closes; }
  ClientState& state;
  int connects = 0, closes = 0;
};

TEST(MainWindow, RunButtonStartsAndStopsARun) {
  MemoryRegistry store;
  InitSettings(store);
  QtUserInterface ui;
  FixedClock clock("1/2/2027");
  NoLibraries libraries;
  ClientState state(store, ui, clock);
  ClientController controller(state, libraries);
  WaitingSession session(state);
  ClientServices services;
  services.Session = &session;
  services.Inventory = &session;
  controller.AttachServices(services);
  MainWindow window;
  ui.SetWindow(&window);
  window.Bind(&controller);
  controller.FormCreate();
  window.show();

  QTest::mouseClick(window.RunBtn(), Qt::LeftButton);
  EXPECT_TRUE(state.RunActive());
  EXPECT_TRUE(window.RunBtn()->isChecked());
  EXPECT_EQ(session.connects, 1);
  EXPECT_EQ(window.CaptionLabel(Caption::MessageLBL)->text(), "Checking for new updates");
  EXPECT_EQ(window.Start1()->text(), "Stop");
  EXPECT_FALSE(window.VisualWidget(Visual::EnableBtn)->isVisible());
  EXPECT_TRUE(window.VisualWidget(Visual::DisableBtn)->isVisible());

  QTest::mouseClick(window.RunBtn(), Qt::LeftButton);
  EXPECT_FALSE(state.RunActive());
  EXPECT_FALSE(window.RunBtn()->isChecked());
  EXPECT_EQ(session.closes, 1);
  EXPECT_EQ(window.CaptionLabel(Caption::oldStatusLBL)->text(), "DISABLED");
  EXPECT_TRUE(window.MainMemo()->toPlainText().contains("User terminated synchronization"));
  EXPECT_TRUE(window.VisualWidget(Visual::EnableBtn)->isVisible());
}

TEST(MainWindow, TypedKeysReachTheController) {
  MemoryRegistry store;
  InitSettings(store);
  QtUserInterface ui;
  FixedClock clock("1/2/2027");
  NoLibraries libraries;
  ClientState state(store, ui, clock);
  ClientController controller(state, libraries);
  MainWindow window;
  ui.SetWindow(&window);
  window.Bind(&controller);
  window.show();
  window.activateWindow();
  QApplication::setActiveWindow(&window);
  QTest::keyClicks(window.RunBtn(), "abc");
  EXPECT_EQ(state.KeyBuffer, "cba");
}

}  // namespace
}  // namespace cv2
