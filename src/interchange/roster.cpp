#include "roster.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <vector>

#include "infofields.h"
#include "ranks.h"
#include "soldierid.h"
#include "xlsxreader.h"

namespace quillon {

namespace {

constexpr qint64 kMaxRosterBytes = 64 * 1024 * 1024;

enum class Column { Name, Last, First, Middle, Rank, Ssn, Sex, Dob, Unit, Standard, DodId };
constexpr int kColumns = 11;

struct Synonym {
  const char* header;  // as compared: lower case, no spaces or punctuation
  Column column;
};

const Synonym kSynonyms[] = {
    {"name", Column::Name},         {"fullname", Column::Name},       {"soldier", Column::Name},
    {"soldiername", Column::Name},  {"lastname", Column::Last},       {"surname", Column::Last},
    {"lname", Column::Last},        {"familyname", Column::Last},     {"firstname", Column::First},
    {"givenname", Column::First},   {"fname", Column::First},         {"middlename", Column::Middle},
    {"middleinitial", Column::Middle}, {"mi", Column::Middle},        {"rank", Column::Rank},
    {"grade", Column::Rank},        {"ssn", Column::Ssn},             {"socialsecuritynumber", Column::Ssn},
    {"socialsecurityno", Column::Ssn}, {"sex", Column::Sex},          {"gender", Column::Sex},
    {"dob", Column::Dob},           {"dateofbirth", Column::Dob},     {"birthdate", Column::Dob},
    {"birthday", Column::Dob},      {"unit", Column::Unit},           {"unitname", Column::Unit},
    {"organization", Column::Unit}, {"standard", Column::Standard},   {"scoringstandard", Column::Standard},
    {"dodid", Column::DodId},       {"dodidnumber", Column::DodId},   {"dodidno", Column::DodId},
    {"edipi", Column::DodId},
};

const char* const kColumnCaptions[kColumns] = {"Name", "Last Name", "First Name", "Middle Name", "Rank",
                                               "SSN",  "Sex",       "DOB",        "Unit",        "Standard",
                                               "DoD ID"};

QString headerKey(const QString& header) {
  QString k;
  for (QChar c : header)
    if (!c.isSpace() && c != '_' && c != '-' && c != '.') k += c.toLower();
  return k;
}

// Spaces collapsed. Most values have none to collapse and are kept as they
// are: simplified() makes a new string for every one.
QString collapsed(const QString& s) {
  bool space = true;  // a space before the first character is one too many
  for (QChar c : s) {
    if (!c.isSpace()) {
      space = false;
      continue;
    }
    if (space || c != u' ') return s.simplified();
    space = true;
  }
  return space && !s.isEmpty() ? s.simplified() : s;
}

// Where `text` upper-cased stands in `list`, or -1. ASCII text is compared
// as it is, letter by letter: upper-casing a copy of each rank and sex of a
// long roster cost more than the rest of their checks.
qsizetype indexOfUpper(const QStringList& list, QStringView text) {
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
  if (!ascii) return list.indexOf(text.toString().toUpper());
  for (qsizetype i = 0; i < list.size(); ++i) {
    const QString& entry = list.at(i);
    if (entry.size() != text.size()) continue;
    qsizetype k = 0;
    while (k < text.size()) {
      const char16_t c = text[k].unicode();
      if (entry.at(k).unicode() != (c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c)) break;
      ++k;
    }
    if (k == text.size()) return i;
  }
  return -1;
}

struct Layout {
  int at[kColumns] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  // field index of each Column, or -1
  int operator[](Column c) const { return at[static_cast<int>(c)]; }
  bool fiveEvent = false;
};

QString valueOf(const CsvRecord& rec, const Layout& layout, Column c) {
  const int i = layout[c];
  return i < 0 ? QString() : rec.fields[i];
}

QString checkRest(const CsvRecord& rec, const Layout& layout, RosterRow& out);

// Checks one line; empty reason when it is accepted.
QString checkLine(const CsvRecord& rec, const Layout& layout, RosterRow& out) {
  out.line = rec.line;
  if (layout[Column::Name] >= 0) {
    out.name = collapsed(valueOf(rec, layout, Column::Name));
  } else {
    const QString last = collapsed(valueOf(rec, layout, Column::Last));
    const QString first = collapsed(valueOf(rec, layout, Column::First));
    const QString middle = collapsed(valueOf(rec, layout, Column::Middle));
    if (!last.isEmpty()) {
      // Each part is collapsed already: only an empty one leaves a space to trim.
      if (first.isEmpty() && middle.isEmpty()) {
        out.name = last;
      } else {
        out.name.reserve(last.size() + first.size() + middle.size() + 3);
        out.name += last;
        out.name += QLatin1String(", ");
        out.name += first;
        if (!first.isEmpty() && !middle.isEmpty()) out.name += u' ';
        out.name += middle;
      }
    }
  }
  if (out.name.isEmpty()) return QStringLiteral("no name");
  for (QChar c : out.name) {
    // Below U+0080 only C0 controls and DEL are either; the table is asked
    // about the rest alone.
    const bool control = c.unicode() < 0x80 ? c.unicode() < 0x20 || c.unicode() == 0x7F
                                            : c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    if (control) return QStringLiteral("the name holds a control character");
  }
  static const int limit = infoField(u"LNAME").length;
  if (out.name.size() > limit)
    return QStringLiteral("the name \"%1\" is longer than %2 characters").arg(out.name).arg(limit);

  // Each identifier in its own column: one in the other's place is named as
  // such, not only as a wrong count of digits.
  const QString dod = valueOf(rec, layout, Column::DodId).trimmed();
  if (!dod.isEmpty()) {
    if (looksLikeSsn(dod))
      return QStringLiteral("the DoD ID number \"%1\" is an SSN: it belongs in the SSN column").arg(dod);
    const auto d = normalizedDodId(dod);
    if (!d) return QStringLiteral("the DoD ID number \"%1\" is not ten digits").arg(dod);
    out.dodId = *d;
  }
  const QString ssn = valueOf(rec, layout, Column::Ssn);
  if (!out.dodId.isEmpty() && ssn.trimmed().isEmpty()) return checkRest(rec, layout, out);
  if (layout.fiveEvent && normalizedDodId(ssn))
    return QStringLiteral("the SSN \"%1\" is a DoD ID number: it belongs in the DoD ID column").arg(ssn.trimmed());
  if (layout[Column::Ssn] < 0 || (ssn.trimmed().isEmpty() && layout[Column::DodId] >= 0))
    return QStringLiteral("no SSN or DoD ID number");
  const auto s = normalizedSsn(ssn);
  if (!s) return QStringLiteral("the SSN \"%1\" is not nine digits").arg(ssn.trimmed());
  out.ssn = *s;
  return checkRest(rec, layout, out);
}

// The fields after the identifiers.
QString checkRest(const CsvRecord& rec, const Layout& layout, RosterRow& out) {

  const QString rankField = valueOf(rec, layout, Column::Rank);
  const QStringView rank = QStringView(rankField).trimmed();
  if (!rank.isEmpty()) {
    const qsizetype r = indexOfUpper(rankList(), rank);
    if (r < 0)
      return QStringLiteral("the rank \"%1\" is not in the list of ranks").arg(rank.toString().toUpper());
    out.rank = rankList().at(r);  // the list's own string: a roster repeats a few ranks many times
  }

  static const QStringList male{QStringLiteral("M"), QStringLiteral("MALE")};
  static const QStringList female{QStringLiteral("F"), QStringLiteral("FEMALE")};
  const QString sexField = valueOf(rec, layout, Column::Sex);
  const QStringView sex = QStringView(sexField).trimmed();
  if (indexOfUpper(male, sex) >= 0) out.sex = QStringLiteral("M");
  else if (indexOfUpper(female, sex) >= 0) out.sex = QStringLiteral("F");
  else if (!sex.isEmpty()) return QStringLiteral("the sex \"%1\" is not M or F").arg(sex.toString().toUpper());

  const QString dob = valueOf(rec, layout, Column::Dob).trimmed();
  if (!dob.isEmpty()) {
    const auto d = normalizedDate(dob);
    if (!d) return QStringLiteral("the date of birth \"%1\" is not a valid date").arg(dob);
    out.dob = *d;
  }
  if (layout[Column::Unit] >= 0) out.unit = collapsed(valueOf(rec, layout, Column::Unit)).trimmed();
  if (layout[Column::Standard] >= 0) out.standard = valueOf(rec, layout, Column::Standard).trimmed();
  return {};
}

RosterPreview refuseFile(const QString& why, int line) {
  RosterPreview p;
  p.error = why;
  p.errorLine = line;
  return p;
}

// Sorts a roster into its preview line by line as the lines come: the
// header, then each line on its own, then the SSNs that repeat in the file.
class RosterSorter {
 public:
  RosterSorter(const SsnIndex& existing, qsizetype lines, RosterFor side) : existing_(existing) {
    accepted_.reserve(lines);
    layout_.fiveEvent = side == RosterFor::FiveEvent;
  }
  // Takes the header; a refused file takes no lines.
  void header(const CsvRecord& header);
  void line(const CsvRecord& rec);
  RosterPreview finish();

 private:
  RosterPreview refuse(const QString& why, int line) {
    refusal_ = refuseFile(why, line);
    return *refusal_;
  }

  const SsnIndex& existing_;
  std::optional<RosterPreview> refusal_;
  RosterPreview preview_;
  Layout layout_;
  QList<RosterRow> accepted_;
};

void RosterSorter::header(const CsvRecord& header) {
  RosterPreview& preview = preview_;
  Layout& layout = layout_;
  for (int i = 0; i < header.fields.size(); ++i) {
    const QString key = headerKey(header.fields[i]);
    const Synonym* hit = nullptr;
    for (const Synonym& syn : kSynonyms)
      if (key == QLatin1String(syn.header) && (syn.column != Column::DodId || layout.fiveEvent)) hit = &syn;
    if (!hit) {
      preview.ignoredColumns << header.fields[i];
      preview.groupIgnoredColumns << header.fields[i];
      continue;
    }
    int& slot = layout.at[static_cast<int>(hit->column)];
    if (slot >= 0) {
      refuse(QStringLiteral("two columns hold the %1").arg(kColumnCaptions[static_cast<int>(hit->column)]), header.line);
      return;
    }
    slot = i;
  }
  if (layout[Column::Name] >= 0 && layout[Column::Last] >= 0) {
    refuse(QStringLiteral("the file has both a Name and a Last Name column"), header.line);
    return;
  }
  if (layout[Column::Name] >= 0)  // a full name wins; given names beside it are not used
    for (Column c : {Column::First, Column::Middle})
      if (layout[c] >= 0) {
        preview.ignoredColumns << header.fields[layout[c]];
        preview.groupIgnoredColumns << header.fields[layout[c]];
      }
  for (Column c : {Column::Unit, Column::Standard})
    if (layout[c] >= 0) preview.ignoredColumns << header.fields[layout[c]];
  if (layout[Column::Name] < 0 && layout[Column::Last] < 0) {
    refuse(QStringLiteral("no Name or Last Name column"), header.line);
    return;
  }
  if (layout[Column::Ssn] < 0 && layout[Column::DodId] < 0) {
    refuse(layout.fiveEvent ? QStringLiteral("no SSN or DoD ID column") : QStringLiteral("no SSN column"), header.line);
    return;
  }
  preview.columns.add(RosterField::Name);
  if (layout[Column::Ssn] >= 0) preview.columns.add(RosterField::Ssn);
  if (layout[Column::DodId] >= 0) preview.columns.add(RosterField::DodId);
  if (layout[Column::Rank] >= 0) preview.columns.add(RosterField::Rank);
  if (layout[Column::Sex] >= 0) preview.columns.add(RosterField::Sex);
  if (layout[Column::Dob] >= 0) preview.columns.add(RosterField::Dob);
  if (layout[Column::Unit] >= 0) preview.columns.add(RosterField::Unit);
  if (layout[Column::Standard] >= 0) {
    preview.columns.add(RosterField::Standard);
    preview.standardHeader = header.fields[layout[Column::Standard]].trimmed();
  }
}

void RosterSorter::line(const CsvRecord& rec) {
  if (refusal_) return;
  RosterRow row;
  const QString why = checkLine(rec, layout_, row);
  if (!why.isEmpty()) {
    preview_.refused << RosterRefusal{row.line, why};
    return;
  }
  accepted_ << std::move(row);
}

RosterPreview RosterSorter::finish() {
  if (refusal_) return *refusal_;
  RosterPreview& preview = preview_;
  QList<RosterRow>& accepted = accepted_;
  const SsnIndex& existing = existing_;
  // SSNs that repeat, found by sorting them as numbers (an accepted SSN is
  // nine digits): a hash of every SSN in the file cost more than the sort.
  std::vector<std::pair<qint64, qsizetype>> bySsn;
  bySsn.reserve(size_t(accepted.size()));
  for (qsizetype a = 0; a < accepted.size(); ++a) {
    if (accepted.at(a).ssn.isEmpty()) continue;  // a DoD ID number stands alone
    qint64 n = 0;
    for (QChar c : accepted.at(a).ssn)
      if (c != u'-') n = n * 10 + (c.unicode() - u'0');
    bySsn.emplace_back(n, a);
  }
  std::sort(bySsn.begin(), bySsn.end());
  // The lines of each repeated SSN, gathered only for those: most rosters
  // have none.
  QHash<QString, QList<int>> linesBySsn;
  for (size_t i = 0; i < bySsn.size();) {
    size_t j = i + 1;
    while (j < bySsn.size() && bySsn[j].first == bySsn[i].first) ++j;
    if (j - i > 1)
      for (size_t k = i; k < j; ++k) {
        const RosterRow& row = accepted.at(bySsn[k].second);
        linesBySsn[row.ssn] << row.line;
      }
    i = j;
  }
  // DoD ID numbers that repeat: only five-event rosters carry them.
  QHash<QString, QList<int>> linesByDodId;
  if (layout_.fiveEvent) {
    for (const RosterRow& row : accepted)
      if (!row.dodId.isEmpty()) linesByDodId[row.dodId] << row.line;
  }
  // The rows to add stay where they are in `accepted`, moved up over the
  // ones that leave: a second list of every row cost as much as the checks.
  RosterRow* const rows = accepted.data();
  qsizetype kept = 0;
  for (qsizetype a = 0; a < accepted.size(); ++a) {
    RosterRow& row = rows[a];
    if (!linesBySsn.isEmpty()) {
      const QList<int> lines = linesBySsn.value(row.ssn);
      if (lines.size() > 1) {
        QStringList others;
        for (int l : lines)
          if (l != row.line) others << QString::number(l);
        preview.refused << RosterRefusal{row.line, QStringLiteral("the SSN %1 is also on line %2").arg(row.ssn, others.join(", "))};
        continue;
      }
    }
    if (const auto dup = linesByDodId.constFind(row.dodId); dup != linesByDodId.constEnd() && dup->size() > 1) {
      QStringList others;
      for (int l : *dup)
        if (l != row.line) others << QString::number(l);
      preview.refused << RosterRefusal{
          row.line, QStringLiteral("the DoD ID number %1 is also on line %2").arg(row.dodId, others.join(", "))};
      continue;
    }
    const auto hit = existing.isEmpty() || row.ssn.isEmpty() ? existing.constEnd() : existing.constFind(QString(row.ssn).remove('-'));
    if (hit != existing.constEnd() && !hit->isEmpty()) {
      preview.matches << RosterMatch{std::move(row), *hit};
      continue;
    }
    if (kept != a) rows[kept] = std::move(row);
    ++kept;
  }
  accepted.resize(kept);
  preview.toAdd = std::move(accepted);
  std::stable_sort(preview.refused.begin(), preview.refused.end(),
                   [](const RosterRefusal& a, const RosterRefusal& b) { return a.line < b.line; });
  return std::move(preview);
}

}  // namespace

void addToSsnIndex(SsnIndex& index, const QString& storedSsn, qint64 id) {
  const QString digits = ssnDigits(storedSsn);
  if (!digits.isEmpty()) index[digits] << id;
}

RosterPreview previewRoster(const QByteArray& data, const SsnIndex& existing, RosterFor side) {
  // Each line is checked as it is read: the whole file is never held as
  // strings of its own, only the rows that pass.
  // Room for a row a line, but never more than a roster's shortest lines
  // could fill: a file of line breaks does not reserve for millions.
  RosterSorter sorter(existing, std::min(data.count('\n'), data.size() / 24), side);
  bool first = true;
  const CsvTable outcome = readCsv(data, [&](CsvRecord& rec) {
    if (first) sorter.header(rec);
    else sorter.line(rec);
    first = false;
  });
  if (!outcome.ok()) return refuseFile(outcome.error, outcome.errorLine);
  if (first) return refuseFile(QStringLiteral("the file is empty"), 1);
  return sorter.finish();
}

RosterPreview previewRosterTable(const CsvTable& table, const SsnIndex& existing, RosterFor side) {
  if (!table.ok()) return refuseFile(table.error, table.errorLine);
  if (table.records.isEmpty()) return refuseFile(QStringLiteral("the file is empty"), 1);
  RosterSorter sorter(existing, table.records.size(), side);
  sorter.header(table.records.first());
  for (qsizetype r = 1; r < table.records.size(); ++r) sorter.line(table.records[r]);
  return sorter.finish();
}

RosterPreview previewRosterFile(const QString& path, const SsnIndex& existing, RosterFor side) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return refuseFile(f.errorString(), 0);
  if (f.size() > kMaxRosterBytes) return refuseFile(QStringLiteral("the file is larger than 64 MiB"), 0);
  const QByteArray data = f.read(kMaxRosterBytes + 1);
  if (f.error() != QFileDevice::NoError) return refuseFile(f.errorString(), 0);
  if (data.size() > kMaxRosterBytes) return refuseFile(QStringLiteral("the file is larger than 64 MiB"), 0);
  // A workbook is known by its bytes as well as by its name, so a roster
  // renamed .csv by mistake is still read, and a damaged one is named as such.
  if (looksLikeZip(data) || path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
    return previewRosterTable(readXlsx(data), existing, side);
  return previewRoster(data, existing, side);
}

RecordRow recordFromRoster(const RosterRow& row) {
  RecordRow r = blankRecordRow();
  r[fieldIndex("LNAME")] = row.name;
  r[fieldIndex("RANK")] = row.rank;
  r[fieldIndex("SSN")] = row.ssn;
  r[fieldIndex("SEX")] = row.sex;
  r[fieldIndex("DOB")] = row.dob;
  return r;
}

void updateFromRoster(RecordRow& record, const RosterRow& row, const RosterColumns& columns) {
  Q_ASSERT(record.size() == blankRecordRow().size());
  if (columns.has(RosterField::Name)) record[fieldIndex("LNAME")] = row.name;
  if (columns.has(RosterField::Rank)) record[fieldIndex("RANK")] = row.rank;
  if (columns.has(RosterField::Sex)) record[fieldIndex("SEX")] = row.sex;
  if (columns.has(RosterField::Dob)) record[fieldIndex("DOB")] = row.dob;
}

}  // namespace quillon
