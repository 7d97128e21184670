#pragma once
// The user-interface port: what the core asks of a front end. The Qt widgets of CV2Client, the
// console of cv2ctl and the scripted fakes of the tests implement it. The core keeps the values
// of the status elements itself (StatusBoard); the notifications here only mirror them.
#include <cstdint>
#include <optional>
#include <string>

namespace cv2 {

// Text elements of the main window and the tray menu.
enum class Caption {
  SearchStatusLBL,   // status word: "Ready", "Probing", "Receiving", "Sending", "Error"
  MessageLBL,        // current activity
  oldStatusLBL,      // LED label: "ENABLED" / "DISABLED"
  StatusLBL,         // connection: "Connected" / "Disconnected"
  UpdatesCountLBL,   // updates found
  NewUpdatesCount,   // new updates found
  DateLBL,           // last run date
  DeviceCountLBL,    // devices found (hidden)
  Start1,            // tray menu item "Start" / "Stop"
};
inline constexpr int kCaptionCount = 9;

// Elements that are only shown or hidden.
enum class Visual { EnableBtn, DisableBtn, ExceptionFlagShape, B_BtnUp, MainWindowEnabled };
inline constexpr int kVisualCount = 5;

enum class Bar { DownloadProgress, InstallBAR };
inline constexpr int kBarCount = 2;

struct Rgb {
  int R = 0, G = 0, B = 0;
  bool operator==(const Rgb&) const = default;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Mirrors of the core's state.
  virtual void CaptionChanged(Caption, const std::string&) {}
  virtual void VisibilityChanged(Visual, bool) {}
  virtual void RunButtonChanged(bool /*pressed*/) {}
  virtual void ProgressChanged(Bar, int64_t /*value*/, int64_t /*maximum*/) {}
  virtual void TrayAnimation(bool /*on*/) {}
  virtual void LogAppended(const std::string& /*line*/) {}
  virtual void LogCleared() {}

  // Lets pending events run (the original's "process messages").
  virtual void ProcessMessages() {}

  // Main window and tray.
  virtual void CentreMainWindow() {}
  virtual void ActivateTray() {}
  virtual bool IsMainWindowVisible() { return true; }
  // The start-up logo (the About window, shown without waiting; it closes itself).
  virtual void ShowStartupLogo() {}
  // Closes the prompt window when it is open.
  virtual void ClosePromptWindow() {}

  // The notice window, shown modally: text, window colour, and whether the check box
  // "Do not show this message again" is visible.
  virtual void ShowNotice(const std::string& text, Rgb colour, bool showCheckBox) = 0;
  // An input box; nullopt when cancelled.
  virtual std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                              const std::string& defaultText) = 0;
  // The confirmation form: true on approve.
  virtual bool Confirm(const std::string& text) = 0;
  // The text message form with the address a click opens.
  virtual void ShowTextMessage(const std::string& text, const std::string& link) = 0;
  // The browser form, modal.
  virtual void ShowWebPage(const std::string& caption, int width, int height,
                           const std::string& address) = 0;
  // The company selection window; the empty text when closed without a choice.
  virtual std::string SelectCompany() = 0;
  // Message boxes with an OK button.
  virtual void ErrorBox(const std::string& text) = 0;
  virtual void InformationBox(const std::string& text) = 0;
  // Opens a folder, a file or an address with the desktop's opener, without waiting.
  virtual void OpenWithDesktop(const std::string& target) = 0;
};

}  // namespace cv2
