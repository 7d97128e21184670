#pragma once
// The user interface of cv2ctl: log lines go to standard output as they are appended; notices,
// questions, messages, web pages and folders to open go to standard error and never block.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "user_interface.h"

namespace cv2 {

struct ConsoleOptions {
  std::optional<bool> Answer;  // --yes / --no: the answer to every confirmation
  std::string Company;         // --company: the company selection's answer
};

class ConsoleUserInterface : public UserInterface {
 public:
  ConsoleUserInterface(std::ostream& out, std::ostream& err, ConsoleOptions options = {});

  void LogAppended(const std::string& line) override;
  void ProcessMessages() override;
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

  // The notices shown, in order (the last one is the run's summary).
  const std::vector<std::string>& Notices() const { return m_notices; }

 private:
  std::ostream& m_out;
  std::ostream& m_err;
  ConsoleOptions m_options;
  std::vector<std::string> m_notices;
};

}  // namespace cv2
