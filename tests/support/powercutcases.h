#pragma once
// The operations the power-cut and full-disk checks run, each with the
// folder it starts from: a records database of soldiers, a previous backup
// beside it, and whatever file the operation reads. Shared by the tests
// (a sample of the cuts) and the bench (every cut).

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <sqlite3.h>

#include "dbfile.h"
#include "powercut.h"
#include "rosters.h"

namespace quillon::test {

struct PowerCutCase {
  QString root;       // the folder watched
  QString program;
  QStringList args;
  QString workdir;
  QStringList env;    // NAME=VALUE for the child
  powercut::Expectation expect;
};

// A records database at `path` holding `soldiers` records.
inline bool makeRecords(const QString& path, int soldiers) {
  try {
    createRecordsDatabase(path);
  } catch (const Error&) {
    return false;
  }
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
  for (int i = 0; ok && i < soldiers; ++i) {
    const QByteArray sql = QStringLiteral(
                               "INSERT INTO info (LNAME, RANK, SSN, SEX, DOB, RAW_PU, REMARK) VALUES "
                               "('Soldier%1, Pat', 'SGT', '000-02-%2', 'M', '01/02/1990', '%3', '%4')")
                               .arg(i)
                               .arg(i, 4, 10, QLatin1Char('0'))
                               .arg(30 + i % 40)
                               .arg(QString(i * 7 % 300, QLatin1Char('x')))
                               .toUtf8();
    ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  sqlite3_close(db);
  return ok;
}

// Sets `kind` up in the empty folder `dir` with `soldiers` records; false
// when that failed.
// Kinds: compact, repair, store, roster, export, oldimport, firststart, pdf.
inline bool preparePowerCutCase(const QString& kind, const QString& dir, PowerCutCase& c, int soldiers = 40) {
  const QDir d(dir);
  c.root = dir;
  c.workdir = dir;
  c.program = QStringLiteral(QUILLON_PCDRIVE);
  c.args = QStringList{kind, dir};
  if (kind == QLatin1String("firststart")) {
    // An unpacked package: the launcher, the empty-database maker beside it,
    // a program that only ends, and the data files; a home with no records.
    const QString pkg = d.filePath(QStringLiteral("pkg"));
    if (!d.mkpath(QStringLiteral("pkg/lib")) || !d.mkpath(QStringLiteral("pkg/bin")) ||
        !d.mkpath(QStringLiteral("pkg/data")) || !d.mkpath(QStringLiteral("home/Documents")))
      return false;
    QFile in(QStringLiteral(QUILLON_START_IN));
    if (!in.open(QIODevice::ReadOnly)) return false;
    QByteArray script = in.readAll();
    script.replace("@QUILLON_REL_BIN@", "../bin").replace("@QUILLON_REL_DATA@", "../data");
    QFile out(pkg + QStringLiteral("/lib/quillon-start"));
    if (!out.open(QIODevice::WriteOnly) || out.write(script) != script.size()) return false;
    out.close();
    out.setPermissions(out.permissions() | QFileDevice::ExeOwner);
    QFile ravelin(pkg + QStringLiteral("/bin/ravelin"));
    if (!ravelin.open(QIODevice::WriteOnly) || ravelin.write("#!/bin/sh\nexit 0\n") < 0) return false;
    ravelin.close();
    ravelin.setPermissions(ravelin.permissions() | QFileDevice::ExeOwner);
    if (!QFile::link(QStringLiteral(QUILLON_EMPTYDB), pkg + QStringLiteral("/lib/ravelin-emptydb"))) return false;
    for (const char* f : {"2m.dat", "su.dat", "pu.dat", "As.dat", "basic.rpt", "date.rpt", "profile.rpt", "status.rpt",
                          "ravelin.hlp"}) {
      QFile data(pkg + QStringLiteral("/data/") + QLatin1String(f));
      if (!data.open(QIODevice::WriteOnly)) return false;
    }
    c.root = d.filePath(QStringLiteral("home"));
    c.program = QStringLiteral("/bin/sh");
    c.args = QStringList{pkg + QStringLiteral("/lib/quillon-start"), QStringLiteral("ravelin")};
    c.expect.db = QStringLiteral("Documents/Quillon/info.mdb");
    c.expect.backup = QStringLiteral("Documents/Quillon/info.old");
    c.expect.dbBefore = false;
    c.env = QStringList{"HOME=" + c.root, "XDG_DOCUMENTS_DIR=" + d.filePath(QStringLiteral("home/Documents"))};
    return true;
  }
  if (!makeRecords(d.filePath(QStringLiteral("info.mdb")), soldiers)) return false;
  if (kind == QLatin1String("repair")) {
    // A leaf page's cell pointers scribbled over: Repair has rows to salvage
    // and a new file to write.
    QFile f(d.filePath(QStringLiteral("info.mdb")));
    if (!f.open(QIODevice::ReadWrite) || f.size() < 3 * 4096 || !f.seek(2 * 4096 + 8) ||
        f.write(QByteArray(48, '\xff')) != 48)
      return false;
    c.expect.damagedBefore = true;
  }
  if (kind == QLatin1String("compact") && !makeRecords(d.filePath(QStringLiteral("info.old")), 5)) return false;
  if (kind == QLatin1String("roster")) {
    const QString roster = d.filePath(QStringLiteral("roster.csv"));
    QFile f(roster);
    if (!f.open(QIODevice::WriteOnly) || f.write(generatedRoster(30)) < 0) return false;
    c.args << roster;
  }
  if (kind == QLatin1String("oldimport")) {
    // A real old database file for the checks on its header, and a reader
    // standing in for the helper that gives its table info: ten soldiers,
    // two of them under IDs the records already use.
    const QString jet = d.filePath(QStringLiteral("old.mdb")), helper = d.filePath(QStringLiteral("reader.sh"));
    if (!QFile::copy(QStringLiteral(QUILLON_JET_FIXTURE), jet)) return false;
    QByteArray table = "QMDB 1\nC " + QByteArray("ID").toHex() + " 4\nC " + QByteArray("LNAME").toHex() + " 10\nC " +
                       QByteArray("DOB").toHex() + " 8\n";
    for (int i = 0; i < 10; ++i)
      table += "R " + QByteArray::number(i < 2 ? 3 + i : 500 + i).toHex() + ',' + ("Old" + QByteArray::number(i) + ", Lee").toHex() +
               ',' + QByteArray("1985-03-04 00:00:00").toHex() + '\n';
    table += "END 10\n";
    QFile h(helper);
    if (!h.open(QIODevice::WriteOnly) || h.write("#!/bin/sh\ncat <<'TABLE'\n" + table + "TABLE\n") < 0) return false;
    h.close();
    h.setPermissions(h.permissions() | QFileDevice::ExeOwner);
    c.args << jet << helper;
  }
  if (kind == QLatin1String("pdf")) {
    const QString layout = d.filePath(QStringLiteral("basic.rpt"));
    if (!QFile::copy(QStringLiteral(QUILLON_PC_SOURCE_DIR "/data/basic.rpt"), layout)) return false;
    c.args << layout;
    QFile old(d.filePath(QStringLiteral("report.pdf")));
    if (!old.open(QIODevice::WriteOnly) || old.write("%PDF-1.4 last week's report") < 0) return false;
    c.expect.written = QStringList{QStringLiteral("report.pdf")};
  }
  if (kind == QLatin1String("export")) {
    QFile old(d.filePath(QStringLiteral("export.csv")));
    if (!old.open(QIODevice::WriteOnly) || old.write("an export made last week\r\n") < 0) return false;
  }
  if (kind == QLatin1String("export")) c.expect.written = QStringList{QStringLiteral("export.csv"), QStringLiteral("export.xlsx")};
  return true;
}

}  // namespace quillon::test
