#pragma once
// What one conversion has decided so far, read and written by Convert, the
// profile questions, the alternate-event window and its closing report. A
// window that converts owns one and hands it to every conversion it runs
// (through ConvertHost::state()); Convert sets the fields as each run
// reaches them, so what a window reads after a conversion is what the last
// one decided.

#include <QString>
#include <cstdint>

namespace quillon {

struct ConversionState {
  // Age group letter followed by the sex letter ("AM" .. "JF").
  QString AgeSexKey;
  // "FLAG" from the start of each Convert, "DONE" once the alternate event was judged.
  QString AltState;
  // "PASS" from the start of each Convert, "FAIL" once an alternate time was over the maximum.
  QString AltResult;
  // Maximum allowable time of the chosen alternate event, MMSS packed (2030 is 20:30).
  std::int16_t AltMaxTime = 0;
  // "PASS" before the status decisions, "FAIL" once a profile question was answered No.
  QString ProfileResult;
  // "WAIT" before the run decision, "DONE" once Profile has run.
  QString ProfileState;
};

}  // namespace quillon
