// quillon-fieldday: a test day without a network.
//
//   quillon-fieldday take-out --group ID FROM_FOLDER TO_FOLDER
//   quillon-fieldday merge [--prefer source|target] [--whole-ssn] FROM_FOLDER INTO_FOLDER
//
// A merge writes one line per record and the summary line on standard
// output, each soldier by name and the SSN's last four digits unless
// --whole-ssn asks for all nine. Exit status: 0 everything merged, 2 conflicts or refusals left
// (the rest stored), 1 nothing done (the reason on standard error).
#include <QCoreApplication>
#include <QTextStream>

#include "merge.h"
#include "takeout.h"

namespace {

constexpr int kDone = 0, kNothingDone = 1, kLeftOver = 2;

const char* const kUsage =
    "usage: quillon-fieldday take-out --group ID FROM_FOLDER TO_FOLDER\n"
    "       quillon-fieldday merge [--prefer source|target] [--whole-ssn] FROM_FOLDER INTO_FOLDER\n";

int usage(QTextStream& err) {
  err << kUsage;
  return kNothingDone;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon::fieldday;
  QCoreApplication app(argc, argv);
  QTextStream out(stdout), err(stderr);
  QStringList args = app.arguments().mid(1);
  if (args.value(0) == QLatin1String("--help") || args.value(0) == QLatin1String("-h")) {
    out << kUsage << "See quillon-fieldday(1).\n";
    return kDone;
  }
  if (args.value(0) == QLatin1String("--version")) {
    out << "quillon-fieldday " << QUILLON_VERSION << "\n";
    return kDone;
  }
  const QString command = args.isEmpty() ? QString() : args.takeFirst();
  try {
    if (command == QLatin1String("take-out")) {
      if (args.size() != 4 || args.at(0) != QLatin1String("--group")) return usage(err);
      bool ok = false;
      const qint64 group = args.at(1).toLongLong(&ok);
      if (!ok || group <= 0) return usage(err);
      const TakeOutResult r = takeOut(args.at(2), group, args.at(3));
      out << QStringLiteral("took out group %1 into %2: %3 soldiers, %4 records\n")
                 .arg(group)
                 .arg(args.at(3))
                 .arg(r.soldiers)
                 .arg(r.records);
      return kDone;
    }
    if (command == QLatin1String("merge")) {
      MergeOptions options;
      bool preferGiven = false;
      while (args.value(0).startsWith(QLatin1String("--"))) {
        if (args.value(0) == QLatin1String("--whole-ssn") && options.ssnShown == quillon::SsnShown::Masked) {
          options.ssnShown = quillon::SsnShown::Whole;
          args.removeFirst();
          continue;
        }
        if (args.value(0) != QLatin1String("--prefer") || preferGiven) return usage(err);
        const QString side = args.value(1);
        if (side == QLatin1String("source")) options.prefer = Prefer::Source;
        else if (side == QLatin1String("target")) options.prefer = Prefer::Target;
        else return usage(err);
        preferGiven = true;
        args = args.mid(2);
      }
      if (args.size() != 2) return usage(err);
      const MergeReport report = mergeFolder(args.at(0), args.at(1), options);
      for (const MergeLine& line : report.lines) out << line.text(options.ssnShown) << "\n";
      out << report.summary() << "\n";
      return report.clean() ? kDone : kLeftOver;
    }
  } catch (const quillon::Error& e) {
    err << "quillon-fieldday: " << e.message() << "\n";
    return kNothingDone;
  }
  return usage(err);
}
