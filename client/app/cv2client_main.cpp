// CV2Client: the tray program.
#include <QApplication>
#include <QMessageBox>
#include <functional>
#include <iostream>

#include "client_assembly.h"
#include "main_window.h"
#include "paths.h"
#include "qt_user_interface.h"
#include "registry.h"
#include "settings_store.h"
#include "settings_table.h"

namespace {

// Every error that no handler catches, in any event, ends in the application error handler.
class Cv2Application : public QApplication {
 public:
  using QApplication::QApplication;
  std::function<void(const std::string&)> ErrorHandler;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (ErrorHandler) ErrorHandler(e.what());
    } catch (...) {
      if (ErrorHandler) ErrorHandler("Unknown exception");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Cv2Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvantis 2"));
  QApplication::setQuitOnLastWindowClosed(true);

  std::unique_ptr<cv2::SqliteRegistry> store;
  try {
    store = cv2::OpenSettingsStore(cv2::DataRoot());
  } catch (const std::exception& e) {
    std::cerr << "CV2Client: " << e.what() << std::endl;
    QMessageBox::critical(nullptr, QStringLiteral("Corvantis 2"), QString::fromStdString(e.what()));
    return 1;
  }

  cv2::QtUserInterface ui;
  cv2::ClientAssembly assembly(*store, ui);
  cv2::MainWindow window;
  ui.SetWindow(&window);
  ui.SetDontShowAgainHandler([&assembly] {
    cv2::Registry reg(assembly.Store());
    if (reg.OpenKey(cv2::kSettingsKey, true)) reg.WriteBool("ShowFriendlyMessagesCHK", true);
  });
  window.Bind(&assembly.Controller());
  app.ErrorHandler = [&assembly](const std::string& message) {
    assembly.Controller().ApplicationException(message);
  };

  assembly.Controller().FormCreate();
  window.show();
  assembly.Controller().FormShow();
  const int rc = QApplication::exec();
  assembly.Controller().FormClose();
  return rc;
}
