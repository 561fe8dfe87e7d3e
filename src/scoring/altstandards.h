#pragma once
// The alternate-event standards file As.dat and the judging of one entry of
// the Alternate window, kept apart from the widgets so it can be driven
// with plain strings.
//
// As.dat holds one 82-byte record per event (swim, bike, walk, in the order
// of the event list); each record is twenty 4-character fields, one per
// age-and-sex key (AM, AF, BM, ... JF), then two bytes that are never read.
// A field is a packed time: 2030 is 20 minutes 30 seconds.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace quillon {

inline constexpr int kAltRecordLength = 82;
inline constexpr int kAltFieldWidth = 4;
inline constexpr int kAltFieldCount = 20;
// Bytes of a record that are read; the last two are line ends in practice.
inline constexpr int kAltReadLength = kAltFieldWidth * kAltFieldCount;

inline const QString kAltStandardsFileName = QStringLiteral("As.dat");

// The window's one record buffer, refilled at every OK.
struct AltStandardRecord {
  std::array<char, kAltReadLength> bytes{};
  // Field k (1..20) as the four characters stored.
  QString field(int k) const;
};

// "800 Y Swim", "6.2M Bike", "2.5M Walk": the list order is the record order.
const QStringList& alternateEvents();
// 1, 2 or 3 for an exact (case-sensitive) event text, 0 for anything else.
int alternateRecordNumber(const QString& eventText);
// 1..20 for one of the twenty age-and-sex keys (exact), 0 otherwise.
int alternateFieldNumber(const QString& ageSexKey);

// As.dat opened once, read-only, and kept open. A missing file is not
// created: an empty As.dat would later look like a damaged install, and
// every read from it would fail anyway.
class AltStandardsFile {
 public:
  // Opens `fileName` (normally As.dat in the current directory). Returns
  // whether the file is open; a second call while open changes nothing.
  bool open(const QString& fileName);
  bool isOpen() const { return file_.isOpen(); }
  QString fileName() const { return file_.fileName(); }
  // Reads the used bytes of record `n` (from 1) into `buf`. False for n < 1,
  // a file that is not open, or a record the file does not hold in full;
  // `buf` is left unchanged then.
  bool readRecord(int n, AltStandardRecord& buf);
  // How often the file was actually opened (one for the whole program).
  int timesOpened() const { return opened_; }

 private:
  QFile file_;
  int opened_ = 0;
};

// What OK decided about one entry.
struct AltJudgement {
  enum Kind {
    Refused,   // `message` tells the clerk why; nothing changes
    NoEvent,   // no event chosen: nothing happens, no message
    Judged,    // `maxTime` and `over` hold the outcome
  } kind = Refused;
  QString message;
  std::int16_t maxTime = 0;
  bool over = false;          // entered time above the maximum
  int enteredTime = 0;        // minutes * 100 + seconds
};

// Judges minutes `m` and seconds `s` for `eventText` against the standard
// for `ageSexKey`, reading the event's record from `file` into `buffer`.
AltJudgement judgeAlternate(const QString& eventText, const QString& m, const QString& s,
                            const QString& ageSexKey, AltStandardsFile& file,
                            AltStandardRecord& buffer);

// The refusal texts the clerk sees.
namespace AltMessage {
inline const QString MinutesNotNumeric = QStringLiteral("Event minutes must be numeric");
inline const QString SecondsNotNumeric = QStringLiteral("Event seconds must be numeric");
inline const QString SecondsInvalid = QStringLiteral("Entry for seconds is not valid");
inline const QString InvalidKey = QStringLiteral("Invalid DOB or Sex");
inline const QString Unknown = QStringLiteral("Unknown");
inline const QString MinutesNegative = QStringLiteral("Event minutes can not be negative");
}  // namespace AltMessage

}  // namespace quillon
