#include "batchscore.h"

#include <array>

#include "csvreader.h"
#include "fitnessscore.h"

namespace quillon::batch {

namespace {

using namespace quillon::fitness;

enum Field { Sex, Dob, TestDate, StandardField, Deadlift, Pushup, Sdc, Plank, Run, Alternate, AlternateTime, kFields };

struct Known {
  const char* name;
  bool required;
};
// The raw events follow the test's own event order (deadlift ... run).
constexpr std::array<Known, kFields> kKnown{{{"sex", true},
                                             {"dob", true},
                                             {"test_date", true},
                                             {"standard", true},
                                             {"deadlift", true},
                                             {"pushup", true},
                                             {"sdc", true},
                                             {"plank", true},
                                             {"run", false},
                                             {"alternate", false},
                                             {"alternate_time", false}}};

int digits(const QString& s, qsizetype from, qsizetype n) {
  int v = 0;
  for (qsizetype i = from; i < from + n; ++i) {
    const QChar c = s[i];
    if (c < u'0' || c > u'9') return -1;
    v = v * 10 + (c.unicode() - u'0');
  }
  return v;
}

QString quoted(const QString& s) { return '"' + s + '"'; }

// A row's entries, or the refusal of a field the scoring never sees.
QString readEntry(const QStringList& f, const std::array<int, kFields>& at, Entry& e) {
  auto field = [&](Field k) { return at[k] < 0 ? QString() : f[at[k]]; };
  const QString sex = field(Sex).trimmed();
  if (sex.compare(u"M", Qt::CaseInsensitive) == 0) e.sex = fitness::Sex::Male;
  else if (sex.compare(u"F", Qt::CaseInsensitive) == 0) e.sex = fitness::Sex::Female;
  else return QStringLiteral("sex: %1 is not M or F").arg(quoted(field(Sex)));
  e.dob = parseBatchDate(field(Dob));
  if (!e.dob.isValid()) return QStringLiteral("dob: %1 is not a date (YYYY-MM-DD or MM/DD/YYYY)").arg(quoted(field(Dob)));
  e.testDate = parseBatchDate(field(TestDate));
  if (!e.testDate.isValid())
    return QStringLiteral("test_date: %1 is not a date (YYYY-MM-DD or MM/DD/YYYY)").arg(quoted(field(TestDate)));
  const QString standard = field(StandardField).trimmed();
  if (standard.compare(u"general", Qt::CaseInsensitive) == 0) e.standard = fitness::Standard::General;
  else if (standard.compare(u"combat", Qt::CaseInsensitive) == 0) e.standard = fitness::Standard::Combat;
  else return QStringLiteral("standard: %1 is not combat or general").arg(quoted(field(StandardField)));
  for (int i = 0; i < kEvents; ++i) e.raw[i] = field(Field(Deadlift + i));
  e.alternate = field(Alternate);
  e.alternateTime = field(AlternateTime);
  return {};
}

QStringList scored(const FitnessTest& test, const Score& s) {
  QStringList out;
  out << test.ageGroups[s.ageGroup].label;
  for (int p : s.points) out << QString::number(p);
  out << QString::number(s.total) << (s.go ? QStringLiteral("GO") : QStringLiteral("NO-GO")) << QString();
  return out;
}

}  // namespace

const QStringList& outputColumns() {
  static const QStringList c{"age_group",  "deadlift_points", "pushup_points", "sdc_points", "plank_points",
                             "run_points", "total",           "result",        "refused"};
  return c;
}

QDate parseBatchDate(const QString& text) {
  const QString t = text.trimmed();
  if (t.size() == 10 && t[4] == u'-' && t[7] == u'-') return QDate(digits(t, 0, 4), digits(t, 5, 2), digits(t, 8, 2));
  const QStringList parts = t.split(u'/');
  if (parts.size() == 3 && parts[0].size() <= 2 && parts[1].size() <= 2 && parts[2].size() == 4 &&
      !parts[0].isEmpty() && !parts[1].isEmpty())
    return QDate(digits(parts[2], 0, 4), digits(parts[0], 0, parts[0].size()), digits(parts[1], 0, parts[1].size()));
  return {};
}

void appendCsvRecord(QByteArray& out, const QStringList& fields) {
  for (qsizetype i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    const QString& f = fields[i];
    const bool quote = f.contains(u',') || f.contains(u'"') || f.contains(u'\n') || f.contains(u'\r') ||
                       (!f.isEmpty() && (f.front().isSpace() || f.back().isSpace()));
    if (!quote) {
      out += f.toUtf8();
      continue;
    }
    out += '"';
    out += QString(f).replace(u'"', QStringLiteral("\"\"")).toUtf8();
    out += '"';
  }
  out += '\n';
}

BatchResult scoreCsv(const QByteArray& input) {
  BatchResult r;
  auto unreadable = [&r](const QString& why) {
    r.status = kUnreadable;
    r.error = why;
    r.output.clear();
    return r;
  };
  const LoadedTest& loaded = fitnessTest2025();
  if (!loaded.test) return unreadable(QStringLiteral("the built-in score tables are damaged: ") + loaded.error);
  const FitnessTest& test = *loaded.test;

  const CsvTable table = parseCsv(input);
  if (!table.ok()) return unreadable(QStringLiteral("line %1: %2").arg(table.errorLine).arg(table.error));
  if (table.records.isEmpty()) return unreadable(QStringLiteral("no header row"));

  const QStringList& header = table.records.first().fields;
  std::array<int, kFields> at;
  at.fill(-1);
  for (qsizetype c = 0; c < header.size(); ++c)
    for (int k = 0; k < kFields; ++k)
      if (header[c].trimmed().compare(QLatin1String(kKnown[k].name), Qt::CaseInsensitive) == 0) {
        if (at[k] >= 0) return unreadable(QStringLiteral("the column \"%1\" appears twice").arg(kKnown[k].name));
        at[k] = int(c);
      }
  for (int k = 0; k < kFields; ++k)
    if (kKnown[k].required && at[k] < 0) return unreadable(QStringLiteral("no \"%1\" column").arg(kKnown[k].name));

  r.output.reserve(input.size() * 3 / 2 + 1024);
  appendCsvRecord(r.output, header + outputColumns());
  QStringList blank;
  for (int i = 0; i + 1 < outputColumns().size(); ++i) blank << QString();
  for (qsizetype i = 1; i < table.records.size(); ++i) {
    const CsvRecord& rec = table.records[i];
    ++r.rows;
    Entry e;
    QString refusal = readEntry(rec.fields, at, e);
    Score s;
    if (refusal.isEmpty()) {
      s = scoreEntry(test, e);
      refusal = s.refused;
    }
    if (refusal.isEmpty()) {
      appendCsvRecord(r.output, rec.fields + scored(test, s));
    } else {
      r.refusals << QStringLiteral("line %1: %2").arg(rec.line).arg(refusal);
      appendCsvRecord(r.output, rec.fields + blank + QStringList{refusal});
    }
  }
  r.status = r.refusals.isEmpty() ? kAllScored : kSomeRefused;
  return r;
}

QByteArray copyCsv(const QByteArray& input) {
  const CsvTable table = parseCsv(input);
  QByteArray out;
  out.reserve(input.size() * 3 / 2 + 1024);
  for (const CsvRecord& rec : table.records) appendCsvRecord(out, rec.fields);
  return out;
}

}  // namespace quillon::batch
