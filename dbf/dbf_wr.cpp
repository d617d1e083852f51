// The record writer: dbf_recordset::append_record and the encoders of its fields.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "TK/tk_bytes.hpp"
#include "TK/tk_log.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_num.hpp"
#include "dbf/dbf_rs.hpp"
#include "platform/oa/oa_date.hpp"
#include "platform/oa/oa_dec.hpp"
#include "platform/oa/oa_num.hpp"
#include "platform/text.hpp"

namespace {

// What went wrong with the fields of one record; reported after the record is written.
struct problems {
    std::string text;
    bool no_memo = false;
    void add(const std::string& line) {
        if (!text.empty()) text += "; ";
        text += line;
    }
};

// A value as a message shows it: short, whatever its size.
std::string short_text(const ole_variant& v) {
    constexpr size_t limit = 64;
    std::wstring w;
    if (const auto* bytes = v.get_byte_array()) {
        static const char hex[] = "0123456789ABCDEF";
        w = L"0x";
        for (size_t i = 0; i < bytes->size() && w.size() < limit; ++i) {
            w.push_back(static_cast<wchar_t>(hex[(*bytes)[i] >> 4]));
            w.push_back(static_cast<wchar_t>(hex[(*bytes)[i] & 15]));
        }
    } else if (const auto* s = v.get_bstr()) {
        // A NUL shows as \0, as MySQL writes it; a message never carries a NUL.
        for (size_t i = 0; i < s->size() && w.size() <= limit; ++i) {
            if ((*s)[i] == L'\0')
                w += L"\\0";
            else
                w.push_back((*s)[i]);
        }
    } else {
        w = v.to_wstring();
    }
    if (w.size() > limit) w = w.substr(0, limit) + L"...";
    return pt::utf8_encode(w);
}

// A UTF-8 text (without NUL) as memo bytes in the table's code page, one character a
// byte; `lacked` counts the characters the code page lacks.
class utf8_source : public dbf_memo_source {
  public:
    utf8_source(std::string_view text, const dbf_codec& codec, size_t& lacked)
        : text_(text), chars_(pt::utf8_length(text)), codec_(codec), lacked_(lacked) {}
    uint64_t size() const override { return chars_; }
    void fill(uint64_t offset, uint8_t* out, size_t n) const override {
        // The memo file asks for its pieces in order; any other offset is found again.
        if (offset != at_char_) {
            at_char_ = at_byte_ = 0;
            uint8_t skipped[256];
            while (at_char_ < offset) {
                const auto e = codec_.encode_utf8_into(
                    text_.substr(at_byte_), skipped,
                    static_cast<size_t>(std::min<uint64_t>(offset - at_char_, sizeof skipped)));
                if (e.chars == 0) break;  // past the text's end: nothing more to skip
                at_char_ += e.chars;
                at_byte_ += e.bytes;
            }
        }
        const auto e = codec_.encode_utf8_into(text_.substr(at_byte_), out, n);
        lacked_ += e.lacked;
        at_char_ += e.chars;
        at_byte_ += e.bytes;
    }

  private:
    std::string_view text_;
    uint64_t chars_;
    const dbf_codec& codec_;
    size_t& lacked_;
    mutable uint64_t at_char_ = 0;
    mutable size_t at_byte_ = 0;
};

// Bytes as the memo text "0x" and two upper-case hexadecimal digits per byte, with no
// limit on the length.
class hex_source : public dbf_memo_source {
  public:
    explicit hex_source(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint64_t size() const override { return 2 + 2 * uint64_t{bytes_.size()}; }
    void fill(uint64_t offset, uint8_t* out, size_t n) const override {
        static const char hex[] = "0123456789ABCDEF";
        for (size_t i = 0; i < n; ++i) {
            uint64_t p = offset + i;
            if (p < 2) {
                out[i] = static_cast<uint8_t>("0x"[p]);
                continue;
            }
            uint8_t b = bytes_[static_cast<size_t>((p - 2) / 2)];
            out[i] = static_cast<uint8_t>(hex[(p % 2 == 0) ? b >> 4 : b & 15]);
        }
    }

  private:
    const std::vector<uint8_t>& bytes_;
};

// The UTF-8 text of a VT_BSTR value, whole, and up to its first NUL. Long texts are
// searched only when their reader could not say that they hold none.
struct text_parts {
    std::string_view whole;
    std::string_view text;
};
text_parts utf8_up_to_nul(const ole_variant& value, std::string& holder) {
    const std::string_view v = value.get_utf8(holder);
    if (value.known_nul_free()) return {v, v};
    return {v, v.substr(0, v.find('\0'))};
}

// A date as a text field shows it. A date and time keeps its time at midnight too, so
// that one column never mixes two forms.
std::string date_text(const ole_date& date, int precision) {
    if (date.get_kind() != ole_date::kind_datetime) return date.to_string(precision);
    ole_date full = date;
    full.set_midnight_as_date(false);
    return full.to_string(precision);
}

std::string_view trim_blanks(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

enum class number_kind { empty, exact, floating, invalid };

// A value as decimal digits, for the numeric fields.
number_kind to_digits(const ole_variant& value, dbf_digits& d) {
    // A number made from its decimal text goes from the text to the digits.
    if (const std::string_view t = value.get_decimal_text(); !t.empty() && d.set_text(t)) {
        d.trim_fraction();
        return number_kind::exact;
    }
    const oa::variant& v = value.get_variant();
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return number_kind::empty;
        case VT_I1:
            d.set_signed(v.i1());
            return number_kind::exact;
        case VT_I2:
            d.set_signed(v.i2());
            return number_kind::exact;
        case VT_I4:
        case VT_INT:
            d.set_signed(v.i4());
            return number_kind::exact;
        case VT_I8:
            d.set_signed(v.i8());
            return number_kind::exact;
        case VT_UI1:
            d.set_unsigned(v.ui1());
            return number_kind::exact;
        case VT_UI2:
            d.set_unsigned(v.ui2());
            return number_kind::exact;
        case VT_UI4:
        case VT_UINT:
            d.set_unsigned(v.ui4());
            return number_kind::exact;
        case VT_UI8:
            d.set_unsigned(v.ui8());
            return number_kind::exact;
        case VT_BOOL:
            d.set_signed(value.to_bool() ? 1 : 0);
            return number_kind::exact;
        case VT_CY: {
            int64_t c = v.cy().int64;
            uint64_t mag = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
            d.set_scaled(mag, 4, c < 0);
            d.trim_fraction();
            return number_kind::exact;
        }
        case VT_DECIMAL: {
            const DECIMAL& dec = v.decimal();
            d.set_scaled(oa::decimal_mantissa(dec), dec.scale, (dec.sign & DECIMAL_NEG) != 0);
            d.trim_fraction();
            return number_kind::exact;
        }
        case VT_R4:
            return d.set_float(v.r4()) ? number_kind::floating : number_kind::invalid;
        case VT_R8:
            return d.set_double(v.r8()) ? number_kind::floating : number_kind::invalid;
        case VT_BSTR: {
            std::string holder;
            std::string_view t = trim_blanks(utf8_up_to_nul(value, holder).text);
            if (t.empty()) return number_kind::empty;
            return d.set_text(t) ? number_kind::exact : number_kind::invalid;
        }
        default:
            return number_kind::invalid;
    }
}

// A date value, or a text that reads as one; false for anything else. `empty` is set for
// an empty value or text.
bool to_date(const ole_variant& value, ole_date& date, bool& empty) {
    // The type alone: a date's DATE number is not needed here.
    const VARTYPE vt = value.ole_variant::get_type();
    empty = false;
    if (vt == VT_EMPTY || vt == VT_NULL) {
        empty = true;
        return true;
    }
    if (vt == VT_DATE) {
        date = value.get_date();
        empty = date.get_kind() == ole_date::kind_empty;
        return true;
    }
    if (vt == VT_BSTR) {
        std::string holder;
        std::string_view t = trim_blanks(utf8_up_to_nul(value, holder).text);
        if (t.empty()) {
            empty = true;
            return true;
        }
        date = ole_date(t);
        return date.is_valid();
    }
    return false;
}

bool is_calendar_date(const SYSTEMTIME& t) {
    return t.wYear >= 1 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= oa::days_in_month(t.wYear, t.wMonth);
}

bool is_zero_date(const SYSTEMTIME& t) {
    return t.wYear == 0 && t.wMonth == 0 && t.wDay == 0;
}

void put_digits(uint8_t* out, unsigned v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) out[i] = static_cast<uint8_t>('0' + v % 10);
}

// What the encoders of one record share: where its problems go and where memos go.
struct record_writer {
    const udb_schema& schema;
    const dbf_codec& codec;
    fpt_memo_file* const fpt;
    const bool trace;
    problems trouble;
    // The record's documented losses: values with characters the code page lacks, and
    // date-times without their fractional seconds.
    uint32_t lacked = 0;
    uint32_t fractions = 0;
    void lost_characters(size_t n) {
        if (n) ++lacked;
    }
    void lost_fraction(const ole_date& date) {
        if (date.get_microseconds() != 0 || date.get_systemtime().wMilliseconds != 0) ++fractions;
    }

    void report(const dbf_write_field& w, const ole_variant& value, const char* what) {
        trouble.add(tk_format("Value of field '%s' %s %c(%d,%d): %s",
                              schema[static_cast<size_t>(w.column)].name, what, w.letter, w.length,
                              w.decimals, short_text(value)));
    }
};

// One encoder per field letter: each writes exactly the field's bytes at `out`, which
// start as blanks, and reports what it cannot write.

void put_numeric(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                 record_writer& rw) {
    if (rw.trace)
        tk_log_write("Processing as NUMERIC, fld_size=%d, scale=%d", w.width, w.pad_scale);
    // A number made from its decimal text goes from the text into the field, and a float
    // from its shortest text, when they fit as they are.
    if (const std::string_view t = value.get_decimal_text();
        !t.empty() && dbf_put_decimal_text(t, w.pad_scale, out, w.width))
        return;
    const oa::variant& v = value.get_variant();
    if ((v.vt == VT_R4 && dbf_put_shortest(v.r4(), w.decimals, out, w.width)) ||
        (v.vt == VT_R8 && dbf_put_shortest(v.r8(), w.decimals, out, w.width)))
        return;
    dbf_digits d;
    number_kind kind = to_digits(value, d);
    if (kind == number_kind::empty) return;  // blanks
    if (kind == number_kind::invalid) return rw.report(w, value, "cannot be written as");
    if (kind == number_kind::floating) {
        d.round_to(w.decimals);
        d.pad_fraction(w.decimals);
    } else {
        d.pad_fraction(w.pad_scale);
    }
    if (dbf_put_number(d, out, w.width) != dbf_fit::exact) rw.report(w, value, "does not fit");
}

// The text a C or memo field takes of a value that is no byte array, as UTF-8: a text
// up to its first NUL (the cut reported), a date with `precision` digits of seconds,
// anything else as its text; nothing for no value. `ascii` tells that it is known to be
// ASCII.
std::string_view field_text(const dbf_write_field& w, const ole_variant& value, int precision,
                            std::string& holder, bool& ascii, record_writer& rw) {
    const oa::variant& v = value.get_variant();
    ascii = false;
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) return {};
    if (v.vt == VT_BSTR) {
        const text_parts t = utf8_up_to_nul(value, holder);
        if (t.text.size() < t.whole.size()) rw.report(w, value, "is cut at its NUL character in");
        ascii = value.known_ascii();
        return t.text;
    }
    if (v.vt == VT_DATE) {
        if (precision == 0) rw.lost_fraction(value.get_date());
        holder = date_text(value.get_date(), precision);
        ascii = true;
    } else {
        holder = value.to_string();
    }
    return holder;
}

void put_character(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                   record_writer& rw) {
    if (rw.trace) tk_log_write("Got FLD_TYPE_CHARACTER, fld_size=%d", w.width);
    if (const auto* bytes = value.get_byte_array()) {
        // Only as many hexadecimal digits as the field can take.
        hex_source hex(*bytes);
        uint64_t n = std::min<uint64_t>(hex.size(), w.width);
        hex.fill(0, out, static_cast<size_t>(n));
        if (hex.size() > w.width) rw.report(w, value, "does not fit");
        return;
    }
    std::string holder;
    bool ascii;
    const std::string_view text = field_text(w, value, 0, holder, ascii, rw);
    if (ascii) {
        // ASCII is the same bytes in the table's code page.
        std::memcpy(out, text.data(), std::min<size_t>(text.size(), w.width));
        if (text.size() > w.width) rw.report(w, value, "does not fit");
        return;
    }
    // The code page is single-byte: one character, one byte.
    const dbf_codec::encoded e = rw.codec.encode_utf8_into(text, out, w.width);
    rw.lost_characters(e.lacked);
    if (e.bytes < text.size()) rw.report(w, value, "does not fit");
}

void put_logical(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                 record_writer& rw) {
    if (rw.trace) tk_log_write("Processing as LOGICAL");
    const oa::variant& v = value.get_variant();
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) return;  // blank: unknown
    if (ole_variant::is_numeric_vt(v.vt)) {
        out[0] = value.to_bool() ? 'T' : 'F';
        return;
    }
    if (v.vt != VT_BSTR) return rw.report(w, value, "cannot be written as");
    std::string holder;
    std::wstring low = pt::utf8_decode(trim_blanks(utf8_up_to_nul(value, holder).text));
    for (auto& c : low) c = pt::fold_case(c);
    if (low.empty()) return;
    if (low == L"t" || low == L"y" || low == L"1" || low == L"true" || low == L"yes")
        out[0] = 'T';
    else if (low == L"f" || low == L"n" || low == L"0" || low == L"false" || low == L"no")
        out[0] = 'F';
    else
        rw.report(w, value, "cannot be written as");
}

void put_date(const dbf_write_field& w, const ole_variant& value, uint8_t* out, record_writer& rw) {
    ole_date date;
    bool empty;
    if (!to_date(value, date, empty)) return rw.report(w, value, "cannot be written as");
    if (empty) return;
    const SYSTEMTIME& t = date.get_systemtime();
    if (is_zero_date(t)) return;  // a zero date, or a time without a date
    if (!is_calendar_date(t)) return rw.report(w, value, "cannot be written as");
    put_digits(out, t.wYear, 4);
    put_digits(out + 4, t.wMonth, 2);
    put_digits(out + 6, t.wDay, 2);
}

void put_datetime(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                  record_writer& rw) {
    if (rw.trace) tk_log_write("Processing as DATETIME");
    std::memset(out, 0, 8);  // an empty date and time
    ole_date date;
    bool empty;
    if (!to_date(value, date, empty)) return rw.report(w, value, "cannot be written as");
    if (empty) return;
    const SYSTEMTIME& t = date.get_systemtime();
    int64_t day;
    if (is_zero_date(t)) {
        // A time of day alone stands on the xBase zero date, 1899-12-30; a zero date with
        // or without a time is empty.
        if (date.get_kind() != ole_date::kind_time) return;
        day = dbf_julian_1899_12_30;
    } else if (is_calendar_date(t)) {
        day = dbf_julian_day(t.wYear, t.wMonth, t.wDay);
    } else {
        return rw.report(w, value, "cannot be written as");
    }
    rw.lost_fraction(date);
    // Hours of 24 and more (a long MySQL TIME) carry whole days.
    int64_t ms = (int64_t{t.wHour} * 3600 + int64_t{t.wMinute} * 60 + t.wSecond) * 1000;
    day += ms / 86400000;
    ms %= 86400000;
    if (day > dbf_julian_9999_12_31) return rw.report(w, value, "cannot be written as");
    tk_put_le32(out, static_cast<uint32_t>(day));
    tk_put_le32(out + 4, static_cast<uint32_t>(ms));
}

void put_double(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                record_writer& rw) {
    if (rw.trace) tk_log_write("Processing as DOUBLE");
    const oa::variant& v = value.get_variant();
    double d = 0;
    if (ole_variant::is_numeric_vt(v.vt)) {
        d = value.to_double();
    } else if (v.vt == VT_BSTR) {
        std::string holder;
        std::string_view t = trim_blanks(utf8_up_to_nul(value, holder).text);
        if (!t.empty() && oa::parse_double_strict(t, d) != oa::status::ok) {
            d = 0;
            rw.report(w, value, "cannot be written as");
        }
    } else if (v.vt != VT_EMPTY && v.vt != VT_NULL) {
        rw.report(w, value, "cannot be written as");
    }
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    tk_put_le64(out, bits);
}

void put_integer(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
                 record_writer& rw) {
    if (rw.trace) tk_log_write("Processing as INTEGER");
    std::memset(out, 0, 4);
    dbf_digits d;
    number_kind kind = to_digits(value, d);
    if (kind == number_kind::empty) return;
    if (kind == number_kind::invalid) return rw.report(w, value, "cannot be written as");
    bool lost = d.round_to(0);
    std::string t = d.text();
    int64_t n = 0;
    if (d.too_large() || d.int_digits() > 10 || oa::parse_i64_strict(t, n) != oa::status::ok ||
        n < INT32_MIN || n > INT32_MAX)
        return rw.report(w, value, "does not fit");
    if (lost) rw.report(w, value, "does not fit");
    tk_put_le32(out, static_cast<uint32_t>(static_cast<int32_t>(n)));
}

// The memo's block number: binary in a Visual FoxPro table (the only tables with 4-byte
// memo fields that are appended to), else decimal text right-aligned in the blanks.
void put_block_number(uint32_t block, uint8_t* out, uint32_t width) {
    if (width == dbf_vfp_memo_length) return tk_put_le32(out, block);
    for (uint32_t i = 0; block; block /= 10, ++i)
        out[width - 1 - i] = static_cast<uint8_t>('0' + block % 10);
}

void put_memo(const dbf_write_field& w, const ole_variant& value, uint8_t* out, record_writer& rw) {
    put_block_number(0, out, w.width);  // no memo
    const std::vector<uint8_t>* bytes = value.get_byte_array();
    std::string holder;
    bool ascii = false;
    std::string_view text;
    if (!bytes) text = field_text(w, value, 6, holder, ascii, rw);
    // Empty bytes never come here (see put_field).
    if (!bytes && text.empty()) {
        if (rw.trace) tk_log_write("Skip empty MEMO");
        return;  // 10 blanks
    }
    if (rw.trace) tk_log_write("Processing as MEMO");
    if (!rw.fpt) {
        rw.trouble.no_memo = true;
        return;
    }
    size_t lacked = 0;
    uint32_t block = bytes   ? rw.fpt->append(hex_source(*bytes))
                     : ascii ? rw.fpt->append(dbf_bytes_source(text))
                             : rw.fpt->append(utf8_source(text, rw.codec, lacked));
    rw.lost_characters(lacked);
    put_block_number(block, out, w.width);
}

// One value into its field's bytes, by the field's letter.
void put_field(const dbf_write_field& w, const ole_variant& value, uint8_t* out,
               record_writer& rw) {
    // Empty bytes hold nothing to write: the field is what no value gives.
    if (const std::vector<uint8_t>* bytes = value.get_byte_array(); bytes && bytes->empty())
        return put_field(w, ole_variant(), out, rw);
    switch (w.letter) {
        case 'N':
        case 'F':
            return put_numeric(w, value, out, rw);
        case 'C':
            return put_character(w, value, out, rw);
        case 'L':
            return put_logical(w, value, out, rw);
        case 'D':
            return put_date(w, value, out, rw);
        case 'T':
            return put_datetime(w, value, out, rw);
        case 'B':
            return put_double(w, value, out, rw);
        case 'I':
            return put_integer(w, value, out, rw);
        case 'M':
        case 'G':
            return put_memo(w, value, out, rw);
        default:
            return;
    }
}

}  // namespace

void dbf_recordset::prepare_append() {
    // Only layouts that the writer encodes exactly as readers decode them are appended to.
    bool ok =
        version_ == dbf_version_dbase3 || version_ == dbf_version_fox_memo || dbf_is_vfp(version_);
    plan_.clear();
    for (const auto& f : fields_) {
        const dbf_read_descriptor& fd = f.fd;
        switch (fd.letter) {
            case 'C':
            case 'N':
            case 'F':
                break;
            case 'D':
            case 'B':
            case 'T':
                ok = ok && fd.length == 8;
                break;
            case 'L':
                ok = ok && fd.length == 1;
                break;
            case 'I':
                ok = ok && fd.length == 4;
                break;
            case 'M':
            case 'G':
                // The block number in the form the memo kind reads it.
                ok = ok && fd.decimals == 0 &&
                     ((fd.length == dbf_memo_length && memo_kind_ == dbf_memo_fpt) ||
                      (fd.length == dbf_vfp_memo_length && memo_kind_ == dbf_memo_vfp));
                break;
            case '0':
                break;  // null flags, cleared
            default:
                ok = false;
                break;
        }
        dbf_write_field w;
        w.letter = fd.letter;
        w.length = fd.length;
        w.decimals = fd.decimals;
        w.pad_scale = fd.letter == 'N' ? fd.decimals : 0;
        w.offset = f.offset;
        w.width = f.width;
        w.column = f.column;
        w.source = f.column;
        plan_.push_back(w);
    }
    if (!ok) {
        tk_log_printf(2, "Table cannot be appended to: version 0x%02X", version_);
        throw tk_exception(dbf_not_conform_text, tk_kind_continue);
    }
    pending_.reserve(batch_bytes + record_length_);
    appendable_ = true;
}

void dbf_recordset::take_values_from(const std::vector<int32_t>& sources) {
    // Checked here, once, so that the per-record path never leaves the record.
    if (sources.size() != schema_.size())
        throw tk_exception(dbf_not_conform_text, tk_kind_continue);
    for (int32_t s : sources)
        if (s < 0 || static_cast<size_t>(s) >= schema_.size())
            throw tk_exception(dbf_not_conform_text, tk_kind_continue);
    for (dbf_write_field& w : plan_)
        if (w.column >= 0) w.source = sources[static_cast<size_t>(w.column)];
}

void dbf_recordset::flush() {
    try {
        fpt_memo_file* const fpt = fpt_;
        // Memos first, then the records that point to them; nothing is counted yet.
        if (fpt) fpt->flush_memos();
        if (pending_.empty()) return;
        // The gathered records are the last ones counted.
        const uint64_t position =
            header_length_ + uint64_t{count_} * record_length_ - pending_.size();
        // Readers that go by an end-of-file mark rather than the count find the table as
        // it was until commit: in a table appended to where it stands, the first new
        // record's deletion flag is such a mark until then.
        if (!new_files_ && position == header_length_ + uint64_t{stored_count_} * record_length_)
            pending_[0] = dbf_end_of_file;
        file_->put_at(static_cast<int64_t>(position), pending_.data(),
                      static_cast<uint32_t>(pending_.size()));
        pending_.clear();
    } catch (...) {
        rethrow_named();
    }
}

namespace {

// What a table may hold after its last record or memo that is kept for a roll-back: an
// end-of-file mark, or the last block's rest. More is left over by a run that was killed,
// and is no part of the table.
constexpr int64_t tail_limit = 64 * 1024;

std::string read_tail(tk_huge_file& file, int64_t from, int64_t size) {
    std::string tail;
    if (from >= size) return tail;
    tail.resize(static_cast<size_t>(std::min(size - from, tail_limit)));
    file.get_at(from, tail.data(), static_cast<uint32_t>(tail.size()));
    return tail;
}

void put_back(tk_huge_file& file, int64_t from, const std::string& tail, int64_t size) {
    if (!tail.empty()) file.put_at(from, tail.data(), static_cast<uint32_t>(tail.size()));
    file.set_size(size);
}

}  // namespace

void dbf_recordset::add_losses_to(udb_losses& sum) const {
    sum.unencodable += losses_.unencodable;
    sum.fractions += losses_.fractions;
    if (codec_) sum.code_page = codec_->code_page();
}

void dbf_recordset::note_ends() {
    table_size_ = file_->get_size();
    table_tail_ = read_tail(*file_, header_length_ + int64_t{count_} * record_length_, table_size_);
    if (!fpt_) return;
    memo_size_ = fpt_->get_size();
    memo_next_free_ = fpt_->next_free();
    memo_tail_ = read_tail(*fpt_, int64_t{memo_next_free_} * fpt_->block_size(), memo_size_);
}

void dbf_recordset::commit(bool durable) {
    tk_log_wprintf(2, L"dbf_recordset::commit(%s)", name_);
    if (!appendable_ || committed_) return;
    flush();
    const bool in_place = !new_files_;
    auto sync = [&] {
        if (fpt_) fpt_->sync();
        file_->sync();
    };
    try {
        // The memo file's next free block goes first: a count that a crash loses then
        // leaves unused blocks behind, never records whose memos were given away again.
        if (fpt_) fpt_->flush();
        if (durable && in_place) sync();
        const int64_t first = header_length_ + int64_t{stored_count_} * record_length_;
        if (in_place && count_ > stored_count_) file_->put_at(first, " ", 1);
        uint8_t count[4];
        tk_put_le32(count, count_);
        file_->put_at(4, count, 4);
        // What lay behind the last record is no part of the table any more, save the
        // end-of-file mark of a table that had one.
        const int64_t end = header_length_ + int64_t{count_} * record_length_;
        const bool mark =
            !table_tail_.empty() && static_cast<uint8_t>(table_tail_[0]) == dbf_end_of_file;
        if (mark) file_->put_at(end, &dbf_end_of_file, 1);
        if (file_->get_size() != end + (mark ? 1 : 0)) file_->set_size(end + (mark ? 1 : 0));
        if (durable && !in_place) sync();
    } catch (...) {
        rethrow_named();
    }
    stored_count_ = count_;
    committed_ = true;
    // Its files are closed: nothing more is appended or read through it.
    appendable_ = false;
    memo_.reset();
    fpt_ = nullptr;
    file_.reset();
}

void dbf_recordset::roll_back() noexcept {
    tk_log_wprintf(2, L"dbf_recordset::roll_back(%s)", name_);
    pending_.clear();
    count_ = stored_count_;
    if (new_files_) return;  // its files go as a whole
    // The files are cut back to what they held, and their headers say so again: a
    // commit that failed part-way may have written the new ones already.
    try {
        if (fpt_) {
            fpt_->restore_next_free(memo_next_free_);
            fpt_->flush();
            put_back(*fpt_, int64_t{memo_next_free_} * fpt_->block_size(), memo_tail_, memo_size_);
        }
        uint8_t count[4];
        tk_put_le32(count, stored_count_);
        file_->put_at(4, count, 4);
        put_back(*file_, header_length_ + int64_t{count_} * record_length_, table_tail_,
                 table_size_);
    } catch (const std::exception& e) {
        tk_log_printf(3, "Cannot put the table back as it was: %s", e.what());
    }
}

void dbf_recordset::append_record(const udb_record& record) {
    tk_log_printf(1, "dbf_recordset::append_record");
    if (!appendable_) throw tk_exception("Table is not open for appending", tk_kind_error);
    // The record's fields pair with the columns of the schema, in order or by name.
    if (record.size() != schema_.size()) throw tk_exception(dbf_not_conform_text, tk_kind_continue);
    // 64-bit positions; the format counts in 32 bits and addresses 4 GB - 1 at most.
    const uint64_t position = header_length_ + uint64_t{count_} * record_length_;
    if (count_ == UINT32_MAX || position + record_length_ > dbf_max_file_size)
        throw tk_exception("Table is full: a DBF file cannot pass 4 GB", tk_kind_continue);

    record_writer rw{schema_, *codec_, fpt_, tk_log_on(1), {}};
    const uint32_t saved_next_free = rw.fpt ? rw.fpt->next_free() : 0;
    // The record is encoded where the batch holds it, into blanks.
    const size_t at = pending_.size();
    pending_.resize(at + record_length_, ' ');
    uint8_t* const rec = pending_.data() + at;
    try {
        for (const dbf_write_field& w : plan_) {
            uint8_t* out = rec + w.offset;
            if (w.column < 0) {
                std::memset(out, 0, w.width);
                continue;
            }
            const udb_field& value = record[static_cast<size_t>(w.source)];
            if (rw.trace)
                tk_log_write("Processing field #%d (size=%d): %s", w.column, w.width,
                             short_text(value));
            put_field(w, value, out, rw);
        }
    } catch (...) {
        // The memos written so far belong to no record; their blocks stay free.
        pending_.resize(at);
        if (rw.fpt) rw.fpt->restore_next_free(saved_next_free);
        rethrow_named();
    }

    // Only the whole record stays in the batch; the batch is written with one call and
    // the count after it, so the header never counts a record that is not whole on disk.
    ++count_;
    losses_.unencodable += rw.lacked;
    losses_.fractions += rw.fractions;
    if (pending_.size() >= batch_bytes) flush();

    problems& trouble = rw.trouble;
    if (trouble.no_memo && trouble.text.empty()) throw dbf_no_memo_exception();
    if (trouble.no_memo) trouble.add("Memo file not found");
    if (!trouble.text.empty()) throw dbf_exception(trouble.text, tk_kind_continue);
}
