#pragma once
// The one error type thrown where a layer meets something it does not
// control (a database engine, a file, a report layout): a message meant for
// the clerk, and the engine's or system's error number when there is one.

#include <QString>
#include <optional>
#include <stdexcept>

namespace quillon {

class Error : public std::runtime_error {
 public:
  explicit Error(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
  Error(int number, const QString& message)
      : std::runtime_error(message.toStdString()), message_(message), number_(number) {}

  const QString& message() const { return message_; }
  std::optional<int> number() const { return number_; }

 private:
  QString message_;
  std::optional<int> number_;
};

}  // namespace quillon
