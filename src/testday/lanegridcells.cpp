#include "lanegridcells.h"

#include <QBrush>
#include <utility>

namespace quillon {

LaneCells::LaneCells(QStringList rows, QStringList columns, int laneColumns, std::vector<bool> graded, QObject* parent)
    : QAbstractTableModel(parent),
      rows_(std::move(rows)),
      columns_(std::move(columns)),
      lanes_(laneColumns),
      graded_(std::move(graded)),
      events_(size_t(laneColumns), -1),
      cells_(size_t(rows_.size()) * size_t(columns_.size())),
      points_(size_t(rows_.size()), std::array<int, fitness::kEvents>{-1, -1, -1, -1, -1}) {}

const QString& LaneCells::Ref::text() const { return cells_->cell(row_, column_).text; }
const QString& LaneCells::Ref::toolTip() const { return cells_->cell(row_, column_).tip; }

void LaneCells::Ref::setText(const QString& text) {
  Cell& c = cells_->cell(row_, column_);
  if (c.text == text) return;
  c.text = text;
  cells_->changed(row_, column_, {Qt::DisplayRole, Qt::EditRole});
}

void LaneCells::Ref::setToolTip(const QString& tip) {
  Cell& c = cells_->cell(row_, column_);
  if (c.tip == tip) return;
  c.tip = tip;
  cells_->changed(row_, column_, {Qt::ToolTipRole});
}

void LaneCells::Ref::setRed(bool red) {
  Cell& c = cells_->cell(row_, column_);
  if (c.red == red) return;
  c.red = red;
  cells_->changed(row_, column_, {Qt::ForegroundRole});
}

void LaneCells::fillWhenAsked(std::function<void(int)> fill) {
  fill_ = std::move(fill);
  if (fill_)
    filled_.assign(size_t(rows_.size()), false);
  else
    filled_.clear();
}

void LaneCells::fillRow(int row) const {
  filled_[size_t(row)] = true;
  const int outer = std::exchange(filling_, row);
  fill_(row);
  filling_ = outer;
}

void LaneCells::changed(int row, int column, const QList<int>& roles) {
  // A row written as it is first asked for is news to no view.
  if (row == filling_) return;
  const QModelIndex at = index(row, column);
  emit dataChanged(at, at, roles);
}

bool LaneCells::readOnly(int row, int column) const {
  return column >= lanes_ || (row == 0 && !graded_.at(size_t(column)));
}

QVariant LaneCells::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Cell& c = cell(index.row(), index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return c.text;
    case Qt::ToolTipRole: return c.tip.isEmpty() ? QVariant() : QVariant(c.tip);
    case Qt::ForegroundRole: return c.red ? QVariant(QBrush(Qt::red)) : QVariant();
    case Qt::AccessibleTextRole: return said(index.row(), index.column());
    case Qt::AccessibleDescriptionRole:
      return index.row() == 0 || index.column() < lanes_ ? c.tip : QString();
    default: return {};
  }
}

// What a screen reader says of a cell: the soldier, the column, the value
// and the points it earns, and a refusal in words, not only in red; in the
// first row, whose initials a lane stores.
QString LaneCells::said(int row, int column) const {
  const Cell& c = cell(row, column);
  const QString& lane = columns_.at(column);
  if (row == 0) {
    if (readOnly(row, column)) return QStringLiteral("%1: no grader").arg(lane);
    if (!c.tip.isEmpty()) return QStringLiteral("Grader of %1: %2; refused, not taken").arg(lane, c.text);
    return QStringLiteral("Grader of %1: %2").arg(lane, c.text.isEmpty() ? QStringLiteral("no initials") : c.text);
  }
  QStringList said{rows_.at(row),
                   QStringLiteral("%1: %2").arg(lane, c.text.isEmpty() ? QStringLiteral("no value") : c.text)};
  if (column < lanes_ && !c.tip.isEmpty()) {
    said << QStringLiteral("refused, not stored");
  } else if (column < lanes_) {
    const int event = events_.at(size_t(column));
    const int points = event >= 0 ? points_.at(size_t(row))[size_t(event)] : -1;
    if (points >= 0 && !c.text.isEmpty()) said << QStringLiteral("%1 points").arg(points);
  }
  return said.join(QStringLiteral("; "));
}

QVariant LaneCells::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const QStringList& names = orientation == Qt::Horizontal ? columns_ : rows_;
  return section >= 0 && section < names.size() ? QVariant(names.at(section)) : QVariant();
}

Qt::ItemFlags LaneCells::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (readOnly(index.row(), index.column())) return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
         Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

bool LaneCells::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || (role != Qt::EditRole && role != Qt::DisplayRole)) return false;
  const QString text = value.toString();
  if (cell(index.row(), index.column()).text == text) return true;
  at(index.row(), index.column()).setText(text);
  emit typed(index.row(), index.column());
  return true;
}

}  // namespace quillon
