#include "convert.h"

#include "statusword.h"
#include "numeric.h"

namespace quillon {
namespace {

const QString kError = QStringLiteral("Error");

ConvertEnd refuse(ConvertHost& host, const QString& message) {
  host.messages().message(message, kError, MsgIcon::Exclamation);
  return ConvertEnd::Refused;
}

// Writes a look-up's points into `label`, or reports why there are none.
bool takePoints(ConvertHost& host, const Lookup& r, Ctl label) {
  if (r.kind != Lookup::Points) {
    refuse(host, r.message);
    return false;
  }
  host.controls().setText(label, r.text);
  return true;
}

bool isZero(const QString& entry) {
  const auto v = numericValue(entry);
  return v && *v == 0;
}

// Points the pass rule fails on their own.
bool fails(const QString& caption) {
  const TestKind& kind = testKind(TestKindId::ThreeEvent);
  const auto v = wholeNumber(caption);
  return v && kind.verdict({}, {*v}) != kind.passWord();
}

}  // namespace

ConvertEnd Convert(ConvertHost& host, ScoringTables& tables) { return Convert(host, ThreeEventKind(tables)); }

ConvertEnd Convert(ConvertHost& host, const ThreeEventKind& kind) {
  ScoreControls& c = host.controls();
  ConversionState& s = host.state();

  s.AltResult = StatusWord::PASS;
  s.AltState = StatusWord::FLAG;

  const auto born = parseDateOfBirth(c.text(Ctl::DOB));
  if (!born) return refuse(host, QStringLiteral("Entry for DOB is not valid"));

  const QDate today = host.clock().today();
  if (!today.isValid()) return refuse(host, QStringLiteral("Can not compute age"));
  const QString AgeGroup = ageGroupOf(kind.age(*born, today));

  const QString sex = c.text(Ctl::Sex).trimmed();
  c.setText(Ctl::Sex, sex);
  if (sex != QLatin1String("M") && sex != QLatin1String("F"))
    return refuse(host, QStringLiteral("Entry for Sex is not M or F"));

  s.AgeSexKey = AgeGroup + sex;

  const QString runM = c.text(Ctl::RUN_M);
  if (!isNumeric(runM)) return refuse(host, QStringLiteral("Run minutes must be numeric"));
  const auto seconds = roundedWhole(c.text(Ctl::RUN_S));
  if (!seconds) return refuse(host, QStringLiteral("Run seconds must be numeric"));
  if (*seconds < 0 || *seconds > 59) return refuse(host, QStringLiteral("Seconds invalid"));
  if (!takePoints(host, kind.points(ThreeEventKind::Run, runM, int(*seconds), AgeGroup, sex), Ctl::C_RUN))
    return ConvertEnd::Refused;

  const QString su = c.text(Ctl::RAW_SU);
  if (!isNumeric(su)) return refuse(host, QStringLiteral("Sit up entry must be numeric"));
  if (!takePoints(host, kind.points(ThreeEventKind::SitUp, su, 0, AgeGroup, sex), Ctl::C_SU)) return ConvertEnd::Refused;

  const QString pu = c.text(Ctl::RAW_PU);
  if (!isNumeric(pu)) return refuse(host, QStringLiteral("Push up entry must be numeric"));
  if (!takePoints(host, kind.points(ThreeEventKind::PushUp, pu, 0, AgeGroup, sex), Ctl::C_PU)) return ConvertEnd::Refused;

  return TotalAndStatus(host);
}

ConvertEnd TotalAndStatus(ConvertHost& host) {
  ScoreControls& c = host.controls();
  ConversionState& s = host.state();

  // Total of the three points, in the 16-bit range the record has always held.
  qint64 total = 0;
  const struct {
    Ctl label;
    const char* event;
  } parts[] = {{Ctl::C_PU, "push-up"}, {Ctl::C_SU, "sit-up"}, {Ctl::C_RUN, "run"}};
  for (const auto& p : parts) {
    const auto v = wholeNumber(c.text(p.label));
    if (!v)
      return refuse(host, QStringLiteral("The %1 points \"%2\" are not a whole number, so no total and status can be "
                                         "worked out. The points table may be damaged.")
                              .arg(QLatin1String(p.event), c.text(p.label)));
    total += *v;
  }
  if (total < -32768 || total > 32767)
    return refuse(host, QStringLiteral("The total of the points (%1) is too large to be recorded. The points tables "
                                       "may be damaged.")
                            .arg(total));
  c.setText(Ctl::TOTAL, QString::number(total));

  c.setText(Ctl::DOT, formatDateOfTest(host.clock().today()));
  c.setText(Ctl::Prof, QString());
  s.ProfileResult = StatusWord::PASS;
  c.setText(Ctl::STAT, StatusWord::UNDECIDED);

  // Push-ups.
  if (isZero(c.text(Ctl::RAW_PU))) {
    host.setProfileEvent(QStringLiteral(" push-ups?"));
    host.Profile();
  } else if (fails(c.text(Ctl::C_PU))) {
    c.setText(Ctl::STAT, StatusWord::FAIL);
    if (isZero(c.text(Ctl::RAW_SU))) host.ProfileCheck();
    if (isZero(c.text(Ctl::RUN_M))) host.ProfileCheck();
    return ConvertEnd::Finished;
  }

  // Sit-ups.
  if (isZero(c.text(Ctl::RAW_SU))) {
    host.setProfileEvent(QStringLiteral(" situps?"));
    host.Profile();
  } else if (fails(c.text(Ctl::C_SU))) {
    c.setText(Ctl::STAT, StatusWord::FAIL);
    if (isZero(c.text(Ctl::RAW_PU))) host.ProfileCheck();
    if (isZero(c.text(Ctl::RUN_M))) host.ProfileCheck();
    return ConvertEnd::Finished;
  }

  s.ProfileState = StatusWord::WAIT;

  // Run.
  if (isZero(c.text(Ctl::RUN_M))) {
    host.setProfileEvent(QStringLiteral(" the 2 mile run?"));
    while (s.ProfileState != StatusWord::DONE) host.Profile();
    if (s.ProfileResult != StatusWord::FAIL) {
      while (s.AltState != StatusWord::DONE)
        if (!host.WaitForAlternate()) return ConvertEnd::Abandoned;
    }
  } else if (fails(c.text(Ctl::C_RUN))) {
    c.setText(Ctl::STAT, StatusWord::FAIL);
    return ConvertEnd::Finished;
  }

  if (s.ProfileResult == StatusWord::FAIL) return ConvertEnd::Finished;

  if (c.text(Ctl::Prof) == StatusWord::PROFILE) {
    c.setText(Ctl::STAT, s.AltResult == StatusWord::FAIL ? StatusWord::FAIL : StatusWord::PASS);
    host.EndAlternate();
    return ConvertEnd::Finished;
  }
  c.setText(Ctl::STAT, StatusWord::PASS);
  return ConvertEnd::Finished;
}

}  // namespace quillon
