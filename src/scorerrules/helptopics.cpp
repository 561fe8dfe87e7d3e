#include "helptopics.h"

#include <QHash>

namespace quillon {

QString helpTopicFor(const QString& objectName) {
  // Controls of the main window and the topic of the help file that explains them.
  static const QHash<QString, QString> topics = {
      {QStringLiteral("TDBGrid1"), QStringLiteral("entering")},
      {QStringLiteral("DOB"), QStringLiteral("entering")},
      {QStringLiteral("DOT"), QStringLiteral("entering")},
      {QStringLiteral("MaskEdBox1"), QStringLiteral("entering")},
      {QStringLiteral("Sex"), QStringLiteral("entering")},
      {QStringLiteral("RAW_PU"), QStringLiteral("scores")},
      {QStringLiteral("RAW_SU"), QStringLiteral("scores")},
      {QStringLiteral("RUN_M"), QStringLiteral("scores")},
      {QStringLiteral("RUN_S"), QStringLiteral("scores")},
      {QStringLiteral("Scores"), QStringLiteral("scores")},
      {QStringLiteral("Command6"), QStringLiteral("convert")},
      {QStringLiteral("C_PU"), QStringLiteral("convert")},
      {QStringLiteral("C_SU"), QStringLiteral("convert")},
      {QStringLiteral("C_RUN"), QStringLiteral("convert")},
      {QStringLiteral("TOTAL"), QStringLiteral("convert")},
      {QStringLiteral("STAT"), QStringLiteral("convert")},
      {QStringLiteral("Prof"), QStringLiteral("profile")},
      {QStringLiteral("Command2"), QStringLiteral("commands")},
      {QStringLiteral("Command3"), QStringLiteral("commands")},
      {QStringLiteral("Command4"), QStringLiteral("commands")},
      {QStringLiteral("Command7"), QStringLiteral("commands")},
      {QStringLiteral("Alternate"), QStringLiteral("alternate")},
  };
  return topics.value(objectName);
}

}  // namespace quillon
