#include "formfields.h"

#include <QFile>
#include <QHash>
#include <QTextStream>
#include <functional>
#include <optional>

namespace quillon::officialform {

namespace {

FieldKind kindOf(const QString& type) {
  if (type == QLatin1String("/Tx")) return FieldKind::Text;
  if (type == QLatin1String("/Btn")) return FieldKind::CheckBox;
  if (type == QLatin1String("/Ch")) return FieldKind::Choice;
  Q_ASSERT_X(type == QLatin1String("/Sig"), "formFields", qPrintable(type));
  return FieldKind::Signature;
}

QList<FormField> readTable() {
  QFile f(QStringLiteral(":/officialform/scorecard-form-fields.tsv"));
  const bool opened = f.open(QIODevice::ReadOnly | QIODevice::Text);
  Q_ASSERT_X(opened, "formFields", "the form's field table is built in");
  Q_UNUSED(opened);
  QList<FormField> fields;
  QTextStream in(&f);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    const QStringList c = line.split(u'\t');
    Q_ASSERT_X(c.size() >= 4, "formFields", qPrintable(line));
    if (c.size() < 4) continue;
    FormField field{c[0], kindOf(c[1]), c[2].toInt(), c[3], c.value(4)};
    if (field.box == QLatin1String("-")) field.box.clear();
    fields << field;
  }
  return fields;
}

// The form's own choices for the alternate events, as its list offers them.
QString alternateChoice(const QString& event) {
  const QString e = event.trimmed().toUpper();
  if (e == QLatin1String("ROW")) return QStringLiteral("5K Row");
  if (e == QLatin1String("SWIM")) return QStringLiteral("1K Swim");
  if (e == QLatin1String("BIKE")) return QStringLiteral("12K Bike");
  if (e == QLatin1String("WALK")) return QStringLiteral("2.5 MI Walk");
  return event.trimmed();
}

BoxValue text(const QString& s) { return {s.simplified(), false}; }
BoxValue tick(bool on) { return {QString(), on}; }

using TestBox = std::function<BoxValue(const CardTest&)>;

// A test column's boxes, by the name the table gives them after "testN.".
const QHash<QString, TestBox>& testBoxes() {
  static const QHash<QString, TestBox> boxes = [] {
    QHash<QString, TestBox> b;
    b.insert(QStringLiteral("date"), [](const CardTest& t) { return text(t.date); });
    b.insert(QStringLiteral("mos"), [](const CardTest& t) { return text(t.mos); });
    b.insert(QStringLiteral("grade"), [](const CardTest& t) { return text(t.payGrade); });
    b.insert(QStringLiteral("age"), [](const CardTest& t) { return text(t.age); });
    b.insert(QStringLiteral("combat"), [](const CardTest& t) { return tick(t.standard == CardStandard::Combat); });
    b.insert(QStringLiteral("general"), [](const CardTest& t) { return tick(t.standard == CardStandard::General); });
    b.insert(QStringLiteral("bcdate"), [](const CardTest& t) { return text(t.bodyCompositionDate); });
    b.insert(QStringLiteral("height"), [](const CardTest& t) { return text(t.heightInches); });
    b.insert(QStringLiteral("weight"), [](const CardTest& t) { return text(t.weightPounds); });
    b.insert(QStringLiteral("weight.go"), [](const CardTest& t) { return tick(t.weight == GoNoGo::Go); });
    b.insert(QStringLiteral("weight.nogo"), [](const CardTest& t) { return tick(t.weight == GoNoGo::NoGo); });
    b.insert(QStringLiteral("bodyfat"), [](const CardTest& t) { return text(t.bodyFatPercent); });
    b.insert(QStringLiteral("bodyfat.go"), [](const CardTest& t) { return tick(t.bodyFat == GoNoGo::Go); });
    b.insert(QStringLiteral("bodyfat.nogo"), [](const CardTest& t) { return tick(t.bodyFat == GoNoGo::NoGo); });
    b.insert(QStringLiteral("deadlift.first"), [](const CardTest& t) { return text(t.deadliftFirst); });
    b.insert(QStringLiteral("deadlift.second"), [](const CardTest& t) { return text(t.deadliftSecond); });
    b.insert(QStringLiteral("deadlift.first.tick"), [](const CardTest& t) { return tick(heavierAttempt(t) == 1); });
    b.insert(QStringLiteral("deadlift.second.tick"), [](const CardTest& t) { return tick(heavierAttempt(t) == 2); });
    const std::pair<const char*, CardEvent> events[] = {{"deadlift", CardEvent::Deadlift},
                                                        {"pushup", CardEvent::PushUp},
                                                        {"sdc", CardEvent::SprintDragCarry},
                                                        {"plank", CardEvent::Plank},
                                                        {"run", CardEvent::Run}};
    for (const auto& [name, event] : events) {
      const int e = static_cast<int>(event);
      const QString n = QString::fromLatin1(name);
      // The deadlift's raw result is its two attempts, above.
      if (event != CardEvent::Deadlift)
        b.insert(n + QStringLiteral(".raw"), [e](const CardTest& t) { return text(t.events[e].raw); });
      b.insert(n + QStringLiteral(".points"), [e](const CardTest& t) { return text(t.events[e].points); });
      b.insert(n + QStringLiteral(".grader"), [e](const CardTest& t) { return text(t.events[e].grader); });
    }
    b.insert(QStringLiteral("alternate"), [](const CardTest& t) { return text(alternateChoice(t.alternate)); });
    b.insert(QStringLiteral("alternate.time"), [](const CardTest& t) { return text(t.alternateTime); });
    b.insert(QStringLiteral("alternate.go"), [](const CardTest& t) { return tick(t.alternateResult == GoNoGo::Go); });
    b.insert(QStringLiteral("alternate.nogo"),
             [](const CardTest& t) { return tick(t.alternateResult == GoNoGo::NoGo); });
    b.insert(QStringLiteral("alternate.points"), [](const CardTest& t) { return text(t.alternatePoints); });
    b.insert(QStringLiteral("alternate.grader"), [](const CardTest& t) { return text(t.alternateGrader); });
    b.insert(QStringLiteral("total"), [](const CardTest& t) { return text(t.total); });
    b.insert(QStringLiteral("oic.name"), [](const CardTest& t) { return text(t.oicName); });
    b.insert(QStringLiteral("oic.grade"), [](const CardTest& t) { return text(t.oicPayGrade); });
    b.insert(QStringLiteral("overall.go"), [](const CardTest& t) { return tick(t.overall == GoNoGo::Go); });
    b.insert(QStringLiteral("overall.nogo"), [](const CardTest& t) { return tick(t.overall == GoNoGo::NoGo); });
    return b;
  }();
  return boxes;
}

}  // namespace

const QList<FormField>& formFields() {
  static const QList<FormField> fields = readTable();
  return fields;
}

std::optional<BoxValue> boxValue(const FitnessCard& card, const QList<CardTest>& tests, const QString& box) {
  if (box == QLatin1String("name")) return text(cardName(card));
  if (box == QLatin1String("unit")) return text(card.unit);
  if (box == QLatin1String("male")) return tick(card.sex.trimmed().toUpper() == QLatin1String("M"));
  if (box == QLatin1String("female")) return tick(card.sex.trimmed().toUpper() == QLatin1String("F"));
  // "testN.<box>": test column N, 1 to 4; a column the card has no test for stays blank.
  if (!box.startsWith(QLatin1String("test")) || box.size() < 7 || box.at(5) != u'.') return std::nullopt;
  const int n = box.at(4).digitValue();
  const auto found = testBoxes().constFind(box.mid(6));
  if (n < 1 || n > 4 || found == testBoxes().cend()) return std::nullopt;
  if (n > tests.size()) return BoxValue{};
  return (*found)(tests.at(n - 1));
}

}  // namespace quillon::officialform
