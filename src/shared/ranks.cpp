#include "ranks.h"

namespace quillon {

const QStringList& rankList() {
  static const QStringList ranks = {"N/A", "MS1", "MS2", "MS3", "MS4", "PV2", "PV1", "PFC", "SPC",
                                    "CPL", "SGT", "SSG", "SFC", "MSG", "1SG", "CSM", "CSA", "WO1",
                                    "CW2", "CW3", "CW4", "CW5", "2LT", "1LT", "CPT", "MAJ", "LTC",
                                    "COL", "BG",  "MG",  "LTG", "GEN", "GA"};
  return ranks;
}

}  // namespace quillon
