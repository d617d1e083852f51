// The core variant: a type code and its payload. Text is wide, byte arrays are
// one-dimensional with lower bound 0 (the only arrays the system makes). The core
// converts between numeric types and from text to numbers; it never throws.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/oa/oa_types.hpp"

namespace oa {

using payload = std::variant<std::monostate, int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t,
                             int64_t, uint64_t, float, double, CY, DECIMAL, std::string,
                             std::wstring, std::vector<uint8_t>>;

struct variant {
    VARTYPE vt = VT_EMPTY;
    payload value;

    void clear() {
        vt = VT_EMPTY;
        value = std::monostate{};
    }

    // Typed access; the caller knows the type code (undefined for another payload).
    int8_t i1() const { return std::get<int8_t>(value); }
    uint8_t ui1() const { return std::get<uint8_t>(value); }
    int16_t i2() const { return std::get<int16_t>(value); }  // also VT_BOOL
    uint16_t ui2() const { return std::get<uint16_t>(value); }
    int32_t i4() const { return std::get<int32_t>(value); }     // also VT_INT
    uint32_t ui4() const { return std::get<uint32_t>(value); }  // also VT_UINT
    int64_t i8() const { return std::get<int64_t>(value); }
    uint64_t ui8() const { return std::get<uint64_t>(value); }
    float r4() const { return std::get<float>(value); }
    double r8() const { return std::get<double>(value); }  // also VT_DATE
    CY cy() const { return std::get<CY>(value); }
    const DECIMAL& decimal() const { return std::get<DECIMAL>(value); }
    const std::wstring& bstr() const { return std::get<std::wstring>(value); }  // also VT_LPWSTR
    const std::string& lpstr() const { return std::get<std::string>(value); }
    const std::vector<uint8_t>& bytes() const { return std::get<std::vector<uint8_t>>(value); }
    std::vector<uint8_t>& bytes() { return std::get<std::vector<uint8_t>>(value); }
    bool has_bytes() const { return std::holds_alternative<std::vector<uint8_t>>(value); }
    bool has_bstr() const { return std::holds_alternative<std::wstring>(value); }

    void set_i1(int8_t v) { set(VT_I1, v); }
    void set_ui1(uint8_t v) { set(VT_UI1, v); }
    void set_i2(int16_t v) { set(VT_I2, v); }
    void set_ui2(uint16_t v) { set(VT_UI2, v); }
    void set_i4(int32_t v) { set(VT_I4, v); }
    void set_ui4(uint32_t v) { set(VT_UI4, v); }
    void set_int(int32_t v) { set(VT_INT, v); }
    void set_uint(uint32_t v) { set(VT_UINT, v); }
    void set_i8(int64_t v) { set(VT_I8, v); }
    void set_ui8(uint64_t v) { set(VT_UI8, v); }
    void set_r4(float v) { set(VT_R4, v); }
    void set_r8(double v) { set(VT_R8, v); }
    void set_date(DATE v) { set(VT_DATE, v); }
    void set_bool(bool v) { set(VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE); }
    void set_cy(CY v) { set(VT_CY, v); }
    void set_decimal(const DECIMAL& v) {
        DECIMAL d = v;
        d.wReserved = VT_DECIMAL;
        set(VT_DECIMAL, d);
    }
    void set_bstr(std::wstring v) { set(VT_BSTR, std::move(v)); }
    void set_bytes(std::vector<uint8_t> v, VARTYPE type = VT_UI1_ARRAY) { set(type, std::move(v)); }

  private:
    template <class T>
    void set(VARTYPE type, T v) {
        vt = type;
        value = std::move(v);
    }
};

// VT_I1 to VT_UINT, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_BOOL, VT_DECIMAL.
bool is_numeric(VARTYPE vt);
// VT_BLOB, VT_BLOB_OBJECT, the byte-array type; inline, as every value asks it.
inline bool is_binary(VARTYPE vt) {
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_UI1_ARRAY;
}

// The conversions the core supports, in place: numeric to numeric (integers rounded
// half to even, every destination range-checked), numeric to VT_BOOL (non-zero is
// true), and text to numeric by the strict readers (the whole text must be a number;
// VT_CY and VT_DECIMAL read it as their own text forms). Any other pair is a type
// mismatch; on failure the value is left as it was.
status change_type(variant& v, VARTYPE to);

}  // namespace oa
