#include "define.h"

namespace DEFINE {

QString AgeSexKey;
QString AltState;
QString AltResult;
std::int16_t AltMaxTime = 0;
QString ProfileResult;
QString ProfileState;

void resetAll() {
  AgeSexKey.clear();
  AltState.clear();
  AltResult.clear();
  AltMaxTime = 0;
  ProfileResult.clear();
  ProfileState.clear();
}

}  // namespace DEFINE
