// The baseline process of bench_score: reads a CSV file the way
// quillon-score does and writes every record back to standard output,
// without scoring. Same start-up, same reader and writer.
#include <QCoreApplication>
#include <QFile>

#include "batchscore.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (app.arguments().size() != 2) return 1;
  QFile in(app.arguments().at(1));
  QFile out;
  if (!in.open(QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly)) return 1;
  const QByteArray copy = quillon::batch::copyCsv(in.readAll());
  return out.write(copy) == copy.size() && out.flush() ? 0 : 1;
}
