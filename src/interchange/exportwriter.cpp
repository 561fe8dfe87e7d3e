#include "exportwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "infofields.h"
#include "numeric.h"

namespace quillon {

namespace {

QString checkRows(const QList<RecordRow>& rows) {
  const qsizetype n = infoFieldNames().size();
  for (qsizetype r = 0; r < rows.size(); ++r)
    if (rows[r].size() != n) return QStringLiteral("record %1 has %2 fields, not %3").arg(r + 1).arg(rows[r].size()).arg(n);
  return {};
}

bool syncPath(const QString& path, bool directory) {
  const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// Why `path` could not be written, naming it: the clerk may have chosen a
// stick or a share that is full or read-only.
QString cannotWrite(const QString& path, const QString& why) {
  return QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), why);
}

QString systemText() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A scratch file beside the target, owner-only, renamed over the target by
// commit() and removed otherwise.
class FileBeside {
 public:
  explicit FileBeside(const QString& target)
      : target_(target), tmp_(QDir(QFileInfo(target).absolutePath()).filePath(".export-XXXXXX")) {}

  QString open() {
    errno = 0;
    if (!tmp_.open()) return cannotWrite(target_, errno ? systemText() : tmp_.errorString());
    tmp_.close();  // the writer opens it again by name
    return {};
  }
  QString name() const { return tmp_.fileName(); }

  QString commit() {
    if (!syncPath(tmp_.fileName(), false)) return cannotWrite(target_, systemText());
    if (std::rename(QFile::encodeName(tmp_.fileName()).constData(), QFile::encodeName(target_).constData()) != 0)
      return cannotWrite(target_, systemText());
    tmp_.setAutoRemove(false);
    syncPath(QFileInfo(target_).absolutePath(), true);
    return {};
  }

 private:
  QString target_;
  QTemporaryFile tmp_;
};

QString csvCell(const QString& value) {
  const QString v = csvSafeText(value);
  if (!v.contains(',') && !v.contains('"') && !v.contains('\n') && !v.contains('\r') && !v.contains(';')) return v;
  return '"' + QString(v).replace('"', QStringLiteral("\"\"")) + '"';
}

// A workbook cell holds at most 32767 bytes of text: a longer remark is cut
// at a character boundary rather than lose the whole file.
QByteArray cellText(const QString& v) {
  constexpr qsizetype kMax = 32767;
  QByteArray u = v.toUtf8();
  if (u.size() > kMax) {
    qsizetype cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(u[cut]) & 0xC0) == 0x80) --cut;
    u.truncate(cut);
  }
  return u;
}

QString writeWhole(const QString& path, const QByteArray& out) {
  FileBeside file(path);
  if (QString why = file.open(); !why.isEmpty()) return why;
  QFile f(file.name());
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return cannotWrite(path, f.errorString());
  const qint64 written = f.write(out);
  if (written != out.size() || !f.flush())
    return cannotWrite(path, written >= 0 && written < out.size()
                                 ? QStringLiteral("only %1 of %2 bytes went to disk (%3)").arg(written).arg(out.size()).arg(f.errorString())
                                 : f.errorString());
  f.close();
  return file.commit();
}

QByteArray csvLine(const QStringList& fields) {
  QStringList cells;
  for (const QString& f : fields) cells << csvCell(f);
  return cells.join(',').toUtf8() + "\r\n";
}

QString checkTable(const ExportTable& t) {
  for (qsizetype r = 0; r < t.rows.size(); ++r)
    if (t.rows[r].size() != t.headings.size())
      return QStringLiteral("row %1 has %2 fields, not %3").arg(r + 1).arg(t.rows[r].size()).arg(t.headings.size());
  return {};
}

}  // namespace

QString csvSafeText(const QString& value) {
  if (!value.isEmpty()) {
    const QChar c = value.front();
    if (c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r') return '\'' + value;
  }
  return value;
}

QString exportCancelledText() { return QStringLiteral("the export was cancelled"); }

QString writeRecordsCsv(const QString& path, const QList<RecordRow>& rows, const ExportProgress& progress) {
  if (QString bad = checkRows(rows); !bad.isEmpty()) return bad;
  QByteArray out("\xEF\xBB\xBF");  // lets spreadsheets know it is UTF-8
  auto line = [&out](const QStringList& fields) { out += csvLine(fields); };
  line(infoFieldNames());
  for (qsizetype i = 0; i < rows.size(); ++i) {
    if (progress && i % 500 == 0 && !progress(i, rows.size())) return exportCancelledText();
    line(rows[i]);
  }

  return writeWhole(path, out);
}

QString writeRecordsXlsx(const QString& path, const QList<RecordRow>& rows, const ExportProgress& progress) {
  if (QString bad = checkRows(rows); !bad.isEmpty()) return bad;
  FileBeside file(path);
  if (QString why = file.open(); !why.isEmpty()) return why;

  lxw_workbook* wb = workbook_new(QFile::encodeName(file.name()).constData());
  if (!wb) return cannotWrite(path, QStringLiteral("the workbook could not be created"));
  lxw_worksheet* ws = workbook_add_worksheet(wb, "Records");
  lxw_format* dateFmt = workbook_add_format(wb);
  format_set_num_format(dateFmt, "mm/dd/yyyy");
  lxw_format* twoDigits = workbook_add_format(wb);
  format_set_num_format(twoDigits, "00");

  const QStringList& names = infoFieldNames();
  lxw_error err = LXW_NO_ERROR;
  auto keep = [&err](lxw_error e) {
    if (err == LXW_NO_ERROR) err = e;
  };
  for (int c = 0; c < names.size(); ++c) keep(worksheet_write_string(ws, 0, c, names[c].toUtf8().constData(), nullptr));
  bool cancelled = false;
  for (qsizetype r = 0; r < rows.size() && err == LXW_NO_ERROR; ++r) {
    if (progress && r % 500 == 0 && !progress(r, rows.size())) {
      cancelled = true;
      break;
    }
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (int c = 0; c < names.size(); ++c) {
      const QString& v = rows[r][c];
      const QString& f = names[c];
      if (v.isEmpty()) continue;
      if (f == "DOB" || f == "DOT") {
        if (const auto d = parseDateOfBirth(v); d && d->year() >= 1900) {
          lxw_datetime dt{d->year(), d->month(), d->day(), 0, 0, 0};
          keep(worksheet_write_datetime(ws, row, c, &dt, dateFmt));
          continue;
        }
      } else if (isNumberField(f)) {
        if (const auto n = numericValue(v)) {
          keep(worksheet_write_number(ws, row, c, *n, f == "RUN_S" ? twoDigits : nullptr));
          continue;
        }
      }
      keep(worksheet_write_string(ws, row, c, cellText(v).constData(), nullptr));
    }
  }
  const lxw_error closed = workbook_close(wb);  // frees the workbook whatever happens
  keep(closed);
  if (cancelled) return exportCancelledText();
  if (err != LXW_NO_ERROR) return cannotWrite(path, QString::fromUtf8(lxw_strerror(err)));
  return file.commit();
}

}  // namespace quillon

namespace quillon {

QString writeTableCsv(const QString& path, const ExportTable& table) {
  if (QString bad = checkTable(table); !bad.isEmpty()) return bad;
  QByteArray out("\xEF\xBB\xBF");
  out += csvLine(table.headings);
  for (const QStringList& row : table.rows) out += csvLine(row);
  return writeWhole(path, out);
}

QString writeTableXlsx(const QString& path, const ExportTable& table) {
  if (QString bad = checkTable(table); !bad.isEmpty()) return bad;
  FileBeside file(path);
  if (QString why = file.open(); !why.isEmpty()) return why;
  lxw_workbook* wb = workbook_new(QFile::encodeName(file.name()).constData());
  if (!wb) return cannotWrite(path, QStringLiteral("the workbook could not be created"));
  // A sheet's name takes none of []:*?/\ and at most 31 characters.
  QString sheet = table.sheet;
  for (const QChar c : {u'[', u']', u':', u'*', u'?', u'/', u'\\'}) sheet.replace(c, QLatin1Char(' '));
  sheet = sheet.simplified().left(31);
  lxw_worksheet* ws = workbook_add_worksheet(wb, sheet.isEmpty() ? nullptr : sheet.toUtf8().constData());
  lxw_format* dateFmt = workbook_add_format(wb);
  format_set_num_format(dateFmt, "mm/dd/yyyy");
  lxw_error err = ws ? LXW_NO_ERROR : LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE;
  auto keep = [&err](lxw_error e) {
    if (err == LXW_NO_ERROR) err = e;
  };
  for (int c = 0; ws && c < table.headings.size(); ++c) keep(worksheet_write_string(ws, 0, c, cellText(table.headings[c]).constData(), nullptr));
  for (qsizetype r = 0; r < table.rows.size() && err == LXW_NO_ERROR; ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (int c = 0; c < table.headings.size(); ++c) {
      const QString& v = table.rows[r][c];
      if (v.isEmpty()) continue;
      const ColumnKind kind = comparedAs(table.kinds.value(c, ColumnKind::Text));
      if (kind == ColumnKind::Date) {
        if (const auto d = parseDateOfBirth(v); d && d->year() >= 1900) {
          lxw_datetime dt{d->year(), d->month(), d->day(), 0, 0, 0};
          keep(worksheet_write_datetime(ws, row, c, &dt, dateFmt));
          continue;
        }
      } else if (kind == ColumnKind::Number) {
        if (const auto n = numericValue(v)) {
          keep(worksheet_write_number(ws, row, c, *n, nullptr));
          continue;
        }
      }
      // A string cell, never a formula, whatever it begins with.
      keep(worksheet_write_string(ws, row, c, cellText(v).constData(), nullptr));
    }
  }
  keep(workbook_close(wb));
  if (err != LXW_NO_ERROR) return cannotWrite(path, QString::fromUtf8(lxw_strerror(err)));
  return file.commit();
}

}  // namespace quillon
