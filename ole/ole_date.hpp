// A date-time value that keeps what the DATE number loses: microseconds and whether it
// is a date, a time or both. Parsed from the text forms MySQL and users write, printed
// in one canonical form. Time zones are neither read nor written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/oa/oa_types.hpp"

class ole_date {
  public:
    enum : int32_t { kind_empty = 0, kind_datetime = 1, kind_date = 2, kind_time = 3 };

    // Empty (kind 0, every field 0).
    ole_date() = default;
    // Kind 1, then refined to a date or a time by the fields.
    explicit ole_date(const SYSTEMTIME& st);
    // Parses the text; kind 0 when it cannot. Narrow text is UTF-8.
    explicit ole_date(std::string_view text);
    explicit ole_date(std::wstring_view text);

    // MySQL's own text forms of a calendar date, a date and time and a time of day:
    // "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss" and "hh:mm:ss", the seconds with up to six
    // fraction digits. Reads them straight into the value, exactly as the text
    // constructor would; false, with the value unchanged, for any other text.
    bool parse_canonical(std::string_view text);

    // Kind not 0, month and day within the Gregorian calendar, minute and second at
    // most 60; an all-zero date is a pure time.
    bool is_valid() const;
    // All-zero date: a time; a date with a 00:00:00.000 time: a date.
    void refine_type();

    // "YYYY-MM-DD[ hh:mm:ss[.ffffff|.fff]]", a time as "0000-00-00 hh:mm:ss[...]", the
    // hour modulo 24; empty for kind 0. Precision 6 prints microseconds, any other
    // non-zero precision milliseconds, 0 none.
    std::string to_string(int precision) const;
    std::wstring to_wstring(int precision) const;

    int32_t get_kind() const { return kind_; }
    // Callers that know the column's sub-kind make a value a date or a time.
    void set_kind(int32_t kind) { kind_ = kind; }
    int32_t get_tz_hours() const { return tz_hours_; }
    bool get_midnight_as_date() const { return midnight_as_date_; }
    // Off: a date and time prints its time also at midnight, so that every value of a
    // date-time column has one text form.
    void set_midnight_as_date(bool on) { midnight_as_date_ = on; }
    int32_t get_microseconds() const { return microseconds_; }
    const SYSTEMTIME& get_systemtime() const { return time_; }

    // The DATE number of the fields (milliseconds kept); false when they are out of
    // the calendar (a pure time or a zero date among them).
    bool to_variant_time(DATE& out) const;

  private:
    void parse(std::string_view text);
    bool import_from_string(const std::string& text);
    bool scan_time(const std::string& text);
    bool scan_date_time(const std::string& text, char separator, int format_no);
    bool process_milliseconds(std::string_view seconds_text);

    int32_t kind_ = kind_empty;
    int32_t tz_hours_ = 0;
    bool midnight_as_date_ = true;
    int32_t microseconds_ = 0;
    SYSTEMTIME time_{};
};
