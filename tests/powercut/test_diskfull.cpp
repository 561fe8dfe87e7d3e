// A full disk or a read-only medium under every writer: the clerk is told
// which file could not be written, the files that were there are as they
// were, and nothing new is left under a final name.

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "powercut.h"
#include "powercutcases.h"

using namespace quillon;
using namespace quillon::powercut;

namespace {

struct Refusal {
  const char* kind;
  const char* fail;     // how the disk refuses
  const char* names;    // a file the message must name
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.kind << ' ' << r.fail; }

class DiskRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(DiskRefuses, TheClerkIsToldAndNothingIsLostOrLeftHalfWritten) {
  const Refusal r = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  test::PowerCutCase c;
  ASSERT_TRUE(test::preparePowerCutCase(QLatin1String(r.kind), QFileInfo(dir.path()).canonicalFilePath(), c));
  const Recording run = record(c.root, c.program, c.args, c.workdir, QLatin1String(r.fail), c.env);

  EXPECT_TRUE(run.errorText.contains(QLatin1String(r.names))) << "message: " << qPrintable(run.errorText);
  for (auto it = run.before.names.cbegin(); it != run.before.names.cend(); ++it) {
    ASSERT_TRUE(run.after.names.contains(it.key())) << qPrintable(it.key()) << " is gone";
    if (it->type == Entry::File) {
      EXPECT_EQ(run.after.content.value(run.after.names[it.key()].ino), run.before.content.value(it->ino))
          << qPrintable(it.key()) << " was changed";
    }
  }
  for (auto it = run.after.names.cbegin(); it != run.after.names.cend(); ++it)
    EXPECT_TRUE(run.before.names.contains(it.key())) << qPrintable(it.key()) << " was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Writers, DiskRefuses,
    ::testing::Values(Refusal{"store", "enospc:0", "info.mdb"}, Refusal{"store", "erofs", "info.mdb"},
                      Refusal{"roster", "enospc:0", "info.mdb"}, Refusal{"roster", "erofs", "info.mdb"},
                      Refusal{"oldimport", "enospc:0", "info.mdb"}, Refusal{"oldimport", "erofs", "info.mdb"},
                      Refusal{"export", "enospc:0", "export.csv"}, Refusal{"export", "enospc:100", "export.csv"},
                      Refusal{"export", "erofs", "export.csv"}, Refusal{"compact", "enospc:0", "info.mdb"},
                      Refusal{"compact", "enospc:20000", "info.mdb"}, Refusal{"compact", "erofs", "info.mdb"},
                      Refusal{"repair", "enospc:0", "info.mdb"}, Refusal{"repair", "erofs", "info.mdb"},
                      Refusal{"pdf", "enospc:0", "report.pdf"}, Refusal{"pdf", "enospc:3000", "report.pdf"},
                      Refusal{"pdf", "erofs", "report.pdf"}),
    [](const ::testing::TestParamInfo<Refusal>& i) {
      QString n = QStringLiteral("%1_%2").arg(QLatin1String(i.param.kind), QLatin1String(i.param.fail));
      return n.replace(QLatin1Char(':'), QLatin1Char('_')).toStdString();
    });

}  // namespace
