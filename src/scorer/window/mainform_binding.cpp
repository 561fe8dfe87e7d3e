// The binding of the main window's controls to the fields of the shown
// record: one table of controls, fields and limits; loading a row into the
// controls, following changes stored elsewhere, and storing what was typed.
//
// QDataWidgetMapper would bind the same table to a model row, but the window
// needs what it cannot give: what was typed is kept apart from what was
// loaded, so a grid edit of the shown row does not wipe the clerk's typing;
// Convert writes into the controls of a row that may no longer be shown; the
// changes are stored as one update of only the fields that changed, when
// the clerk leaves the row or presses Update; and the grid's model has
// columns for the grid alone, not for every field the controls show.

#include <QLabel>
#include <QLineEdit>

#include "conflictchoice.h"
#include "conflictdialog.h"
#include "dbfile.h"
#include "infofields.h"
#include "mainform_session.h"
#include "recordgrid.h"

namespace quillon {

void MainForm::bindControls() {
  // Each control once: the field it shows, the name Convert knows it by
  // (when Convert reads or writes it), and whether its box is held to the
  // field's length (the date-of-test and sex boxes never were).
  const auto typed = [](const char16_t* field) { return infoField(field).length; };
  bindings_ = {
      {DOB, QStringLiteral("DOB"), Ctl::DOB, typed(u"DOB")},
      {DOT, QStringLiteral("DOT"), Ctl::DOT, 0},
      {MaskEdBox1, QStringLiteral("REMARK"), std::nullopt, typed(u"REMARK")},
      {RAW_PU, QStringLiteral("RAW_PU"), Ctl::RAW_PU, typed(u"RAW_PU")},
      {RAW_SU, QStringLiteral("RAW_SU"), Ctl::RAW_SU, typed(u"RAW_SU")},
      {RUN_M, QStringLiteral("RUN_M"), Ctl::RUN_M, typed(u"RUN_M")},
      {RUN_S, QStringLiteral("RUN_S"), Ctl::RUN_S, typed(u"RUN_S")},
      {Sex, QStringLiteral("SEX"), Ctl::Sex, 0},
      {C_PU, QStringLiteral("C_PU"), Ctl::C_PU, 0},
      {C_SU, QStringLiteral("C_SU"), Ctl::C_SU, 0},
      {C_RUN, QStringLiteral("C_RUN"), Ctl::C_RUN, 0},
      {TOTAL, QStringLiteral("TOTAL"), Ctl::TOTAL, 0},
      {STAT, QStringLiteral("STAT"), Ctl::STAT, 0},
      {Prof, QStringLiteral("PROFILE"), Ctl::Prof, 0},
  };
  // A control Convert names but the table leaves out would be written
  // nowhere; found here, at start-up, rather than in the middle of a Convert.
  for (Ctl c : {Ctl::DOB, Ctl::Sex, Ctl::RUN_M, Ctl::RUN_S, Ctl::RAW_SU, Ctl::RAW_PU, Ctl::C_RUN, Ctl::C_SU, Ctl::C_PU,
                Ctl::TOTAL, Ctl::DOT, Ctl::STAT, Ctl::Prof})
    bindingOf(c);
  for (const Binding& b : bindings_) {
    if (!b.widget || (!qobject_cast<QLineEdit*>(b.widget) && !qobject_cast<QLabel*>(b.widget)))
      qFatal("MainForm: the control for %s is neither a box nor a label", qPrintable(b.field));
    if (!infoFieldNames().contains(b.field))
      qFatal("MainForm: %s is bound to %s, no field of the records", qPrintable(b.widget->objectName()),
             qPrintable(b.field));
    if (b.maxLength > 0 && !qobject_cast<QLineEdit*>(b.widget))
      qFatal("MainForm: a limit for %s, which takes no typing", qPrintable(b.widget->objectName()));
  }
}

const MainForm::Binding& MainForm::bindingOf(Ctl c) const {
  for (const Binding& b : bindings_)
    if (b.ctl == c) return b;
  qFatal("MainForm: no control bound for Convert's control %d", int(c));
}

std::vector<QLineEdit*> MainForm::entryBoxes() const {
  std::vector<QLineEdit*> boxes;
  for (const Binding& b : bindings_)
    if (auto* e = qobject_cast<QLineEdit*>(b.widget); e && e != Sex) boxes.push_back(e);
  return boxes;
}

void MainForm::applyLimits() {
  for (const Binding& b : bindings_)
    if (b.maxLength > 0) qobject_cast<QLineEdit*>(b.widget)->setMaxLength(b.maxLength);
}

QString MainForm::controlText(const Binding& b) const {
  if (auto* e = qobject_cast<QLineEdit*>(b.widget)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(b.widget)) return l->text();
  return QString();
}

void MainForm::setControlText(const Binding& b, const QString& v) {
  if (auto* e = qobject_cast<QLineEdit*>(b.widget))
    e->setText(v);
  else if (auto* l = qobject_cast<QLabel*>(b.widget))
    l->setText(v);
  refreshEditMenu();  // Convert's results are changes of the row too
}

QHash<int, QString> MainForm::controlChanges() const {
  QHash<int, QString> changes;
  if (!Data1->isOpen()) return changes;
  for (const Binding& b : bindings_) {
    const QString now = controlText(b);
    if (now == loaded_.value(b.widget)) continue;
    const int field = Data1->fieldIndex(b.field);
    if (field >= 0) changes[field] = now;
  }
  return changes;
}

void MainForm::loadControls() {
  const int row = Data1->currentRow();
  shownKey_ = row >= 0 ? Data1->rowKey(row) : -1;
  orphanKey_ = -1;
  for (const Binding& b : bindings_) {
    setControlText(b, row >= 0 ? Data1->value(row, Data1->fieldIndex(b.field)) : QString());
    // What the box actually shows (its limit may have cut a longer value):
    // only the clerk's own typing counts as a change.
    loaded_[b.widget] = controlText(b);
  }
  setEntriesEnabled(row >= 0);
  model_->setCurrentRow(row);
  refreshEditMenu();
}

void MainForm::setEntriesEnabled(bool on) {
  // Without a current row there is nothing for typing to belong to.
  for (QLineEdit* e : entryBoxes()) e->setEnabled(on);
}

void MainForm::onStoreRowChanged(int row) {
  if (shownKey_ < 0 || row < 0 || row >= Data1->rowCount() || Data1->rowKey(row) != shownKey_) return;
  // Written elsewhere (a grid cell, or a store just made): show it unless the
  // clerk has typed something of their own into that control.
  for (const Binding& b : bindings_) {
    const QString stored = Data1->value(row, Data1->fieldIndex(b.field));
    // The sex is the clerk's to edit in the grid only; the hidden box just
    // carries it for Convert (which may have trimmed it), so a pick in the
    // grid always wins over what the box holds.
    if (controlText(b) == loaded_.value(b.widget) || b.widget == Sex) {
      setControlText(b, stored);
      loaded_[b.widget] = controlText(b);
    } else {
      loaded_[b.widget] = stored;  // the typed text stays a change against what is stored now
    }
  }
}

bool MainForm::storeCurrentRow() {
  // A cell still being edited in the grid belongs to the rows as well (a
  // re-query would drop its editor unread).
  TDBGrid1->commitPendingEdit();
  applyGridAdd();
  return storeShownRow();
}

bool MainForm::storeShownRow() {
  if (shownKey_ < 0 || !Data1->isOpen()) return true;
  // Told once already: the clerk has had the chance to copy what was typed.
  if (shownKey_ == orphanKey_) return true;
  const QHash<int, QString> changes = controlChanges();
  if (changes.isEmpty()) return true;
  const int row = Data1->indexOfKey(shownKey_);
  if (row < 0) return true;  // deleted here: nothing to store into
  try {
    Data1->updateByKey(shownKey_, changes);
  } catch (const ConflictError& e) {
    return settleStoreConflict(e.conflict(), changes);
  } catch (const DbError& e) {
    bool gone = false;
    try {
      gone = !Data1->storedRecord(shownKey_).has_value();
    } catch (const DbError&) {
    }
    if (!gone) {
      reportDbError(e.message());
      return false;
    }
    // Deleted by another program: there is nothing left to store into, and
    // saying so again at every move would only hold the clerk up.
    orphanKey_ = shownKey_;
    const QString name = Data1->value(row, Data1->fieldIndex(QStringLiteral("LNAME")));
    const QString id = Data1->value(row, Data1->fieldIndex(QStringLiteral("ID")));
    messages().message(QStringLiteral("The record of %1 has been deleted by another program, so what was typed "
                                      "for it cannot be stored.\n\nIt is still shown so that it can be copied; "
                                      "it is left behind when another row is chosen.")
                           .arg(RecordHistory::subjectOf(name, id)),
                       kErrorTitle, MsgIcon::Exclamation);
    return false;
  }
  return true;
}

bool MainForm::settleStoreConflict(const StoreConflict& conflict, const QHash<int, QString>& changes) {
  if (!chooser_) {
    if (!conflictWindow_) conflictWindow_ = std::make_unique<ConflictWindowChooser>(this);
    chooser_ = conflictWindow_.get();
  }
  const int row = Data1->indexOfKey(conflict.key);
  const QString name = Data1->value(row, Data1->fieldIndex(QStringLiteral("LNAME")));
  const QString id = Data1->value(row, Data1->fieldIndex(QStringLiteral("ID")));
  const QString subject = name.trimmed().isEmpty() ? QStringLiteral("the record with ID %1").arg(id)
                                                   : QStringLiteral("the record of %1 (ID %2)").arg(name, id);
  StoreConflict met = conflict;
  ConflictChoice choice = ConflictChoice::Undecided;
  try {
    choice = settleConflict(
        *chooser_, subject, met,
        [&](const StoreConflict& c) { applyConflictChoice(*Data1, c, ConflictChoice::StoreOurs, changes); },
        [&](const StoreConflict& c) { applyConflictChoice(*Data1, c, ConflictChoice::KeepTheirs, changes); });
  } catch (const DbError& e) {
    reportDbError(e.message());
    return false;
  }
  if (choice == ConflictChoice::KeepTheirs) loadControls();
  return choice != ConflictChoice::Undecided;
}

}  // namespace quillon
