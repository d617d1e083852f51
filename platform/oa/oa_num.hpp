// Integer and floating-point text and conversions, independent of the locale.
// Pure functions: no exceptions, no logging; failures come back as a status.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/oa/oa_types.hpp"

namespace oa {

// "As far as it goes" readers of the C runtime, with one defined rule for overflow.
// Leading white space is skipped, then an optional sign and digits up to the first
// other character; no digits read gives 0 (and `read` false where it is asked for).

// A signed 64-bit integer; beyond the range it saturates to INT64_MIN/INT64_MAX.
int64_t parse_i64_prefix(std::string_view s, bool* read = nullptr);
// An unsigned 64-bit integer; the magnitude saturates to UINT64_MAX, and a minus
// sign negates modulo 2^64 (as scanf's "%u" family does: "-1" gives UINT64_MAX).
uint64_t parse_u64_prefix(std::string_view s, bool* read = nullptr);
// An unsigned 32-bit integer by the same rule: a magnitude above UINT32_MAX gives
// UINT32_MAX, a minus sign negates modulo 2^32.
uint32_t parse_u32_prefix(std::string_view s, bool* read = nullptr);
// A floating-point number: sign, digits, point, digits, exponent ("inf" and "nan"
// too). Overflow gives an infinity, underflow a zero.
double parse_double_prefix(std::string_view s, bool* read = nullptr);

// Strict readers: the whole text (blanks around allowed) must be the number.
status parse_i64_strict(std::string_view s, int64_t& out);
status parse_double_strict(std::string_view s, double& out);

// printf's "%.<precision>e" (two exponent digits at least), "inf"/"-inf"/"nan".
std::string format_exp(double v, int precision);
// Decimal text of integers.
std::string format_i64(int64_t v);
std::string format_u64(uint64_t v);

// Rounds to the nearest integer, halves to the even neighbour (the automation rule).
double round_half_even(double v);
// Rounds halves away from zero (the value classes' own rule).
double round_half_away(double v);

// Automation-style conversions: round half to even, overflow reported (NaN too).
status i64_from_double(double v, int64_t& out);
status u64_from_double(double v, uint64_t& out);
status i32_from_double(double v, int32_t& out);
// A double to float; a finite value beyond the float range is an overflow.
status float_from_double(double v, float& out);

// Truncation toward zero into 32 bits, saturating at the range ends (NaN gives 0).
int32_t i32_trunc_saturate(double v);

}  // namespace oa
