#pragma once
// "Today" for age and date of test, behind an interface so tests can fix it.

#include <QDate>

namespace quillon {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDate today() const = 0;
};

class SystemClock final : public Clock {
 public:
  QDate today() const override { return QDate::currentDate(); }
};

}  // namespace quillon
