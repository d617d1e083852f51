#include "platform/oa/oa_dec.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/oa/oa_num.hpp"

namespace oa {

namespace {

using u128 = unsigned __int128;
using i128 = __int128;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

u128 pow10(int n) {
    u128 r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

// A number as its significant digits (no leading zeros) times 10^exp10.
struct digits_form {
    bool negative = false;
    std::string digits;
    int64_t exp10 = 0;
};

// Blanks, sign, digits, point, digits, exponent, blanks; false for anything else.
bool read_number(std::string_view s, digits_form& out) {
    size_t i = 0, n = s.size();
    while (i < n && is_blank(s[i])) ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) out.negative = s[i++] == '-';
    bool any = false;
    int64_t frac_digits = 0;
    for (; i < n && is_digit(s[i]); ++i) {
        any = true;
        if (s[i] != '0' || !out.digits.empty()) out.digits.push_back(s[i]);
    }
    if (i < n && s[i] == '.') {
        for (++i; i < n && is_digit(s[i]); ++i) {
            any = true;
            ++frac_digits;
            if (s[i] != '0' || !out.digits.empty()) out.digits.push_back(s[i]);
        }
    }
    if (!any) return false;
    int64_t exp = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        if (i >= n || !is_digit(s[i])) return false;
        for (; i < n && is_digit(s[i]); ++i)
            if (exp < 100000000) exp = exp * 10 + (s[i] - '0');  // far beyond any scale
        if (eneg) exp = -exp;
    }
    while (i < n && is_blank(s[i])) ++i;
    if (i != n) return false;
    out.exp10 = exp - frac_digits;
    return true;
}

// The first `keep` digits as a number, rounded half to even by the digits after them.
// keep may be 0 (only the rounding digit counts); the digits must number at most 38.
u128 round_prefix(const std::string& digits, size_t keep) {
    u128 m = 0;
    for (size_t i = 0; i < keep && i < digits.size(); ++i) m = m * 10 + (digits[i] - '0');
    if (keep >= digits.size()) return m;
    char first = digits[keep];
    bool sticky = digits.find_first_not_of('0', keep + 1) != std::string::npos;
    if (first > '5' || (first == '5' && (sticky || (m & 1)))) ++m;
    return m;
}

// Digits times 10^exp10 rounded half to even to `max_scale` decimals at most, with the
// mantissa at most `limit`: (mantissa, scale); false when the integer part is too large.
bool fit(const digits_form& f, int max_scale, u128 limit, u128& mantissa, int& scale) {
    const int64_t n = static_cast<int64_t>(f.digits.size());
    if (n == 0) {
        mantissa = 0;
        scale = 0;
        return true;
    }
    if (f.exp10 >= 0) {
        if (n + f.exp10 > 30) return false;  // beyond 2^96 whatever the digits
        u128 m = 0;
        for (char c : f.digits) m = m * 10 + (c - '0');
        for (int64_t k = 0; k < f.exp10; ++k) {
            if (m > limit / 10) return false;
            m *= 10;
        }
        if (m > limit) return false;
        mantissa = m;
        scale = 0;
        return true;
    }
    const int64_t s = -f.exp10;  // decimals given
    // Digits to drop: surplus decimals, then whatever keeps the mantissa in range.
    int64_t drop = std::max<int64_t>(s - max_scale, 0);
    // Digits of the limit, counted by multiplying: 128-bit division is slow and this
    // runs for every decimal read.
    int64_t limit_digits = limit ? 1 : 0;
    for (u128 p = 10; limit && p <= limit && limit_digits < 38; p *= 10) ++limit_digits;
    drop = std::max(drop, n - limit_digits);
    for (;; ++drop) {
        if (drop > s) return false;  // the integer part alone does not fit
        if (drop > n) {
            // Everything lies below half a unit of the last kept decimal.
            mantissa = 0;
            scale = static_cast<int>(s - drop);
            return true;
        }
        u128 m = round_prefix(f.digits, static_cast<size_t>(n - drop));
        if (m <= limit) {
            mantissa = m;
            scale = static_cast<int>(s - drop);
            return true;
        }
    }
}

std::string u128_to_string(u128 v) {
    char buf[48];
    char* p = buf + sizeof buf;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v);
    return std::string(p, buf + sizeof buf);
}

// Mantissa and scale as plain text without trailing decimal zeros.
std::string plain_text(bool negative, u128 mantissa, int scale) {
    std::string digits = u128_to_string(mantissa);
    if (scale > 0) {
        if (digits.size() <= static_cast<size_t>(scale))
            digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (negative && mantissa != 0) digits.insert(0, 1, '-');
    return digits;
}

// v / 10^n rounded half to even.
u128 div_round_even(u128 v, int n) {
    if (n <= 0) return v;
    u128 p = pow10(n);
    u128 q = v / p, r = v % p;
    u128 half = p / 2;
    if (r > half || (r == half && (q & 1))) ++q;
    return q;
}

}  // namespace

unsigned __int128 decimal_mantissa(const DECIMAL& d) {
    return (static_cast<u128>(d.Hi32) << 64) | d.Lo64;
}

bool make_decimal(unsigned __int128 mantissa, int scale, bool negative, DECIMAL& out) {
    if (mantissa > decimal_max_mantissa || scale < 0 || scale > decimal_max_scale) return false;
    out = DECIMAL{};
    out.wReserved = 14;  // VT_DECIMAL, where it overlays a variant
    out.scale = static_cast<uint8_t>(scale);
    out.sign = negative && mantissa != 0 ? DECIMAL_NEG : 0;
    out.Hi32 = static_cast<uint32_t>(mantissa >> 64);
    out.Lo64 = static_cast<uint64_t>(mantissa);
    return true;
}

namespace {

// The plain text that MySQL sends for a DECIMAL ("-12.50"): at most 28 digits, so the
// number is exact as it stands. False for any other text.
bool plain_decimal(std::string_view s, DECIMAL& out) {
    size_t i = 0, n = s.size();
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    u128 m = 0;
    int digits = 0, scale = 0;
    bool point = false;
    for (; i < n; ++i) {
        if (is_digit(s[i])) {
            if (++digits > 28) return false;
            m = m * 10 + static_cast<unsigned>(s[i] - '0');
            if (point) ++scale;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    // Zero has no decimals, whatever the text shows.
    return make_decimal(m, m == 0 ? 0 : scale, negative, out);
}

}  // namespace

status decimal_from_string(std::string_view text, DECIMAL& out) {
    if (plain_decimal(text, out)) return status::ok;
    digits_form f;
    if (!read_number(text, f)) return status::type_mismatch;
    u128 m;
    int scale;
    if (!fit(f, decimal_max_scale, decimal_max_mantissa, m, scale)) return status::overflow;
    make_decimal(m, scale, f.negative, out);
    return status::ok;
}

std::string decimal_to_string(const DECIMAL& d) {
    return plain_text(d.sign & DECIMAL_NEG, decimal_mantissa(d), d.scale);
}

DECIMAL decimal_from_i64(int64_t v) {
    DECIMAL d;
    u128 m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    make_decimal(m, 0, v < 0, d);
    return d;
}

DECIMAL decimal_from_u64(uint64_t v) {
    DECIMAL d;
    make_decimal(v, 0, false, d);
    return d;
}

status decimal_from_double(double v, DECIMAL& out) {
    if (!std::isfinite(v)) return status::overflow;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    return decimal_from_string(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), out);
}

double decimal_to_double(const DECIMAL& d) {
    std::string t = decimal_to_string(d);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

__int128 decimal_round_to_integer(const DECIMAL& d) {
    i128 q = static_cast<i128>(div_round_even(decimal_mantissa(d), d.scale));
    return (d.sign & DECIMAL_NEG) ? -q : q;
}

status decimal_to_integer(const DECIMAL& d, __int128 lo, __int128 hi, __int128& out) {
    i128 v = decimal_round_to_integer(d);
    if (v < lo || v > hi) return status::overflow;
    out = v;
    return status::ok;
}

std::array<uint8_t, 16> decimal_bytes(const DECIMAL& d) {
    std::array<uint8_t, 16> b{};
    b[0] = 14;
    b[1] = 0;
    b[2] = d.scale;
    b[3] = d.sign;
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(d.Hi32 >> (8 * i));
    for (int i = 0; i < 8; ++i) b[8 + i] = static_cast<uint8_t>(d.Lo64 >> (8 * i));
    return b;
}

status currency_from_string(std::string_view text, CY& out) {
    digits_form f;
    if (!read_number(text, f)) return status::type_mismatch;
    // Work in ten-thousandths: four decimals at most, then an integer.
    u128 limit = f.negative ? static_cast<u128>(INT64_MAX) + 1 : static_cast<u128>(INT64_MAX);
    digits_form g = f;
    g.exp10 += 4;
    u128 m;
    int scale;
    if (!fit(g, 0, limit, m, scale)) return status::overflow;
    out.int64 =
        f.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(m)) : static_cast<int64_t>(m);
    return status::ok;
}

std::string currency_to_string(CY v) {
    uint64_t mag =
        v.int64 < 0 ? 0 - static_cast<uint64_t>(v.int64) : static_cast<uint64_t>(v.int64);
    return plain_text(v.int64 < 0, mag, 4);
}

double currency_to_double(CY v) {
    return static_cast<double>(v.int64) / 10000.0;
}

status currency_from_integer(__int128 v, CY& out) {
    const i128 lim = static_cast<i128>(INT64_MAX) / 10000;
    if (v > lim || v < -lim - 1) return status::overflow;
    i128 a = v * 10000;
    if (a > INT64_MAX || a < INT64_MIN) return status::overflow;
    out.int64 = static_cast<int64_t>(a);
    return status::ok;
}

status currency_from_double(double v, CY& out) {
    double r = round_half_even(v * 10000.0);
    if (!(r >= -0x1p63 && r < 0x1p63)) return status::overflow;
    out.int64 = static_cast<int64_t>(r);
    return status::ok;
}

status currency_from_decimal(const DECIMAL& d, CY& out) {
    u128 m = decimal_mantissa(d);
    if (d.scale <= 4) {
        m *= pow10(4 - d.scale);  // at most 2^96 * 10^4: no wrap
    } else {
        m = div_round_even(m, d.scale - 4);
    }
    bool neg = d.sign & DECIMAL_NEG;
    if (neg ? m > static_cast<u128>(INT64_MAX) + 1 : m > static_cast<u128>(INT64_MAX))
        return status::overflow;
    out.int64 = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(m)) : static_cast<int64_t>(m);
    return status::ok;
}

DECIMAL decimal_from_currency(CY v) {
    DECIMAL d;
    uint64_t mag =
        v.int64 < 0 ? 0 - static_cast<uint64_t>(v.int64) : static_cast<uint64_t>(v.int64);
    make_decimal(mag, 4, v.int64 < 0, d);
    return d;
}

status currency_to_i32(CY v, int32_t& out) {
    DECIMAL d = decimal_from_currency(v);
    i128 r;
    if (decimal_to_integer(d, INT32_MIN, INT32_MAX, r) != status::ok) return status::overflow;
    out = static_cast<int32_t>(r);
    return status::ok;
}

}  // namespace oa
