// Numbers as the text of N and F fields: decimal digits that are rounded and fitted into
// a field's width without ever being cut to wrong digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class dbf_digits {
  public:
    dbf_digits() = default;
    // Copies only the digits in use: the buffer is large and mostly idle.
    dbf_digits(const dbf_digits& that) { *this = that; }
    dbf_digits& operator=(const dbf_digits& that);

    void set_signed(int64_t v);
    void set_unsigned(uint64_t v);
    // A magnitude with `scale` decimals (decimal and currency values).
    void set_scaled(unsigned __int128 magnitude, int scale, bool negative);
    // The shortest decimal form that reads back as the same value; false for NaN and
    // infinities.
    bool set_double(double v);
    bool set_float(float v);
    // A plain decimal number ("-12.50", "+.5", "1e3"); false for any other text.
    bool set_text(std::string_view text);

    // Drops the trailing zeros of the fraction.
    void trim_fraction();
    // Pads the fraction with zeros to `decimals` digits.
    void pad_fraction(int decimals);
    // Rounds half away from zero to `decimals` digits; true when a non-zero digit was lost.
    bool round_to(int decimals);

    bool negative() const { return negative_ && !is_zero(); }
    bool is_zero() const;
    int int_digits() const { return int_len_; }
    int fraction_digits() const { return frac_len_; }
    // More digits than any field can take (a number too large for every width).
    bool too_large() const { return too_large_; }
    std::string text() const;
    // The digits: the integer part, then the fraction, without sign or point.
    const char* digits() const { return d_; }

  private:
    void set_digits(std::string_view int_part, std::string_view frac_part);

    // Room for a double's longest fixed form and a field's padding.
    static constexpr int capacity = 1200;
    char d_[capacity];
    int int_len_ = 0;
    int frac_len_ = 0;
    bool negative_ = false;
    bool too_large_ = false;
    bool lost_beyond_ = false;  // digits past the capacity that were not zero
};

enum class dbf_fit { exact, rounded, blank };

// Writes the number right-aligned into width bytes of out. When it does not fit:
// without the leading zero before the point, then with fewer decimals (rounded half
// away from zero), else blanks. `rounded` says that non-zero digits were lost.
dbf_fit dbf_put_number(const dbf_digits& number, uint8_t* out, uint32_t width);

// A plain decimal text ([-]digits[.digits], as a number made from it keeps it) written as
// dbf_put_number writes its digits with the fraction's trailing zeros dropped and the
// fraction padded to `decimals` digits; false, with nothing written, when it does not
// fit so: dbf_digits then finds how it fits.
bool dbf_put_decimal_text(std::string_view text, int decimals, uint8_t* out, uint32_t width);
// A double or float whose shortest decimal form has at most `decimals` fraction digits,
// written as dbf_put_number writes its digits rounded and padded to `decimals`; false,
// with nothing written, for one that needs rounding or does not fit so, NaN and infinities.
bool dbf_put_shortest(double v, int decimals, uint8_t* out, uint32_t width);
bool dbf_put_shortest(float v, int decimals, uint8_t* out, uint32_t width);
