#include "ssnmask.h"

#include <QAction>
#include <QTableWidget>
#include <QWidget>

namespace quillon {

namespace {

const char kToggle[] = "wholeSsnToggle";

QAction* toggleOf(const QWidget* window) {
  for (QAction* a : window->actions())
    if (a->objectName() == QLatin1String(kToggle)) return a;
  return nullptr;
}

}  // namespace

QAction* ssnToggle(QWidget* window) {
  if (QAction* a = toggleOf(window)) return a;
  auto* a = new QAction(QStringLiteral("Show &Whole SSNs"), window);
  a->setObjectName(QString::fromLatin1(kToggle));
  a->setCheckable(true);
  a->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
  a->setShortcutContext(Qt::WindowShortcut);
  a->setChecked(window->parentWidget() && ssnShownFor(window->parentWidget()) == SsnShown::Whole);
  window->addAction(a);
  return a;
}

SsnShown ssnShownFor(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget())
    if (const QAction* a = toggleOf(w)) return a->isChecked() ? SsnShown::Whole : SsnShown::Masked;
  return SsnShown::Masked;
}

void showSsnColumns(ReportTable& table, SsnShown how) {
  for (qsizetype c = 0; c < table.columns.size(); ++c) {
    if (table.columns.at(c).key != QLatin1String("ssn")) continue;
    for (QStringList& row : table.rows)
      if (c < row.size()) row[c] = shownSsn(row.at(c), how);
  }
}

QVariant SsnItem::data(int role) const {
  if (role != Qt::AccessibleTextRole) return QTableWidgetItem::data(role);
  return shownSsn(QTableWidgetItem::data(Qt::DisplayRole).toString(), ssnShownFor(tableWidget()));
}

QString SsnColumnDelegate::displayText(const QVariant& value, const QLocale&) const {
  return shownSsn(value.toString(), how_);
}

}  // namespace quillon
