#pragma once
// Reading what a clerk or a batch file enters for one event: whole numbers
// for repetitions and pounds, times as "m:ss", "mss" or "m ss" (the forms a
// stopwatch reading is typed in). Every failure is a message that names the
// field and repeats the text, so a clerk can find the entry and fix it.

#include <QString>
#include <optional>

#include "fitnesstest.h"

namespace quillon::fitness {

struct RawValue {
  std::optional<int> value;  // seconds for a time
  QString error;             // "<field>: <why>", empty when read
};

// 13:22, 1322 and "13 22" are 802 seconds; minutes take one or two digits,
// seconds exactly two and under 60. Leading and trailing blanks are ignored.
RawValue parseTime(const QString& field, const QString& text);
// A whole number of repetitions or pounds, 0 or more.
RawValue parseCount(const QString& field, const QString& text);
// Read by the event's unit and held to its valid range; an empty entry is
// refused too.
RawValue parseRaw(const EventDef& event, const QString& text);

// 802 -> "13:22".
QString formatTime(int seconds);
// A raw figure as the tables write it: "13:22" for a time, "340" otherwise.
QString formatRaw(Unit unit, int value);

}  // namespace quillon::fitness
