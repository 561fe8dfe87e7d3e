#include "gateway.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "gatewaydialects.h"
#include "recordssession.h"
#include "ssnkey.h"

namespace quillon {

namespace {

QString text(const QString& v) { return v.isNull() ? QStringLiteral("") : v; }

}  // namespace

Gateway::Gateway(std::shared_ptr<RecordsSession> session, const RecordTable& table)
    : session_(std::move(session)), table_(table) {
  dialect_ = makeDialect(*session_, table);
  QStringList qualified;
  for (const RecordColumn& c : table_.columns) {
    columnAt_.insert(c.name, int(names_.size()));
    names_ << dialect_->name(c.name);
    qualified << "t." + names_.last();
  }
  QStringList bare = names_;
  if (table_.hasVersion(onServer())) {
    qualified << QStringLiteral("t.version");
    bare << QStringLiteral("version");
  }
  everyColumn_ = qualified.join(QStringLiteral(", "));
  everyColumnBare_ = bare.join(QStringLiteral(", "));
}

Gateway::~Gateway() = default;

bool Gateway::onServer() const { return session_->isServer(); }

int Gateway::columnOf(const QString& name) const {
  if (const auto at = columnAt_.constFind(name); at != columnAt_.cend()) return *at;
  const int c = table_.column(name);
  if (c < 0) throw DbError(QStringLiteral("No field '%1' in table %2.").arg(name, table_.name));
  return c;
}

QString Gateway::selectList(const QStringList& fields, bool qualified) const {
  // A RETURNING list names the columns bare: the file takes no other form.
  if (fields.isEmpty()) return qualified ? everyColumn_ : everyColumnBare_;
  const QString t = qualified ? QStringLiteral("t.") : QString();
  QStringList list;
  for (int c = 0; c < table_.columns.size(); ++c) {
    const bool wanted = c == 0 || fields.contains(table_.columns.at(c).name);
    list << (wanted ? t + names_.at(c) : QStringLiteral("NULL"));
  }
  if (table_.hasVersion(onServer())) list << t + QStringLiteral("version");
  return list.join(QStringLiteral(", "));
}

QString Gateway::orderBy(const QStringList& order) const {
  QStringList out;
  for (const QString& o : order)
    out << (o.startsWith(QLatin1String("name:")) ? dialect_->nameOrder("t." + column(o.mid(5))) : "t." + column(o));
  return out.isEmpty() ? QString() : " ORDER BY " + out.join(QStringLiteral(", "));
}

std::vector<RowAsRead> Gateway::run(const QString& sql, const QStringList& params, bool repeated,
                                    const QList<int>& only) {
  return dialect_->run(sql, params, static_cast<int>(table_.columns.size()), table_.hasVersion(onServer()), nullptr,
                       repeated, only);
}

QList<int> Gateway::columnsRead(const QStringList& fields) const {
  // Of a division's rows, the columns left out are not looked at either.
  QList<int> only;
  if (fields.isEmpty()) return only;
  only << 0;
  for (const QString& f : fields)
    if (const int c = columnOf(f); !only.contains(c)) only << c;
  return only;
}

QString Gateway::column(const QString& name) const {
  // An order may say which way after the name.
  const qsizetype space = name.indexOf(' ');
  if (space < 0) return dialect_->name(name);
  return dialect_->name(name.left(space)) + name.mid(space);
}

std::optional<RowAsRead> Gateway::fetch(qint64 key) {
  std::vector<RowAsRead> rows = run("SELECT " + selectList() + " FROM " + table_.name + " t WHERE t." +
                                        dialect_->name(table_.key.first()) + " = " + dialect_->keyParam(1) + " LIMIT 1",
                                    {QString::number(key)});
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::vector<RowAsRead> Gateway::where(const QList<std::pair<QString, QString>>& equal, bool one,
                                      const QStringList& order) {
  QStringList tests, params;
  for (const auto& [name, value] : equal) {
    params << value;
    const RecordColumn& c = table_.columns.at(columnOf(name));
    const QString column = "t." + dialect_->name(c.name);
    tests << column + " = " + dialect_->param(int(params.size()));
    // Said again in so many words: an index kept only over rows where the
    // column is not empty (fitness_tests' by soldier and date) serves only a
    // query that says so, and the engine does not look into the parameter.
    const bool textual = c.kind != ColumnKind::Key && c.kind != ColumnKind::Number && c.kind != ColumnKind::Decimal;
    if (textual && !value.isEmpty()) tests << column + " <> ''";
  }
  return run("SELECT " + selectList() + " FROM " + table_.name + " t WHERE " + tests.join(QStringLiteral(" AND ")) +
                 orderBy(order) + (one ? QStringLiteral(" LIMIT 1") : QString()),
             params);
}

bool Gateway::anyWithout(const QString& empty, const QString& filled) {
  const QString e = "t." + dialect_->name(table_.columns.at(columnOf(empty)).name);
  const QString f = "t." + dialect_->name(table_.columns.at(columnOf(filled)).name);
  return !run("SELECT " + selectList() + " FROM " + table_.name + " t WHERE coalesce(" + e + ", '') = '' AND " + f +
                  " <> '' LIMIT 1",
              {})
              .empty();
}

std::vector<RowAsRead> Gateway::bySsn(const QStringList& ssnDigits, const QStringList& order, const QStringList& fields) {
  const QString ssn = table_.columns.at(columnOf(QStringLiteral("ssn"))).name;
  // One soldier, the most asked, is compared plainly: no list to make for
  // the engine and none for it to take apart.
  if (ssnDigits.size() == 1)
    return run("SELECT " + selectList(fields) + " FROM " + table_.name + " t WHERE " +
                   dialect_->ssnKey("t." + dialect_->name(ssn)) + " = " + dialect_->param(1) + orderBy(order),
               ssnDigits, false, columnsRead(fields));
  return run("SELECT " + selectList(fields) + " FROM " + table_.name + " t WHERE " +
                 dialect_->oneOf(dialect_->ssnKey("t." + dialect_->name(ssn)), 1, false) + orderBy(order),
             {dialect_->listParam(ssnDigits)}, false, columnsRead(fields));
}

std::vector<RowAsRead> Gateway::bySsnOr(const QStringList& ssnDigits, const QString& column,
                                        const QStringList& values, const QStringList& order,
                                        const QStringList& fields) {
  if (values.isEmpty()) return bySsn(ssnDigits, order, fields);
  const QString other = dialect_->oneOf("t." + dialect_->name(table_.columns.at(columnOf(column)).name), 1, false);
  if (ssnDigits.isEmpty())
    return run("SELECT " + selectList(fields) + " FROM " + table_.name + " t WHERE " + other + orderBy(order),
               {dialect_->listParam(values)}, false, columnsRead(fields));
  const QString ssn = table_.columns.at(columnOf(QStringLiteral("ssn"))).name;
  return run("SELECT " + selectList(fields) + " FROM " + table_.name + " t WHERE " + other + " OR " +
                 dialect_->oneOf(dialect_->ssnKey("t." + dialect_->name(ssn)), 2, false) + orderBy(order),
             {dialect_->listParam(values), dialect_->listParam(ssnDigits)}, false, columnsRead(fields));
}

std::vector<RowAsRead> Gateway::byKeys(const QList<qint64>& keys, const QStringList& order) {
  QStringList list;
  for (qint64 k : keys) list << QString::number(k);
  QString json;
  if (!onServer()) {
    QJsonArray a;
    for (qint64 k : keys) a.append(k);
    json = QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
  }
  return run("SELECT " + selectList() + " FROM " + table_.name + " t WHERE " +
                 dialect_->oneOf("t." + dialect_->name(table_.key.first()), 1, true) + orderBy(order),
             {onServer() ? '{' + list.join(',') + '}' : json});
}

std::vector<RowAsRead> Gateway::all(const QStringList& order, const QStringList& fields) {
  return run("SELECT " + selectList(fields) + " FROM " + table_.name + " t" + orderBy(order), {}, false,
             columnsRead(fields));
}

void Gateway::each(const QStringList& order, const QStringList& fields, const RowSink& row) {
  dialect_->each("SELECT " + selectList(fields) + " FROM " + table_.name + " t" + orderBy(order), {},
                 static_cast<int>(table_.columns.size()), table_.hasVersion(onServer()), nullptr, false,
                 columnsRead(fields), row);
}

std::vector<RowAsRead> Gateway::latestOfEach(const QString& group, const QString& date, const QString& with,
                                             const QString& upTo, const QStringList& order) {
  const auto named = [this](const QString& prefix, const QString& c) {
    return prefix + dialect_->name(table_.columns.at(columnOf(c)).name);
  };
  const QString g = named({}, group), d = named({}, date), w = named({}, with);
  const QString plain = dialect_->plainDate(d);
  // Latest dates are compared as text, which only plain dates allow; a row
  // of any other date comes whatever it holds.
  const QString latest = "SELECT " + g + " AS latest_group, max(CASE WHEN " + plain + " THEN " + d +
                         " END) AS latest_date, max(CASE WHEN " + plain + " AND " + w + " <> '' AND " + d + " <= " +
                         dialect_->param(1) + " THEN " + d + " END) AS latest_with, max(CASE WHEN " + plain +
                         " THEN 0 ELSE 1 END) AS latest_odd FROM " + table_.name + " WHERE " + g +
                         " <> '' GROUP BY " + g;
  const QString td = named(QStringLiteral("t."), date), tg = named(QStringLiteral("t."), group);
  return run("SELECT " + selectList() + " FROM (" + latest + ") l JOIN " + table_.name + " t ON " + tg +
                 " = l.latest_group AND " + tg + " <> '' WHERE " + td + " = l.latest_date OR " + td +
                 " = l.latest_with OR (l.latest_odd = 1 AND NOT " + dialect_->plainDate(td) + ")" + orderBy(order),
             {upTo});
}

std::vector<RowAsRead> Gateway::changedSince(const std::vector<RowAsRead>& asRead) {
  if (!table_.hasVersion(onServer())) throw DbError(table_.name + QStringLiteral(" keeps no row versions here."));
  const QString key = "t." + dialect_->name(table_.key.first());
  if (onServer()) {
    QStringList keys, versions;
    for (const RowAsRead& r : asRead) {
      keys << QString::number(r.key);
      versions << QString::number(r.version);
    }
    return run("SELECT " + selectList() + " FROM " + table_.name +
                   " t JOIN unnest($1::bigint[], $2::bigint[]) AS seen(seen_key, seen_version) ON " + key +
                   " = seen.seen_key WHERE t.version <> seen.seen_version",
               {'{' + keys.join(',') + '}', '{' + versions.join(',') + '}'});
  }
  QJsonArray pairs;
  for (const RowAsRead& r : asRead) pairs.append(QJsonArray{r.key, r.version});
  return run("SELECT " + selectList() + " FROM " + table_.name + " t JOIN json_each(?) seen ON " + key +
                 " = seen.value ->> 0 WHERE t.version <> seen.value ->> 1",
             {QString::fromUtf8(QJsonDocument(pairs).toJson(QJsonDocument::Compact))});
}

bool Gateway::keepsChanges() {
  if (table_.changes.isEmpty()) return false;
  if (!keepsChanges_) keepsChanges_ = dialect_->hasTable(table_.changes);
  return *keepsChanges_;
}

Gateway::Changes Gateway::changedSince(const Followed& followed, qint64 mark) {
  if (!keepsChanges()) throw DbError(table_.name + QStringLiteral(" keeps no change counter here."));
  QStringList keys, params, among;
  QJsonArray numbers;
  for (qint64 k : followed.keys) {
    keys << QString::number(k);
    numbers.append(k);
  }
  params << (onServer() ? '{' + keys.join(',') + '}'
                        : QString::fromUtf8(QJsonDocument(numbers).toJson(QJsonDocument::Compact)));
  among << dialect_->oneOf("t." + dialect_->name(table_.key.first()), 1, true);
  for (const auto& [name, values] : followed.columns) {
    if (values.isEmpty()) continue;
    const QString column = "t." + dialect_->name(table_.columns.at(columnOf(name)).name);
    params << dialect_->listParam(values);
    // Not empty, as the indexes of such columns say (fitness_tests' by
    // soldier and date), so that they serve.
    QStringList tests{dialect_->oneOf(column, int(params.size()), false), column + " <> ''"};
    for (const auto& [other, value] : followed.equal) {
      params << value;
      tests << "t." + dialect_->name(table_.columns.at(columnOf(other)).name) + " = " +
                   dialect_->param(int(params.size()));
    }
    among << "(" + tests.join(QStringLiteral(" AND ")) + ")";
  }
  QString from = table_.name + " t", where = "(" + among.join(QStringLiteral(" OR ")) + ")";
  if (mark > 0) {
    // The file is held to start from the changes (CROSS JOIN keeps the
    // order there): its planner knows no better without statistics.
    from = table_.changes + (onServer() ? " c JOIN " : " c CROSS JOIN ") + from + " ON t." + dialect_->name(table_.key.first()) + " = c.record_id";
    params << QString::number(mark);
    where += " AND " + dialect_->changedAfter(QStringLiteral("c.change_no"), int(params.size()));
  }
  // The mark and the rows are read in one go, so nothing changed between
  // them goes unseen.
  const QString sql = "SELECT r.*, m.mark FROM (SELECT " + dialect_->markNow(table_.changes) +
                      " AS mark) m LEFT JOIN (SELECT " + selectList() + " FROM " + from + " WHERE " + where +
                      ") r ON true";
  Changes out;
  out.rows = dialect_->run(sql, params, int(table_.columns.size()), table_.hasVersion(onServer()), &out.mark);
  return out;
}

RowAsRead Gateway::add(const Record& values) { return insert(std::nullopt, values); }

RowAsRead Gateway::addWithKey(qint64 key, const Record& values) { return insert(key, values); }

RowAsRead Gateway::insert(std::optional<qint64> key, const Record& values) {
  // In table order, whatever order the values came in: the same add is the
  // same statement, which the engine keeps ready.
  QList<std::pair<int, QString>> cols;
  for (auto it = values.cbegin(); it != values.cend(); ++it) {
    const int c = columnOf(it.key());
    if (key && c == 0) continue;
    cols.append({c, it.value()});
  }
  std::sort(cols.begin(), cols.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  QList<int> named;
  QStringList params;
  if (key) params << QString::number(*key);
  for (const auto& [c, v] : cols) {
    named << c;
    params << v;
  }
  std::vector<RowAsRead> rows = run(insertText(named, key.has_value()), params);
  if (rows.empty()) throw DbError(table_.name + QStringLiteral(": the new row was not stored."));
  return std::move(rows.front());
}

const QString& Gateway::insertText(const QList<int>& named, bool withKey) {
  QString shape(withKey ? QLatin1Char('k') : QLatin1Char('-'));
  for (int c : named) shape += QChar(c + 1);
  if (const auto it = insertTexts_.constFind(shape); it != insertTexts_.cend()) return *it;
  QStringList names, marks;
  if (withKey) {
    names << dialect_->name(table_.key.first());
    marks << dialect_->param(1);
  }
  for (int c : named) {
    names << names_.at(c);
    marks << dialect_->param(int(marks.size()) + 1);
  }
  const QString into = names.isEmpty() ? QStringLiteral(" AS t DEFAULT VALUES")
                                       : " AS t (" + names.join(", ") + ")" +
                                             (withKey ? dialect_->overridingKey() : QString()) + " VALUES (" +
                                             marks.join(", ") + ")";
  return *insertTexts_.insert(shape, "INSERT INTO " + table_.name + into + " RETURNING " + everyColumnBare_);
}

namespace {

// The parameters a store or removal of `asRead` under `check` appends for
// its WHERE (checkText), in the order that names them.
void checkParams(const RecordTable& t, bool onServer, const RowAsRead& asRead,
                 const QList<std::pair<int, QString>>& changes, Gateway::Check check, QStringList& params) {
  params << QString::number(asRead.key);
  switch (check) {
    case Gateway::Check::Version:
      if (!t.hasVersion(onServer)) throw DbError(t.name + QStringLiteral(" keeps no row versions here."));
      params << QString::number(asRead.version);
      break;
    case Gateway::Check::FieldsWritten:
      for (const auto& [c, mine] : changes) params << text(asRead.fields.value(c)) << text(mine);
      break;
    case Gateway::Check::None:
      break;
    case Gateway::Check::AllFields:
      for (int c = 1; c < t.columns.size(); ++c) params << text(asRead.fields.value(c));
      break;
  }
}

// The WHERE of a store or removal under `check` of the columns `written`
// (`names`: each column as a statement names it), its parameters numbered
// after the `n` before them.
QString checkText(const Gateway::Dialect& d, const RecordTable& t, const QStringList& names, const QList<int>& written,
                  Gateway::Check check, int n) {
  QStringList tests;
  tests << "t." + d.name(t.key.first()) + " = " + d.keyParam(++n);
  switch (check) {
    case Gateway::Check::Version:
      tests << "t.version = " + d.param(++n);
      break;
    case Gateway::Check::FieldsWritten:
      // A field written may hold what was read, or already what is meant
      // (the same value entered at two stations).
      for (int c : written) {
        const QString field = d.asText("t." + names.at(c));
        const QString read = d.param(++n);
        tests << "(" + field + " = " + read + " OR " + field + " = " + d.param(++n) + ")";
      }
      break;
    case Gateway::Check::None:
      break;
    case Gateway::Check::AllFields:
      for (int c = 1; c < t.columns.size(); ++c) tests << d.asText("t." + names.at(c)) + " = " + d.param(++n);
      break;
  }
  return tests.join(QStringLiteral(" AND "));
}

}  // namespace

const QString& Gateway::storeText(const QList<int>& written, Check check) {
  QString shape(QChar(int(check) + 1));
  for (int c : written) shape += QChar(c + 1);
  if (const auto it = storeTexts_.constFind(shape); it != storeTexts_.cend()) return *it;
  QStringList sets;
  for (int i = 0; i < written.size(); ++i) sets << names_.at(written.at(i)) + " = " + dialect_->param(i + 1);
  const QString bump = table_.hasVersion(onServer()) ? dialect_->versionBump() : QString();
  const QString test = checkText(*dialect_, table_, names_, written, check, int(written.size()));
  return *storeTexts_.insert(shape, "UPDATE " + table_.name + " AS t SET " + sets.join(", ") + bump + " WHERE " +
                                        test + " RETURNING " + everyColumnBare_);
}

Gateway::Outcome Gateway::store(const RowAsRead& asRead, const Record& changes, Check check) {
  QList<std::pair<int, QString>> cols;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) cols.append({columnOf(it.key()), it.value()});
  std::sort(cols.begin(), cols.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  if (cols.isEmpty()) return {fetch(asRead.key), std::nullopt};
  QList<int> written;
  QStringList params;
  for (const auto& [c, v] : cols) {
    written << c;
    params << v;
  }
  checkParams(table_, onServer(), asRead, cols, check, params);
  std::vector<RowAsRead> rows = run(storeText(written, check), params, true);
  if (!rows.empty()) return {std::move(rows.front()), std::nullopt};
  return {std::nullopt, fetch(asRead.key)};
}

Gateway::Outcome Gateway::remove(const RowAsRead& asRead, Check check) {
  QStringList params;
  checkParams(table_, onServer(), asRead, {}, check, params);
  const QString test = checkText(*dialect_, table_, names_, {}, check, 0);
  std::vector<RowAsRead> rows = run("DELETE FROM " + table_.name + " AS t WHERE " + test + " RETURNING " + everyColumnBare_, params);
  if (!rows.empty()) return {std::move(rows.front()), std::nullopt};
  return {std::nullopt, fetch(asRead.key)};
}

QStringList Gateway::columnsHere() {
  QStringList out;
  if (onServer()) {
    const pg::Result r = session_->server().exec(
        "SELECT column_name FROM information_schema.columns WHERE table_schema = current_schema() "
        "AND table_name = $1 ORDER BY ordinal_position",
        {pg::text(table_.name)});
    for (int i = 0; i < r.rows(); ++i) out << r.value(i, 0);
    return out;
  }
  sqlite::Statement st(session_->file(needsOf(table_)), QStringLiteral("SELECT name FROM pragma_table_info(?)"));
  st.bindText(1, table_.name);
  while (st.step()) out << st.text(0);
  return out;
}

std::optional<QStringList> Gateway::unitsWritable() {
  if (!onServer()) return std::nullopt;
  pg::Connection& c = session_->server();
  const pg::Result held = c.exec(
      "SELECT to_regprocedure('quillon_my_units()') IS NULL OR NOT EXISTS (SELECT FROM quillon_units) "
      "OR pg_has_role('quillon_battalion', 'MEMBER') OR pg_has_role('quillon_owner', 'MEMBER') "
      "OR (SELECT rolsuper FROM pg_roles WHERE rolname = current_user)");
  if (held.value(0, 0) == QLatin1String("t")) return std::nullopt;
  const pg::Result units = c.exec("SELECT u FROM unnest(quillon_my_units()) u ORDER BY u");
  QStringList out;
  for (int i = 0; i < units.rows(); ++i) out << units.value(i, 0);
  return out;
}

QString Gateway::damage() {
  if (onServer()) return {};
  sqlite::Statement st(session_->file(needsOf(table_)), QStringLiteral("PRAGMA quick_check"));
  QStringList found;
  while (st.step())
    if (const QString line = st.text(0); line != QLatin1String("ok")) found << line;
  return found.join(QStringLiteral("; "));
}

int Gateway::removeWhere(const QString& column, const QString& value) {
  const QString name = dialect_->name(table_.columns.at(columnOf(column)).name);
  return int(run("DELETE FROM " + table_.name + " WHERE " + name + " = " + dialect_->param(1) + " RETURNING " +
                     selectList({}, false),
                 {value})
                 .size());
}

int Gateway::storeWhere(const QList<std::pair<QString, QString>>& equal, const Record& changes) {
  QStringList sets, tests, params;
  for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
    params << it.value();
    sets << names_.at(columnOf(it.key())) + " = " + dialect_->param(int(params.size()));
  }
  for (const auto& [name, value] : equal) {
    params << value;
    tests << "t." + names_.at(columnOf(name)) + " = " + dialect_->param(int(params.size()));
  }
  const QString bump = table_.hasVersion(onServer()) ? dialect_->versionBump() : QString();
  return int(run("UPDATE " + table_.name + " AS t SET " + sets.join(", ") + bump + " WHERE " +
                     tests.join(QStringLiteral(" AND ")) + " RETURNING " + selectList({}, false),
                 params)
                 .size());
}

}  // namespace quillon
