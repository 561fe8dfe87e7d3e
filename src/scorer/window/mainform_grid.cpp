// The grid beside the controls: its current row follows the store's, a row
// chosen in it becomes the shown row, and rows are added, deleted and put
// back in it.

#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>

#include "mainform_session.h"
#include "recordgrid.h"

namespace quillon {

void MainForm::syncGridToStore() {
  const QScopedValueRollback guard(syncing_, true);
  const int row = Data1->currentRow();
  QItemSelectionModel* sel = TDBGrid1->selectionModel();
  if (row >= 0) {
    const int col = TDBGrid1->currentIndex().isValid() ? TDBGrid1->currentIndex().column() : 1;
    const QModelIndex idx = model_->index(row, col);
    TDBGrid1->setCurrentIndex(idx);
    TDBGrid1->scrollTo(idx);
  } else {
    sel->clearSelection();
    sel->clearCurrentIndex();
  }
}

void MainForm::onGridRowChanged(int row, int /*previous*/) {
  if (syncing_) return;
  if (!storeShownRow()) {
    // The row's changes are still in the controls: stay on it.
    QTimer::singleShot(0, this, [this] { syncGridToStore(); });
    return;
  }
  Data1->moveTo(row < 0 || model_->isNewRowLine(row) ? -1 : row);
  loadControls();
}

void MainForm::applyGridAdd() {
  const int row = pendingGridRow_;
  pendingGridRow_ = -1;
  if (row < 0 || row >= Data1->rowCount()) return;
  {
    const QScopedValueRollback guard(syncing_, true);
    if (!storeShownRow()) return;
  }
  // Typing went on in the next cell of the empty line (Tab after the name):
  // carry on in that cell of the row just added instead of making another.
  int editColumn = -1;
  const QModelIndex at = TDBGrid1->currentIndex();
  if (at.isValid() && model_->isNewRowLine(at.row()) && TDBGrid1->discardPendingEdit()) editColumn = at.column();
  Data1->moveTo(row);
  loadControls();
  syncGridToStore();
  if (editColumn >= 0) {
    const QModelIndex cell = model_->index(row, editColumn);
    TDBGrid1->setCurrentIndex(cell);
    TDBGrid1->edit(cell);
  }
}

void MainForm::onGridDelete(int row) {
  if (row < 0 || model_->isNewRowLine(row) || row >= Data1->rowCount()) return;
  // What was typed for another row shown in the boxes is stored first, so
  // the deletion is the newest step of the history.
  if (Data1->rowKey(row) != shownKey_ && !storeCurrentRow()) return;
  try {
    const QScopedValueRollback guard(syncing_, true);
    Data1->removeRow(row);
  } catch (const DbError& e) {
    reportDbError(e.message());
    return;
  }
  if (Data1->indexOfKey(shownKey_) < 0) {
    // The shown row went: the row that took its place becomes current.
    const int n = Data1->rowCount();
    Data1->moveTo(n == 0 ? -1 : std::min(row, n - 1));
    loadControls();
  }
  syncGridToStore();
  // Nothing stays selected: a second Delete must not take the next soldier.
  TDBGrid1->selectionModel()->clearSelection();
}

void MainForm::onGridRevert(const QModelIndex& index, const QString& text) {
  if (!index.isValid()) return;
  // The pick was stored when it was made; putting the old text back undoes
  // it in the history as well instead of adding a step.
  history_->setAbsorbInverse(true);
  model_->setData(index, text, Qt::EditRole);
  history_->setAbsorbInverse(false);
}

}  // namespace quillon
