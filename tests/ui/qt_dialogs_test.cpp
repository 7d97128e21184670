#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "qt_user_interface.h"

namespace cv2 {
namespace {

// Answers the next message box once it is open (the box runs its own modal loop).
void WhenBoxOpens(std::function<void(QMessageBox*)> answer) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      answer(box);
    }
  });
  poll->start();
}

TEST(QtDialogs, QuestionsAndServerTextsArePlainDialogs) {
  QtUserInterface ui;
  const std::string question = "Click OK to download: \"<b>Dev</b>\" update";
  struct Case {
    QMessageBox::StandardButton button;
    bool approved;
  };
  for (const Case& c : {Case{QMessageBox::Ok, true}, Case{QMessageBox::Cancel, false}}) {
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    WhenBoxOpens([&](QMessageBox* box) {
      shown = box->text();
      format = box->textFormat();
      box->button(c.button)->click();
    });
    EXPECT_EQ(ui.Confirm(question), c.approved);
    EXPECT_EQ(shown.toStdString(), question);
    EXPECT_EQ(format, Qt::PlainText);  // a device name from the server is never markup
  }

  QString title;
  WhenBoxOpens([&](QMessageBox* box) {
    title = box->windowTitle();
    box->button(QMessageBox::Close)->click();  // closed without following the link
  });
  ui.ShowTextMessage("Read this", "http://example/news");
  EXPECT_EQ(title, "CV2 Message");

  WhenBoxOpens([&](QMessageBox* box) {
    title = box->windowTitle();
    box->button(QMessageBox::Close)->click();
  });
  ui.ShowWebPage("", 640, 480, "http://example/notes");
  EXPECT_EQ(title, "Corvantis 2 Browser");
}

}  // namespace
}  // namespace cv2
