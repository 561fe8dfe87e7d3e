#include "clashrule.h"

namespace quillon {

namespace {
bool sameText(const QString& a, const QString& b) { return a == b || (a.isEmpty() && b.isEmpty()); }
}  // namespace

Record Change::before() const {
  Record out;
  for (const Field& f : fields)
    if (f.writes) out.insert(f.name, f.from);
  return out;
}

Record Change::after() const {
  Record out;
  for (const Field& f : fields)
    if (f.writes) out.insert(f.name, f.to);
  return out;
}

Change Change::inverse() const {
  Change out{key, {}};
  out.fields.reserve(fields.size());
  for (const Field& f : fields) out.fields.append({f.name, f.to, f.from, f.writes});
  return out;
}

QList<FieldClash> clashesOf(const Change& change, const std::function<QString(const QString& name)>& stored) {
  QList<FieldClash> out;
  for (const Change::Field& f : change.fields) {
    const QString theirs = stored(f.name);
    if (sameText(theirs, f.from)) continue;
    if (f.writes && sameText(theirs, f.to)) continue;  // the same value stored at both
    out << FieldClash{f.name, theirs, f.from, f.to, f.writes};
  }
  return out;
}

ConflictChoice settleConflict(ConflictChooser& chooser, const QString& subject, StoreConflict& conflict,
                              const std::function<void(const StoreConflict&)>& storeOver,
                              const std::function<void(const StoreConflict&)>& keep) {
  for (;;) {
    const ConflictChoice choice = chooser.choose(subject, conflict);
    try {
      if (choice == ConflictChoice::StoreOurs) storeOver(conflict);
      else if (choice == ConflictChoice::KeepTheirs) keep(conflict);
      return choice;
    } catch (const ConflictError& again) {
      conflict = again.conflict();
    }
  }
}

}  // namespace quillon
