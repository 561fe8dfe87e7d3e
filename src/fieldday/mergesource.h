#pragma once
// What a merge reads from the folder it brings in (merge.h): the folder's
// five-event records, groups and members, read from a copy of its file or
// from its server. Only the merge's own files include it.

#include <QString>
#include <QTemporaryDir>
#include <vector>

#include "recordbackend.h"

namespace quillon::fieldday {

// The folder's file, copied aside so that opening it (which may add what
// this version keeps) never touches the folder. A server's folder is read
// where it is, as its connection file's clerk may read it: reading changes
// nothing there.
class FolderCopy {
 public:
  // Throws Error when the folder holds no records or its file cannot be copied.
  explicit FolderCopy(const QString& folder);
  // The records to read: the copy, or the server's folder's own path.
  const QString& path() const { return path_; }
  bool onServer() const { return onServer_; }

 private:
  QTemporaryDir dir_;
  QString path_;
  bool onServer_ = false;
};

struct Source {
  std::vector<RowAsRead> rows;
  std::vector<RowAsRead> groups, members;
};

// The folder's records, groups and members. Throws Error with the reason
// when they are damaged, unreadable or of another version.
Source readSource(const QString& folder, const FolderCopy& copy);

}  // namespace quillon::fieldday
