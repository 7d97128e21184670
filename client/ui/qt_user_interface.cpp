#include "qt_user_interface.h"

#include "company_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace cv2 {

namespace {
QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

void QtUserInterface::CaptionChanged(Caption element, const std::string& text) {
  if (m_window) m_window->SetCaption(element, Q(text));
}

void QtUserInterface::VisibilityChanged(Visual element, bool visible) {
  if (m_window) m_window->SetVisual(element, visible);
}

void QtUserInterface::RunButtonChanged(bool pressed) {
  if (m_window) m_window->SetRunButton(pressed);
}

void QtUserInterface::ProgressChanged(Bar bar, int64_t value, int64_t maximum) {
  if (m_window) m_window->SetProgress(bar, value, maximum);
}

void QtUserInterface::TrayAnimation(bool on) {
  if (m_window) m_window->SetTrayAnimation(on);
}

void QtUserInterface::LogAppended(const std::string& line) {
  if (m_window) m_window->AppendLogLine(Q(line));
}

void QtUserInterface::LogCleared() {
  if (m_window) m_window->ClearLog();
}

void QtUserInterface::ProcessMessages() { QCoreApplication::processEvents(); }

void QtUserInterface::CentreMainWindow() {
  if (!m_window) return;
  QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  m_window->move(area.left() + (area.width() - m_window->width()) / 2,
                 area.top() + (area.height() - m_window->height()) / 2);
}

void QtUserInterface::ActivateTray() {
  if (m_window) m_window->ActivateTray();
}

bool QtUserInterface::IsMainWindowVisible() { return m_window && m_window->isVisible(); }

void QtUserInterface::ShowStartupLogo() {
  auto* logo = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Corvantis 2"),
                               QStringLiteral("Corvantis 2"), QMessageBox::NoButton, m_window);
  logo->setAttribute(Qt::WA_DeleteOnClose);
  logo->show();
  QTimer::singleShot(3000, logo, &QWidget::close);
}

void QtUserInterface::ShowNotice(const std::string& text, Rgb colour, bool showCheckBox) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), Q(text),
                  QMessageBox::Ok, m_window);
  box.setStyleSheet(QStringLiteral("QMessageBox { background-color: rgb(%1,%2,%3); } "
                                   "QLabel, QCheckBox { color: white; }")
                        .arg(colour.R)
                        .arg(colour.G)
                        .arg(colour.B));
  QCheckBox* check = nullptr;
  if (showCheckBox) {
    check = new QCheckBox(QStringLiteral("Do not show this message again"), &box);
    box.setCheckBox(check);
  }
  box.exec();
  if (check && check->isChecked() && m_dontShowAgain) m_dontShowAgain();
}

std::optional<std::string> QtUserInterface::InputBox(const std::string& title,
                                                     const std::string& prompt,
                                                     const std::string& defaultText) {
  bool ok = false;
  QString answer =
      QInputDialog::getText(m_window, Q(title), Q(prompt), QLineEdit::Normal, Q(defaultText), &ok);
  if (!ok) return std::nullopt;
  return answer.toStdString();
}

// Texts from the server (device names, messages, addresses) are shown as plain text, never
// interpreted as markup.
bool QtUserInterface::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Corvantis 2"), Q(text),
                  QMessageBox::Ok | QMessageBox::Cancel, m_window);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

void QtUserInterface::ShowTextMessage(const std::string& text, const std::string& link) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("CV2 Message"), Q(text),
                  QMessageBox::Close, m_window);
  box.setTextFormat(Qt::PlainText);
  QPushButton* open = nullptr;
  if (!link.empty()) open = box.addButton(QStringLiteral("Open"), QMessageBox::AcceptRole);
  box.exec();
  if (open && box.clickedButton() == open) OpenWithDesktop(link);
}

void QtUserInterface::ShowWebPage(const std::string& caption, int /*width*/, int /*height*/,
                                  const std::string& address) {
  // Until the browser window arrives the page is named and opened in the desktop's browser, whose
  // window takes its own size.
  QMessageBox box(QMessageBox::Information,
                  caption.empty() ? QStringLiteral("Corvantis 2 Browser") : Q(caption), Q(address),
                  QMessageBox::Close, m_window);
  box.setTextFormat(Qt::PlainText);
  QPushButton* open = box.addButton(QStringLiteral("Open in browser"), QMessageBox::AcceptRole);
  box.exec();
  if (box.clickedButton() == open) OpenWithDesktop(address);
}

std::string QtUserInterface::SelectCompany() {
  QStringList items;
  for (const char* company : CompanyList()) items << QString::fromLatin1(company);
  bool ok = false;
  QString choice = QInputDialog::getItem(m_window, QStringLiteral("Corvantis 2"),
                                         QStringLiteral("Company:"), items, 0, false, &ok);
  return ok ? choice.toStdString() : std::string();
}

void QtUserInterface::ErrorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), Q(text), QMessageBox::Ok,
                  m_window);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtUserInterface::InformationBox(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), Q(text), QMessageBox::Ok,
                  m_window);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtUserInterface::OpenWithDesktop(const std::string& target) {
  const QString t = Q(target);
  QUrl url = QUrl::fromUserInput(t);
  if (t.startsWith(QLatin1Char('/'))) url = QUrl::fromLocalFile(t);
  QDesktopServices::openUrl(url);
}

}  // namespace cv2
