#include "platform/oa/oa_num.hpp"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

namespace oa {

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

size_t skip_space(std::string_view s, size_t i) {
    while (i < s.size() && is_c_space(s[i])) ++i;
    return i;
}

// Reads sign and digits from position i: the magnitude saturates at `limit`.
struct int_read {
    bool negative = false;
    bool any = false;
    bool saturated = false;
    uint64_t magnitude = 0;
    size_t end = 0;
};

int_read read_int(std::string_view s, size_t i) {
    int_read r;
    i = skip_space(s, i);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        r.negative = s[i] == '-';
        ++i;
    }
    for (; i < s.size() && is_digit(s[i]); ++i) {
        r.any = true;
        const auto d = static_cast<unsigned>(s[i] - '0');
        // Below a tenth of the maximum, no digit can overflow; once saturated, the
        // magnitude stays at the maximum.
        if (r.magnitude < UINT64_MAX / 10 ||
            (r.magnitude == UINT64_MAX / 10 && d <= UINT64_MAX % 10)) {
            r.magnitude = r.magnitude * 10 + d;
        } else {
            r.saturated = true;
            r.magnitude = UINT64_MAX;
        }
    }
    r.end = i;
    return r;
}

int64_t signed_saturate(const int_read& r, bool& overflow) {
    overflow = false;
    if (r.negative) {
        if (r.magnitude > static_cast<uint64_t>(INT64_MAX) + 1) {
            overflow = true;
            return INT64_MIN;
        }
        return static_cast<int64_t>(0 - r.magnitude);
    }
    if (r.magnitude > static_cast<uint64_t>(INT64_MAX)) {
        overflow = true;
        return INT64_MAX;
    }
    return static_cast<int64_t>(r.magnitude);
}

// Whether a token that from_chars found out of range is too large (not too small):
// the decimal position of its first significant digit decides.
bool out_of_range_is_overflow(std::string_view tok) {
    size_t i = 0;
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) ++i;
    int64_t int_digits = 0, frac_zeros = 0;
    bool seen_sig = false, in_frac = false;
    for (; i < tok.size(); ++i) {
        char c = tok[i];
        if (c == '.') {
            in_frac = true;
        } else if (is_digit(c)) {
            if (!in_frac) {
                if (c != '0' || seen_sig) ++int_digits, seen_sig = true;
            } else if (!seen_sig) {
                if (c == '0')
                    ++frac_zeros;
                else
                    seen_sig = true;
            }
        } else {
            break;
        }
    }
    if (!seen_sig) return false;  // zero, however large its exponent
    int_read e;
    if (i < tok.size() && (tok[i] == 'e' || tok[i] == 'E')) e = read_int(tok, i + 1);
    bool ovf = false;
    int64_t exp = signed_saturate(e, ovf);
    int64_t pos = int_digits > 0 ? int_digits : -frac_zeros;
    // Saturated sums stay on the right side of zero.
    if (exp > 0 && pos > INT64_MAX - exp) return true;
    if (exp < 0 && pos < INT64_MIN - exp) return false;
    return pos + exp > 0;
}

// from_chars on s[i..] that also takes a leading '+'; returns the end position (i when
// nothing was read).
size_t read_double(std::string_view s, size_t i, double& out) {
    bool negative = false;
    size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    // from_chars takes no sign of its own here: "+-1" must not read.
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) return start;
    double v = 0;
    auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return start;
    size_t end = static_cast<size_t>(r.ptr - s.data());
    if (r.ec == std::errc::result_out_of_range)
        v = out_of_range_is_overflow(s.substr(i, end - i)) ? HUGE_VAL : 0.0;
    out = negative ? -v : v;
    return end;
}

std::string_view trim_blanks(std::string_view s) {
    size_t b = skip_space(s, 0);
    size_t e = s.size();
    while (e > b && is_c_space(s[e - 1])) --e;
    return s.substr(b, e - b);
}

}  // namespace

int64_t parse_i64_prefix(std::string_view s, bool* read) {
    int_read r = read_int(s, 0);
    if (read) *read = r.any;
    bool ovf;
    return r.any ? signed_saturate(r, ovf) : 0;
}

uint64_t parse_u64_prefix(std::string_view s, bool* read) {
    int_read r = read_int(s, 0);
    if (read) *read = r.any;
    if (!r.any) return 0;
    if (r.saturated) return UINT64_MAX;
    return r.negative ? 0 - r.magnitude : r.magnitude;
}

uint32_t parse_u32_prefix(std::string_view s, bool* read) {
    int_read r = read_int(s, 0);
    if (read) *read = r.any;
    if (!r.any) return 0;
    if (r.magnitude > UINT32_MAX) return UINT32_MAX;
    uint32_t m = static_cast<uint32_t>(r.magnitude);
    return r.negative ? 0u - m : m;
}

double parse_double_prefix(std::string_view s, bool* read) {
    size_t i = skip_space(s, 0);
    double v = 0;
    size_t end = read_double(s, i, v);
    if (read) *read = end != i;
    return end != i ? v : 0.0;
}

status parse_i64_strict(std::string_view s, int64_t& out) {
    s = trim_blanks(s);
    int_read r = read_int(s, 0);
    if (!r.any || r.end != s.size()) return status::type_mismatch;
    bool ovf;
    int64_t v = signed_saturate(r, ovf);
    if (ovf || r.saturated) return status::overflow;
    out = v;
    return status::ok;
}

status parse_double_strict(std::string_view s, double& out) {
    s = trim_blanks(s);
    double v = 0;
    size_t end = read_double(s, 0, v);
    if (end == 0 || end != s.size()) return status::type_mismatch;
    if (std::isinf(v)) {
        // Only an explicit "inf" is an infinity; a number that reads as one overflowed.
        std::string_view body = s.substr(s[0] == '+' || s[0] == '-' ? 1 : 0);
        if (body.empty() || is_digit(body[0]) || body[0] == '.') return status::overflow;
    }
    out = v;
    return status::ok;
}

std::string format_exp(double v, int precision) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision);
    return std::string(buf, r.ptr);
}

std::string format_i64(int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string format_u64(uint64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

double round_half_even(double v) {
    if (!std::isfinite(v)) return v;
    double r = std::round(v);
    if (std::fabs(v - std::trunc(v)) == 0.5) r = 2.0 * std::round(v / 2.0);
    return r;
}

double round_half_away(double v) {
    return std::round(v);
}

status i64_from_double(double v, int64_t& out) {
    double r = round_half_even(v);
    if (!(r >= -0x1p63 && r < 0x1p63)) return status::overflow;
    out = static_cast<int64_t>(r);
    return status::ok;
}

status u64_from_double(double v, uint64_t& out) {
    double r = round_half_even(v);
    if (!(r > -1.0 && r < 0x1p64)) return status::overflow;
    out = static_cast<uint64_t>(r);
    return status::ok;
}

status i32_from_double(double v, int32_t& out) {
    double r = round_half_even(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return status::overflow;
    out = static_cast<int32_t>(r);
    return status::ok;
}

status float_from_double(double v, float& out) {
    if (std::isfinite(v) && std::fabs(v) > static_cast<double>(FLT_MAX)) return status::overflow;
    out = static_cast<float>(v);
    return status::ok;
}

int32_t i32_trunc_saturate(double v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace oa
