#pragma once
// The user-interface port on Qt widgets: mirrors the core's state into the main window and asks
// the user with plain dialogs until the product's own windows arrive.
#include <QPointer>
#include <functional>

#include "main_window.h"
#include "user_interface.h"

namespace cv2 {

class QtUserInterface : public UserInterface {
 public:
  QtUserInterface() = default;
  void SetWindow(MainWindow* window) { m_window = window; }
  // Called when the user ticks "Do not show this message again" in a notice.
  void SetDontShowAgainHandler(std::function<void()> handler) { m_dontShowAgain = std::move(handler); }

  void CaptionChanged(Caption element, const std::string& text) override;
  void VisibilityChanged(Visual element, bool visible) override;
  void RunButtonChanged(bool pressed) override;
  void ProgressChanged(Bar bar, int64_t value, int64_t maximum) override;
  void TrayAnimation(bool on) override;
  void LogAppended(const std::string& line) override;
  void LogCleared() override;
  void ProcessMessages() override;
  void CentreMainWindow() override;
  void ActivateTray() override;
  bool IsMainWindowVisible() override;
  void ShowStartupLogo() override;

  void ShowNotice(const std::string& text, Rgb colour, bool showCheckBox) override;
  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& defaultText) override;
  bool Confirm(const std::string& text) override;
  void ShowTextMessage(const std::string& text, const std::string& link) override;
  void ShowWebPage(const std::string& caption, int width, int height,
                   const std::string& address) override;
  std::string SelectCompany() override;
  void ErrorBox(const std::string& text) override;
  void InformationBox(const std::string& text) override;
  void OpenWithDesktop(const std::string& target) override;

 private:
  QPointer<MainWindow> m_window;
  std::function<void()> m_dontShowAgain;
};

}  // namespace cv2
