#include "recordtables.h"

#include "infofields.h"

namespace quillon {

using K = ColumnKind;

QStringList RecordTable::names() const {
  QStringList out;
  out.reserve(columns.size());
  for (const RecordColumn& c : columns) out << c.name;
  return out;
}

int RecordTable::column(const QString& name) const {
  for (int i = 0; i < columns.size(); ++i)
    if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

const RecordTable& infoTable() {
  static const RecordTable t = [] {
    RecordTable out{QStringLiteral("info"), {}, {QStringLiteral("ID")}, RecordTable::Versioned::ServerOnly};
    for (const InfoField& f : infoFields()) out.columns.append({QString::fromLatin1(f.name), f.kind, f.length});
    return out;
  }();
  return t;
}

RecordTable infoTableOfFile(const QString& key, const QStringList& columns) {
  const RecordTable& info = infoTable();
  RecordTable out{info.name, {{key, K::Key, 0}}, {key}, info.versioned};
  for (const QString& name : columns) {
    if (out.column(name) >= 0) continue;
    const int known = info.column(name);
    RecordColumn c = known >= 0 ? info.columns.at(known) : RecordColumn{};
    c.name = name;
    out.columns.append(c);
  }
  return out;
}

const RecordTable& fitnessTable() {
  static const RecordTable t = [] {
    RecordTable out{QStringLiteral("fitness_tests"), {}, {QStringLiteral("id")}, RecordTable::Versioned::Always};
    const auto add = [&](const char* name, K kind) { out.columns.append({QString::fromLatin1(name), kind, 0}); };
    add("id", K::Key);
    // The test day a row was entered under; none for a record entered alone.
    add("test_group", K::Number);
    for (const char* n : {"name", "rank"}) add(n, K::Text);
    add("ssn", K::Ssn);
    add("sex", K::Text);
    add("dob", K::Date);
    for (const char* n : {"unit", "mos", "pay_grade", "test_name", "edition", "standard"}) add(n, K::Text);
    add("test_date", K::Date);
    // Raw results: pounds, repetitions, and times as whole seconds.
    for (const char* n : {"deadlift_1", "deadlift_2", "pushup", "sdc_s", "plank_s", "run_s"}) add(n, K::Number);
    for (const char* n : {"deadlift_pts", "pushup_pts", "sdc_pts", "plank_pts", "run_pts"}) add(n, K::Number);
    for (const char* n : {"deadlift_go", "pushup_go", "sdc_go", "plank_go", "run_go"}) add(n, K::Verdict);
    add("alt_event", K::Text);
    add("alt_time_s", K::Number);
    add("alt_pts", K::Number);
    add("alt_go", K::Verdict);
    add("total_pts", K::Number);
    add("result_go", K::Verdict);
    add("bc_date", K::Date);
    add("height_in", K::Decimal);
    add("weight_lb", K::Decimal);
    add("weight_go", K::Verdict);
    add("body_fat_pct", K::Decimal);
    add("body_fat_go", K::Verdict);
    for (const char* n : {"grader_deadlift", "grader_pushup", "grader_sdc", "grader_plank", "grader_run", "grader_alt",
                          "oic_ncoic_name", "remark"})
      add(n, K::Text);
    // Ten digits, or none: the soldier's identifier where the SSN may be
    // left out. Last, as a file made before it gains it.
    add("dod_id", K::Text);
    out.changes = QStringLiteral("fitness_changes");
    return out;
  }();
  return t;
}

const RecordTable& testGroupsTable() {
  static const RecordTable t{QStringLiteral("test_groups"),
                       {{QStringLiteral("id"), K::Key, 0},
                        {QStringLiteral("test_date"), K::Date, 10},
                        {QStringLiteral("location"), K::Text, 0}},
                       {QStringLiteral("id")},
                       RecordTable::Versioned::Always};
  return t;
}

const RecordTable& testGroupMembersTable() {
  static const RecordTable t{QStringLiteral("test_group_members"),
                       {{QStringLiteral("group_id"), K::Number, 0},
                        {QStringLiteral("position"), K::Number, 0},
                        {QStringLiteral("ssn"), K::Ssn, 9},
                        {QStringLiteral("name"), K::Text, 0},
                        {QStringLiteral("sex"), K::Text, 1},
                        {QStringLiteral("dob"), K::Date, 10},
                        {QStringLiteral("unit"), K::Text, 0},
                        {QStringLiteral("standard"), K::Text, 0},
                        {QStringLiteral("rank"), K::Text, 0},
                        {QStringLiteral("dod_id"), K::Text, 10}},
                       // Each identifier is empty text when unknown, one of
                       // the two at least is there, and each given one is
                       // unique within its group (the tables' own indexes).
                       {QStringLiteral("group_id"), QStringLiteral("ssn"), QStringLiteral("dod_id")},
                       RecordTable::Versioned::Never};
  return t;
}

}  // namespace quillon
