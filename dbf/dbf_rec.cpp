#include "dbf/dbf_rec.hpp"

#include <bit>
#include <cmath>
#include <cstring>

#include "TK/tk_bytes.hpp"
#include "TK/tk_log.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_memo.hpp"
#include "platform/oa/oa_date.hpp"
#include "platform/oa/oa_dec.hpp"
#include "platform/oa/oa_num.hpp"

int64_t dbf_julian_day(int year, int month, int day) {
    // The value core counts days from 1899-12-30.
    return oa::days_from_civil(year, month, day) + dbf_julian_1899_12_30;
}

void dbf_date_of_julian_day(int64_t day, int64_t& year, int& month, int& d) {
    oa::civil_from_days(day - dbf_julian_1899_12_30, year, month, d);
}

namespace {

// The field's bytes up to the first NUL.
std::string_view field_text(const uint8_t* bytes, uint32_t width) {
    const auto* p = reinterpret_cast<const char*>(bytes);
    const void* nul = std::memchr(p, 0, width);
    return std::string_view(p, nul ? static_cast<const char*>(nul) - p : width);
}

std::string_view trim_left(std::string_view s) {
    size_t i = s.find_first_not_of(' ');
    return i == std::string_view::npos ? std::string_view() : s.substr(i);
}

std::string_view trim_right(std::string_view s) {
    size_t i = s.find_last_not_of(' ');
    return i == std::string_view::npos ? std::string_view() : s.substr(0, i + 1);
}

ole_variant date_time_value(int64_t day, int64_t milliseconds) {
    if (day < dbf_julian_0001_01_01 || milliseconds < 0) return ole_variant();
    // One millisecond is added before dividing, and the milliseconds themselves are
    // dropped; whole days beyond midnight carry into the date.
    int64_t seconds = (milliseconds + 1) / 1000;
    day += seconds / 86400;
    seconds %= 86400;
    if (day > dbf_julian_9999_12_31) return ole_variant();
    int64_t year;
    int month, d;
    dbf_date_of_julian_day(day, year, month, d);
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(d);
    st.wHour = static_cast<uint16_t>(seconds / 3600);
    st.wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    st.wSecond = static_cast<uint16_t>(seconds % 60);
    tk_log_printf(1, "lHour=%d, lMin=%d, lSec=%d", st.wHour, st.wMinute, st.wSecond);
    tk_log_printf(1, "SYSTEMTIME1=%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
    return ole_variant(st);
}

// dBASE 7 timestamps: a big-endian double counting milliseconds from the day before
// 0001-01-01. Decoded as the double it is, so dates far from 2013 do not drift.
ole_variant timestamp_value(const uint8_t* b) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[i];
    tk_log_printf(1, "datetime=%016X", bits);
    double ms = std::bit_cast<double>(bits);
    if (!std::isfinite(ms) || ms < 0 || ms > 1e15) return ole_variant();
    auto whole = static_cast<int64_t>(ms);
    int64_t day = whole / 86400000 + dbf_julian_0001_01_01 - 1;
    return date_time_value(day, whole % 86400000);
}

// A number text that does not fit 64 bits keeps its digits as a decimal.
ole_variant integer_value(std::string_view text, VARTYPE vt) {
    if (vt == VT_I8) {
        bool read = false;
        int64_t v = oa::parse_i64_prefix(text, &read);
        if (read && (v == INT64_MAX || v == INT64_MIN)) {
            DECIMAL d;
            if (oa::decimal_from_string(trim_right(text), d) == oa::status::ok)
                return ole_variant(d);
        }
    }
    return ole_variant::from_string(text, vt);
}

}  // namespace

ole_variant dbf_field::get_variant(const uint8_t* bytes, const dbf_field_info& info,
                                   const dbf_codec& codec) {
    const char letter = info.fd.letter;
    const uint32_t width = info.width;
    if (tk_log_on(1)) {
        tk_log_write(L"dbf_field::get_variant(%s, '%c')", info.name, letter);
        uint8_t b[8] = {};
        std::memcpy(b, bytes, std::min<uint32_t>(width, 8));
        tk_log_write("%02X %02X %02X %02X %02X %02X %02X %02X", b[0], b[1], b[2], b[3], b[4], b[5],
                     b[6], b[7]);
    }
    switch (letter) {
        case 'I':
        case '+':
            tk_log_printf(1, "Processing as INTEGER");
            if (width < 4) return ole_variant();
            return ole_variant(static_cast<int32_t>(tk_le32(bytes)));
        case 'B': {
            tk_log_printf(1, "Processing as DOUBLE");
            if (width < 8) return ole_variant();
            return ole_variant(std::bit_cast<double>(tk_le64(bytes)));
        }
        case 'Y': {
            tk_log_printf(1, "Processing as CURRENCY");
            if (width < 8) return ole_variant();
            CY cy;
            cy.int64 = static_cast<int64_t>(tk_le64(bytes));
            return ole_variant(cy);
        }
        case 'L': {
            tk_log_printf(1, "Processing as BOOLEAN");
            if (width < 1) return ole_variant();
            uint8_t c = bytes[0];
            // A blank or '?' is an unknown value, which is how empty values are written.
            if (c == ' ' || c == '?' || c == 0) return ole_variant();
            return ole_variant(c == 'T' || c == 'Y' || c == 't' || c == 'y');
        }
        case 'T': {
            tk_log_printf(1, "Processing as DATETIME");
            if (width < 8) return ole_variant();
            auto day = static_cast<int32_t>(tk_le32(bytes));
            auto ms = static_cast<int32_t>(tk_le32(bytes + 4));
            tk_log_printf(1, "lDay=%08X, lSec=%08X", static_cast<uint32_t>(day),
                          static_cast<uint32_t>(ms));
            return date_time_value(day, ms);
        }
        case '@':
            tk_log_printf(1, "Processing as TIMESTAMP");
            if (width < 8) return ole_variant();
            return timestamp_value(bytes);
        case '0':
            tk_log_printf(1, "Processing FLD_TYPE_BINARY");
            return ole_variant();
        case 'C': {
            std::string_view text = trim_right(field_text(bytes, width));
            return ole_variant(codec.decode(text));
        }
        default: {
            std::string_view text = trim_left(field_text(bytes, width));
            switch (info.vartype) {
                case VT_I1:
                case VT_I2:
                case VT_I4:
                case VT_I8:
                    return integer_value(text, info.vartype);
                case VT_BSTR:
                    return ole_variant(codec.decode(text));
                default:
                    break;
            }
            // Digits, points and dates are ASCII; the UTF-8 reader takes them as they are.
            return ole_variant::from_string(text, info.vartype);
        }
    }
}

dbf_field::dbf_field(const uint8_t* bytes, const dbf_field_info& info, const dbf_codec& codec)
    : udb_field(info.name, info.size, get_variant(bytes, info, codec)) {
    tk_log_printf(1, "dbf_field::ctor");
}

dbf_record::dbf_record(const std::vector<dbf_field_info>& fields, const uint8_t* data,
                       dbf_memo_file* memo, const dbf_codec& codec)
    : memo_(memo), codec_(codec) {
    tk_log_printf(1, "dbf_record::ctor");
    deleted_ = data[0] == '*';
    tk_log_printf(1, "Got deleted flag: %d", deleted_);
    for (size_t i = 0; i < fields.size(); ++i) {
        const dbf_field_info& info = fields[i];
        const uint8_t* bytes = data + info.offset;
        if (info.column < 0) {
            tk_log_printf(1, "Field #%d has unsupported type, skip it", i);
            continue;
        }
        tk_log_printf(1, "field #%d: type=%08X, size=%d", i, info.vartype, info.size);
        if (info.size > 0) {
            push_back(std::make_unique<dbf_field>(bytes, info, codec));
        } else if (info.vartype == VT_BSTR) {
            tk_log_printf(1, "Processing MEMO-data");
            push_back(get_memo_field(info, bytes, true));
        } else {
            tk_log_printf(1, "Processing BLOB-data");
            tk_log_printf(1, "fds[eye].len_info.char_len=%d", info.width);
            push_back(std::make_unique<udb_field>(info.name, 0, ole_variant()));
        }
    }
    tk_log_printf(1, "dbf_record::ctor - END, record size=%d", size());
}

dbf_record::~dbf_record() = default;

std::unique_ptr<udb_field> dbf_record::get_memo_field(const dbf_field_info& info,
                                                      const uint8_t* bytes, bool wide) {
    tk_log_printf(1, "dbf_record::get_memo_field");
    (void)wide;  // memo text is always handed out as wide text
    if (!memo_) {
        tk_log_printf(1, "No MEMO file!");
        return std::make_unique<udb_field>(info.name, 0, ole_variant());
    }
    uint32_t block = memo_->get_block_number(bytes, info.width);
    tk_log_printf(1, "Got memo block number: %d", block);
    if (block == 0) return std::make_unique<udb_field>(info.name, 0, ole_variant());
    std::string text;
    memo_->read_memo(block, text);
    std::wstring wide_text = codec_.decode(text);
    tk_log_wprintf(1, L"Got MEMO: %s", wide_text);
    if (wide_text.empty()) return std::make_unique<udb_field>(info.name, 0, ole_variant());
    return std::make_unique<udb_field>(info.name, 0, ole_variant(std::move(wide_text)));
}
