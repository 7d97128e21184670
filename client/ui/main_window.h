#pragma once
// The first main window of CV2Client: the status elements of a run, the Run button, the log and
// the tray icon with its "Start" item. It forwards every click and typed key to the controller
// and mirrors what the core reports; it holds no run state of its own.
#include <QMainWindow>
#include <QPointer>
#include <array>

#include "user_interface.h"

class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSystemTrayIcon;
class QToolButton;
class QAction;

namespace cv2 {

class ClientController;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Connects the window's controls to the controller (done once, after the core exists).
  void Bind(ClientController* controller);

  // Mirrors of the core's state.
  void SetCaption(Caption element, const QString& text);
  void SetVisual(Visual element, bool visible);
  void SetRunButton(bool pressed);
  void SetProgress(Bar bar, qint64 value, qint64 maximum);
  void SetTrayAnimation(bool on);
  void AppendLogLine(const QString& line);
  void ClearLog();
  void ActivateTray();

  // Controls, for the front end's own wiring and for tests.
  QToolButton* RunBtn() const { return m_runBtn; }
  QAction* Start1() const { return m_start1; }
  QLabel* CaptionLabel(Caption element) const;
  QWidget* VisualWidget(Visual element) const;
  QPlainTextEdit* MainMemo() const { return m_mainMemo; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void BuildTray();

  ClientController* m_controller = nullptr;
  QToolButton* m_runBtn = nullptr;
  QToolButton* m_logBtn = nullptr;
  std::array<QLabel*, kCaptionCount> m_captions{};
  QLabel* m_enableBtn = nullptr;
  QLabel* m_disableBtn = nullptr;
  QFrame* m_exceptionFlagShape = nullptr;
  QToolButton* m_bBtnUp = nullptr;
  QProgressBar* m_downloadProgress = nullptr;
  QProgressBar* m_installBar = nullptr;
  QPlainTextEdit* m_mainMemo = nullptr;
  QSystemTrayIcon* m_tray = nullptr;
  QMenu* m_trayMenu = nullptr;
  QAction* m_start1 = nullptr;
  bool m_trayAnimating = false;
};

}  // namespace cv2
