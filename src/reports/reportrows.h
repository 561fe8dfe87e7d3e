#pragma once
// The one place the report engine talks to the database: the rows of table
// info, selected and ordered by the database itself, handed over one at a
// time so a report never holds more of them than it is working on.

#include <QString>
#include <functional>
#include <memory>

#include "report.h"

namespace quillon {

class RecordBackend;
namespace sqlite {
class Database;
}

// A read-only connection of its own to the database at `dbPath`. Every pass
// made while it lives sees the same rows, whatever other programs write in
// the meantime, so the passes of one printing agree on counts and pages.
class InfoRowReader {
 public:
  // Throws ReportError naming the file when it is missing or not a database.
  explicit InfoRowReader(const QString& dbPath);
  ~InfoRowReader();
  InfoRowReader(const InfoRowReader&) = delete;
  InfoRowReader& operator=(const InfoRowReader&) = delete;

  // Calls `each` for every row meeting all of `select`, in `order` (each key
  // compared as orderKey() encodes it, then the order of entry). The row is
  // reused between calls. Throws ReportError.
  void forEach(const QList<Condition>& select, const QList<SortKey>& order,
               const std::function<void(const ReportRow&)>& each);
  // The same rows stepped one at a time, from the `first` (from 0) on. The
  // cursor must not outlive the reader. Throws ReportError.
  std::unique_ptr<ReportRowCursor> rows(const QList<Condition>& select, const QList<SortKey>& order, qint64 first = 0);

 private:
  class FileCursor;
  class ServerCursor;
  std::unique_ptr<sqlite::Database> db_;
  // Set when the folder's records are on a records server: the rows come
  // through the storage layer, selected here.
  std::unique_ptr<RecordBackend> server_;
  QString path_;
};

}  // namespace quillon
