#pragma once
// The five-event records on a records server as a station of its own, with
// its connection at hand (tests and benches look at it).

#include "fitnessrows.h"
#include "recordssession.h"

namespace quillon {

class FitnessOnServer : public FitnessRows {
 public:
  explicit FitnessOnServer(const QString& conninfo)
      : FitnessRows([s = RecordsSession::onServer(conninfo)] { return s; }) {}
  pg::Connection& connection() { return session().server(); }
};

}  // namespace quillon
