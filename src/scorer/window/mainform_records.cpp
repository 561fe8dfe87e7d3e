// The record commands of the main window: Add, Delete, Update and Sort.

#include <QScopedValueRollback>

#include "mainform_session.h"
#include "recordgrid.h"

namespace quillon {

void MainForm::Command2_Click() {
  if (!storeCurrentRow()) return;
  try {
    const QScopedValueRollback guard(syncing_, true);
    if (!Data1->eof()) Data1->edit();
    Data1->addNew();
    Data1->update();
    Data1->moveLast();
  } catch (const DbError& e) {
    loadControls();
    syncGridToStore();
    reportDbError(e.message());
    return;
  }
  loadControls();
  syncGridToStore();
  // The clerk goes on with the new soldier's name.
  const int row = Data1->currentRow();
  if (row >= 0) TDBGrid1->setCurrentIndex(model_->index(row, 1));
  TDBGrid1->setFocus(Qt::OtherFocusReason);
}

void MainForm::Command3_Click() {
  QString failure;
  try {
    const QScopedValueRollback guard(syncing_, true);
    Data1->deleteCurrent();
    Data1->moveNext();
  } catch (const DbError& e) {
    failure = e.message();
  }
  loadControls();
  syncGridToStore();
  // Off the button, so a second Space or Enter does not take the next
  // soldier too; nothing stays selected for the Delete key either.
  TDBGrid1->selectionModel()->clearSelection();
  TDBGrid1->setFocus(Qt::OtherFocusReason);
  if (!failure.isEmpty()) reportDbError(failure);
}

void MainForm::Command4_Click() {
  TDBGrid1->commitPendingEdit();
  applyGridAdd();
  if (Data1->currentRow() < 0 || shownKey_ < 0) return;  // no current row: nothing, silently
  const QHash<int, QString> changes = controlChanges();
  try {
    Data1->edit();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) Data1->setField(Data1->fieldNames().at(it.key()), it.value());
    Data1->update();
  } catch (const ConflictError& e) {
    Data1->cancelUpdate();
    settleStoreConflict(e.conflict(), changes);
  } catch (const DbError& e) {
    Data1->cancelUpdate();
    // Losing the clerk's entries without a word would be worse than a box.
    reportDbError(e.message());
  }
}

void MainForm::Command7_Click() {
  if (!storeCurrentRow()) return;
  Data1->setRecordSource(RecordStore::rowSourceQuery());
  requery();
}

}  // namespace quillon
