#include "batchscore.h"

#include <array>
#include <charconv>

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

int digits(QStringView s, qsizetype from, qsizetype n) {
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
  const QString sexText = field(Sex);
  const QStringView sex = QStringView(sexText).trimmed();
  if (sex.compare(u"M", Qt::CaseInsensitive) == 0) e.sex = fitness::Sex::Male;
  else if (sex.compare(u"F", Qt::CaseInsensitive) == 0) e.sex = fitness::Sex::Female;
  else return QStringLiteral("sex: %1 is not M or F").arg(quoted(field(Sex)));
  e.dob = parseBatchDate(field(Dob));
  if (!e.dob.isValid()) return QStringLiteral("dob: %1 is not a date (YYYY-MM-DD or MM/DD/YYYY)").arg(quoted(field(Dob)));
  e.testDate = parseBatchDate(field(TestDate));
  if (!e.testDate.isValid())
    return QStringLiteral("test_date: %1 is not a date (YYYY-MM-DD or MM/DD/YYYY)").arg(quoted(field(TestDate)));
  const QString standardText = field(StandardField);
  const QStringView standard = QStringView(standardText).trimmed();
  if (standard.compare(u"general", Qt::CaseInsensitive) == 0) e.standard = fitness::Standard::General;
  else if (standard.compare(u"combat", Qt::CaseInsensitive) == 0) e.standard = fitness::Standard::Combat;
  else return QStringLiteral("standard: %1 is not combat or general").arg(quoted(field(StandardField)));
  for (int i = 0; i < kEvents; ++i) e.raw[i] = field(Field(Deadlift + i));
  e.alternate = field(Alternate);
  e.alternateTime = field(AlternateTime);
  return {};
}

void appendNumber(QByteArray& out, int n) {
  char buf[16];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, end - buf);
}

// The added columns of a scored row, written straight into the output.
void appendScore(QByteArray& out, const FitnessTest& test, const Score& s) {
  out += ',';
  appendCsvField(out, test.ageGroups[s.ageGroup].label);
  for (int p : s.points) {
    out += ',';
    appendNumber(out, p);
  }
  out += ',';
  appendNumber(out, s.total);
  out += s.go ? ",GO," : ",NO-GO,";
}

void appendFields(QByteArray& out, const QStringList& fields) {
  for (qsizetype i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    appendCsvField(out, fields[i]);
  }
}

}  // namespace

const QStringList& outputColumns() {
  static const QStringList c{"age_group",  "deadlift_points", "pushup_points", "sdc_points", "plank_points",
                             "run_points", "total",           "result",        "refused"};
  return c;
}

QDate parseBatchDate(const QString& text) {
  const QStringView t = QStringView(text).trimmed();
  if (t.size() == 10 && t[4] == u'-' && t[7] == u'-') return QDate(digits(t, 0, 4), digits(t, 5, 2), digits(t, 8, 2));
  // MM/DD/YYYY: the month and day one or two digits, the year four.
  const qsizetype a = t.indexOf(u'/');
  const qsizetype b = a < 0 ? -1 : t.indexOf(u'/', a + 1);
  if (a < 1 || a > 2 || b - a < 2 || b - a > 3 || t.size() - b - 1 != 4) return {};
  return QDate(digits(t, b + 1, 4), digits(t, 0, a), digits(t, a + 1, b - a - 1));
}

void appendCsvField(QByteArray& out, QStringView f) {
  // A field opening with a byte order mark is quoted too: unquoted at the
  // very start of the output, a reader would take the mark for the file's.
  bool quote = !f.isEmpty() && (f.front().isSpace() || f.back().isSpace() || f.front() == QChar(0xFEFF));
  bool ascii = true;
  for (QChar c : f) {
    const char16_t u = c.unicode();
    // A semicolon is quoted as well: readers that take ';' for the separator
    // when a line holds more of them than commas would split the field.
    if (u == u',' || u == u';' || u == u'"' || u == u'\n' || u == u'\r') quote = true;
    if (u >= 0x80) ascii = false;
  }
  if (quote) out += '"';
  if (ascii && !quote) {
    // Most fields: copy the characters as bytes, no UTF-8 conversion.
    const qsizetype at = out.size();
    out.resize(at + f.size());
    char* p = out.data() + at;
    for (QChar c : f) *p++ = char(c.unicode());
  } else if (ascii) {
    for (QChar c : f) {
      if (c == u'"') out += '"';
      out += char(c.unicode());
    }
  } else {
    out += f.toString().replace(u'"', QStringLiteral("\"\"")).toUtf8();
  }
  if (quote) out += '"';
}

void appendCsvRecord(QByteArray& out, const QStringList& fields) {
  appendFields(out, fields);
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
    appendFields(r.output, rec.fields);
    if (refusal.isEmpty()) {
      appendScore(r.output, test, s);
    } else {
      r.refusals << QStringLiteral("line %1: %2").arg(rec.line).arg(refusal);
      r.output += QByteArray(outputColumns().size() - 1, ',');
      r.output += ',';
      appendCsvField(r.output, refusal);
    }
    r.output += '\n';
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
