// The texts of the progress display: general-format numbers, speeds, the three texts of a
// progress notification, and the date-time arithmetic under them.
#include "util/DisplayText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

namespace lorvex {
namespace {

std::string Seconds(double days) { return std::to_string(std::llround(days * 86400.0)) + "s"; }

TEST(ProgressTexts, ElapsedTimeSpeedAndEstimatedTime) {
  const double start = 46000.5;
  const double second = 1.0 / 86400.0;
  TransferTexts texts =
      MakeTransferTexts(1000000, 2000000, start, start + 3 * second, '.', Seconds);
  EXPECT_EQ(texts.ElapsedTime, "3s");
  EXPECT_EQ(texts.Speed, "333.33 kb/sec");
  EXPECT_EQ(texts.EstimatedTime, "3s");
  texts = MakeTransferTexts(2000000, 0, start, start + 4 * second, '.', Seconds);
  EXPECT_EQ(texts.Speed, "500 kb/sec");
  EXPECT_EQ(texts.EstimatedTime, "");  // no maximum
  texts = MakeTransferTexts(1000000, 2000000, start, start + 3 * second, ',', Seconds);
  EXPECT_EQ(texts.Speed, "333,33 kb/sec");
  // Before the first data and before the first millisecond no rate is known.
  texts = MakeTransferTexts(10, 20, 0, start, '.', Seconds);
  EXPECT_EQ(texts.ElapsedTime, "");
  EXPECT_EQ(texts.Speed, "");
  EXPECT_EQ(texts.EstimatedTime, "");
  texts = MakeTransferTexts(10, 20, start, start, '.', Seconds);
  EXPECT_EQ(texts.ElapsedTime, "0s");
  EXPECT_EQ(texts.Speed, "");
  EXPECT_EQ(texts.EstimatedTime, "");
  texts = MakeTransferTexts(0, 20, start, start + second, '.', Seconds);
  EXPECT_EQ(texts.Speed, "0 kb/sec");
  EXPECT_EQ(texts.EstimatedTime, "");  // nothing received: no estimate
  texts = MakeTransferTexts(30, 20, start, start + second, '.', Seconds);  // beyond the maximum
  EXPECT_EQ(texts.EstimatedTime, "0s");
}

TEST(ProgressTexts, GeneralNumberFormat) {
  const std::pair<double, const char*> cases[] = {
      {500, "500"},
      {333.333333333333333, "333.333333333333"},
      {0.5, "0.5"},
      {0.00001, "0.00001"},
      {0.0000015, "1.5E-6"},
      {1e20, "1E20"},
      {123456789012345678.0, "1.23456789012346E17"},
      {999999999999999.0, "999999999999999"},
      {-2.25, "-2.25"},
      {0, "0"},
  };
  for (auto [value, text] : cases) EXPECT_EQ(GeneralFloatText(value, '.'), text) << value;
  EXPECT_EQ(SpeedText(0.0000015, '.'), "1.5E kb/sec");  // cut two characters after the separator
  EXPECT_EQ(SpeedText(12.3, '.'), "12.3 kb/sec");
}

TEST(DateTimes, CivilDatesAndTimesOfDay) {
  const struct {
    int year, month, day;
    long long days;
  } dates[] = {
      {1899, 12, 30, 0},   {1899, 12, 29, -1},  {1900, 1, 1, 2},      {1900, 3, 1, 61},
      {2000, 1, 1, 36526}, {2000, 3, 1, 36586}, {2026, 12, 8, 46364}, {1600, 3, 1, -109511},
  };
  for (const auto& d : dates)
    EXPECT_EQ(DaysSince1899(d.year, d.month, d.day), d.days) << d.year << "-" << d.month;

  const std::pair<double, TimeOfDay> times[] = {
      {DateTimeOf(2000, 1, 1, 1, 2, 3, 0), {1, 2, 3, 0}},
      {DateTimeOf(2000, 1, 1, 23, 59, 59, 999), {23, 59, 59, 999}},
      {DateTimeOf(1899, 12, 30, 12, 0, 0, 500), {12, 0, 0, 500}},
      {3.0 + 3723.0 / 86400.0, {1, 2, 3, 0}},  // the day part is dropped
      {5.0 - 1.6 / kMillisecondsPerDay, {23, 59, 59, 998}},
      {5.0 - 0.1 / kMillisecondsPerDay, {23, 59, 59, 999}},  // rounding up stays within the day
  };
  for (const auto& [dateTime, expected] : times)
    EXPECT_EQ(TimeOfDayOf(dateTime), expected) << dateTime;
}

}  // namespace
}  // namespace lorvex
