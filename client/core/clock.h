#pragma once
// The clock port: today's date in the user's short date format.
#include <string>

namespace cv2 {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::string ShortDate() = 0;
};

// The system clock and the user's locale (QLocale::ShortFormat).
class SystemClock : public Clock {
 public:
  std::string ShortDate() override;
};

// A fixed date for tests.
class FixedClock : public Clock {
 public:
  explicit FixedClock(std::string date) : m_date(std::move(date)) {}
  std::string ShortDate() override { return m_date; }
  void Set(std::string date) { m_date = std::move(date); }

 private:
  std::string m_date;
};

}  // namespace cv2
