#include "mergesource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "fitnessrecords.h"
#include "gateway.h"
#include "recordssession.h"
#include "recordtables.h"
#include "takeout.h"

namespace quillon::fieldday {

FolderCopy::FolderCopy(const QString& folder) {
  const QString path = recordsPathOf(folder);
  if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("info.pgconn")))) {
    path_ = path;
    onServer_ = true;
    return;
  }
  if (!QFileInfo(path).isFile()) throw Error(folder + QStringLiteral(": no records file (info.mdb) there."));
  if (!dir_.isValid()) throw Error(QStringLiteral("No room for a copy of %1: %2").arg(path, dir_.errorString()));
  path_ = dir_.filePath(QStringLiteral("info.mdb"));
  // A journal left beside the file belongs to it: the engine rolls it back.
  for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal")}) {
    if (!QFileInfo::exists(path + suffix)) continue;
    if (!QFile::copy(path + suffix, path_ + suffix))
      throw Error(QStringLiteral("%1 cannot be read or copied.").arg(path + suffix));
  }
}

Source readSource(const QString& folder, const FolderCopy& copy) {
  std::shared_ptr<RecordsSession> s =
      copy.onServer() ? RecordsSession::forDatabase(copy.path()) : RecordsSession::ofFile(copy.path());
  Gateway rows(s, fitnessTable());
  try {
    if (const QString why = rows.damage(); !why.isEmpty())
      throw Error(folder + QStringLiteral(": the records file is damaged (%1).").arg(why));
    // The columns in the order every file holds them (the fields added
    // later come after the version).
    const QStringList expected = fitnessTableColumns();
    const QStringList here = rows.columnsHere();
    // A server keeps its columns in the order its setup script added them.
    const bool known = copy.onServer() ? std::all_of(expected.cbegin(), expected.cend(),
                                                     [&](const QString& name) { return here.contains(name); })
                                       : here == expected;
    if (!known)
      throw Error(folder + QStringLiteral(": the records were made by another version of Quillon (its five-event "
                                          "records hold the fields %1).")
                               .arg(here.join(QStringLiteral(", "))));
    Source out;
    out.rows = rows.all({QStringLiteral("test_date"), QStringLiteral("id")});
    out.groups = Gateway(s, testGroupsTable()).all({QStringLiteral("id")});
    out.members = Gateway(s, testGroupMembersTable()).all({QStringLiteral("group_id"), QStringLiteral("position")});
    return out;
  } catch (const Error& e) {
    if (e.message().startsWith(folder)) throw;
    if (copy.onServer()) throw Error(folder + QStringLiteral(": its records cannot be read (%1).").arg(e.message()));
    throw Error(folder + QStringLiteral(": the records file is damaged or unreadable (%1).").arg(e.message()));
  }
}

}  // namespace quillon::fieldday
