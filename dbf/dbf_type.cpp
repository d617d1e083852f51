#include "dbf/dbf_type.hpp"

#include <algorithm>
#include <string_view>

#include "TK/tk_log.hpp"

dbf_field_descriptor dbf_create_field(const t_ftd& column) {
    tk_log_wprintf(1, L"dbf_create_field(%s, vt=%d, size=%d)", column.name, column.vartype,
                   column.size);
    dbf_field_descriptor fd;
    switch (column.vartype) {
        case VT_I1:
            fd.set('N', 4, 0);
            break;
        case VT_I2:
        case VT_UI1:
            fd.set('N', 6, 0);
            break;
        case VT_I4:
        case VT_UI2:
        case VT_INT:
            fd.set('N', 11, 0);
            break;
        case VT_R4:
        case VT_CY:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
            fd.set('N', 19, 5);
            break;
        case VT_R8:
            fd.set('B', 8, 0);
            break;
        case VT_DATE:
            switch (udb_date_kind(column)) {
                case udb_date_only:
                    fd.set('D', 8, 0);
                    break;
                case 0:
                    fd.set('C', 19, 0);
                    break;
                default:
                    fd.set('T', 8, 0);
                    break;
            }
            break;
        case VT_BSTR:
            if (column.size >= 1 && column.size <= 255) {
                auto len = static_cast<uint8_t>(std::min(column.size + 1, 255));
                tk_log_printf(1, "GOT BSTR SIZE=%d", len);
                fd.set('C', len, 0);
            } else {
                fd.set('M', 10, 0);
            }
            break;
        case VT_BOOL:
            fd.set('L', 1, 0);
            break;
        case VT_DECIMAL: {
            // In int, so that a precision near 255 cannot wrap the length byte; the
            // decimals always leave room for a digit and the point.
            int length = std::clamp(column.precision + 2, 2, 255);
            int decimals = std::clamp(column.scale, 0, length - 2);
            fd.set('N', static_cast<uint8_t>(length), static_cast<uint8_t>(decimals));
            break;
        }
        default:
            fd.set('M', 10, 0);
            break;
    }
    return fd;
}

namespace {

uint32_t size_by_letter(char letter, uint8_t length, uint8_t decimals) {
    switch (letter) {
        case 'G':
        case 'M':
        case 'P':
            return 0;
        case 'N':
            tk_log_printf(1, "GOT NUMERIC (%d,%d)", length, decimals);
            return length;
        case '+':
        case 'B':
        case 'D':
        case 'F':
        case 'I':
        case 'L':
        case 'O':
        case 'T':
        case 'Y':
            return length;
        default:
            return length + 256u * decimals;
    }
}

bool is_string_sized(char letter) {
    static const std::string_view sized = "GMPN+BDFILOTY";
    return sized.find(letter) == std::string_view::npos;
}

}  // namespace

uint32_t dbf_get_size_1(const dbf_field_descriptor& fd) {
    tk_log_printf(1, "dbf_get_size_1(fd.field_type=%d)", fd.letter());
    uint32_t size = size_by_letter(fd.letter(), fd.length(), fd.decimals());
    if (is_string_sized(fd.letter())) tk_log_printf(1, "Processing as STRING (size=%d)", size);
    return size;
}

uint32_t dbf_get_size_2(const dbf_read_descriptor& fd) {
    tk_log_printf(1, "dbf_get_size_2(fd.field_type=%d)", fd.letter);
    uint32_t size = size_by_letter(fd.letter, fd.length, fd.decimals);
    if (is_string_sized(fd.letter))
        tk_log_printf(1, "Processing as STRING (size1=%d, size2=%d)", size, fd.length);
    return size;
}

uint32_t dbf_field_width(const dbf_read_descriptor& fd) {
    return dbf_is_memo_letter(fd.letter) ? fd.length + 256u * fd.decimals
                                         : size_by_letter(fd.letter, fd.length, fd.decimals);
}

VARTYPE dbf_get_vartype_2(const dbf_read_descriptor& fd) {
    tk_log_printf(1, "dbf_get_vartype_2(%c)", fd.letter);
    switch (fd.letter) {
        case '0':
            tk_log_printf(2, "DBF type '0' is not supported");
            return VT_UNKNOWN;
        case '@':
        case 'D':
        case 'T':
            return VT_DATE;
        case 'B':
        case 'O':
            return VT_R8;
        case 'F':
            return VT_R4;
        case 'G':
        case 'P':
            tk_log_printf(1, "Got BINARY data type");
            return VT_BLOB;
        case 'L':
            return VT_BOOL;
        case 'N':
            if (fd.decimals > 0) return VT_DECIMAL;
            if (fd.length <= 2) return VT_I1;
            if (fd.length <= 4) return VT_I2;
            if (fd.length <= 9) return VT_I4;
            if (fd.length <= 19) return VT_I8;
            return VT_R8;
        case '+':
        case 'I':
            return VT_I4;
        case 'Y':
            return VT_CY;
        default:
            return VT_BSTR;
    }
}
