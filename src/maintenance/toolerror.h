#pragma once
// What the database tool's commands share: the error they raise (a number
// and a description, shown to the clerk before the program ends), the
// interface through which they show boxes and end the program, and the point
// where a test can make any step fail.

#include <QString>

#include "quillonerror.h"

namespace quillon::dbtool {

// A failed step. Engine failures carry the database engine's result code and
// message; file-system failures carry the system's error number and text.
// Every one of them has a number.
class ToolError : public Error {
 public:
  ToolError(int number, const QString& description) : Error(number, description) {}
  int number() const { return Error::number().value_or(0); }
  const QString& description() const { return message(); }
};

// Error numbers of our own, for failures that come from neither the engine
// nor the system. Kept clear of both ranges (SQLite codes stay below 10000
// once extended codes are masked off; errno values are small).
enum ToolErrorNumber : int {
  kInvalidArgument = 10005,  // a name too short to make a backup name from
  kEngineUnavailable = 10429,
  kInjectedFailure = 10999,
};

enum class BoxIcon { None, Exclamation, Critical };

// The tool's OK boxes and the end of the program, kept behind an interface so
// the commands can be run by tests without blocking and without exiting.
// Unlike the scorer's MessageSeam it asks no questions, has a critical icon
// for the failure that ends the program, and owns that end.
class ToolMessages {
 public:
  virtual ~ToolMessages() = default;
  // A box with a single OK button; returns once it has been dismissed.
  virtual void message(const QString& text, const QString& title, BoxIcon icon) = 0;
  // Ends the program. The caller returns straight after, running nothing more.
  virtual void endProgram(int exitCode) = 0;
};

// Called before every file operation and engine call that can fail. The
// normal plan does nothing; tests throw from it to fail a chosen step.
class FaultPlan {
 public:
  virtual ~FaultPlan() = default;
  virtual void at(const char* step) = 0;
};

// Shows a failed step's number and description, then ends the program.
inline void reportFailure(ToolMessages& messages, const ToolError& e) {
  messages.message(QStringLiteral("Error %1: %2").arg(e.number()).arg(e.description()),
                   QStringLiteral("Marlpit Program"), BoxIcon::Critical);
  messages.endProgram(1);
}

inline void faultPoint(FaultPlan* plan, const char* step) {
  if (plan) plan->at(step);
}

}  // namespace quillon::dbtool
