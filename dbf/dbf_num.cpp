#include "dbf/dbf_num.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/oa/oa_num.hpp"

dbf_digits& dbf_digits::operator=(const dbf_digits& that) {
    int_len_ = that.int_len_;
    frac_len_ = that.frac_len_;
    negative_ = that.negative_;
    too_large_ = that.too_large_;
    lost_beyond_ = that.lost_beyond_;
    std::memcpy(d_, that.d_, static_cast<size_t>(int_len_ + frac_len_));
    return *this;
}

void dbf_digits::set_digits(std::string_view int_part, std::string_view frac_part) {
    too_large_ = false;
    lost_beyond_ = false;
    while (int_part.size() > 1 && int_part[0] == '0') int_part.remove_prefix(1);
    if (int_part.empty()) int_part = "0";
    // No field is wider than 255 bytes; a longer integer part can only be blank.
    if (int_part.size() > 400) {
        too_large_ = true;
        int_part = "0";
    }
    int_len_ = static_cast<int>(int_part.size());
    std::memcpy(d_, int_part.data(), int_part.size());
    const size_t room = capacity - 300 - int_part.size();  // keep room for padding
    if (frac_part.size() > room) {
        for (char c : frac_part.substr(room))
            if (c != '0') lost_beyond_ = true;
        frac_part = frac_part.substr(0, room);
    }
    frac_len_ = static_cast<int>(frac_part.size());
    if (!frac_part.empty()) std::memcpy(d_ + int_len_, frac_part.data(), frac_part.size());
}

void dbf_digits::set_signed(int64_t v) {
    negative_ = v < 0;
    set_unsigned(v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
    negative_ = v < 0;
}

void dbf_digits::set_unsigned(uint64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    negative_ = false;
    set_digits(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), {});
}

void dbf_digits::set_scaled(unsigned __int128 magnitude, int scale, bool negative) {
    char buf[48];
    int n = 0;
    // 128-bit division is slow; most magnitudes fit in 64 bits.
    while (magnitude >> 64) {
        buf[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    }
    auto small = static_cast<uint64_t>(magnitude);
    do {
        buf[n++] = static_cast<char>('0' + static_cast<int>(small % 10));
        small /= 10;
    } while (small);
    while (n <= scale) buf[n++] = '0';  // at least one integer digit
    char text[48];
    for (int i = 0; i < n; ++i) text[i] = buf[n - 1 - i];
    negative_ = negative;
    set_digits(std::string_view(text, static_cast<size_t>(n - scale)),
               std::string_view(text + n - scale, static_cast<size_t>(scale)));
}

namespace {

template <class F>
bool fixed_text(F v, std::string_view& int_part, std::string_view& frac_part, bool& negative,
                char* buf, size_t size) {
    if (!(v == v) || v - v != 0) return false;  // NaN and infinities
    auto r = std::to_chars(buf, buf + size, v, std::chars_format::fixed);
    if (r.ec != std::errc()) return false;
    std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
    negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    size_t point = t.find('.');
    int_part = t.substr(0, point);
    frac_part = point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
    return true;
}

}  // namespace

bool dbf_digits::set_double(double v) {
    char buf[1100];
    std::string_view i, f;
    bool neg;
    if (!fixed_text(v, i, f, neg, buf, sizeof buf)) return false;
    negative_ = neg;
    set_digits(i, f);
    return true;
}

bool dbf_digits::set_float(float v) {
    char buf[200];
    std::string_view i, f;
    bool neg;
    if (!fixed_text(v, i, f, neg, buf, sizeof buf)) return false;
    negative_ = neg;
    set_digits(i, f);
    return true;
}

bool dbf_digits::set_text(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool neg = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        neg = text[0] == '-';
        text.remove_prefix(1);
    }
    size_t i = 0;
    auto digit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    const size_t int_start = i;
    while (digit(i)) ++i;
    const size_t int_end = i;
    size_t frac_start = i, frac_end = i;
    if (i < text.size() && text[i] == '.') {
        frac_start = ++i;
        while (digit(i)) ++i;
        frac_end = i;
    }
    if (int_end == int_start && frac_end == frac_start) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        // An exponent form goes through the double it denotes.
        double v;
        if (oa::parse_double_strict(text, v) != oa::status::ok || !set_double(v)) return false;
        negative_ = neg;
        return true;
    }
    if (i != text.size()) return false;
    negative_ = neg;
    set_digits(text.substr(int_start, int_end - int_start),
               text.substr(frac_start, frac_end - frac_start));
    return true;
}

bool dbf_digits::is_zero() const {
    for (int k = 0; k < int_len_ + frac_len_; ++k)
        if (d_[k] != '0') return false;
    return !lost_beyond_;
}

void dbf_digits::trim_fraction() {
    while (frac_len_ > 0 && d_[int_len_ + frac_len_ - 1] == '0') --frac_len_;
}

void dbf_digits::pad_fraction(int decimals) {
    while (frac_len_ < decimals && int_len_ + frac_len_ < capacity)
        d_[int_len_ + frac_len_++] = '0';
}

bool dbf_digits::round_to(int decimals) {
    if (decimals < 0) decimals = 0;
    if (frac_len_ <= decimals) {
        bool lost = lost_beyond_;
        lost_beyond_ = false;
        return lost;
    }
    const int cut = int_len_ + decimals;
    bool lost = lost_beyond_;
    for (int k = cut; k < int_len_ + frac_len_; ++k)
        if (d_[k] != '0') lost = true;
    const bool up = d_[cut] >= '5';
    frac_len_ = decimals;
    lost_beyond_ = false;
    if (up) {
        int k = cut - 1;
        while (k >= 0 && d_[k] == '9') d_[k--] = '0';
        if (k >= 0) {
            ++d_[k];
        } else {
            std::memmove(d_ + 1, d_, static_cast<size_t>(int_len_ + frac_len_));
            d_[0] = '1';
            ++int_len_;
        }
    }
    return lost;
}

std::string dbf_digits::text() const {
    std::string t;
    if (negative()) t.push_back('-');
    t.append(d_, static_cast<size_t>(int_len_));
    if (frac_len_ > 0) {
        t.push_back('.');
        t.append(d_ + int_len_, static_cast<size_t>(frac_len_));
    }
    return t;
}

namespace {

// A number as a field shows it: its sign, its integer digits (none when the leading zero
// before the point is dropped), and its fraction digits followed by `zeros` zeros.
struct shown {
    bool negative;
    std::string_view int_part;
    std::string_view fraction;
    size_t zeros = 0;
    size_t length() const {
        const size_t f = fraction.size() + zeros;
        return (negative ? 1 : 0) + int_part.size() + (f > 0 ? 1 + f : 0);
    }
};

// Right-aligned into width bytes, which the number must fit.
void put(const shown& n, uint8_t* out, uint32_t width) {
    const size_t len = n.length();
    std::memset(out, ' ', width - len);
    uint8_t* p = out + (width - len);
    if (n.negative) *p++ = '-';
    if (!n.int_part.empty()) std::memcpy(p, n.int_part.data(), n.int_part.size());
    p += n.int_part.size();
    if (n.fraction.size() + n.zeros == 0) return;
    *p++ = '.';
    if (!n.fraction.empty()) std::memcpy(p, n.fraction.data(), n.fraction.size());
    std::memset(p + n.fraction.size(), '0', n.zeros);
}

shown shown_of(const dbf_digits& n, bool negative, bool drop_zero) {
    const auto int_len = static_cast<size_t>(n.int_digits());
    return {negative, std::string_view(n.digits(), drop_zero ? 0 : int_len),
            std::string_view(n.digits() + int_len, static_cast<size_t>(n.fraction_digits()))};
}

bool can_drop_zero(const dbf_digits& n) {
    return n.int_digits() == 1 && n.fraction_digits() > 0 && n.digits()[0] == '0';
}

bool try_put(const dbf_digits& n, uint8_t* out, uint32_t width) {
    const bool negative = n.negative();
    if (const shown whole = shown_of(n, negative, false); whole.length() <= width) {
        put(whole, out, width);
        return true;
    }
    if (!can_drop_zero(n)) return false;
    const shown without_zero = shown_of(n, negative, true);
    if (without_zero.length() > width) return false;
    put(without_zero, out, width);
    return true;
}

}  // namespace

dbf_fit dbf_put_number(const dbf_digits& number, uint8_t* out, uint32_t width) {
    if (!number.too_large()) {
        if (try_put(number, out, width)) return dbf_fit::exact;
        for (int k = number.fraction_digits() - 1; k >= 0; --k) {
            dbf_digits shorter = number;
            bool lost = shorter.round_to(k);
            if (try_put(shorter, out, width)) return lost ? dbf_fit::rounded : dbf_fit::exact;
        }
    }
    std::memset(out, ' ', width);
    return dbf_fit::blank;
}

namespace {

// Sign, integer digits and fraction digits written as they are, the leading zeros of the
// integer part and (with `trim`) the trailing zeros of the fraction dropped, the fraction
// padded to `decimals` digits; false, with nothing written, when they do not fit so.
bool put_plain(bool negative, std::string_view int_part, std::string_view fraction, bool trim,
               int decimals, uint8_t* out, uint32_t width) {
    shown n{negative, int_part, fraction};
    while (n.int_part.size() > 1 && n.int_part[0] == '0') n.int_part.remove_prefix(1);
    while (trim && !n.fraction.empty() && n.fraction.back() == '0') n.fraction.remove_suffix(1);
    if (n.int_part.empty()) return false;
    if (n.int_part == "0" && n.fraction.find_first_not_of('0') == std::string_view::npos)
        n.negative = false;  // no negative zero
    if (decimals > 0 && n.fraction.size() < static_cast<size_t>(decimals))
        n.zeros = static_cast<size_t>(decimals) - n.fraction.size();
    if (n.length() > width) return false;
    put(n, out, width);
    return true;
}

template <class F, size_t size>
bool put_shortest(F v, int decimals, uint8_t* out, uint32_t width) {
    char buf[size];
    std::string_view int_part, fraction;
    bool negative;
    if (!fixed_text(v, int_part, fraction, negative, buf, size)) return false;
    if (fraction.size() > static_cast<size_t>(std::max(decimals, 0))) return false;  // to round
    return put_plain(negative, int_part, fraction, false, decimals, out, width);
}

}  // namespace

bool dbf_put_decimal_text(std::string_view text, int decimals, uint8_t* out, uint32_t width) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    const size_t point = std::min(text.find('.'), text.size());
    return put_plain(negative, text.substr(0, point),
                     point < text.size() ? text.substr(point + 1) : std::string_view(), true,
                     decimals, out, width);
}

bool dbf_put_shortest(double v, int decimals, uint8_t* out, uint32_t width) {
    return put_shortest<double, 1100>(v, decimals, out, width);
}

bool dbf_put_shortest(float v, int decimals, uint8_t* out, uint32_t width) {
    return put_shortest<float, 200>(v, decimals, out, width);
}
