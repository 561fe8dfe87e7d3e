#include "ranks.h"

namespace quillon {

const QStringList& rankList() {
  static const QStringList ranks = {"N/A", "MS1", "MS2", "MS3", "MS4", "PV2", "PV1", "PFC", "SPC",
                                    "CPL", "SGT", "SSG", "SFC", "MSG", "1SG", "CSM", "CSA", "WO1",
                                    "CW2", "CW3", "CW4", "CW5", "2LT", "1LT", "CPT", "MAJ", "LTC",
                                    "COL", "BG",  "MG",  "LTG", "GEN", "GA"};
  return ranks;
}

QString payGradeOf(const QString& rank) {
  struct Grade {
    const char* rank;
    const char* grade;
  };
  // Army ranks by pay grade; CSA and GA stand above the grades a card asks for.
  static const Grade grades[] = {
      {"PV1", "E-1"}, {"PV2", "E-2"}, {"PFC", "E-3"}, {"SPC", "E-4"}, {"CPL", "E-4"}, {"SGT", "E-5"},
      {"SSG", "E-6"}, {"SFC", "E-7"}, {"MSG", "E-8"}, {"1SG", "E-8"}, {"CSM", "E-9"}, {"WO1", "W-1"},
      {"CW2", "W-2"}, {"CW3", "W-3"}, {"CW4", "W-4"}, {"CW5", "W-5"}, {"2LT", "O-1"}, {"1LT", "O-2"},
      {"CPT", "O-3"}, {"MAJ", "O-4"}, {"LTC", "O-5"}, {"COL", "O-6"}, {"BG", "O-7"},  {"MG", "O-8"},
      {"LTG", "O-9"}, {"GEN", "O-10"},
  };
  const QString key = rank.trimmed().toUpper();
  for (const Grade& g : grades)
    if (key == QLatin1String(g.rank)) return QString::fromLatin1(g.grade);
  return {};
}

}  // namespace quillon
