#include "platform/oa/oa_date.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace oa {

namespace {

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t epoch_shift = 25569;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

const char* const month_names[12] = {"january",   "february", "march",    "april",
                                     "may",       "june",     "july",     "august",
                                     "september", "october",  "november", "december"};
const char* const day_names[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                  "thursday", "friday", "saturday"};

// A full name or its first three letters ("sept" and "tues", "thur", "thurs" too).
bool name_matches(const std::string& word, const char* name) {
    std::string n(name);
    if (word == n) return true;
    if (word.size() < 3 || word.size() > n.size()) return false;
    if (n.compare(0, word.size(), word) != 0) return false;
    return word.size() == 3 || n == "september" || n == "tuesday" || n == "thursday";
}

int month_of(const std::string& word) {
    for (int i = 0; i < 12; ++i)
        if (name_matches(word, month_names[i])) return i + 1;
    return 0;
}

bool is_day_name(const std::string& word) {
    for (const char* d : day_names)
        if (name_matches(word, d)) return true;
    return false;
}

struct token {
    enum kind_t { number, word } kind;
    std::string text;  // digits, or the word in lower case
    int64_t value = 0;
    char sep_before = ' ';  // the separator that preceded it (' ' for none or blanks)
    bool used = false;
};

bool tokenize(std::string_view s, std::vector<token>& out) {
    char sep = ' ';
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (is_digit(c)) {
            token t{token::number, {}, 0, sep};
            for (; i < s.size() && is_digit(s[i]); ++i) {
                t.text.push_back(s[i]);
                if (t.value < 100000000) t.value = t.value * 10 + (s[i] - '0');
            }
            out.push_back(std::move(t));
            sep = ' ';
        } else if (is_alpha(c)) {
            token t{token::word, {}, 0, sep};
            for (; i < s.size() && is_alpha(s[i]); ++i) t.text.push_back(lower(s[i]));
            out.push_back(std::move(t));
            sep = ' ';
        } else if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':') {
            // Two separators in a row, or one in front ("-12:30" is no time of day).
            if (sep != ' ' || out.empty()) return false;
            sep = c;
            ++i;
        } else {
            return false;
        }
    }
    return sep == ' ' || sep == '.';  // a trailing "." as in "Jan." is harmless
}

bool year_like(const token& t) {
    return t.text.size() >= 3 || t.value > 31;
}

int64_t full_year(const token& t) {
    if (t.text.size() <= 2) return t.value < 30 ? 2000 + t.value : 1900 + t.value;
    return t.value;
}

}  // namespace

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : len[month - 1];
}

int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + epoch_shift;
}

void civil_from_days(int64_t z, int64_t& year, int& month, int& day) {
    z += 719468 - epoch_shift;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2);
}

bool systemtime_to_variant_time(const SYSTEMTIME& st, DATE& out) {
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > days_in_month(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    int64_t days = days_from_civil(st.wYear, st.wMonth, st.wDay);
    double t =
        (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond + st.wMilliseconds / 1000.0) / 86400.0;
    out = days >= 0 ? static_cast<double>(days) + t : static_cast<double>(days) - t;
    return true;
}

bool variant_time_to_systemtime(DATE d, SYSTEMTIME& out) {
    if (!(d >= date_min && d < date_max + 1.0)) return false;
    double whole = std::trunc(d);
    int64_t days = static_cast<int64_t>(whole);
    int64_t secs = static_cast<int64_t>(std::round(std::fabs(d - whole) * 86400.0));
    if (secs >= 86400) {
        secs -= 86400;
        days += 1;
    }
    int64_t year;
    int month, day;
    civil_from_days(days, year, month, day);
    if (year < 100 || year > 9999) return false;
    out.wYear = static_cast<uint16_t>(year);
    out.wMonth = static_cast<uint16_t>(month);
    out.wDay = static_cast<uint16_t>(day);
    out.wDayOfWeek = static_cast<uint16_t>(((days % 7) + 7 + 6) % 7);  // day 0 was a Saturday
    out.wHour = static_cast<uint16_t>(secs / 3600);
    out.wMinute = static_cast<uint16_t>(secs / 60 % 60);
    out.wSecond = static_cast<uint16_t>(secs % 60);
    out.wMilliseconds = 0;
    return true;
}

status date_from_string(std::string_view text, DATE& out) {
    std::vector<token> toks;
    if (!tokenize(text, toks) || toks.empty()) return status::type_mismatch;

    // The time: h:m[:s[.f]] and an optional meridiem.
    bool have_time = false;
    int64_t hour = 0, minute = 0, second = 0;
    double fraction = 0;
    for (size_t i = 0; i + 1 < toks.size(); ++i) {
        if (toks[i].kind != token::number || toks[i + 1].kind != token::number ||
            toks[i + 1].sep_before != ':')
            continue;
        if (toks[i].text.size() > 2 || toks[i + 1].text.size() > 2) return status::type_mismatch;
        have_time = true;
        hour = toks[i].value;
        minute = toks[i + 1].value;
        toks[i].used = toks[i + 1].used = true;
        size_t j = i + 2;
        if (j < toks.size() && toks[j].kind == token::number && toks[j].sep_before == ':') {
            if (toks[j].text.size() > 2) return status::type_mismatch;
            second = toks[j].value;
            toks[j++].used = true;
            if (j < toks.size() && toks[j].kind == token::number && toks[j].sep_before == '.') {
                double scale = 1;
                for (char c : toks[j].text.substr(0, 9)) {
                    scale /= 10;
                    fraction += (c - '0') * scale;
                }
                toks[j++].used = true;
            }
        }
        if (j < toks.size() && toks[j].kind == token::word && toks[j].sep_before == ' ') {
            const std::string& w = toks[j].text;
            bool am = w == "am" || w == "a", pm = w == "pm" || w == "p";
            if (am || pm) {
                if (hour < 1 || hour > 12) return status::type_mismatch;
                if (am && hour == 12) hour = 0;
                if (pm && hour != 12) hour += 12;
                toks[j].used = true;
            }
        }
        break;
    }
    if (hour > 23 || minute > 59 || second > 59) return status::type_mismatch;

    // The date: three numbers, or a month name and two numbers; weekday names ignored.
    std::vector<const token*> nums;
    int month_word = 0;
    for (size_t i = 0; i < toks.size(); ++i) {
        const token& t = toks[i];
        if (t.used) continue;
        if (t.kind == token::number) {
            nums.push_back(&t);
        } else if (is_day_name(t.text)) {
            continue;
        } else if (int m = month_of(t.text); m && !month_word) {
            month_word = m;
        } else {
            return status::type_mismatch;
        }
    }

    int64_t days = 0;
    if (!nums.empty() || month_word) {
        int64_t y, m, d;
        if (month_word) {
            if (nums.size() != 2) return status::type_mismatch;  // no year: refused
            m = month_word;
            if (year_like(*nums[0]) && !year_like(*nums[1])) {
                y = full_year(*nums[0]);
                d = nums[1]->value;
            } else {
                d = nums[0]->value;
                y = full_year(*nums[1]);
            }
        } else {
            if (nums.size() != 3) return status::type_mismatch;
            if (year_like(*nums[0])) {
                y = full_year(*nums[0]);
                m = nums[1]->value;
                d = nums[2]->value;
            } else {
                m = nums[0]->value;
                d = nums[1]->value;
                y = full_year(*nums[2]);
            }
        }
        if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 ||
            d > days_in_month(static_cast<int>(y), static_cast<int>(m)))
            return status::type_mismatch;
        days = days_from_civil(y, static_cast<int>(m), static_cast<int>(d));
    } else if (!have_time) {
        return status::type_mismatch;
    }
    double t = (hour * 3600.0 + minute * 60.0 + second + fraction) / 86400.0;
    out = days >= 0 ? static_cast<double>(days) + t : static_cast<double>(days) - t;
    return status::ok;
}

}  // namespace oa
