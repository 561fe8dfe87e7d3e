#include "rescore.h"

#include <QDate>

#include "fitnessscore.h"
#include "rawentry.h"

namespace quillon::fieldday {

const QStringList& scoredTotalNames() {
  static const QStringList names{QStringLiteral("total_pts"), QStringLiteral("result_go")};
  return names;
}

bool isScoredTotal(const QString& field) { return scoredTotalNames().contains(field); }

Record rescored(const Record& record) {
  const fitness::FitnessTest& test = *fitness::fitnessTest2025().test;
  const auto value = [&](const char* name) { return record.value(QString::fromLatin1(name)).trimmed(); };
  fitness::Entry e;
  e.sex = value("sex") == QLatin1String("F") ? fitness::Sex::Female : fitness::Sex::Male;
  e.standard = value("standard") == QLatin1String("combat") ? fitness::Standard::Combat : fitness::Standard::General;
  e.dob = QDate::fromString(value("dob"), Qt::ISODate);
  e.testDate = QDate::fromString(value("test_date"), Qt::ISODate);
  // The heavier deadlift attempt counts.
  const QString lift1 = value("deadlift_1"), lift2 = value("deadlift_2");
  const QString lift = lift1.isEmpty() ? lift2 : lift2.isEmpty() ? lift1 : lift1.toInt() >= lift2.toInt() ? lift1 : lift2;
  const std::pair<const char*, QString> raw[] = {
      {"deadlift", lift}, {"pushup", value("pushup")}, {"sdc", value("sdc_s")}, {"plank", value("plank_s")}};
  bool all = true;
  for (const auto& [event, figure] : raw) {
    const int i = test.eventIndex(QString::fromLatin1(event));
    all = all && !figure.isEmpty();
    e.raw[i] = fitness::formatRaw(test.events[i].unit, figure.isEmpty() ? test.events[i].minRaw : figure.toInt());
  }
  const int run = test.runEvent;
  if (!value("alt_event").isEmpty() && !value("alt_time_s").isEmpty()) {
    e.alternate = value("alt_event");
    e.alternateTime = fitness::formatTime(value("alt_time_s").toInt());
  } else {
    all = all && !value("run_s").isEmpty();
    e.raw[run] = fitness::formatRaw(test.events[run].unit,
                                    value("run_s").isEmpty() ? test.events[run].minRaw : value("run_s").toInt());
  }
  Record out = record;
  const fitness::Score sc = fitness::scoreEntry(test, e);
  if (!sc.scored()) return out;
  out.insert(QStringLiteral("total_pts"), all ? QString::number(sc.total) : QString());
  out.insert(QStringLiteral("result_go"), all ? (sc.go ? QStringLiteral("GO") : QStringLiteral("NO-GO")) : QString());
  return out;
}

}  // namespace quillon::fieldday
