#include "ole/ole_date.hpp"

#include <cmath>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/oa/oa_date.hpp"
#include "platform/oa/oa_num.hpp"
#include "platform/text.hpp"

namespace {

bool is_c_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The few scanf conversions the date forms use, with defined results: a number with a
// minus sign (a negative MySQL TIME) or beyond a 16-bit field fails the conversion
// instead of wrapping into the field.
class scanner {
  public:
    explicit scanner(std::string_view s) : s_(s) {}

    // "%d" with an optional width (the sign counts in it), into a 16-bit field.
    bool number(uint16_t& out, size_t width = 0) {
        skip_space();
        size_t start = i_, end = width ? std::min(s_.size(), i_ + width) : s_.size();
        bool negative = false;
        if (i_ < end && (s_[i_] == '+' || s_[i_] == '-')) negative = s_[i_++] == '-';
        uint32_t v = 0;
        size_t digits = 0;
        for (; i_ < end && s_[i_] >= '0' && s_[i_] <= '9'; ++i_, ++digits)
            if (v <= 65535) v = v * 10 + static_cast<uint32_t>(s_[i_] - '0');
        if (digits == 0) {
            i_ = start;
            return false;
        }
        if (negative || v > 65535) {
            bad_ = true;
            return false;
        }
        out = static_cast<uint16_t>(v);
        return true;
    }
    // A literal character of the format.
    bool literal(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    // A blank in the format: any run of white space, none included.
    void skip_space() {
        while (i_ < s_.size() && is_c_space(s_[i_])) ++i_;
    }
    // "%s": the next run of non-blank characters, however long.
    bool token(std::string& out) {
        skip_space();
        size_t start = i_;
        while (i_ < s_.size() && !is_c_space(s_[i_])) ++i_;
        out.assign(s_.substr(start, i_ - start));
        return i_ > start;
    }
    // A number that would have wrapped or gone negative was seen.
    bool bad() const { return bad_; }

  private:
    std::string_view s_;
    size_t i_ = 0;
    bool bad_ = false;
};

void swap_day_year(SYSTEMTIME& t) {
    if (t.wDay > 31 && t.wYear < 32) {
        tk_log_printf(2, "Swap day and year: day=%d, year=%d", t.wDay, t.wYear);
        std::swap(t.wDay, t.wYear);
    }
}

}  // namespace

ole_date::ole_date(const SYSTEMTIME& st) : kind_(kind_datetime), time_(st) {
    tk_log_printf(1, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(std::string_view text) {
    tk_log_printf(1, "ole_date::ole_date('%s')", text);
    parse(text);
}

ole_date::ole_date(std::wstring_view text) : ole_date(std::string_view(pt::utf8_encode(text))) {}

void ole_date::parse(std::string_view input) {
    tk_string buf = tk_string(std::string(input)).trim();
    tk_log_printf(1, "After tk_trim: %s", buf);
    for (const char* m : {"AM", "PM", "am", "pm"}) {
        size_t at = buf.find(m);
        if (at != std::string::npos) {
            buf = tk_string(buf.substr(0, at)).trim();
            break;
        }
    }
    if (buf.size() <= 4) {
        tk_log_printf(2, "Invalid date/time format: '%s'", buf);
        kind_ = kind_empty;
        return;
    }
    tk_log_printf(1, "Again buf1=%s", buf);
    if (!import_from_string(buf)) return;

    const bool pm =
        input.find("PM") != std::string_view::npos || input.find("pm") != std::string_view::npos;
    const bool am =
        input.find("AM") != std::string_view::npos || input.find("am") != std::string_view::npos;
    if (pm && time_.wHour < 12)
        time_.wHour = static_cast<uint16_t>(time_.wHour + 12);
    else if (am && !pm && time_.wHour == 12)
        time_.wHour = 0;  // 12 AM is the hour after midnight
}

namespace {

// n digits at p as a number; false when any of them is no digit.
bool fixed_digits(const char* p, int n, uint16_t& out) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        v = v * 10 + static_cast<unsigned>(p[i] - '0');
    }
    out = static_cast<uint16_t>(v);
    return true;
}

// "hh:mm:ss" with an optional fraction of 1 to 6 digits, within a day.
bool canonical_time(std::string_view t, SYSTEMTIME& st, int32_t& micro) {
    if (t.size() < 8 || t[2] != ':' || t[5] != ':') return false;
    if (!fixed_digits(t.data(), 2, st.wHour) || !fixed_digits(t.data() + 3, 2, st.wMinute) ||
        !fixed_digits(t.data() + 6, 2, st.wSecond))
        return false;
    if (st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59) return false;
    micro = 0;
    if (t.size() > 8) {
        const size_t digits = t.size() - 9;
        if (t[8] != '.' || digits < 1 || digits > 6) return false;
        for (size_t i = 0; i < 6; ++i) {
            char c = i < digits ? t[9 + i] : '0';
            if (c < '0' || c > '9') return false;
            micro = micro * 10 + (c - '0');
        }
    }
    st.wMilliseconds = static_cast<uint16_t>(micro / 1000);
    return true;
}

}  // namespace

bool ole_date::parse_canonical(std::string_view text) {
    SYSTEMTIME st{};
    int32_t micro = 0;
    int32_t kind;
    if (text.size() >= 10 && text[4] == '-' && text[7] == '-') {
        if (!fixed_digits(text.data(), 4, st.wYear) ||
            !fixed_digits(text.data() + 5, 2, st.wMonth) ||
            !fixed_digits(text.data() + 8, 2, st.wDay))
            return false;
        if (st.wYear == 0 || st.wMonth < 1 || st.wMonth > 12 || st.wDay == 0 ||
            st.wDay > oa::days_in_month(st.wYear, st.wMonth))
            return false;
        if (text.size() == 10) {
            kind = kind_date;
        } else {
            if (text[10] != ' ' || !canonical_time(text.substr(11), st, micro)) return false;
            kind = kind_datetime;
        }
    } else {
        if (!canonical_time(text, st, micro)) return false;
        kind = kind_time;
    }
    *this = ole_date();
    kind_ = kind;
    microseconds_ = micro;
    time_ = st;
    return true;
}

bool ole_date::import_from_string(const std::string& text) {
    tk_log_printf(1, "ole_date::import_from_string(%s)", text);

    if (text.size() == 14) {
        tk_log_printf(1, "Trying timestamp format (1)...");
        *this = ole_date();
        scanner sc(text);
        if (sc.number(time_.wYear, 4) && sc.number(time_.wMonth, 2) && sc.number(time_.wDay, 2) &&
            sc.number(time_.wHour, 2) && sc.number(time_.wMinute, 2) &&
            sc.number(time_.wSecond, 2)) {
            swap_day_year(time_);
            kind_ = kind_datetime;
            if (is_valid()) return true;
        }
    }
    if (text.size() == 8) {
        tk_log_printf(1, "Trying timestamp format (2)...");
        *this = ole_date();
        scanner sc(text);
        if (sc.number(time_.wYear, 4) && sc.number(time_.wMonth, 2) && sc.number(time_.wDay, 2)) {
            kind_ = kind_date;
            if (is_valid()) return true;
        }
    }
    if (scan_time(text)) return true;
    const char separators[3] = {'-', '/', '.'};
    for (int f = 0; f < 3; ++f)
        if (scan_date_time(text, separators[f], f)) return true;

    *this = ole_date();
    DATE d;
    SYSTEMTIME st;
    if (oa::date_from_string(text, d) == oa::status::ok && oa::variant_time_to_systemtime(d, st)) {
        tk_log_printf(1, "Got datetime using Microsoft API");
        time_ = st;
        kind_ = kind_datetime;
        refine_type();
        if (is_valid()) return true;
    }
    *this = ole_date();
    tk_log_printf(2, "Invalid date/time format: '%s'", text);
    return false;
}

bool ole_date::scan_time(const std::string& text) {
    tk_log_printf(1, "Trying pure time format...");
    *this = ole_date();
    scanner sc(text);
    std::string seconds;
    if (!sc.number(time_.wHour) || !sc.literal(':') || !sc.number(time_.wMinute)) return false;
    kind_ = kind_time;
    if (sc.literal(':') && sc.token(seconds)) {
        if (!process_milliseconds(seconds)) return false;
    } else if (sc.bad()) {
        return false;
    }
    return is_valid();
}

bool ole_date::scan_date_time(const std::string& text, char sep, int format_no) {
    tk_log_printf(1, "Trying datetime format #%d", format_no);
    *this = ole_date();
    scanner sc(text);
    if (!sc.number(time_.wYear) || !sc.literal(sep) || !sc.number(time_.wMonth) ||
        !sc.literal(sep) || !sc.number(time_.wDay))
        return false;
    std::string seconds;
    sc.skip_space();
    int items = 3;
    if (sc.number(time_.wHour)) {
        ++items;
        if (sc.literal(':') && sc.number(time_.wMinute)) {
            ++items;
            if (sc.literal(':') && sc.token(seconds)) ++items;
        }
    }
    if (sc.bad()) return false;
    swap_day_year(time_);
    if (items == 3) {
        tk_log_printf(1, "Format #%d succeeded (3 items)", format_no);
        time_.wHour = time_.wMinute = 0;
        kind_ = kind_date;
        return is_valid();
    }
    if (items == 6) {
        tk_log_printf(1, "Format #%d succeeded (6 items)", format_no);
        kind_ = kind_datetime;
        return process_milliseconds(seconds) && is_valid();
    }
    return false;
}

// The seconds text with its fraction: second, milliseconds and microseconds. False
// when the seconds cannot belong to a time (negative, not a number).
bool ole_date::process_milliseconds(std::string_view text) {
    tk_log_printf(1, "ole_date::process_milliseconds");
    tk_log_printf(1, "Got row sec: '%s'", text);
    if (text.empty()) throw tk_mail_assertion("ole_date.cpp", 581);
    double s = oa::parse_double_prefix(text);
    if (!(s >= 0)) return false;
    if (s >= 61) {
        time_.wSecond = 61;  // beyond any valid second; is_valid refuses it
        return true;
    }
    double whole = std::trunc(s);
    time_.wSecond = static_cast<uint16_t>(whole);
    // Milliseconds follow from the microseconds, so the two never disagree.
    int32_t micro = static_cast<int32_t>(oa::round_half_away((s - whole) * 1000000.0));
    if (micro > 999999) {
        micro = 0;
        if (++time_.wSecond >= 60) {
            time_.wSecond = static_cast<uint16_t>(time_.wSecond - 60);
            if (++time_.wMinute >= 60) {
                time_.wMinute = static_cast<uint16_t>(time_.wMinute - 60);
                time_.wHour = static_cast<uint16_t>((time_.wHour + 1) % 24);
            }
        }
    }
    microseconds_ = micro;
    time_.wMilliseconds = static_cast<uint16_t>(micro / 1000);
    tk_log_printf(1, "Got sec: %d", time_.wSecond);
    tk_log_printf(1, "Got msec: %d", time_.wMilliseconds);
    tk_log_printf(1, "Got microseconds: %d", microseconds_);
    return true;
}

bool ole_date::is_valid() const {
    tk_log_printf(1, "ole_date::is_valid");
    if (kind_ == kind_empty) return false;
    const SYSTEMTIME& t = time_;
    if (t.wDay == 0 && t.wMonth == 0 && t.wYear == 0) {
        tk_log_printf(1, "DATETIME is a pute time");
    } else {
        if (t.wMonth < 1 || t.wMonth > 12) {
            tk_log_printf(1, "Invalid month");
            return false;
        }
        if (t.wDay >= 32) {
            tk_log_printf(1, "Invalid day (1)");
            return false;
        }
        if (t.wDay > oa::days_in_month(t.wYear == 0 ? 1 : t.wYear, t.wMonth)) {
            tk_log_printf(1, "Invalid day (2)");
            return false;
        }
        if (t.wDay == 0 || t.wMonth == 0 || t.wYear == 0) {
            tk_log_printf(1, "Got zero day/month/year");
            return false;
        }
    }
    if (t.wMinute > 60 || t.wSecond > 60) {
        tk_log_printf(2, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::refine_type() {
    const SYSTEMTIME& t = time_;
    tk_log_printf(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    if (t.wDay == 0 && t.wMonth == 0 && t.wYear == 0) {
        tk_log_printf(1, "Switch to 'pure' time");
        kind_ = kind_time;
    } else if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 && t.wMilliseconds == 0 &&
               microseconds_ == 0 && t.wDay != 0 && t.wMonth != 0 && t.wYear != 0) {
        tk_log_printf(1, "Switch to 'pure' date");
        kind_ = kind_date;
    }
}

namespace {

void put_digits(std::string& out, unsigned v, int width) {
    char buf[12];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    for (int i = n; i < width; ++i) out.push_back('0');
    while (n) out.push_back(buf[--n]);
}

void put_date(std::string& out, const SYSTEMTIME& t) {
    put_digits(out, t.wYear, 4);
    out.push_back('-');
    put_digits(out, t.wMonth, 2);
    out.push_back('-');
    put_digits(out, t.wDay, 2);
}

void put_time(std::string& out, const SYSTEMTIME& t, int precision, int32_t micro) {
    out.push_back(' ');
    put_digits(out, t.wHour % 24u, 2);
    out.push_back(':');
    put_digits(out, t.wMinute, 2);
    out.push_back(':');
    put_digits(out, t.wSecond, 2);
    if (precision == 0 || (micro == 0 && t.wMilliseconds == 0)) return;
    out.push_back('.');
    if (precision == 6 && micro != 0)
        put_digits(out, static_cast<unsigned>(micro), 6);
    else
        put_digits(out, t.wMilliseconds, 3);
}

}  // namespace

std::string ole_date::to_string(int precision) const {
    tk_log_printf(1, "ole_date::to_string(%d)", precision);
    std::string out;
    const SYSTEMTIME& t = time_;
    switch (kind_) {
        case kind_datetime:
            tk_log_printf(1, "printing datetime...");
            put_date(out, t);
            // A midnight with a fraction is still a time of day worth printing.
            if (!(midnight_as_date_ && t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 &&
                  t.wMilliseconds == 0 && microseconds_ == 0))
                put_time(out, t, precision, microseconds_);
            break;
        case kind_date:
            tk_log_printf(1, "printing date...");
            put_date(out, t);
            break;
        case kind_time:
            tk_log_printf(1, "printing time...");
            out = "0000-00-00";
            put_time(out, t, precision, microseconds_);
            break;
        default:
            break;
    }
    tk_log_printf(1, "buf=%s", out);
    return out;
}

std::wstring ole_date::to_wstring(int precision) const {
    std::string s = to_string(precision);
    return std::wstring(s.begin(), s.end());  // digits and separators only
}

bool ole_date::to_variant_time(DATE& out) const {
    if (!oa::systemtime_to_variant_time(time_, out)) return false;
    return true;
}
