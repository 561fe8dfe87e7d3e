#include <algorithm>

#include "merge.h"

namespace quillon::fieldday {

namespace {

QString lineValue(const QString& v) { return v.isEmpty() ? QStringLiteral("(none)") : v; }

}  // namespace

QString shownSoldier(const QString& ssn, const QString& dodId, SsnShown how) {
  QStringList ids;
  if (!ssn.isEmpty()) ids << shownSsn(ssn, how);
  // An SSN typed where the DoD ID belongs is masked there too.
  if (!dodId.isEmpty()) ids << QStringLiteral("DoD ID ") + (looksLikeSsn(dodId) ? shownSsn(dodId, how) : dodId);
  return ids.join(' ');
}

QString MergeLine::text(SsnShown how) const {
  const QString who = QStringLiteral("%1 %2 %3").arg(shownSoldier(ssn, dodId, how), testDate, name);
  switch (kind) {
    case Kind::Stored: return QStringLiteral("stored %1: %2").arg(who, reason);
    case Kind::Unchanged:
      if (clashes.isEmpty()) return QStringLiteral("unchanged %1").arg(who);
      [[fallthrough]];
    case Kind::Conflict: {
      QStringList parts;
      const auto side = [](const QString& value, const QString& entered) {
        return entered.isEmpty() ? lineValue(value) : lineValue(value) + " (" + entered + ')';
      };
      for (const MergeClash& c : clashes)
        parts << QStringLiteral("%1: from %2, into %3")
                     .arg(c.field, side(c.source, c.sourceEntered), side(c.target, c.targetEntered));
      return QStringLiteral("%1 %2: %3")
          .arg(kind == Kind::Conflict ? QStringLiteral("conflict") : QStringLiteral("unchanged"), who,
               parts.join(QStringLiteral("; ")));
    }
    case Kind::Refused: return QStringLiteral("refused %1: %2").arg(who, reason);
  }
  return {};
}

int MergeReport::count(MergeLine::Kind kind) const {
  return int(std::count_if(lines.cbegin(), lines.cend(), [kind](const MergeLine& l) { return l.kind == kind; }));
}

QString MergeReport::summary() const {
  using K = MergeLine::Kind;
  return QStringLiteral("stored %1, unchanged %2, conflicts %3, refused %4")
      .arg(count(K::Stored))
      .arg(count(K::Unchanged))
      .arg(count(K::Conflict))
      .arg(count(K::Refused));
}

}  // namespace quillon::fieldday
