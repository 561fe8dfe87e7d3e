// Runs Compact on info.mdb in the folder given, and kills itself outright
// (SIGKILL, as a power cut or kill -9 would end it) at the n-th step; with
// no step that far it finishes and says how many steps there were.
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "commands.h"

namespace {

class KillAtStep : public quillon::dbtool::FaultPlan {
 public:
  explicit KillAtStep(int n) : n_(n) {}
  void at(const char* step) override {
    if (++calls == n_) {
      std::fprintf(stderr, "killed before: %s\n", step);
      std::fflush(stderr);
      ::kill(::getpid(), SIGKILL);
    }
  }
  int calls = 0;

 private:
  int n_;
};

class SilentMessages : public quillon::dbtool::ToolMessages {
 public:
  void message(const QString& text, const QString&, quillon::dbtool::BoxIcon) override { last = text; }
  void endProgram(int code) override { ended = code; }
  QString last;
  int ended = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3 || !QDir::setCurrent(QString::fromLocal8Bit(argv[1]))) return 2;
  KillAtStep plan(std::atoi(argv[2]));
  SilentMessages seam;
  quillon::dbtool::MaintenanceCommands cmd(seam, &plan);
  cmd.compact({"info.mdb", "info.mdb", QString(), QDir::currentPath()});
  std::printf("steps %d\n%s\n", plan.calls, qPrintable(seam.last));
  return seam.ended;
}
