// Convert's alternate event kept with the record: when the clerk's entry in
// the alternate-event window has been judged, the event and the time go into
// ALT_EVENT and ALT_TIME of the converted row, for its scorecard. A later
// conversion that decides the status without one clears them, so a card
// never shows an event from an earlier test.

#include "alternate.h"
#include "statusword.h"
#include "mainform_session.h"

namespace quillon {

namespace {

// Writes the two fields of the row `key` unless they already hold `event`
// and `time`.
void writeAlternate(MainForm& f, qint64 key, const QString& event, const QString& time) {
  if (key < 0 || !f.records().isOpen()) return;
  const int eventField = f.records().fieldIndex(QStringLiteral("ALT_EVENT"));
  const int timeField = f.records().fieldIndex(QStringLiteral("ALT_TIME"));
  // A row source without the fields, or a row deleted during the wait.
  const int row = f.records().indexOfKey(key);
  if (eventField < 0 || timeField < 0 || row < 0) return;
  if (f.records().value(row, eventField) == event && f.records().value(row, timeField) == time) return;
  try {
    f.records().updateByKey(key, {{eventField, event}, {timeField, time}});
  } catch (const DbError& e) {
    f.messages().message(e.message(), kErrorTitle, MsgIcon::Exclamation);
  }
}

}  // namespace

void storeAlternateTaken(MainForm& f, qint64 key, const ConversionState& s) {
  const Alternate* w = f.alternateWindow();
  if (!w || s.AltState != StatusWord::DONE) return;
  writeAlternate(f, key, w->judgedEvent(), w->judgedTime());
}

void clearAlternateTaken(MainForm& f, qint64 key) { writeAlternate(f, key, QString(), QString()); }

}  // namespace quillon
