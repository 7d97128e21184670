#include "clock.h"

#include <QDate>
#include <QLocale>

namespace cv2 {

std::string SystemClock::ShortDate() {
  return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
}

}  // namespace cv2
