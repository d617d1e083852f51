// The value of every field: a type code and its value, plus the 64-bit integers and
// the date-time that the plain variant cannot hold the way the program needs them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ole/ole_date.hpp"
#include "ole/ole_except.hpp"
#include "platform/oa/oa_types.hpp"
#include "platform/oa/oa_var.hpp"

class ole_variant {
  public:
    // The largest byte array that text output and chunk reads consider.
    static constexpr size_t max_array_text = 120000000;

    ole_variant();                                   // VT_EMPTY
    ole_variant(int32_t v);                          // VT_I4
    ole_variant(double v);                           // VT_R8
    ole_variant(bool v);                             // VT_BOOL, -1 or 0
    ole_variant(const char* utf8);                   // VT_BSTR from UTF-8
    ole_variant(const std::string& utf8);            // VT_BSTR from UTF-8
    ole_variant(const wchar_t* text);                // VT_BSTR
    ole_variant(const std::wstring& text);           // VT_BSTR, embedded NULs kept
    ole_variant(std::wstring&& text);                // VT_BSTR, without a copy
    ole_variant(const std::vector<uint8_t>& bytes);  // byte array; empty gives VT_EMPTY
    ole_variant(std::vector<uint8_t>&& bytes);       // the same, without a copy
    ole_variant(const CY& v);                        // VT_CY
    ole_variant(const SYSTEMTIME& st);               // VT_DATE
    ole_variant(const ole_date& d);                  // VT_DATE
    ole_variant(int16_t v);                          // VT_I2
    ole_variant(int8_t v);                           // VT_I1
    ole_variant(uint8_t v);                          // VT_UI1
    ole_variant(uint16_t v);                         // VT_UI2
    ole_variant(uint32_t v);                         // VT_UI4
    ole_variant(int64_t v);                          // VT_I8
    ole_variant(uint64_t v);                         // VT_UI8
    ole_variant(float v);                            // VT_R4
    ole_variant(const DECIMAL& v);                   // VT_DECIMAL

    ole_variant(const ole_variant& that);
    ole_variant(ole_variant&& that) noexcept;
    virtual ~ole_variant();

    ole_variant& operator=(const ole_variant& that);
    ole_variant& operator=(ole_variant&& that) noexcept;
    // attach_binary: an empty vector changes nothing.
    ole_variant& operator=(const std::vector<uint8_t>& bytes);
    ole_variant& operator=(std::vector<uint8_t>&& bytes);

    virtual VARTYPE get_type() const { return var_.vt; }

    // --- Conversions ---
    // Converts in place or raises ole_cast_exception (the value is then unusable).
    void change_type(VARTYPE new_type);
    // Read the value without changing it. to_double raises tk_mail_assertion for
    // texts, dates and byte arrays; to_bool and to_long never raise (unreadable
    // types give false and 0; to_long rounds currency and decimals half to even,
    // truncates floats, and gives the nearest end of the 32-bit range for any number
    // beyond it, NaN giving 0).
    bool to_bool() const;
    double to_double() const;
    int32_t to_long() const;

    // --- Text ---
    // A value of the type from its text (narrow text is UTF-8). Numbers read as far as
    // they go; empty text gives VT_EMPTY except for VT_BSTR; binary types read
    // hexadecimal text ("0x" or "\x" prefix optional). Raises ole_type_exception
    // when a type without a rule of its own refuses the text.
    static ole_variant from_string(std::string_view text, VARTYPE type);
    static ole_variant from_wstring(std::wstring_view text, VARTYPE type);
    // Narrow text is in the system code page (UTF-8).
    virtual std::string to_string() const;
    virtual std::wstring to_wstring() const;

    // --- Storage ---
    // Makes the value a byte array of `size` bytes (kept when it already is one).
    void allocate_safe_array(size_t size);
    void attach_binary(const std::vector<uint8_t>& bytes);
    void attach_binary(std::vector<uint8_t>&& bytes);
    void attach_binary(const uint8_t* data, size_t size);
    // Makes the value VT_BSTR: from UTF-8 (bad sequences become U+FFFD), or from wide
    // text with its embedded NULs.
    void attach_string(std::string_view utf8);
    void attach_wstring(std::wstring_view text);
    void attach_wstring(std::wstring&& text);

    // A slice of the value for chunked sending. Text: up to `length` characters from
    // character `position`, in the system code page, into `out`. Byte array: up to
    // `length` bytes from byte `position` as upper-case hexadecimal digits. Returns the
    // number of characters or bytes consumed (advance the position by it); 0 at or
    // past the end and for every other type.
    size_t get_at(std::string& out, size_t position, size_t length) const;
    // The value's bytes: for a byte array a pointer into the value itself (valid while
    // it is alive and unchanged); for text its bytes in the system code page, kept in
    // `holder`. Returns the number of bytes handed out (0 for an empty value).
    // Any other type is an internal error.
    size_t get_bytes(const uint8_t*& out, std::string& holder) const;
    // Element count of a byte array; 0 for every other type.
    size_t get_safe_array_size() const;
    // The date's fields for VT_DATE, else all zeros.
    SYSTEMTIME to_systemtime() const;
    static bool is_numeric_vt(VARTYPE vt);
    // Makes `out` exactly `count` bytes copied from `source`.
    static std::vector<uint8_t>& convert_to_byte_array(const void* source, size_t count,
                                                       std::vector<uint8_t>& out);

    // --- Refilling ---
    // A value that takes one row's value after another keeps the storage of the bytes it
    // copies (a byte array's is parked in `spare` while it holds something else), and
    // views a text's or a number's bytes where the caller keeps them, so that the steady
    // state allocates nothing. Storage beyond refill_keep_bytes is let go.
    struct refill_storage {
        std::vector<uint8_t> bytes;
    };
    static constexpr size_t refill_keep_bytes = 64 * 1024;
    // The value becomes the text of UTF-8 bytes, as attach_string makes it; true when the
    // bytes were not all UTF-8. With `view` it refers to the bytes where they are, which
    // must then stay as they are until the value next changes (a copy of the value takes
    // its own); else it copies them into storage of its own.
    bool refill_utf8(std::string_view utf8, refill_storage& spare, bool view);
    // The value becomes a byte array with no bytes yet, and returns the bytes to fill;
    // the caller fills at least one (an empty byte array is no value).
    std::vector<uint8_t>& refill_bytes(refill_storage& spare);
    // The value becomes VT_EMPTY.
    void refill_empty(refill_storage& spare);
    // The value becomes what the constructor of that type would make.
    void refill(bool v, refill_storage& spare) { refill_as(&oa::variant::set_bool, v, spare); }
    void refill(uint32_t v, refill_storage& spare) { refill_as(&oa::variant::set_ui4, v, spare); }
    void refill(uint64_t v, refill_storage& spare) { refill_as(&oa::variant::set_ui8, v, spare); }
    void refill(float v, refill_storage& spare) { refill_as(&oa::variant::set_r4, v, spare); }
    // The value becomes what from_string or the date's constructor would give. The
    // decimal text of an integer or a decimal that its type holds exactly ("-12",
    // "79.10", as MySQL sends its numbers) is kept, and read as a number only when first
    // asked for; with `view` the value refers to the text where it is (see refill_utf8).
    void refill_from_string(std::string_view text, VARTYPE type, refill_storage& spare, bool view);
    void refill(const ole_date& d, refill_storage& spare);

    // --- Raw readers ---
    // The text of a VT_BSTR (embedded NULs kept), else nullptr. A text made from UTF-8
    // is held as its bytes: its wide form is made when first asked for here.
    const std::wstring* get_bstr() const;
    // The text of a VT_BSTR as UTF-8, embedded NULs kept: the bytes the value holds when
    // they are UTF-8, else the UTF-8 of its text (bytes that were not UTF-8 as U+FFFD)
    // made into `holder`; empty for every other type.
    std::string_view get_utf8(std::string& holder) const;
    // The characters of a VT_BSTR, embedded NULs counted; 0 for every other type.
    size_t get_text_length() const;
    // True when the value is a text that is known to hold no NUL character; false says
    // nothing. Every change of the value forgets it, copies keep it.
    bool known_nul_free() const { return nul_free_ && is_text(); }
    // True when the value is a text of UTF-8 bytes that are known to be ASCII without
    // NUL (each character one byte, the same in every code page that has ASCII); false
    // says nothing. Every change of the value forgets it, copies keep it.
    bool known_ascii() const { return ascii_ && utf8_held_; }
    // The decimal text a number was made from (see refill_from_string), which it holds
    // exactly: an optional '-', digits, and for a decimal a point and digits; else empty.
    // Every change of the value forgets it, copies keep it.
    std::string_view get_decimal_text() const { return digits_held_ ? held() : std::string_view(); }
    // The bytes of a byte array or VT_BLOB, else nullptr.
    const std::vector<uint8_t>* get_byte_array() const {
        return var_.has_bytes() && oa::is_binary(var_.vt) ? &var_.bytes() : nullptr;
    }
    std::vector<uint8_t>* get_byte_array() {
        return var_.has_bytes() && oa::is_binary(var_.vt) ? &var_.bytes() : nullptr;
    }
    // The date-time; meaningful for VT_DATE.
    const ole_date& get_date() const { return date_; }
    int64_t get_i8() const { return get_variant().vt == VT_I8 ? var_.i8() : 0; }
    uint64_t get_ui8() const { return get_variant().vt == VT_UI8 ? var_.ui8() : 0; }
    // The type code and value of every other type (a date's DATE number, and a number
    // kept as its text, are made when first asked for). A text is read by get_bstr or
    // get_utf8.
    const oa::variant& get_variant() const {
        settle();
        return var_;
    }

  private:
    void initialize();
    // Before the value takes the next row's: a byte array's storage goes to `spare`.
    void park(refill_storage& spare) {
        if (var_.has_bstr() || var_.has_bytes() || held_owned_) park_storage(spare);
        forget_held();
        date_pending_ = false;
        if (var_.vt == VT_DATE) date_ = ole_date();
    }
    void park_storage(refill_storage& spare);
    template <class T>
    void refill_as(void (oa::variant::*set)(T), T v, refill_storage& spare) {
        park(spare);
        (var_.*set)(v);
    }
    bool is_text() const { return var_.vt == VT_BSTR && (utf8_held_ || var_.has_bstr()); }
    // What a change of the value makes untrue: the bytes it holds and what is known of
    // them.
    void forget_held() {
        utf8_held_ = false;
        digits_held_ = false;
        parse_pending_ = false;
        nul_free_ = false;
        ascii_ = false;
        well_formed_ = false;
    }
    // The bytes the value holds.
    std::string_view held() const { return held_owned_ ? std::string_view(held_own_) : held_; }
    // Keeps the bytes, copied or viewed.
    void hold(std::string_view bytes, bool view);
    // Makes the value the text of UTF-8 bytes, copied or viewed; what they hold is known.
    void hold_utf8(std::string_view utf8, bool view);
    // The forms made when first asked for, made now.
    void settle() const {
        if (date_pending_) make_date_number();
        if (parse_pending_) read_digits();
    }
    void read_digits() const;
    // The wide form of a text held as UTF-8, and the DATE number of a date, made now.
    void make_wide() const;
    void make_date_number() const;
    // A text held as UTF-8 becomes a wide text, for the conversions that work on those.
    void widen_text();
    // In place, on a value just made or parked: the value from_string gives; and a
    // date-time.
    void set_from_string(std::string_view text, VARTYPE type);
    // Its steps by the family of the type; false for a type of another family.
    bool set_integer_from_string(std::string_view text, VARTYPE type, bool trace);
    bool set_fraction_from_string(std::string_view text, VARTYPE type, bool trace);
    void set_date_from_string(std::string_view text, bool trace);
    void set_date(const ole_date& d);
    void copy_from(const ole_variant& that, bool assignment);
    static ole_variant from_hex(std::wstring_view text, VARTYPE type);
    // The steps of change_type, by the family of the source or the destination.
    void change_word_to_bool();
    void change_text_to_date();
    // The low bits of a 64-bit integer as an integer type `to`; false for other types.
    bool set_integer_bits(VARTYPE to, uint64_t bits);
    void change_from_64(VARTYPE to);
    __int128 float_to_64(bool to_signed) const;
    __int128 integer_for_64(bool to_signed) const;
    void change_to_64(VARTYPE to);
    void change_float_to_small(VARTYPE to);
    void change_from_binary(VARTYPE to);
    // The bytes of a number as it is held; false for a value that is no number.
    bool number_bytes(std::vector<uint8_t>& bytes) const;
    // The bytes of a text; false for a value that is no text.
    bool text_bytes(std::vector<uint8_t>& bytes) const;
    void change_to_binary();

    // Mutable for the forms made when first asked for (see get_variant). What a row's
    // value sets comes first, what only some values need after it.
    mutable oa::variant var_;
    bool held_owned_ = false;  // held_own_ holds the bytes, else held_ views them
    bool utf8_held_ = false;
    bool digits_held_ = false;
    mutable bool parse_pending_ = false;  // var_ is still to be read from the digits
    // What the bytes of a text held as UTF-8 show.
    bool nul_free_ = false;
    bool ascii_ = false;  // ASCII without NUL
    bool well_formed_ = false;
    // The DATE number of var_ is still to be made from date_.
    mutable bool date_pending_ = false;
    // Bytes the value holds, viewed where the caller keeps them or in held_own_: the UTF-8
    // of a text (var_ then holds VT_BSTR, and its wide text only once made), or the
    // decimal text of a number.
    std::string_view held_;
    ole_date date_;
    std::string held_own_;  // its storage is kept for the next bytes
};
