// The scorecards' print preview, with saving a PDF beside printing.

#include "scorecardpreview.h"

#include <QAction>
#include <QComboBox>
#include <QGraphicsView>
#include <QLineEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

#include "reportpreview.h"
#include "scorecard.h"

namespace quillon {

void previewScorecards(const QList<Record>& records, QWidget* parent, const QString& title,
                       const std::function<void(const QString&)>& onNotice,
                       const std::function<void(const QString&)>& onError) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(title);
  setScorecardPageLayout(printer);
  QPrintPreviewDialog preview(&printer, parent);
  preview.setObjectName(QStringLiteral("ScorecardPreview"));
  preview.setWindowTitle(title);
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&](QPrinter* pr) { paintScorecards(records, pr); });
  if (auto* bar = preview.findChild<QToolBar*>()) {
    bar->addSeparator();
    QAction* save = bar->addAction(QStringLiteral("Save as PDF..."));
    save->setObjectName(QStringLiteral("SavePdf"));
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(QStringLiteral("Save as PDF... (%1)").arg(save->shortcut().toString(QKeySequence::NativeText)));
    // Printing keeps the key it has in every other window.
    for (QAction* a : bar->actions())
      if (a->shortcut().isEmpty() && a->text().remove(QLatin1Char('&')).startsWith(QLatin1String("Print")) &&
          !a->text().contains(QLatin1String("Setup"), Qt::CaseInsensitive))
        a->setShortcut(QKeySequence::Print);
    keyboardReachable(bar);
    for (QLineEdit* e : bar->findChildren<QLineEdit*>())
      if (!qobject_cast<QComboBox*>(e->parentWidget())) e->setAccessibleName(QStringLiteral("Page"));
    QObject::connect(save, &QAction::triggered, &preview, [&] {
      QString path = QFileDialog::getSaveFileName(&preview, QStringLiteral("Save Scorecards as PDF"),
                                                  QDir::current().filePath(title + QStringLiteral(".pdf")),
                                                  QStringLiteral("PDF files (*.pdf)"));
      if (path.isEmpty()) return;
      if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
      const QString why = writeScorecardsPdf(records, path);
      if (why.isEmpty())
        onNotice(QStringLiteral("The scorecards were saved as %1.")
                     .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
      else
        onError(why);
    });
  }
  for (QGraphicsView* v : preview.findChildren<QGraphicsView*>()) v->setAccessibleName(QStringLiteral("Scorecard pages"));
  preview.exec();
}

}  // namespace quillon
