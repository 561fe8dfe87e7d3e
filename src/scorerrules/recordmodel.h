#pragma once
// The grid's rows: a table model over the record store showing ID, Name,
// Rank, SSN and Sex, with an empty last line where typing adds a row. What
// a cell takes (the field's length), what a row added there starts with,
// and how an SSN is shown are decided here; the grid only shows them.

#include <QAbstractTableModel>

namespace quillon {

class RecordStore;

// "123456789" and "123-45-6789" both show as "123-45-6789"; anything else
// shows as stored.
QString ssnDisplay(const QString& stored);

class RecordModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Column {
    const char* caption;
    const char* field;  // its length is the field's (infoFields())
  };
  static const Column kColumns[5];
  // How many characters a cell of this column takes.
  static int typedLength(int column);

  explicit RecordModel(RecordStore& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The empty last line where a new row is typed.
  bool isNewRowLine(int row) const;
  // The record selector of this row shows the current-row mark.
  void setCurrentRow(int row);

 Q_SIGNALS:
  // A cell edit could not be stored; `message` is the engine's.
  void storeFailed(const QString& message);
  // A row was added from the new-row line (index in the store).
  void rowAddedInGrid(int row);

 private:
  RecordStore& store_;
  bool hasFields_ = false;
  int current_ = -1;
};

}  // namespace quillon
