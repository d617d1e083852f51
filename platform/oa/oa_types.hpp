// The value types of OLE Automation as the rest of the system names them: VARTYPE
// codes, currency, the 96-bit decimal, the DATE number and SYSTEMTIME. Plain data,
// laid out and numbered as the documented automation types so that stored codes and
// byte images agree with what other tools expect.
#pragma once

#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "value byte images are written little-endian");

using VARTYPE = uint16_t;

// The VARTYPE numbering of OLE Automation.
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_CY = 6;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_DECIMAL = 14;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_VOID = 24;
constexpr VARTYPE VT_HRESULT = 25;
constexpr VARTYPE VT_PTR = 26;
constexpr VARTYPE VT_SAFEARRAY = 27;
constexpr VARTYPE VT_CARRAY = 28;
constexpr VARTYPE VT_USERDEFINED = 29;
constexpr VARTYPE VT_LPSTR = 30;
constexpr VARTYPE VT_LPWSTR = 31;
constexpr VARTYPE VT_RECORD = 36;
constexpr VARTYPE VT_INT_PTR = 37;
constexpr VARTYPE VT_UINT_PTR = 38;
constexpr VARTYPE VT_FILETIME = 64;
constexpr VARTYPE VT_BLOB = 65;
constexpr VARTYPE VT_STREAM = 66;
constexpr VARTYPE VT_STORAGE = 67;
constexpr VARTYPE VT_STREAMED_OBJECT = 68;
constexpr VARTYPE VT_STORED_OBJECT = 69;
constexpr VARTYPE VT_BLOB_OBJECT = 70;
constexpr VARTYPE VT_CF = 71;
constexpr VARTYPE VT_CLSID = 72;
constexpr VARTYPE VT_VECTOR = 0x1000;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;
// The byte-array type (8209): every binary value is one of these or VT_BLOB.
constexpr VARTYPE VT_UI1_ARRAY = VT_ARRAY | VT_UI1;

using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a signed count of ten-thousandths.
struct CY {
    int64_t int64 = 0;
    friend bool operator==(const CY&, const CY&) = default;
};

// The 96-bit decimal: value = (-1 if sign) * (Hi32:Lo64) / 10^scale, scale 0 to 28.
struct DECIMAL {
    uint16_t wReserved = 0;  // the type code when the decimal overlays a variant
    uint8_t scale = 0;
    uint8_t sign = 0;  // 0 or DECIMAL_NEG
    uint32_t Hi32 = 0;
    uint64_t Lo64 = 0;
    friend bool operator==(const DECIMAL&, const DECIMAL&) = default;
};
constexpr uint8_t DECIMAL_NEG = 0x80;

// Days since 1899-12-30; the fraction is the time of day (also for negative days).
using DATE = double;

struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
    friend bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};

namespace oa {

// Result of a core conversion; the core never throws.
enum class status { ok, overflow, type_mismatch, invalid };

}  // namespace oa
