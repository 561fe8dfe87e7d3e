// Convert's alternate event kept with the record: when the clerk's entry in
// the alternate-event window has been judged, the event and the time go into
// ALT_EVENT and ALT_TIME of the converted row, for its scorecard.

#include "alternate.h"
#include "define.h"
#include "mainform_session.h"

namespace quillon {

void storeAlternateTaken(MainForm& f, qint64 key) {
  const Alternate* w = f.alternateWindow();
  if (!w || DEFINE::AltState != StatusWord::DONE || key < 0 || !f.Data1->isOpen()) return;
  const int event = f.Data1->fieldIndex(QStringLiteral("ALT_EVENT"));
  const int time = f.Data1->fieldIndex(QStringLiteral("ALT_TIME"));
  // A row source without the fields, or a row deleted during the wait.
  if (event < 0 || time < 0 || f.Data1->indexOfKey(key) < 0) return;
  try {
    f.Data1->updateByKey(key, {{event, w->judgedEvent()}, {time, w->judgedTime()}});
  } catch (const DbError& e) {
    f.messages().message(e.message(), kErrorTitle, MsgIcon::Exclamation);
  }
}

}  // namespace quillon
