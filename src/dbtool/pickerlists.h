#pragma once
// The directory and file lists of the picker window, made from list views:
// the directory list shows the path's folders from the root down, then the
// current folder's subfolders; the file list shows the plain files of one
// folder that match a file-type pattern, without regard to case.

#include <QListWidget>
#include <QString>

namespace quillon::dbtool {

class DirListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit DirListBox(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Shows `dir`. Emits Change when the path differs from the one shown.
  void setPath(const QString& dir);
  // Re-reads the current path without telling anyone.
  void refresh();

  static constexpr int kPathRole = Qt::UserRole;
  static constexpr int kLevelRole = Qt::UserRole + 1;

 signals:
  void Change();

 private:
  QString path_;
};

class FileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr);

  QString path() const { return path_; }
  QString pattern() const { return pattern_; }
  // Each re-reads the folder; no entry is selected afterwards.
  void setPath(const QString& dir);
  void setPattern(const QString& pattern);
  void refresh();
  // The file names now listed, in order.
  QStringList fileNames() const;

  // Whether `name` matches a file-type pattern: wildcards, case ignored,
  // and "*.*" taking every name, with or without a dot.
  static bool matches(const QString& pattern, const QString& name);

 private:
  QString path_;
  QString pattern_ = QStringLiteral("*.*");
};

}  // namespace quillon::dbtool
