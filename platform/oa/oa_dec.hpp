// The 96-bit decimal and currency: text in the locale-1033 form (a point, no
// grouping), exact integer conversions and automation-style rounding (half to even).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/oa/oa_types.hpp"

namespace oa {

constexpr int decimal_max_scale = 28;
// 2^96 - 1, the largest mantissa.
constexpr unsigned __int128 decimal_max_mantissa = (static_cast<unsigned __int128>(1) << 96) - 1;

unsigned __int128 decimal_mantissa(const DECIMAL& d);
// Builds a decimal; false when the mantissa needs more than 96 bits or the scale is
// above 28.
bool make_decimal(unsigned __int128 mantissa, int scale, bool negative, DECIMAL& out);

// Text as the automation parser reads it in locale 1033: blanks around, a sign, digits,
// a point, digits, an optional exponent. At most 29 significant digits and 28 decimals
// are kept; surplus fraction digits are rounded half to even. An integer part beyond
// 96 bits is an overflow; anything else unreadable is a type mismatch.
status decimal_from_string(std::string_view text, DECIMAL& out);
// The shortest plain text: no exponent, no trailing zeros, no point for integers
// ("1.5", "-0.001", "100"); a negative zero prints as "0".
std::string decimal_to_string(const DECIMAL& d);

DECIMAL decimal_from_i64(int64_t v);
DECIMAL decimal_from_u64(uint64_t v);
// Through the 15 significant digits of the double, as the automation does.
status decimal_from_double(double v, DECIMAL& out);
// Correctly rounded (through the exact decimal text).
double decimal_to_double(const DECIMAL& d);
// Rounded half to even to an integer; the result always fits (|v| <= 2^96).
__int128 decimal_round_to_integer(const DECIMAL& d);
// Rounded half to even into [lo, hi]; overflow outside.
status decimal_to_integer(const DECIMAL& d, __int128 lo, __int128 hi, __int128& out);
// The 16-byte image of a decimal overlaying a variant: bytes 0-1 the type code (14),
// 2 the scale, 3 the sign, 4-7 Hi32, 8-15 Lo64, little-endian.
std::array<uint8_t, 16> decimal_bytes(const DECIMAL& d);

// Currency text in locale 1033, rounded half to even to four decimals; an amount
// beyond the 64-bit range is an overflow, anything unreadable a type mismatch.
status currency_from_string(std::string_view text, CY& out);
// The shortest plain text: "0", "1", "1.5", "0.0009", "-922337203685477.5808".
std::string currency_to_string(CY v);
double currency_to_double(CY v);
status currency_from_integer(__int128 v, CY& out);
status currency_from_double(double v, CY& out);
status currency_from_decimal(const DECIMAL& d, CY& out);
DECIMAL decimal_from_currency(CY v);
// Rounded half to even to a 32-bit integer (overflow reported).
status currency_to_i32(CY v, int32_t& out);

}  // namespace oa
