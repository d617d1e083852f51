#include "ole/ole_var.hpp"

#include <cmath>
#include <limits>

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/oa/oa_dec.hpp"
#include "platform/oa/oa_num.hpp"
#include "platform/text.hpp"

namespace {

constexpr uint32_t disp_e_typemismatch = 0x80020005;
constexpr uint32_t disp_e_overflow = 0x8002000A;

uint32_t hresult_of(oa::status s) {
    return s == oa::status::overflow ? disp_e_overflow : disp_e_typemismatch;
}

// Binary values may also carry VT_SAFEARRAY, which the value only ever destroys.
bool holds_array(VARTYPE vt) {
    return oa::is_binary(vt) || vt == VT_SAFEARRAY;
}

const char hex_digits[] = "0123456789ABCDEF";

template <class S>
void append_hex(S& out, const uint8_t* p, size_t n) {
    size_t at = out.size();
    out.resize(at + 2 * n);
    for (size_t i = 0; i < n; ++i) {
        out[at + 2 * i] = static_cast<typename S::value_type>(hex_digits[p[i] >> 4]);
        out[at + 2 * i + 1] = static_cast<typename S::value_type>(hex_digits[p[i] & 15]);
    }
}

// A hexadecimal digit's value the way the byte-text reader has always found it: the
// position of the first digit not less than the character, upper-case table first,
// then lower-case, 16 beyond both. Characters that are no digits never fail.
template <class Ch>
unsigned hex_value(Ch c) {
    static const char upper[] = "0123456789ABCDEF";
    static const char lower[] = "0123456789abcdef";
    const auto u = static_cast<uint32_t>(c);
    for (unsigned i = 0; i < 16; ++i)
        if (static_cast<uint32_t>(static_cast<unsigned char>(upper[i])) >= u) return i;
    for (unsigned i = 0; i < 16; ++i)
        if (static_cast<uint32_t>(static_cast<unsigned char>(lower[i])) >= u) return i;
    return 16;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Whole-text comparison with the Boolean words, without regard to case.
bool matches_word(std::string_view text, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        tk_log_printf(1, "tk_string::compare_no_case");
        if (ascii_iequal(text, w)) return true;
    }
    return false;
}

// The text with its commas read as points; a changed copy is kept in `holder`.
std::string_view commas_to_points(std::string_view text, std::string& holder) {
    if (text.find(',') == std::string_view::npos) return text;
    holder.assign(text);
    for (char& c : holder)
        if (c == ',') c = '.';
    return holder;
}

// Narrow text of a double in the C runtime's "%.<p>e" shape; NaN prints as 0.
std::string exp_text(double v, int precision) {
    if (std::isnan(v)) {
        tk_log_printf(3, "Got NaN, replace it with 0");
        return "0";
    }
    return oa::format_exp(v, precision);
}

// A double read for a float field: beyond the float range it becomes an infinity,
// as the conversion instruction gives, never undefined behaviour.
float to_float(double d) {
    if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
        return d < 0 ? -std::numeric_limits<float>::infinity()
                     : std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

// UTF-16LE bytes of a wide text up to its first NUL (the automation's wide strings).
std::vector<uint8_t> utf16le_bytes(const std::wstring& w) {
    std::vector<uint8_t> out;
    auto put = [&](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (wchar_t c : w) {
        auto u = static_cast<uint32_t>(c);
        if (u == 0) break;
        if (u > 0xFFFF && u <= 0x10FFFF) {
            u -= 0x10000;
            put(0xD800 + (u >> 10));
            put(0xDC00 + (u & 0x3FF));
        } else {
            put(u > 0x10FFFF ? 0xFFFD : u);
        }
    }
    return out;
}

// The lines a value's constructor writes, for a value that is built in place.
template <class... A>
void trace_built(bool trace, std::string_view line, const A&... a) {
    if (!trace) return;
    tk_log_write("ole_variant::initialize");
    tk_log_write("src.vt=%d", 0);
    tk_log_write(line, a...);
}

[[noreturn]] void cast_error() {
    throw ole_cast_exception();
}

}  // namespace

// ---------------------------------------------------------------- construction

void ole_variant::initialize() {
    tk_log_printf(1, "ole_variant::initialize");
    var_.clear();
    forget_held();
    date_pending_ = false;
    tk_log_printf(1, "src.vt=%d", var_.vt);
}

ole_variant::ole_variant() {
    initialize();
    tk_log_printf(1, "ole_variant::empty ctor");
}

ole_variant::ole_variant(int32_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from int(%d)", v);
    var_.set_i4(v);
}

ole_variant::ole_variant(double v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from double(%e)", v);
    var_.set_r8(v);
}

ole_variant::ole_variant(bool v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from bool (%d)", v);
    var_.set_bool(v);
}

ole_variant::ole_variant(const char* utf8) : ole_variant(std::string(utf8 ? utf8 : "")) {}

ole_variant::ole_variant(const std::string& utf8) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from string(%s)", utf8);
    attach_string(utf8);
}

ole_variant::ole_variant(const wchar_t* text) : ole_variant(std::wstring(text ? text : L"")) {}

ole_variant::ole_variant(const std::wstring& text) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from wstring(%s)", text);
    attach_wstring(std::wstring_view(text));
}

ole_variant::ole_variant(std::wstring&& text) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from wstring(%s)", text);
    attach_wstring(std::move(text));
}

ole_variant::ole_variant(const std::vector<uint8_t>& bytes) {
    initialize();
    tk_log_printf(1, "ole_variant::ole_variant( const vector<byte>& that )");
    attach_binary(bytes);
}

ole_variant::ole_variant(std::vector<uint8_t>&& bytes) {
    initialize();
    tk_log_printf(1, "ole_variant::ole_variant( const vector<byte>& that )");
    attach_binary(std::move(bytes));
}

ole_variant::ole_variant(const CY& v) {
    initialize();
    tk_log_printf(1, "Construct ole_variant from CY");
    var_.set_cy(v);
}

ole_variant::ole_variant(const SYSTEMTIME& st) : date_(st) {
    initialize();
    tk_log_printf(1, "Construct ole_variant from SYSTEMTIME");
    DATE v = 0;
    if (!date_.to_variant_time(v)) tk_log_printf(2, "Failed to convert SYSTEMTIME->VARIANT");
    var_.set_date(v);
}

ole_variant::ole_variant(const ole_date& d) {
    initialize();
    tk_log_printf(1, "ole_variant::ole_variant( const ole_date& )");
    set_date(d);
}

ole_variant::ole_variant(int16_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from short(%d)", v);
    var_.set_i2(v);
}

ole_variant::ole_variant(int8_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from char(%d)", v);
    var_.set_i1(v);
}

ole_variant::ole_variant(uint8_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from byte(%d)", v);
    var_.set_ui1(v);
}

ole_variant::ole_variant(uint16_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from ushort(%d)", v);
    var_.set_ui2(v);
}

ole_variant::ole_variant(uint32_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from uint(%u)", v);
    var_.set_ui4(v);
}

ole_variant::ole_variant(int64_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor(hyper, %I64d)", v);
    var_.set_i8(v);
}

ole_variant::ole_variant(uint64_t v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor(uhyper, %I64u)", v);
    var_.set_ui8(v);
}

ole_variant::ole_variant(float v) {
    initialize();
    tk_log_printf(1, "ole_variant::ctor from float(%f)", v);
    var_.set_r4(v);
}

ole_variant::ole_variant(const DECIMAL& v) {
    initialize();
    tk_log_printf(1, "Construct ole_variant from DECIMAL");
    var_.set_decimal(v);
}

// ---------------------------------------------------------------- copy and destruction

void ole_variant::copy_from(const ole_variant& that, bool assignment) {
    // Byte arrays, VT_BLOB included, and texts are copied whole: nothing is shared, not
    // even the bytes a text views. The wide form of a UTF-8 text is made again if asked.
    if (that.utf8_held_) {
        var_.clear();
        var_.vt = VT_BSTR;
    } else {
        var_ = that.var_;
    }
    if (that.utf8_held_ || that.digits_held_) {
        held_own_.assign(that.held());
        held_owned_ = true;
    }
    date_ = that.date_;
    date_pending_ = false;
    utf8_held_ = that.utf8_held_;
    digits_held_ = that.digits_held_;
    parse_pending_ = that.parse_pending_;
    nul_free_ = that.nul_free_;
    ascii_ = that.ascii_;
    well_formed_ = that.well_formed_;
    if ((var_.vt == VT_I8 || var_.vt == VT_UI8) && !assignment)
        tk_log_printf(1, "Special processing for VT_(U)I8 type");
    if (var_.vt == VT_DATE) {
        tk_log_printf(1, assignment ? "Processing VT_DATE" : "Special processing for VT_DATE");
        DATE v = 0;
        if (date_.to_variant_time(v))
            var_.set_date(v);
        else
            tk_log_printf(2, "Failed to convert SYSTEMTIME->VARIANT");
    }
}

ole_variant::ole_variant(const ole_variant& that) {
    initialize();
    tk_log_printf(1, "ole_variant::copy ctor (that.vt=%d)", that.var_.vt);
    copy_from(that, false);
}

ole_variant::ole_variant(ole_variant&& that) noexcept
    : var_(std::move(that.var_)),
      held_owned_(that.held_owned_),
      utf8_held_(that.utf8_held_),
      digits_held_(that.digits_held_),
      parse_pending_(that.parse_pending_),
      nul_free_(that.nul_free_),
      ascii_(that.ascii_),
      well_formed_(that.well_formed_),
      date_pending_(that.date_pending_),
      held_(that.held_),
      date_(that.date_),
      held_own_(std::move(that.held_own_)) {
    that.var_.clear();
    that.forget_held();
    that.date_pending_ = false;
}

ole_variant::~ole_variant() {
    tk_log_printf(1, "ole_variant::~ole_variant");
    if (holds_array(var_.vt)) tk_log_printf(2, "Just before SafeArrayDestroy0");
}

ole_variant& ole_variant::operator=(const ole_variant& that) {
    tk_log_printf(1, "ole_variant::operator = ");
    if (this != &that) copy_from(that, true);
    tk_log_printf(1, "ole_variant::operator => src.vt=%d", var_.vt);
    return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& that) noexcept {
    if (this != &that) {
        date_ = that.date_;
        var_ = std::move(that.var_);
        date_pending_ = that.date_pending_;
        utf8_held_ = that.utf8_held_;
        digits_held_ = that.digits_held_;
        parse_pending_ = that.parse_pending_;
        held_owned_ = that.held_owned_;
        held_ = that.held_;
        // Both storages are kept: the other value's serves its next bytes.
        if ((utf8_held_ || digits_held_) && held_owned_) held_own_.swap(that.held_own_);
        nul_free_ = that.nul_free_;
        ascii_ = that.ascii_;
        well_formed_ = that.well_formed_;
        that.var_.clear();
        that.forget_held();
        that.date_pending_ = false;
    }
    return *this;
}

ole_variant& ole_variant::operator=(const std::vector<uint8_t>& bytes) {
    tk_log_printf(1, "ole_variant::operator = ( const vector<byte>& that )");
    attach_binary(bytes);
    return *this;
}

ole_variant& ole_variant::operator=(std::vector<uint8_t>&& bytes) {
    tk_log_printf(1, "ole_variant::operator = ( const vector<byte>& that )");
    attach_binary(std::move(bytes));
    return *this;
}

// ---------------------------------------------------------------- storage

void ole_variant::allocate_safe_array(size_t size) {
    tk_log_printf(1, "ole_variant::allocate_safe_array (size=%d)", size);
    if ((var_.vt == VT_UI1_ARRAY || var_.vt == VT_BLOB) && var_.has_bytes()) {
        tk_log_printf(1, "Redimension array");
        if (var_.bytes().size() != size) var_.bytes().resize(size);
        return;
    }
    tk_log_printf(1, "Re-initialize VARIANT");
    forget_held();
    var_.set_bytes(std::vector<uint8_t>(size), VT_UI1_ARRAY);
}

void ole_variant::attach_binary(const uint8_t* data, size_t size) {
    tk_log_printf(1, "ole_variant::attach_binary(1)");
    tk_log_printf(1, "arr_size=%d", size);
    if (size == 0) return;
    allocate_safe_array(size);
    std::copy(data, data + size, var_.bytes().begin());
}

void ole_variant::attach_binary(const std::vector<uint8_t>& bytes) {
    attach_binary(bytes.data(), bytes.size());
}

void ole_variant::attach_binary(std::vector<uint8_t>&& bytes) {
    tk_log_printf(1, "ole_variant::attach_binary(1)");
    tk_log_printf(1, "arr_size=%d", bytes.size());
    if (bytes.empty()) return;
    VARTYPE type = var_.vt == VT_BLOB && var_.has_bytes() ? VT_BLOB : VT_UI1_ARRAY;
    forget_held();
    var_.set_bytes(std::move(bytes), type);
}

void ole_variant::attach_string(std::string_view utf8) {
    tk_log_printf(1, "ole_variant::attach_string('%s')", utf8);
    date_pending_ = false;
    hold_utf8(utf8, false);
}

void ole_variant::hold(std::string_view bytes, bool view) {
    if (view) {
        held_ = bytes;
        held_owned_ = false;
    } else {
        if (held_own_.capacity() > refill_keep_bytes && bytes.size() <= refill_keep_bytes)
            std::string().swap(held_own_);
        held_own_.assign(bytes);
        held_owned_ = true;
    }
}

void ole_variant::hold_utf8(std::string_view utf8, bool view) {
    // A NUL byte is the only thing that decodes to a NUL, so the bytes tell what the
    // text holds.
    const pt::utf8_scan scan = pt::scan_utf8(utf8);
    hold(utf8, view);
    if (var_.vt != VT_BSTR || var_.has_bstr()) {
        var_.clear();
        var_.vt = VT_BSTR;
    }
    utf8_held_ = true;
    nul_free_ = !scan.nul;
    ascii_ = scan.ascii && !scan.nul;
    well_formed_ = !scan.ill_formed;
}

void ole_variant::make_wide() const {
    if (!utf8_held_ || var_.has_bstr()) return;
    std::wstring wide;
    pt::utf8_decode_into(held(), wide);
    var_.value = std::move(wide);
}

void ole_variant::make_date_number() const {
    if (!date_pending_) return;
    DATE v = 0;
    date_.to_variant_time(v);
    var_.set_date(v);
    date_pending_ = false;
}

void ole_variant::widen_text() {
    if (!utf8_held_) return;
    make_wide();
    forget_held();
}

void ole_variant::attach_wstring(std::wstring_view text) {
    tk_log_printf(1, "ole_variant::attach_wstring('%s')", text);
    forget_held();
    var_.set_bstr(std::wstring(text));
}

void ole_variant::attach_wstring(std::wstring&& text) {
    tk_log_printf(1, "ole_variant::attach_wstring('%s')", text);
    forget_held();
    var_.set_bstr(std::move(text));
}

void ole_variant::park_storage(refill_storage& spare) {
    if (var_.has_bytes()) {
        std::vector<uint8_t>& bytes = var_.bytes();
        if (bytes.capacity() <= refill_keep_bytes && bytes.capacity() > spare.bytes.capacity()) {
            bytes.clear();
            spare.bytes.swap(bytes);
        }
    }
    // A wide text, made for a caller that asked for it, is let go.
    var_.value = std::monostate();
    if (held_own_.capacity() > refill_keep_bytes) std::string().swap(held_own_);
}

bool ole_variant::refill_utf8(std::string_view utf8, refill_storage& spare, bool view) {
    park(spare);
    hold_utf8(utf8, view);
    return !well_formed_;
}

std::vector<uint8_t>& ole_variant::refill_bytes(refill_storage& spare) {
    if (!var_.has_bytes()) {
        park(spare);
        var_.value = std::move(spare.bytes);
        spare.bytes = std::vector<uint8_t>();
    } else {
        std::vector<uint8_t>& kept = var_.bytes();
        if (kept.capacity() > refill_keep_bytes) std::vector<uint8_t>().swap(kept);
        forget_held();
    }
    var_.vt = VT_UI1_ARRAY;
    std::vector<uint8_t>& bytes = var_.bytes();
    bytes.clear();
    return bytes;
}

void ole_variant::refill_empty(refill_storage& spare) {
    park(spare);
    var_.clear();
}

size_t ole_variant::get_at(std::string& out, size_t position, size_t length) const {
    tk_log_printf(1, "ole_variant::get_at(pos=%d, length=%d)", position, length);
    out.clear();
    if (utf8_held_ && ascii_) {
        // One byte a character.
        tk_log_printf(1, "Extracting VT_BSTR");
        const std::string_view s = held();
        if (position >= s.size()) return 0;
        size_t n = std::min(length, s.size() - position);
        out.assign(s.substr(position, n));
        return n;
    }
    if (const std::wstring* text = get_bstr()) {
        tk_log_printf(1, "Extracting VT_BSTR");
        const std::wstring& s = *text;
        if (position >= s.size()) return 0;
        size_t n = std::min(length, s.size() - position);
        out = pt::utf8_encode(std::wstring_view(s).substr(position, n));
        return n;
    }
    if (oa::is_binary(var_.vt) && var_.has_bytes()) {
        tk_log_printf(1, "Extracting VT_ARRAY/VT_BLOB");
        const auto& b = var_.bytes();
        size_t n = std::min(b.size(), max_array_text);
        if (position >= n) return 0;
        length = std::min(length, n - position);
        tk_log_printf(1, "New length=%d", length);
        append_hex(out, b.data() + position, length);
        return length;
    }
    return 0;
}

size_t ole_variant::get_bytes(const uint8_t*& out, std::string& holder) const {
    tk_log_printf(1, "ole_variant::get_bytes1(%d)", var_.vt);
    out = nullptr;
    if (var_.vt == VT_EMPTY || var_.vt == VT_NULL) {
        tk_log_printf(1, "OLE_Variant is empty");
        return 0;
    }
    if (is_text()) {
        // Bytes that were not UTF-8 are given as their decoding writes them again.
        if (utf8_held_ && well_formed_)
            holder.assign(held());
        else
            holder = pt::utf8_encode(*get_bstr());
        tk_log_printf(1, "Processing VT_BSTR: '%s'", holder);
        tk_log_printf(1, "n_unicode=%d", get_text_length());
        out = reinterpret_cast<const uint8_t*>(holder.data());
        return holder.size();
    }
    if (oa::is_binary(var_.vt)) {
        tk_log_printf(1, "Processing binary");
        size_t n = get_safe_array_size();
        tk_log_printf(1, "data_length=%d", n);
        if (n == 0) return 0;
        out = var_.bytes().data();
        return n;
    }
    throw tk_mail_assertion("ole_var.cpp", 1235);
}

size_t ole_variant::get_safe_array_size() const {
    if (!holds_array(var_.vt) || !var_.has_bytes()) return 0;
    tk_log_printf(1, "lower=%d, upper=%d", 0, static_cast<int64_t>(var_.bytes().size()) - 1);
    return var_.bytes().size();
}

SYSTEMTIME ole_variant::to_systemtime() const {
    return var_.vt == VT_DATE ? date_.get_systemtime() : SYSTEMTIME{};
}

bool ole_variant::is_numeric_vt(VARTYPE vt) {
    return oa::is_numeric(vt);
}

std::vector<uint8_t>& ole_variant::convert_to_byte_array(const void* source, size_t count,
                                                         std::vector<uint8_t>& out) {
    tk_log_printf(1, "convert_to_byte_array(%d)", count);
    const auto* p = static_cast<const uint8_t*>(source);
    out.assign(p, p + count);
    return out;
}

const std::wstring* ole_variant::get_bstr() const {
    if (var_.vt != VT_BSTR) return nullptr;
    make_wide();
    return var_.has_bstr() ? &var_.bstr() : nullptr;
}

std::string_view ole_variant::get_utf8(std::string& holder) const {
    if (utf8_held_ && well_formed_) return held();
    const std::wstring* text = get_bstr();
    if (!text) return {};
    holder = pt::utf8_encode(*text);
    return holder;
}

size_t ole_variant::get_text_length() const {
    if (utf8_held_) return ascii_ ? held().size() : pt::utf8_length(held());
    return var_.vt == VT_BSTR && var_.has_bstr() ? var_.bstr().size() : 0;
}

// ---------------------------------------------------------------- conversions

void ole_variant::change_type(VARTYPE to) {
    const VARTYPE from = var_.vt;
    tk_log_printf(1, "ole_variant::change_type(old=%d,new=%d)", from, to);
    // The conversions work on wide text, the DATE number and numbers read.
    widen_text();
    settle();
    forget_held();

    // 1. The two names of a byte array.
    if ((from == VT_UI1_ARRAY && to == VT_BLOB) || (from == VT_BLOB && to == VT_UI1_ARRAY)) {
        tk_log_printf(1, "Replace by synonym");
        var_.vt = to;
        return;
    }
    // 2. Nothing to do.
    if (to == from || from == VT_EMPTY || from == VT_NULL ||
        (oa::is_binary(from) && oa::is_binary(to))) {
        tk_log_printf(1, "Type cannot be changed");
        return;
    }
    // 3. Boolean words.
    if (from == VT_BSTR && to == VT_BOOL) return change_word_to_bool();
    // 4. and 5. From the 64-bit integers.
    if (from == VT_I8 || from == VT_UI8) return change_from_64(to);
    // 6. A date only becomes its text.
    if (from == VT_DATE) {
        if (to != VT_BSTR) cast_error();
        attach_wstring(date_.to_wstring(6));
        date_ = ole_date();  // a date only for VT_DATE
        return;
    }
    // 7. and 8. To the 64-bit integers.
    if (to == VT_I8 || to == VT_UI8) return change_to_64(to);
    // 9. To the 32- and 16-bit integers.
    if (to == VT_I4 || to == VT_UI4 || to == VT_I2 || to == VT_UI2) {
        if (from == VT_R4 || from == VT_R8) return change_float_to_small(to);
        if (from == VT_DECIMAL) {
            const char* names[] = {"VT_DECIMAL->VT_I4", "VT_DECIMAL->VT_UI4", "VT_DECIMAL->VT_I2",
                                   "VT_DECIMAL->VT_UI2"};
            int k = to == VT_I4 ? 0 : to == VT_UI4 ? 1 : to == VT_I2 ? 2 : 3;
            tk_log_printf(1, names[k]);
            if (to == VT_I4) tk_log_printf(1, "to_string()=%s", to_string());
        }
        // Decimals and every other number by the automation's rules, range-checked;
        // a text must be a number. Nothing is left half-converted or unconverted.
    }
    // 10. To VT_I1: the same.
    if (to == VT_I1 && from == VT_DECIMAL) tk_log_printf(1, "VT_DECIMAL->VT_I1");
    // 11. Text to a date.
    if (to == VT_DATE) return change_text_to_date();
    // 12. A byte array becomes text and nothing else.
    if (oa::is_binary(from)) return change_from_binary(to);
    // 13. A value's own bytes become a byte array.
    if (oa::is_binary(to)) return change_to_binary();
    // 14. The rest: numbers to text by this value's own text forms, numbers between
    // numeric types and text to numbers by the core's checked conversions.
    if (to == VT_BSTR && oa::is_numeric(from)) {
        attach_wstring(to_wstring());
        return;
    }
    if (oa::change_type(var_, to) != oa::status::ok) {
        tk_log_printf(1, "VariantChangeType failed");
        tk_log_printf(1, "to_string()=%s", to_string());
        cast_error();
    }
}

void ole_variant::change_text_to_date() {
    if (var_.vt != VT_BSTR) cast_error();
    ole_date d(to_string());
    if (!d.is_valid()) cast_error();
    *this = ole_variant(d);
}

void ole_variant::change_word_to_bool() {
    std::string s = to_string();
    if (matches_word(s, {"yes", "t", "true"}))
        var_.set_bool(true);
    else if (matches_word(s, {"no", "f", "false"}))
        var_.set_bool(false);
    else
        cast_error();
}

bool ole_variant::set_integer_bits(VARTYPE to, uint64_t bits) {
    switch (to) {
        case VT_I1:
            var_.set_i1(static_cast<int8_t>(static_cast<uint8_t>(bits)));
            return true;
        case VT_UI1:
            var_.set_ui1(static_cast<uint8_t>(bits));
            return true;
        case VT_I2:
            var_.set_i2(static_cast<int16_t>(static_cast<uint16_t>(bits)));
            return true;
        case VT_UI2:
            var_.set_ui2(static_cast<uint16_t>(bits));
            return true;
        case VT_BOOL:
            var_.set_bool(bits != 0);  // any non-zero number is true
            return true;
        case VT_I4:
            var_.set_i4(static_cast<int32_t>(static_cast<uint32_t>(bits)));
            return true;
        case VT_UI4:
            var_.set_ui4(static_cast<uint32_t>(bits));
            return true;
        case VT_INT:
            var_.set_int(static_cast<int32_t>(static_cast<uint32_t>(bits)));
            return true;
        case VT_UINT:
            var_.set_uint(static_cast<uint32_t>(bits));
            return true;
        case VT_UI8:
            var_.set_ui8(bits);
            return true;
        case VT_I8:
            var_.set_i8(static_cast<int64_t>(bits));
            return true;
        default:
            return false;
    }
}

void ole_variant::change_from_64(VARTYPE to) {
    const bool is_signed = var_.vt == VT_I8;
    const int64_t s = is_signed ? var_.i8() : 0;
    const uint64_t u = is_signed ? 0 : var_.ui8();
    if (set_integer_bits(to, is_signed ? static_cast<uint64_t>(s) : u)) return;
    switch (to) {
        case VT_R4:
            var_.set_r4(is_signed ? static_cast<float>(s) : static_cast<float>(u));
            break;
        case VT_R8:
            var_.set_r8(is_signed ? static_cast<double>(s) : static_cast<double>(u));
            break;
        case VT_CY: {
            CY c;
            if (oa::currency_from_integer(is_signed ? __int128(s) : __int128(u), c) !=
                oa::status::ok)
                cast_error();  // beyond the currency range; never wrap
            var_.set_cy(c);
            break;
        }
        case VT_BSTR:
            tk_log_printf(1, "ole_variant::operator = (const BSTR)");
            attach_string(is_signed ? oa::format_i64(s) : oa::format_u64(u));
            break;
        case VT_DECIMAL:
            tk_log_printf(1, is_signed ? "VT_I8->VT_DECIMAL" : "VT_UI8->VT_DECIMAL");
            var_.set_decimal(is_signed ? oa::decimal_from_i64(s) : oa::decimal_from_u64(u));
            break;
        default:
            cast_error();
    }
}

__int128 ole_variant::float_to_64(bool to_signed) const {
    const bool r4 = var_.vt == VT_R4;
    double d = r4 ? var_.r4() : var_.r8();
    oa::status st;
    __int128 v;
    if (to_signed) {
        int64_t r = 0;
        st = oa::i64_from_double(d, r);
        tk_log_printf(1, r4 ? "from FLOAT: res=%I64d, hr=%08X" : "from DOUBLE: res=%I64d, hr=%08X",
                      r, st == oa::status::ok ? 0u : hresult_of(st));
        v = r;
    } else {
        uint64_t r = 0;
        st = oa::u64_from_double(d, r);
        tk_log_printf(1, r4 ? "from FLOAT: res=%I64u, hr=%08X" : "from DOUBLE: res=%I64u, hr=%08X",
                      r, st == oa::status::ok ? 0u : hresult_of(st));
        v = r;
    }
    if (st != oa::status::ok) cast_error();  // out of range or NaN: no value
    return v;
}

__int128 ole_variant::integer_for_64(bool to_signed) const {
    switch (var_.vt) {
        case VT_I2:
        case VT_BOOL:
            return var_.i2();
        case VT_I4:
        case VT_INT:
            return var_.i4();
        case VT_I1:
            return var_.i1();
        case VT_UI1:
            return var_.ui1();
        case VT_UI2:
            return var_.ui2();
        case VT_UI4:
        case VT_UINT:
            return var_.ui4();
        case VT_R4:
        case VT_R8:
            return float_to_64(to_signed);
        case VT_CY: {
            // Half up, the same for both signs: floor(amount + 0.5).
            __int128 a = var_.cy().int64;
            __int128 q = (a + 5000) / 10000;
            if ((a + 5000) % 10000 < 0) --q;
            return q;
        }
        case VT_DECIMAL: {
            tk_log_printf(1, to_signed ? "VT_DECIMAL->VT_I8" : "VT_DECIMAL->VT_UI8");
            __int128 r;
            if (oa::decimal_to_integer(
                    var_.decimal(), to_signed ? __int128(INT64_MIN) : __int128(0),
                    to_signed ? __int128(INT64_MAX) : __int128(UINT64_MAX), r) != oa::status::ok)
                cast_error();
            return r;
        }
        default:
            cast_error();
    }
}

void ole_variant::change_to_64(VARTYPE to) {
    const bool to_signed = to == VT_I8;
    const __int128 v = integer_for_64(to_signed);
    if (to_signed) {
        if (v < INT64_MIN || v > INT64_MAX) cast_error();
        var_.set_i8(static_cast<int64_t>(v));
    } else {
        if (v < 0 || v > UINT64_MAX) cast_error();  // a negative number has no unsigned value
        var_.set_ui8(static_cast<uint64_t>(v));
    }
}

void ole_variant::change_float_to_small(VARTYPE to) {
    // The value classes' own rounding: half away from zero, then the range of the
    // destination (NaN and numbers beyond it have no value there).
    double r = oa::round_half_away(var_.vt == VT_R4 ? var_.r4() : var_.r8());
    double lo = to == VT_I4 ? -2147483648.0 : to == VT_I2 ? -32768.0 : 0.0;
    double hi = to == VT_I4    ? 2147483647.0
                : to == VT_UI4 ? 4294967295.0
                : to == VT_I2  ? 32767.0
                               : 65535.0;
    if (!(r >= lo && r <= hi)) cast_error();
    set_integer_bits(to, static_cast<uint64_t>(static_cast<int64_t>(r)));
}

void ole_variant::change_from_binary(VARTYPE to) {
    tk_log_printf(1, "src.vt is binary, a_type=%d", to);
    if (to != VT_BSTR) cast_error();
    std::string_view bytes;
    if (var_.has_bytes()) {
        const auto& b = var_.bytes();
        size_t n = std::min(b.size(), max_array_text);
        bytes = std::string_view(reinterpret_cast<const char*>(b.data()), n);
        // Text ends at its first zero byte or at the end of the array.
        bytes = bytes.substr(0, bytes.find('\0'));
    }
    tk_log_printf(1, "ole_variant::operator = (const BSTR)");
    attach_string(bytes);
}

bool ole_variant::number_bytes(std::vector<uint8_t>& bytes) const {
    auto take = [&](const auto& v) { convert_to_byte_array(&v, sizeof v, bytes); };
    switch (var_.vt) {
        case VT_I2:
        case VT_BOOL:
            take(var_.i2());
            return true;
        case VT_UI2:
            take(var_.ui2());
            return true;
        case VT_I4:
        case VT_INT:
            take(var_.i4());
            return true;
        case VT_UI4:
        case VT_UINT:
            take(var_.ui4());
            return true;
        case VT_R4:
            take(var_.r4());
            return true;
        case VT_R8:
            take(var_.r8());
            return true;
        case VT_CY:
            take(var_.cy().int64);
            return true;
        case VT_DECIMAL: {
            auto image = oa::decimal_bytes(var_.decimal());
            convert_to_byte_array(image.data(), image.size(), bytes);
            return true;
        }
        case VT_I1:
            take(var_.i1());
            return true;
        case VT_UI1:
            take(var_.ui1());
            return true;
        default:
            return false;
    }
}

bool ole_variant::text_bytes(std::vector<uint8_t>& bytes) const {
    switch (var_.vt) {
        case VT_BSTR: {
            tk_log_printf(1, "VT_BSTR->binary");
            std::string s = pt::utf8_encode(var_.bstr());
            tk_log_printf(1, "char_buf=%s", s);
            convert_to_byte_array(s.data(), s.size(), bytes);
            return true;
        }
        case VT_LPSTR: {
            tk_log_printf(1, "VT_LPSTR->binary");
            const std::string& s = var_.lpstr();
            convert_to_byte_array(s.data(), std::min(s.size(), s.find('\0')), bytes);
            return true;
        }
        case VT_LPWSTR:
            tk_log_printf(1, "VT_LPWSTR->binary");
            bytes = utf16le_bytes(var_.bstr());
            return true;
        default:
            return false;
    }
}

void ole_variant::change_to_binary() {
    tk_log_printf(1, "a_type is binary, src.vt=%d", var_.vt);
    std::vector<uint8_t> bytes;
    if (!number_bytes(bytes) && !text_bytes(bytes)) cast_error();
    if (bytes.empty()) return;
    var_.set_bytes(std::move(bytes), VT_UI1_ARRAY);
}

bool ole_variant::to_bool() const {
    settle();
    tk_log_printf(1, "ole_variant::to_bool(vt=%08X)", var_.vt);
    switch (var_.vt) {
        case VT_I2:
            return var_.i2() != 0;
        case VT_UI2:
            return var_.ui2() != 0;
        case VT_I4:
        case VT_INT:
            return var_.i4() != 0;
        case VT_UI4:
        case VT_UINT:
            return var_.ui4() != 0;
        case VT_R4:
            return var_.r4() != 0;  // NaN is true
        case VT_R8:
            return var_.r8() != 0;
        // Any non-zero amount is true, also one that rounds to 0 or lies beyond 32 bits.
        case VT_CY:
            return var_.cy().int64 != 0;
        case VT_DECIMAL:
            return oa::decimal_mantissa(var_.decimal()) != 0;
        case VT_BOOL:
            return var_.i2() == VARIANT_TRUE;
        case VT_I1:
            return var_.i1() != 0;
        case VT_UI1:
            return var_.ui1() != 0;
        case VT_I8:
            return var_.i8() != 0;
        case VT_UI8:
            return var_.ui8() != 0;
        default:
            return false;
    }
}

double ole_variant::to_double() const {
    settle();
    tk_log_printf(1, "ole_variant::to_double(%08X)", var_.vt);
    switch (var_.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return 0.0;
        case VT_I2:
            return var_.i2();
        case VT_I4:
        case VT_INT:
            return var_.i4();
        case VT_I1:
            return var_.i1();
        case VT_UI1:
            return var_.ui1();
        case VT_UI2:
            return var_.ui2();
        case VT_UI4:
        case VT_UINT:
            return var_.ui4();
        case VT_R4:
            return var_.r4();
        case VT_R8:
            return var_.r8();
        case VT_CY: {
            double r = oa::currency_to_double(var_.cy());
            tk_log_printf(1, "from CURRECY: res=%lg, hr=%08X", r, 0);
            return r;
        }
        case VT_DECIMAL: {
            double r = oa::decimal_to_double(var_.decimal());
            tk_log_printf(1, "from DECIMAL: res=%lg, hr=%08X", r, 0);
            return r;
        }
        case VT_BOOL:
            return var_.i2() == VARIANT_TRUE ? 1.0 : 0.0;
        case VT_I8:
            return static_cast<double>(var_.i8());
        case VT_UI8:
            return static_cast<double>(var_.ui8());
        default:
            throw tk_mail_assertion("ole_var.cpp", 940);
    }
}

namespace {

int32_t saturate32(__int128 v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace

int32_t ole_variant::to_long() const {
    settle();
    tk_log_printf(1, "ole_variant::to_long(vt=%08X)", var_.vt);
    // Numbers beyond the 32-bit range read as its nearest end, never wrapped.
    switch (var_.vt) {
        case VT_I4:
        case VT_INT:
            return var_.i4();
        case VT_UI4:
        case VT_UINT:
            return saturate32(var_.ui4());
        case VT_R4:
            return oa::i32_trunc_saturate(var_.r4());
        case VT_R8:
            return oa::i32_trunc_saturate(var_.r8());
        case VT_CY: {
            int32_t r = 0;
            oa::status st = oa::currency_to_i32(var_.cy(), r);
            if (st != oa::status::ok) r = var_.cy().int64 < 0 ? INT32_MIN : INT32_MAX;
            tk_log_printf(1, "from CURRECY: res=%d, hr=%08X", r,
                          st == oa::status::ok ? 0u : hresult_of(st));
            return r;
        }
        case VT_DECIMAL: {
            int32_t r = saturate32(oa::decimal_round_to_integer(var_.decimal()));
            tk_log_printf(1, "from DECIMAL: res=%d, hr=%08X", r, 0);
            return r;
        }
        case VT_BOOL:
            tk_log_printf(1, "src.boolVal=%d", var_.i2());
            return var_.i2() == VARIANT_TRUE ? 1 : 0;
        case VT_I2:
            return var_.i2();
        case VT_I1:
            return var_.i1();
        case VT_UI1:
            return var_.ui1();
        case VT_UI2:
            return var_.ui2();
        case VT_I8:
            return saturate32(var_.i8());
        case VT_UI8:
            return saturate32(var_.ui8());
        default:
            return 0;
    }
}

// ---------------------------------------------------------------- text

template <class Ch>
static ole_variant hex_to_value(std::basic_string_view<Ch> text, VARTYPE type) {
    ole_variant res;
    if (text.empty()) {
        tk_log_printf(1, "Empty BLOB");
        return res;
    }
    if (text.size() % 2) {
        tk_log_printf(2, "Incorrect BLOB (size is odd)");
        return res;
    }
    const bool prefix =
        (text[0] == Ch('0') || text[0] == Ch('\\')) && (text[1] == Ch('x') || text[1] == Ch('X'));
    if (prefix) tk_log_printf(1, "b_prefix=true");
    const size_t count = text.size() / 2 - (prefix ? 1 : 0);
    tk_log_printf(1, "Got BLOB size: %d", count);
    std::vector<uint8_t> bytes(count);
    for (size_t i = prefix ? 2 : 0, k = 0; i + 1 < text.size(); i += 2, ++k)
        bytes[k] = static_cast<uint8_t>(hex_value(text[i]) * 16 + hex_value(text[i + 1]));
    if (count == 0)
        res.allocate_safe_array(0);  // "0x" alone: an array without bytes
    else
        res.attach_binary(std::move(bytes));
    res.change_type(type);
    tk_log_printf(1, "Before return: res=%s", res.to_string());
    return res;
}

ole_variant ole_variant::from_hex(std::wstring_view text, VARTYPE type) {
    return hex_to_value(text, type);
}

ole_variant ole_variant::from_string(std::string_view text, VARTYPE type) {
    ole_variant res;
    res.set_from_string(text, type);
    return res;
}

namespace {

// Whether the text is a number's decimal text that the type holds exactly, as MySQL
// sends its numbers: [-]digits for an integer type (no sign for an unsigned one), and
// [-]digits[.digits] for a decimal, with fewer significant digits than could overflow.
bool holds_exactly(std::string_view text, VARTYPE type) {
    size_t most;
    bool sign = true, point = false;
    switch (type) {
        case VT_I1:
            most = 2;
            break;
        case VT_UI1:
            most = 2, sign = false;
            break;
        case VT_I2:
            most = 4;
            break;
        case VT_UI2:
            most = 4, sign = false;
            break;
        case VT_I4:
            most = 9;
            break;
        case VT_UI4:
            most = 9, sign = false;
            break;
        case VT_I8:
            most = 18;
            break;
        case VT_UI8:
            most = 19, sign = false;
            break;
        case VT_DECIMAL:
            most = 28, point = true;
            break;
        default:
            return false;
    }
    size_t i = 0;
    if (sign && !text.empty() && text[0] == '-') i = 1;
    const size_t start = i;
    while (i < text.size() && text[i] == '0') ++i;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
    if (i == start) return false;
    if (point && i < text.size() && text[i] == '.') {
        const size_t fraction = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == fraction) return false;
        digits += i - fraction;
    }
    return i == text.size() && digits <= most;
}

}  // namespace

void ole_variant::refill_from_string(std::string_view text, VARTYPE type, refill_storage& spare,
                                     bool view) {
    park(spare);
    // Read at once when the trace tells of it.
    if (!holds_exactly(text, type) || tk_log_on(1)) return set_from_string(text, type);
    var_.clear();
    var_.vt = type;
    hold(text, view);
    digits_held_ = true;
    parse_pending_ = true;
}

void ole_variant::read_digits() const {
    // Reading the digits changes the form of the value, not the value: only the mutable
    // var_ is written.
    parse_pending_ = false;
    auto& self = const_cast<ole_variant&>(*this);
    if (!self.set_integer_from_string(held(), var_.vt, false))
        self.set_fraction_from_string(held(), var_.vt, false);
}

void ole_variant::refill(const ole_date& d, refill_storage& spare) {
    park(spare);
    set_date(d);
}

void ole_variant::set_date(const ole_date& d) {
    date_ = d;
    var_.set_date(0);
    // The DATE number is made when asked for, unless the trace would tell that it fails.
    date_pending_ = true;
    if (!tk_log_on(2)) return;
    DATE v = 0;
    if (!date_.to_variant_time(v)) tk_log_write("Failed to convert SYSTEMTIME->VARIANT");
    var_.set_date(v);
    date_pending_ = false;
}

void ole_variant::set_from_string(std::string_view text, VARTYPE type) {
    const bool trace = tk_log_on(1);
    if (trace) tk_log_write("ole_variant::from_string('%s', 0x%08X)", text, type);
    // Every rule below gives a value of a plain type, as its constructor would.
    if (text.empty() && type != VT_BSTR) {
        trace_built(trace, "ole_variant::empty ctor");
        return var_.clear();
    }
    if (type == VT_UI1_ARRAY || type == VT_BLOB) {
        if (trace) tk_log_write("GOT BLOB");
        *this = hex_to_value(text, type);
        return;
    }
    if (set_integer_from_string(text, type, trace) || set_fraction_from_string(text, type, trace))
        return;
    switch (type) {
        case VT_DATE:
            return set_date_from_string(text, trace);
        case VT_BOOL: {
            if (trace) tk_log_write("ole_variant::from_string(VT_BOOL, '%s')", text);
            bool v;
            if (matches_word(text, {"1", "yes", "t", "true"}))
                v = true;
            else if (matches_word(text, {"0", "no", "f", "false"}))
                v = false;
            else
                v = oa::parse_i64_prefix(text) != 0;
            trace_built(trace, "ole_variant::ctor from bool (%d)", v);
            return var_.set_bool(v);
        }
        default:
            break;
    }
    if (trace) tk_log_write("default processing");
    trace_built(trace, "ole_variant::empty ctor");
    var_.clear();
    attach_string(text);
    if (type == VT_BSTR) return;
    if (type == VT_EMPTY || type == VT_NULL) {
        forget_held();
        var_.clear();
        var_.vt = type;
        return;
    }
    widen_text();
    tk_log_printf(1, "Right before VariantChangeType");
    oa::status st = oa::change_type(var_, type);
    tk_log_printf(1, "Right after VariantChangeType");
    if (st != oa::status::ok) throw ole_type_exception();
    tk_log_printf(1, "VariantChangeType succeeded");
}

bool ole_variant::set_integer_from_string(std::string_view text, VARTYPE type, bool trace) {
    switch (type) {
        // Integers: read as a 64-bit number that saturates at its ends, then narrowed
        // to the width of the type (VT_I4 saturates at 32 bits, as the C runtime's atoi).
        case VT_I2: {
            auto v = static_cast<int16_t>(static_cast<uint16_t>(oa::parse_i64_prefix(text)));
            trace_built(trace, "ole_variant::ctor from short(%d)", v);
            var_.set_i2(v);
            return true;
        }
        case VT_I4: {
            int32_t v = saturate32(oa::parse_i64_prefix(text));
            trace_built(trace, "ole_variant::ctor from int(%d)", v);
            var_.set_i4(v);
            return true;
        }
        case VT_I1: {
            auto v = static_cast<int8_t>(static_cast<uint8_t>(oa::parse_i64_prefix(text)));
            trace_built(trace, "ole_variant::ctor from char(%d)", v);
            var_.set_i1(v);
            return true;
        }
        case VT_UI1: {
            auto v = static_cast<uint8_t>(oa::parse_i64_prefix(text));
            trace_built(trace, "ole_variant::ctor from byte(%d)", v);
            var_.set_ui1(v);
            return true;
        }
        case VT_UI2: {
            auto v = static_cast<uint16_t>(oa::parse_i64_prefix(text));
            trace_built(trace, "ole_variant::ctor from ushort(%d)", v);
            var_.set_ui2(v);
            return true;
        }
        case VT_UI4: {
            uint32_t v = oa::parse_u32_prefix(text);
            trace_built(trace, "ole_variant::ctor from uint(%u)", v);
            var_.set_ui4(v);
            return true;
        }
        case VT_I8: {
            const int64_t v = oa::parse_i64_prefix(text);
            trace_built(trace, "ole_variant::ctor(hyper, %I64d)", v);
            var_.set_i8(v);
            return true;
        }
        case VT_UI8: {
            const uint64_t v = oa::parse_u64_prefix(text);
            trace_built(trace, "ole_variant::ctor(uhyper, %I64u)", v);
            var_.set_ui8(v);
            return true;
        }
        default:
            return false;
    }
}

bool ole_variant::set_fraction_from_string(std::string_view text, VARTYPE type, bool trace) {
    switch (type) {
        case VT_R4:
        case VT_R8: {
            std::string holder;
            double d = oa::parse_double_prefix(commas_to_points(text, holder));
            if (type == VT_R4) {
                trace_built(trace, "ole_variant::ctor from float(%f)", to_float(d));
                var_.set_r4(to_float(d));
                return true;
            }
            trace_built(trace, "ole_variant::ctor from double(%e)", d);
            var_.set_r8(d);
            return true;
        }
        case VT_CY: {
            if (trace) tk_log_write("GOT VT_CY");
            CY c;
            std::string holder;
            oa::status st = oa::currency_from_string(commas_to_points(text, holder), c);
            if (st != oa::status::ok) {
                tk_log_printf(2, "VarCyFromStr failed: %08X", hresult_of(st));
                trace_built(trace, "ole_variant::empty ctor");
                var_.clear();
                return true;
            }
            trace_built(trace, "Construct ole_variant from CY");
            var_.set_cy(c);
            return true;
        }
        case VT_DECIMAL: {
            if (trace) tk_log_write("GOT VT_DECIMAL");
            std::string holder;
            std::string_view s = commas_to_points(text, holder);
            DECIMAL d;
            oa::status st = oa::decimal_from_string(s, d);
            if (st != oa::status::ok) {
                tk_log_printf(2, "ERROR: VarDecFromStr for '%s' failed (hr=%08X)", s,
                              hresult_of(st));
                double v = oa::parse_double_prefix(s);
                trace_built(trace, "ole_variant::ctor from double(%e)", v);
                var_.set_r8(v);
                return true;
            }
            trace_built(trace, "Construct ole_variant from DECIMAL");
            var_.set_decimal(d);
            return true;
        }
        default:
            return false;
    }
}

void ole_variant::set_date_from_string(std::string_view text, bool trace) {
    if (trace) tk_log_write("GOT VT_DATE");
    ole_date d(text);
    if (!d.is_valid()) {
        trace_built(trace, "ole_variant::empty ctor");
        return var_.clear();
    }
    trace_built(trace, "ole_variant::ole_variant( const ole_date& )");
    set_date(d);
    if (trace) tk_log_write("ole_date=%s", d.to_string(6));
}

ole_variant ole_variant::from_wstring(std::wstring_view text, VARTYPE type) {
    tk_log_wprintf(1, L"ole_variant::from_wstring(%s,%d)", text, type);
    if (type == VT_UI1_ARRAY || type == VT_BLOB) return from_hex(text, type);
    if (type == VT_BSTR) {
        tk_log_printf(1, "Construct ole_variant from BSTR");
        ole_variant res;
        res.attach_wstring(text.substr(0, text.find(L'\0')));
        return res;
    }
    tk_log_printf(1, "=== RIGHT BEFORE W2A_EX ===");
    return from_string(tk_unicode_to_ansi(text, -1), type);
}

std::string ole_variant::to_string() const {
    settle();
    tk_log_printf(1, "ole_variant::to_string (vt=%08X)", var_.vt);
    switch (var_.vt) {
        case VT_I2:
            return oa::format_i64(var_.i2());
        case VT_I1:
            return oa::format_i64(var_.i1());
        case VT_I4:
        case VT_INT:
            return oa::format_i64(var_.i4());
        case VT_R4:
            return exp_text(var_.r4(), 6);
        case VT_R8:
            return exp_text(var_.r8(), 16);
        case VT_UI1:
            return oa::format_u64(var_.ui1());
        case VT_UI2:
            return oa::format_u64(var_.ui2());
        case VT_UI4:
        case VT_UINT:
            return oa::format_u64(var_.ui4());
        case VT_I8:
            return oa::format_i64(var_.i8());
        case VT_UI8:
            return oa::format_u64(var_.ui8());
        case VT_CY:
            tk_log_printf(1, "Converting VT_CY");
            return oa::currency_to_string(var_.cy());  // always with a point
        case VT_DATE:
            tk_log_printf(1, "Converting VT_DATE");
            return date_.to_string(6);
        case VT_BSTR:
            tk_log_printf(1, "Processing VT_BSTR");
            if (utf8_held_) {
                const std::string_view bytes = held().substr(0, held().find('\0'));
                return well_formed_ ? std::string(bytes) : pt::utf8_encode(pt::utf8_decode(bytes));
            }
            return tk_unicode_to_ansi(var_.bstr(), -1);
        case VT_BOOL:
            tk_log_printf(1, "to_string - bool: %d", var_.i2());
            return var_.i2() == VARIANT_TRUE ? "1" : "0";
        case VT_DECIMAL:
            tk_log_printf(1, "Converting VT_DECIMAL");
            return oa::decimal_to_string(var_.decimal());
        case VT_BLOB:
        case VT_UI1_ARRAY: {
            tk_log_printf(1, "Converting VT_ARRAY/VT_BLOB");
            std::string out;
            if (!var_.has_bytes() || var_.bytes().empty()) return out;
            size_t n = std::min(var_.bytes().size(), max_array_text);
            tk_log_printf(1, "len=%d", n);
            out.reserve(2 + 2 * n);
            out = "0x";
            append_hex(out, var_.bytes().data(), n);
            return out;
        }
        default:
            return std::string();
    }
}

std::wstring ole_variant::to_wstring() const {
    settle();
    tk_log_printf(1, "ole_variant::to_wstring (vt=%08X)", var_.vt);
    switch (var_.vt) {
        case VT_BSTR: {
            // A NUL byte is the only thing that decodes to a NUL.
            if (utf8_held_) return pt::utf8_decode(held().substr(0, held().find('\0')));
            const std::wstring& s = var_.bstr();
            return s.substr(0, s.find(L'\0'));
        }
        case VT_BLOB:
        case VT_UI1_ARRAY: {
            tk_log_printf(1, "Converting VT_ARRAY/VT_BLOB");
            std::wstring out;
            if (!var_.has_bytes() || var_.bytes().empty()) return out;
            size_t n = std::min(var_.bytes().size(), max_array_text);
            out.reserve(2 + 2 * n);
            out = L"0x";
            append_hex(out, var_.bytes().data(), n);
            return out;
        }
        default:
            return pt::utf8_decode(to_string());
    }
}
