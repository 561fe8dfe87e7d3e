// bench_powercut [OPERATION...]: every disk a power cut could leave in each
// file-changing operation on 600 records, checked as the tests check their
// sample of cuts on 40. Prints
// per operation the operations recorded, the disks checked and the time
// per disk as a ratio against checking the untouched folder once; exits 1
// when any disk fails its check.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

#include "powercut.h"
#include "powercutcases.h"

using namespace quillon;
using namespace quillon::powercut;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList kinds = app.arguments().mid(1);
  if (kinds.isEmpty())
    kinds = {"compact", "repair", "store", "roster", "export", "oldimport", "firststart", "pdf"};
  int failed = 0;
  for (const QString& kind : kinds) {
    QTemporaryDir dir;
    test::PowerCutCase c;
    if (!dir.isValid() || !test::preparePowerCutCase(kind, QFileInfo(dir.path()).canonicalFilePath(), c, 600)) {
      std::printf("%s: could not be set up\n", qPrintable(kind));
      ++failed;
      continue;
    }
    const Recording run = record(c.root, c.program, c.args, c.workdir, QString(), c.env);
    if (run.exitCode != 0) {
      std::printf("%s: the operation failed: %s\n", qPrintable(kind), qPrintable(run.errorText));
      ++failed;
      continue;
    }
    // The baseline: the one disk with no operation done at all.
    QElapsedTimer t;
    t.start();
    Recording idle = run;
    idle.ops.clear();
    checkCuts(idle, c.expect, Coverage::Every);
    const double base = double(t.nsecsElapsed());
    t.restart();
    const Verdict v = checkCuts(run, c.expect, Coverage::Every, 1, 20);
    const double each = v.states ? double(t.nsecsElapsed()) / v.states : 0;
    std::printf("%-10s %4lld operations %6d disks checked  %.2fx the untouched folder per disk  %s\n",
                qPrintable(kind), qlonglong(run.ops.size()), v.states, base > 0 ? each / base : 0.0,
                v.failures.isEmpty() ? "all sound" : "FAILURES");
    for (const QString& f : v.failures) std::printf("  %s\n", qPrintable(f));
    if (!v.failures.isEmpty()) ++failed;
  }
  return failed ? 1 : 0;
}
