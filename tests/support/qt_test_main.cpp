// The main of test programs that need a Qt application. Test discovery runs the program at build
// time to list its tests: no application is created then. Without a display, Qt's offscreen
// platform is used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef CV2_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
