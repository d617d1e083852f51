#include "platform/oa/oa_var.hpp"

#include <cmath>

#include "platform/oa/oa_dec.hpp"
#include "platform/oa/oa_num.hpp"

namespace oa {

namespace {

using i128 = __int128;

// A numeric value on its way between two types: an exact integer, a double or an
// exact decimal (currency travels as a decimal of scale 4).
struct number {
    enum { integer, real, dec } kind = integer;
    i128 i = 0;
    double d = 0;
    DECIMAL x{};
};

bool read_numeric(const variant& v, number& n) {
    switch (v.vt) {
        case VT_I1:
            n.i = v.i1();
            return true;
        case VT_UI1:
            n.i = v.ui1();
            return true;
        case VT_I2:
        case VT_BOOL:
            n.i = v.i2();
            return true;
        case VT_UI2:
            n.i = v.ui2();
            return true;
        case VT_I4:
        case VT_INT:
            n.i = v.i4();
            return true;
        case VT_UI4:
        case VT_UINT:
            n.i = v.ui4();
            return true;
        case VT_I8:
            n.i = v.i8();
            return true;
        case VT_UI8:
            n.i = v.ui8();
            return true;
        case VT_R4:
            n.kind = number::real;
            n.d = v.r4();
            return true;
        case VT_R8:
            n.kind = number::real;
            n.d = v.r8();
            return true;
        case VT_CY:
            n.kind = number::dec;
            n.x = decimal_from_currency(v.cy());
            return true;
        case VT_DECIMAL:
            n.kind = number::dec;
            n.x = v.decimal();
            return true;
        default:
            return false;
    }
}

bool integer_range(VARTYPE vt, i128& lo, i128& hi) {
    switch (vt) {
        case VT_I1:
            lo = INT8_MIN, hi = INT8_MAX;
            return true;
        case VT_UI1:
            lo = 0, hi = UINT8_MAX;
            return true;
        case VT_I2:
            lo = INT16_MIN, hi = INT16_MAX;
            return true;
        case VT_UI2:
            lo = 0, hi = UINT16_MAX;
            return true;
        case VT_I4:
        case VT_INT:
            lo = INT32_MIN, hi = INT32_MAX;
            return true;
        case VT_UI4:
        case VT_UINT:
            lo = 0, hi = UINT32_MAX;
            return true;
        case VT_I8:
            lo = INT64_MIN, hi = INT64_MAX;
            return true;
        case VT_UI8:
            lo = 0, hi = UINT64_MAX;
            return true;
        default:
            return false;
    }
}

status to_integer(const number& n, VARTYPE vt, i128 lo, i128 hi, i128& out) {
    switch (n.kind) {
        case number::integer:
            if (n.i < lo || n.i > hi) return status::overflow;
            out = n.i;
            return status::ok;
        case number::real: {
            if (vt == VT_I8) {
                int64_t r;
                if (i64_from_double(n.d, r) != status::ok) return status::overflow;
                out = r;
                return status::ok;
            }
            if (vt == VT_UI8) {
                uint64_t r;
                if (u64_from_double(n.d, r) != status::ok) return status::overflow;
                out = r;
                return status::ok;
            }
            // Narrower ranges are exact in a double.
            double r = round_half_even(n.d);
            if (!(r >= static_cast<double>(lo) && r <= static_cast<double>(hi)))
                return status::overflow;
            out = static_cast<i128>(r);
            return status::ok;
        }
        case number::dec:
            return decimal_to_integer(n.x, lo, hi, out);
    }
    return status::type_mismatch;
}

void store_integer(variant& v, VARTYPE vt, i128 i) {
    switch (vt) {
        case VT_I1:
            v.set_i1(static_cast<int8_t>(i));
            break;
        case VT_UI1:
            v.set_ui1(static_cast<uint8_t>(i));
            break;
        case VT_I2:
            v.set_i2(static_cast<int16_t>(i));
            break;
        case VT_UI2:
            v.set_ui2(static_cast<uint16_t>(i));
            break;
        case VT_I4:
            v.set_i4(static_cast<int32_t>(i));
            break;
        case VT_INT:
            v.set_int(static_cast<int32_t>(i));
            break;
        case VT_UI4:
            v.set_ui4(static_cast<uint32_t>(i));
            break;
        case VT_UINT:
            v.set_uint(static_cast<uint32_t>(i));
            break;
        case VT_I8:
            v.set_i8(static_cast<int64_t>(i));
            break;
        case VT_UI8:
            v.set_ui8(static_cast<uint64_t>(i));
            break;
        default:
            break;
    }
}

double to_double(const number& n) {
    switch (n.kind) {
        case number::integer:
            return static_cast<double>(n.i);
        case number::real:
            return n.d;
        case number::dec:
            return decimal_to_double(n.x);
    }
    return 0;
}

status write_numeric(const number& n, VARTYPE to, variant& out) {
    i128 lo, hi;
    if (integer_range(to, lo, hi)) {
        i128 i;
        status s = to_integer(n, to, lo, hi, i);
        if (s == status::ok) store_integer(out, to, i);
        return s;
    }
    switch (to) {
        case VT_BOOL: {
            bool b = n.kind == number::integer ? n.i != 0
                     : n.kind == number::real  ? n.d != 0
                                               : decimal_mantissa(n.x) != 0;
            out.set_bool(b);
            return status::ok;
        }
        case VT_R4: {
            float f;
            if (float_from_double(to_double(n), f) != status::ok) return status::overflow;
            out.set_r4(f);
            return status::ok;
        }
        case VT_R8:
            out.set_r8(to_double(n));
            return status::ok;
        case VT_CY: {
            CY c;
            status s = n.kind == number::integer ? currency_from_integer(n.i, c)
                       : n.kind == number::real  ? currency_from_double(n.d, c)
                                                 : currency_from_decimal(n.x, c);
            if (s == status::ok) out.set_cy(c);
            return s;
        }
        case VT_DECIMAL: {
            DECIMAL x;
            if (n.kind == number::integer) {
                unsigned __int128 mag = n.i < 0 ? static_cast<unsigned __int128>(-n.i)
                                                : static_cast<unsigned __int128>(n.i);
                if (!make_decimal(mag, 0, n.i < 0, x)) return status::overflow;
            } else if (n.kind == number::real) {
                if (status s = decimal_from_double(n.d, x); s != status::ok) return s;
            } else {
                x = n.x;
            }
            out.set_decimal(x);
            return status::ok;
        }
        default:
            return status::type_mismatch;
    }
}

// Text read as the destination's own kind of number; the whole text must be one.
status read_text(const std::wstring& w, VARTYPE to, number& n) {
    std::string s;
    for (wchar_t c : w) {
        if (c <= 0 || c > 0x7F) return status::type_mismatch;  // numbers are ASCII
        s.push_back(static_cast<char>(c));
    }
    if (to == VT_R4 || to == VT_R8) {
        n.kind = number::real;
        return parse_double_strict(s, n.d);
    }
    n.kind = number::dec;
    return decimal_from_string(s, n.x);
}

}  // namespace

bool is_numeric(VARTYPE vt) {
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_BOOL:
        case VT_DECIMAL:
            return true;
        default:
            return vt >= VT_I1 && vt <= VT_UINT;
    }
}

status change_type(variant& v, VARTYPE to) {
    if (v.vt == to) return status::ok;
    if (!is_numeric(to)) return status::type_mismatch;
    number n;
    if (v.vt == VT_BSTR && v.has_bstr()) {
        if (status s = read_text(v.bstr(), to, n); s != status::ok) return s;
    } else if (!read_numeric(v, n)) {
        return status::type_mismatch;
    }
    variant out;
    status s = write_numeric(n, to, out);
    if (s == status::ok) v = std::move(out);
    return s;
}

}  // namespace oa
