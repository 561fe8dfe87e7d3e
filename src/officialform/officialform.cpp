#include "officialform.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <stdexcept>

#include "formfields.h"

namespace quillon::officialform {

namespace {

// The blank form, read once and kept: the copies made from it read their
// streams from these bytes until the file is written.
const QByteArray& blankForm() {
  static const QByteArray bytes = [] {
    QFile f(QStringLiteral(":/officialform/scorecard-form.pdf"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  return bytes;
}

std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

// The blank form opened, its permissions (which forbid changes to anything
// but the fields) set aside with its encryption, since the file written is a
// new one; the XFA layer, and the reader-version check that only the XFA
// layer needs, taken out so that the fields below are what every reader
// shows; the reader-rights signature dropped, since a changed file would
// fail it and lose the rights anyway.
std::unique_ptr<QPDF> openBlankForm() {
  const QByteArray& bytes = blankForm();
  if (bytes.isEmpty()) throw std::runtime_error("the blank form is not built in");
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  pdf->processMemoryFile("scorecard-form.pdf", bytes.constData(), static_cast<size_t>(bytes.size()));
  QPDFObjectHandle root = pdf->getRoot();
  root.getKey("/AcroForm").removeKey("/XFA");
  root.removeKey("/Perms");
  if (QPDFObjectHandle names = root.getKey("/Names"); names.isDictionary()) names.removeKey("/JavaScript");
  return pdf;
}

// Ticks a check box in the state its widgets are drawn ticked in: their
// normal appearance's one state that is not /Off ("/1" or "/2" on this form).
void tickBox(QPDFAcroFormDocumentHelper& form, QPDFFormFieldObjectHelper& field) {
  std::vector<QPDFAnnotationObjectHelper> widgets = form.getAnnotationsForField(field);
  std::string on;
  for (QPDFAnnotationObjectHelper& widget : widgets) {
    QPDFObjectHandle normal = widget.getAppearanceDictionary().getKey("/N");
    if (!normal.isDictionary()) continue;
    for (const std::string& state : normal.getKeys())
      if (state != "/Off") on = state;
  }
  if (on.empty()) throw std::runtime_error("check box " + field.getFullyQualifiedName() + " has no ticked state");
  field.setFieldAttribute("/V", QPDFObjectHandle::newName(on));
  for (QPDFAnnotationObjectHelper& widget : widgets)
    widget.getObjectHandle().replaceKey("/AS", QPDFObjectHandle::newName(on));
}

// Fills one copy of the form with a card; every field the table leaves, and
// every box the card has no value for, stays as the blank form has it.
void fill(QPDF& pdf, const FitnessCard& card) {
  QPDFAcroFormDocumentHelper form(pdf);
  const QList<CardTest> tests = testsOnCard(card.tests);
  QHash<QString, const FormField*> byName;
  for (const FormField& f : formFields()) byName.insert(f.name, &f);
  for (QPDFFormFieldObjectHelper& field : form.getFormFields()) {
    const QString name = QString::fromStdString(field.getFullyQualifiedName());
    const FormField* entry = byName.value(name);
    if (!entry) throw std::runtime_error("the form has a field its table does not list: " + utf8(name));
    if (entry->box.isEmpty()) continue;
    const std::optional<BoxValue> v = boxValue(card, tests, entry->box);
    if (!v) throw std::runtime_error("the form's field table names a box nothing fills: " + utf8(entry->box));
    if (entry->kind == FieldKind::CheckBox) {
      if (v->ticked) tickBox(form, field);
    } else if (!v->text.isEmpty()) {
      field.setV(utf8(v->text), false);
    }
  }
  // Drawn here, so that a reader which draws no appearances of its own (and
  // every printer) shows the values too.
  form.setNeedAppearances(true);
  form.generateAppearancesIfNeeded();
  form.setNeedAppearances(false);
  // libqpdf writes a value into its appearance only as the stream is read
  // out, and a copy into another document takes the stream unread, empty:
  // each appearance is read out once here and kept as it reads.
  for (QPDFFormFieldObjectHelper& field : form.getFormFields()) {
    if (!field.isText() && !field.isChoice()) continue;
    for (QPDFAnnotationObjectHelper& widget : form.getAnnotationsForField(field)) {
      QPDFObjectHandle look = widget.getAppearanceStream("/N");
      if (!look.isStream()) continue;
      look.replaceStreamData(look.getStreamData(qpdf_dl_generalized), QPDFObjectHandle::newNull(),
                             QPDFObjectHandle::newNull());
    }
  }
}

QPDFObjectHandle topField(QPDF& pdf) {
  QPDFObjectHandle fields = pdf.getRoot().getKey("/AcroForm").getKey("/Fields");
  if (!fields.isArray() || fields.getArrayNItems() != 1) throw std::runtime_error("the form's fields have no one top");
  return fields.getArrayItem(0);
}

// Adds a filled copy's pages and fields at the end of `out`. Each copied
// widget is told its new page; the copy's links into the tagged structure
// are dropped, since they would point into the first copy's.
void append(QPDF& out, QPDF& copy) {
  copy.setImmediateCopyFrom(true);
  QPDFPageDocumentHelper outPages(out);
  for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(copy).getAllPages()) {
    outPages.addPage(page, false);
  }
  const std::vector<QPDFPageObjectHelper> all = outPages.getAllPages();
  const size_t added = QPDFPageDocumentHelper(copy).getAllPages().size();
  for (size_t i = all.size() - added; i < all.size(); ++i) {
    QPDFObjectHandle page = all[i].getObjectHandle();
    page.removeKey("/StructParents");
    QPDFObjectHandle annots = page.getKey("/Annots");
    if (!annots.isArray()) continue;
    for (QPDFObjectHandle annot : annots.aitems()) {
      annot.replaceKey("/P", page);
      annot.removeKey("/StructParent");
    }
  }
  out.getRoot().getKey("/AcroForm").getKey("/Fields").appendItem(out.copyForeignObject(topField(copy)));
}

std::shared_ptr<Buffer> filledForms(const QList<FitnessCard>& cards) {
  std::vector<std::unique_ptr<QPDF>> copies;
  for (qsizetype i = 0; i < cards.size(); ++i) {
    copies.push_back(openBlankForm());
    QPDF& copy = *copies.back();
    fill(copy, cards.at(i));
    if (cards.size() > 1)
      topField(copy).replaceKey("/T", QPDFObjectHandle::newUnicodeString(utf8(copyFieldPrefix(int(i) + 1))));
  }
  QPDF& out = *copies.front();
  for (size_t i = 1; i < copies.size(); ++i) append(out, *copies[i]);
  QPDFWriter writer(out);
  writer.setOutputMemory();
  writer.setPreserveEncryption(false);
  writer.write();
  return writer.getBufferSharedPointer();
}

void syncFolder(const QString& file) {
  const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

QString copyFieldPrefix(int n) { return QStringLiteral("card%1").arg(n); }

QString writeOfficialCards(const QList<FitnessCard>& cards, const QString& path) {
  if (cards.isEmpty()) return QStringLiteral("there is no scorecard to write");
  std::shared_ptr<Buffer> pdf;
  try {
    pdf = filledForms(cards);
  } catch (const std::exception& e) {
    return QStringLiteral("the official form could not be filled: %1").arg(QString::fromLocal8Bit(e.what()));
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const auto size = static_cast<qint64>(pdf->getSize());
  if (file.write(reinterpret_cast<const char*>(pdf->getBuffer()), size) != size) return file.errorString();
  if (!file.commit()) return file.errorString();
  syncFolder(path);
  return {};
}

QStringList bodyCompositionTooClose(const QList<FitnessCard>& cards) {
  QStringList found;
  for (const FitnessCard& card : cards) {
    for (const CardTest& t : testsOnCard(card.tests)) {
      const QDate tested = QDate::fromString(t.date.trimmed(), QStringLiteral("yyyyMMdd"));
      const QDate measured = QDate::fromString(t.bodyCompositionDate.trimmed(), QStringLiteral("yyyyMMdd"));
      if (!tested.isValid() || !measured.isValid() || qAbs(tested.daysTo(measured)) >= 7) continue;
      found << QStringLiteral("%1: test %2, body composition %3").arg(cardName(card), t.date.trimmed(),
                                                                       t.bodyCompositionDate.trimmed());
    }
  }
  return found;
}

}  // namespace quillon::officialform
