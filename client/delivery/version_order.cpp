#include "version_order.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <algorithm>

namespace cv2 {

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits of any length, compared as numbers without converting them.
int CompareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int CompareText(std::string_view a, std::string_view b) {
  QCollator collator(QLocale::system());
  collator.setCaseSensitivity(Qt::CaseSensitive);
  const int c = collator.compare(QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())),
                                 QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int CompareComponents(std::string_view a, std::string_view b) {
  if (AllDigits(a) && AllDigits(b)) return CompareNumbers(a, b);
  if (a == b) return 0;
  return CompareText(a, b);
}

// Takes the next component; a version that is used up yields "0".
std::string_view NextComponent(std::string_view& rest, bool& more) {
  if (!more) return "0";
  const size_t dot = rest.find('.');
  std::string_view component = rest.substr(0, dot);
  if (dot == std::string_view::npos) {
    more = false;
    rest = {};
  } else {
    rest.remove_prefix(dot + 1);
  }
  return component;
}

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  bool moreA = true, moreB = true;
  while (moreA || moreB) {
    const std::string_view ca = NextComponent(a, moreA);
    const std::string_view cb = NextComponent(b, moreB);
    if (const int c = CompareComponents(ca, cb)) return c;
  }
  return 0;
}

}  // namespace cv2
