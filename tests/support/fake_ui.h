#pragma once
// A scripted user interface for tests: records what the core shows and answers its questions
// from queues set by the test.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "user_interface.h"

namespace cv2::test {

struct NoticeShown {
  std::string Text;
  Rgb Colour;
  bool CheckBox;
};

class FakeUserInterface : public UserInterface {
 public:
  void ProcessMessages() override {
    ++processMessagesCalls;
    if (onProcessMessages) onProcessMessages();
  }
  void CentreMainWindow() override { ++centreCalls; }
  void ActivateTray() override { ++trayActivations; }
  bool IsMainWindowVisible() override { return mainWindowVisible; }
  void ShowStartupLogo() override { ++logoShown; }
  void ClosePromptWindow() override { ++promptClosed; }
  void ShowNotice(const std::string& text, Rgb colour, bool showCheckBox) override {
    notices.push_back({text, colour, showCheckBox});
  }
  std::optional<std::string> InputBox(const std::string& title, const std::string& prompt,
                                      const std::string& defaultText) override {
    inputBoxes.push_back(title + "|" + prompt + "|" + defaultText);
    if (inputAnswers.empty()) return std::nullopt;
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
  }
  bool Confirm(const std::string& text) override {
    confirmations.push_back(text);
    if (confirmAnswers.empty()) return defaultConfirm;
    bool answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
  }
  void ShowTextMessage(const std::string& text, const std::string& link) override {
    messages.push_back(text + "|" + link);
  }
  void ShowWebPage(const std::string& caption, int width, int height,
                   const std::string& address) override {
    webPages.push_back(caption + "|" + std::to_string(width) + "x" + std::to_string(height) + "|" +
                       address);
  }
  std::string SelectCompany() override {
    ++companySelections;
    return company;
  }
  void ErrorBox(const std::string& text) override { errors.push_back(text); }
  void InformationBox(const std::string& text) override { informations.push_back(text); }
  void OpenWithDesktop(const std::string& target) override { opened.push_back(target); }

  int processMessagesCalls = 0, centreCalls = 0, trayActivations = 0, logoShown = 0,
      promptClosed = 0, companySelections = 0;
  bool mainWindowVisible = true;
  bool defaultConfirm = true;
  std::string company;
  std::function<void()> onProcessMessages;
  std::vector<NoticeShown> notices;
  std::deque<std::optional<std::string>> inputAnswers;
  std::vector<std::string> inputBoxes;
  std::deque<bool> confirmAnswers;
  std::vector<std::string> confirmations, messages, webPages, errors, informations, opened;
};

}  // namespace cv2::test
