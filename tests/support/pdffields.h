#pragma once
// A PDF's form fields as qpdf's command-line tool reads them (its JSON), so
// a test checks what a reader finds in the written file, not what the writer
// meant to put there; and the document's catalog, to see which layers the
// file keeps.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace quillon::test {

struct PdfField {
  QString type;        // "/Tx", "/Btn", "/Ch", "/Sig"
  QString value;       // text as typed, a check box's state name, empty when unset
  bool hasValue = false;
  int page = 0;        // from 1
  int flags = 0;       // the field's /Ff
  QString state;       // a widget's appearance state (/AS), for check boxes
  QStringList states;  // the states its normal appearance can be drawn in
  bool drawn = false;  // the widget carries its own normal appearance
};

// qpdf's JSON (version 2) of `pdf`, or an empty object after a failed test
// expectation.
inline QJsonObject qpdfJson(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("qpdf"), {QStringLiteral("--json=2"), QStringLiteral("--json-key=acroform"),
                                   QStringLiteral("--json-key=qpdf"), QStringLiteral("--decode-level=none"), pdf});
  EXPECT_TRUE(p.waitForFinished(-1));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// One object of the file, by its reference ("12 0 R").
inline QJsonObject pdfObject(const QJsonObject& json, const QString& ref) {
  const QJsonObject objects = json.value("qpdf").toArray().at(1).toObject();
  return objects.value("obj:" + ref).toObject().value("value").toObject();
}

// qpdf writes a text string as "u:<text>" (or "b:<hex>"); names as "/Name".
inline QString pdfText(const QJsonValue& v) {
  const QString s = v.toString();
  return s.startsWith(QLatin1String("u:")) ? s.mid(2) : s;
}

inline QJsonObject pdfCatalog(const QJsonObject& json) {
  const QJsonObject trailer = json.value("qpdf").toArray().at(1).toObject().value("trailer").toObject();
  return pdfObject(json, trailer.value("value").toObject().value("/Root").toString());
}

// Every field by its fully qualified name; a name met twice fails the test.
inline QMap<QString, PdfField> pdfFields(const QJsonObject& json) {
  QMap<QString, PdfField> fields;
  for (const QJsonValue& v : json.value("acroform").toObject().value("fields").toArray()) {
    const QJsonObject f = v.toObject();
    PdfField field;
    field.type = f.value("fieldtype").toString();
    field.hasValue = !f.value("value").isNull();
    field.value = pdfText(f.value("value"));
    field.page = f.value("pageposfrom1").toInt();
    field.flags = f.value("fieldflags").toInt();
    const QJsonObject annotation = f.value("annotation").toObject();
    field.state = annotation.value("appearancestate").toString();
    const QJsonObject widget = pdfObject(json, annotation.value("object").toString());
    const QJsonValue normal = widget.value("/AP").toObject().value("/N");
    field.drawn = !normal.isUndefined();
    if (normal.isObject()) field.states = normal.toObject().keys();
    const QString name = f.value("fullname").toString();
    EXPECT_FALSE(fields.contains(name)) << name.toStdString();
    fields.insert(name, field);
  }
  return fields;
}

}  // namespace quillon::test
