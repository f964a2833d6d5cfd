// Civil dates of the proleptic Gregorian calendar as day counts, for every unit that turns a
// calendar date into a number of days (cookie expiry dates, the progress display's
// date-times).
#pragma once

#include <cstdint>

namespace lorvex {

// Days from 1 January 1970 to the given date (negative before it); month 1 to 12.
std::int64_t DaysSince1970(std::int64_t year, int month, int day);

}  // namespace lorvex
