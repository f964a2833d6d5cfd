// Numbers as the progress display shows them: date-times, general-format numbers, transfer
// speeds and the three texts of a progress notification. The system's own formats (its long
// time format, its decimal separator) are handed in by the caller, so nothing here asks the
// operating system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lorvex {

// Date-times are days since 30 December 1899, as doubles.
constexpr double kMillisecondsPerDay = 86400000.0;

// Days since 30 December 1899 of a civil date (proleptic Gregorian calendar).
long long DaysSince1899(int year, int month, int day);
// The date-time of a civil date and time of day.
double DateTimeOf(int year, int month, int day, int hour, int minute, int second, int millisecond);

struct TimeOfDay {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  bool operator==(const TimeOfDay&) const = default;
};
// The time-of-day part of a date-time, rounded to the millisecond and kept within the day.
TimeOfDay TimeOfDayOf(double dateTime);

// A number in general format: up to 15 significant digits, fixed notation from 0.00001 up to
// 15 integer digits, otherwise d.dddE+x / d.dddE-x; trailing zeros dropped.
std::string GeneralFloatText(double value, char decimalSeparator);
// The rate (kilobytes of 1000 bytes per second) as text: general format cut two characters
// after the decimal separator, then " kb/sec".
std::string SpeedText(double rate, char decimalSeparator);

// The texts of a progress notification.
struct TransferTexts {
  std::string ElapsedTime;
  std::string Speed;
  std::string EstimatedTime;
};

// The three texts of a progress notification. Elapsed time is counted in whole milliseconds.
// No rate is known before the first data (startTime 0) or while no millisecond has passed:
// Speed and EstimatedTime are then empty; EstimatedTime is also empty when the maximum is 0
// or nothing has arrived yet. timeText turns a duration (a date-time) into text.
TransferTexts MakeTransferTexts(uint32_t progress, uint32_t progressMax, double startTime,
                                double now, char decimalSeparator,
                                const std::function<std::string(double)>& timeText);

}  // namespace lorvex
