#pragma once
// Scratch folders for tests: every file the programs use is found in the
// process's current directory, so each test gets its own and leaves the
// previous one behind when done.

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon::test {

class ScratchDir {
 public:
  ScratchDir() : old_(QDir::currentPath()) {
    EXPECT_TRUE(tmp_.isValid());
    EXPECT_TRUE(QDir::setCurrent(tmp_.path()));
  }
  ~ScratchDir() { QDir::setCurrent(old_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  QString path() const { return tmp_.path(); }
  QString file(const QString& name) const { return QDir(tmp_.path()).filePath(name); }

  // Copies generated data files (2m.dat, su.dat, pu.dat, As.dat, report
  // layouts, help) from the build into this folder.
  void copyData(const QStringList& names) const {
    for (const QString& n : names) {
      const QString src = QDir(QStringLiteral(QUILLON_DATA_DIR)).filePath(n);
      ASSERT_TRUE(QFile::copy(src, file(n))) << qPrintable(src);
      QFile::setPermissions(file(n), QFile::ReadOwner | QFile::WriteOwner);
    }
  }
  void copyTables() const { copyData({"2m.dat", "su.dat", "pu.dat", "As.dat"}); }

 private:
  QString old_;
  QTemporaryDir tmp_;
};

inline QString dataFile(const QString& name) { return QDir(QStringLiteral(QUILLON_DATA_DIR)).filePath(name); }
inline QString sourceFile(const QString& rel) { return QDir(QStringLiteral(QUILLON_SOURCE_DIR)).filePath(rel); }

}  // namespace quillon::test
