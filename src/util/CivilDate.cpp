#include "util/CivilDate.h"

namespace lorvex {

std::int64_t DaysSince1970(std::int64_t year, int month, int day) {
  // Years are counted from 1 March, so that the leap day ends a year; 400 years make an era
  // of 146097 days. 719468 is the day of 1970-01-01 counted from 0000-03-01.
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace lorvex
