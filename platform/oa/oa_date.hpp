// DATE (days since 1899-12-30, the fraction being the time of day) and SYSTEMTIME,
// and a small date parser in the locale-1033 forms. No time zones anywhere.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/oa/oa_types.hpp"

namespace oa {

// Gregorian month length; February has 29 days in leap years.
int days_in_month(int year, int month);
bool is_leap_year(int year);

// Day number of a proleptic Gregorian date relative to 1899-12-30, and back.
int64_t days_from_civil(int64_t year, int month, int day);
void civil_from_days(int64_t days, int64_t& year, int& month, int& day);

// The DATE range the automation accepts: 0100-01-01 to 9999-12-31.
constexpr double date_min = -657434.0;
constexpr double date_max = 2958465.99999999;

// Milliseconds are kept; false for fields out of range (month 1-12, day within the
// month, hour < 24, minute < 60, second < 60, milliseconds < 1000, year <= 9999).
bool systemtime_to_variant_time(const SYSTEMTIME& st, DATE& out);
// Rounds to the whole second; false outside the DATE range or for NaN.
bool variant_time_to_systemtime(DATE d, SYSTEMTIME& out);

// The locale-1033 date parser: "M/D/Y", "M-D-Y", "Y-M-D", "Y/M/D", "Month D, Y",
// "Mon D Y", "D Month Y" (English month names, abbreviated or not, any case), an
// optional weekday name, an optional time "h:m[:s[.f]]" with AM/PM, or a time alone
// (which gives day 0). Two-digit years: 0-29 are 20xx, 30-99 are 19xx. A date without
// a year is refused, so the result never depends on today's date.
status date_from_string(std::string_view text, DATE& out);

}  // namespace oa
