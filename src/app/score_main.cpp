// quillon-score: scores a batch of five-event tests.
//
//   quillon-score [FILE | -]
//
// Reads a CSV of raw results from FILE (standard input without one, or for
// "-") and writes the rows with their points on standard output; refused
// rows are listed on standard error. Exit status: 0 every row was scored,
// 2 some were refused (they are written with the reason), 1 the input could
// not be read at all (nothing is written).
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

#include "batchscore.h"
#include "fitnesstest.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream err(stderr);
  const QStringList args = app.arguments().mid(1);
  if (args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
    QTextStream(stdout) << "usage: quillon-score [FILE | -]\n"
                           "Scores the five-event fitness test of "
                        << quillon::fitness::fitnessTest2025().test.value_or(quillon::fitness::FitnessTest{}).edition
                        << " for each row of a CSV file; see quillon-score(1).\n";
    return 0;
  }
  if (args.size() == 1 && args[0] == QLatin1String("--version")) {
    QTextStream(stdout) << "quillon-score " << QUILLON_VERSION << "\n";
    return 0;
  }
  if (args.size() > 1 || (args.size() == 1 && args[0].startsWith('-') && args[0] != QLatin1String("-"))) {
    err << "usage: quillon-score [FILE | -]\n";
    return quillon::batch::kUnreadable;
  }
  const bool fromStdin = args.isEmpty() || args[0] == QLatin1String("-");
  const QString name = fromStdin ? QStringLiteral("standard input") : args[0];
  QFile in;
  if (!fromStdin) in.setFileName(name);
  if (!(fromStdin ? in.open(stdin, QIODevice::ReadOnly) : in.open(QIODevice::ReadOnly))) {
    err << "quillon-score: " << name << ": " << in.errorString() << "\n";
    return quillon::batch::kUnreadable;
  }
  const QByteArray data = in.readAll();
  if (in.error() != QFileDevice::NoError) {
    err << "quillon-score: " << name << ": " << in.errorString() << "\n";
    return quillon::batch::kUnreadable;
  }
  const quillon::batch::BatchResult r = quillon::batch::scoreCsv(data);
  if (r.status == quillon::batch::kUnreadable) {
    err << "quillon-score: " << name << ": " << r.error << "\nNothing was scored.\n";
    return r.status;
  }
  QFile out;
  if (!out.open(stdout, QIODevice::WriteOnly) || out.write(r.output) != r.output.size() || !out.flush()) {
    err << "quillon-score: standard output: " << out.errorString() << "\n";
    return quillon::batch::kUnreadable;
  }
  for (const QString& why : r.refusals) err << "quillon-score: " << name << ", " << why << "\n";
  if (!r.refusals.isEmpty()) err << "quillon-score: " << r.refusals.size() << " of " << r.rows << " rows refused\n";
  return r.status;
}
