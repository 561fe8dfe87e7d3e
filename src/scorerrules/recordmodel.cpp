#include "recordmodel.h"

#include "infofields.h"
#include "recordstore.h"

namespace quillon {

namespace {

bool allDigits(const QString& s) {
  for (QChar c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

QString ssnDisplay(const QString& stored) {
  if (stored.size() == 9 && allDigits(stored))
    return stored.left(3) + '-' + stored.mid(3, 2) + '-' + stored.right(4);
  return stored;
}

const RecordModel::Column RecordModel::kColumns[5] = {
    {"ID", "ID"}, {"Name", "LNAME"}, {"Rank", "RANK"}, {"SSN", "SSN"}, {"Sex", "SEX"}};

int RecordModel::typedLength(int column) { return infoField(QString::fromLatin1(kColumns[column].field)).length; }

RecordModel::RecordModel(RecordStore& store, QObject* parent) : QAbstractTableModel(parent), store_(store) {
  connect(&store_, &RecordStore::aboutToReset, this, [this] { beginResetModel(); });
  connect(&store_, &RecordStore::resetDone, this, [this] {
    hasFields_ = store_.isOpen();
    endResetModel();
  });
  connect(&store_, &RecordStore::rowAboutToBeInserted, this,
          [this](int row) { beginInsertRows(QModelIndex(), row, row); });
  connect(&store_, &RecordStore::rowInserted, this, [this] { endInsertRows(); });
  connect(&store_, &RecordStore::rowAboutToBeRemoved, this,
          [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
  connect(&store_, &RecordStore::rowRemoved, this, [this] { endRemoveRows(); });
  connect(&store_, &RecordStore::rowChanged, this,
          [this](int row) { emit dataChanged(index(row, 0), index(row, columnCount() - 1)); });
  hasFields_ = store_.isOpen();
}

int RecordModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !hasFields_) return 0;
  return store_.rowCount() + 1;
}

int RecordModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

bool RecordModel::isNewRowLine(int row) const { return hasFields_ && row == store_.rowCount(); }

QVariant RecordModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || isNewRowLine(index.row())) return QVariant();
  const Column& col = kColumns[index.column()];
  const QString v = store_.value(index.row(), store_.fieldIndex(QLatin1String(col.field)));
  if (role == Qt::DisplayRole) return index.column() == 3 ? ssnDisplay(v) : v;
  if (role == Qt::EditRole) return v;
  return QVariant();
}

QVariant RecordModel::headerData(int section, Qt::Orientation o, int role) const {
  if (role != Qt::DisplayRole) return QVariant();
  if (o == Qt::Horizontal) return section >= 0 && section < 5 ? QString::fromLatin1(kColumns[section].caption) : QVariant();
  if (isNewRowLine(section)) return QStringLiteral("*");
  return section == current_ ? QStringLiteral("\u25B6") : QVariant();
}

void RecordModel::setCurrentRow(int row) {
  const int old = current_;
  current_ = row;
  if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
  if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

Qt::ItemFlags RecordModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() != 0) f |= Qt::ItemIsEditable;  // the database fills ID
  return f;
}

bool RecordModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() == 0) return false;
  const Column& col = kColumns[index.column()];
  const QString text = value.toString().left(typedLength(index.column()));
  const int field = store_.fieldIndex(QLatin1String(col.field));
  try {
    if (field < 0) throw DbError(QStringLiteral("Item not found in this collection: ") + col.field);
    if (isNewRowLine(index.row())) {
      if (text.isEmpty()) return false;  // nothing typed: no row
      QHash<int, QString> values;
      values[store_.fieldIndex(QStringLiteral("SEX"))] = QStringLiteral("M");  // grid rows start as "M"
      values[field] = text;
      const int row = store_.insertRow(values);
      emit rowAddedInGrid(row);
      return true;
    }
    if (store_.value(index.row(), field) == text) return true;
    store_.updateByKey(store_.rowKey(index.row()), {{field, text}});
    return true;
  } catch (const DbError& e) {
    emit storeFailed(e.message());
    return false;
  }
}

}  // namespace quillon
