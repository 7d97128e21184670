#include "console_ui.h"

#include <QCoreApplication>
#include <ostream>

namespace cv2 {

ConsoleUserInterface::ConsoleUserInterface(std::ostream& out, std::ostream& err,
                                           ConsoleOptions options)
    : m_out(out), m_err(err), m_options(std::move(options)) {}

void ConsoleUserInterface::LogAppended(const std::string& line) { m_out << line << std::endl; }

void ConsoleUserInterface::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void ConsoleUserInterface::ShowNotice(const std::string& text, Rgb, bool) {
  m_notices.push_back(text);
  m_err << "Notice: " << text << std::endl;
}

std::optional<std::string> ConsoleUserInterface::InputBox(const std::string& title,
                                                          const std::string& prompt,
                                                          const std::string&) {
  m_err << title << ": " << prompt << "(cancelled: no input on the command line)" << std::endl;
  return std::nullopt;
}

bool ConsoleUserInterface::Confirm(const std::string& text) {
  const bool answer = m_options.Answer.value_or(false);
  m_err << "Question: " << text << " -> " << (answer ? "OK" : "Cancel") << std::endl;
  return answer;
}

void ConsoleUserInterface::ShowTextMessage(const std::string& text, const std::string& link) {
  m_err << "Message: " << text;
  if (!link.empty()) m_err << " (link: " << link << ")";
  m_err << std::endl;
}

void ConsoleUserInterface::ShowWebPage(const std::string& caption, int width, int height,
                                       const std::string& address) {
  m_err << "Web page: " << address << " (\"" << caption << "\", " << width << "x" << height << ")"
        << std::endl;
}

std::string ConsoleUserInterface::SelectCompany() {
  m_err << "Company selection: "
        << (m_options.Company.empty() ? "(none chosen)" : m_options.Company) << std::endl;
  return m_options.Company;
}

void ConsoleUserInterface::ErrorBox(const std::string& text) {
  m_err << "Error: " << text << std::endl;
}

void ConsoleUserInterface::InformationBox(const std::string& text) {
  m_err << "Information: " << text << std::endl;
}

void ConsoleUserInterface::OpenWithDesktop(const std::string& target) {
  m_err << "Open: " << target << std::endl;
}

}  // namespace cv2
