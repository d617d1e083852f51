#include "TK/tk_fmt.hpp"

#include <charconv>
#include <cmath>

#include "platform/text.hpp"

namespace {

struct conv_spec {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;
    wchar_t conv = 0;
};

void pad_out(std::wstring& out, std::wstring_view body, const conv_spec& sp, bool numeric) {
    size_t w = sp.width > 0 ? static_cast<size_t>(sp.width) : 0;
    if (body.size() >= w) {
        out.append(body);
        return;
    }
    size_t fill = w - body.size();
    if (sp.left) {
        out.append(body);
        out.append(fill, L' ');
    } else if (numeric && sp.zero) {
        // Zeros go between the sign or "0x" prefix and the digits.
        size_t pre = 0;
        if (!body.empty() && (body[0] == L'-' || body[0] == L'+' || body[0] == L' ')) pre = 1;
        if (body.size() >= pre + 2 && body[pre] == L'0' &&
            (body[pre + 1] == L'x' || body[pre + 1] == L'X'))
            pre += 2;
        out.append(body.substr(0, pre));
        out.append(fill, L'0');
        out.append(body.substr(pre));
    } else {
        out.append(fill, L' ');
        out.append(body);
    }
}

wchar_t lower_ascii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
}

std::wstring widen_ascii(std::string_view s) {
    return std::wstring(s.begin(), s.end());
}

std::wstring format_integer(const tk_fmt_arg& a, conv_spec sp) {
    bool is_signed_conv = sp.conv == L'd' || sp.conv == L'i';
    bool negative = false;
    uint64_t mag;
    if (a.kind == tk_fmt_arg::k_signed) {
        if (is_signed_conv) {
            negative = a.i < 0;
            mag = negative ? 0 - static_cast<uint64_t>(a.i) : static_cast<uint64_t>(a.i);
        } else {
            // %u/%x of a negative value shows its bits at the argument's width.
            mag = static_cast<uint64_t>(a.i);
            if (a.bits < 64) mag &= (uint64_t{1} << a.bits) - 1;
        }
    } else {
        mag = a.u;
    }
    int base = 10;
    bool upper = false;
    if (sp.conv == L'x' || sp.conv == L'p') base = 16;
    if (sp.conv == L'X') base = 16, upper = true;
    if (sp.conv == L'o') base = 8;
    char buf[72];
    auto r = std::to_chars(buf, buf + sizeof buf, mag, base);
    std::string digits(buf, r.ptr);
    if (upper)
        for (auto& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (sp.precision >= 0) {
        if (sp.precision == 0 && mag == 0) digits.clear();
        if (digits.size() < static_cast<size_t>(sp.precision))
            digits.insert(0, static_cast<size_t>(sp.precision) - digits.size(), '0');
        sp.zero = false;
    }
    std::string prefix;
    if (negative)
        prefix = "-";
    else if (is_signed_conv && sp.plus)
        prefix = "+";
    else if (is_signed_conv && sp.space)
        prefix = " ";
    if (sp.alt && mag != 0 && base == 16) prefix += upper ? "0X" : "0x";
    if (sp.alt && base == 8 && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
    return widen_ascii(prefix + digits);
}

std::wstring format_double(double v, conv_spec sp) {
    std::string body;
    if (std::isnan(v)) {
        body = "nan";
    } else if (std::isinf(v)) {
        body = v < 0 ? "-inf" : "inf";
    } else {
        int prec = sp.precision < 0 ? 6 : sp.precision;
        char buf[400];
        std::chars_format f = std::chars_format::fixed;
        wchar_t lc = lower_ascii(sp.conv);
        if (lc == L'e') f = std::chars_format::scientific;
        if (lc == L'g') f = std::chars_format::general;
        if (lc == L'a') f = std::chars_format::hex;
        std::to_chars_result r;
        if (lc == L'a' && sp.precision < 0)
            r = std::to_chars(buf, buf + sizeof buf, v, f);
        else
            r = std::to_chars(buf, buf + sizeof buf, v, f, lc == L'g' && prec == 0 ? 1 : prec);
        if (r.ec != std::errc()) {
            // Only a fixed-point value too long for the buffer gets here.
            r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, prec);
        }
        body.assign(buf, r.ptr);
        if (sp.alt && body.find('.') == std::string::npos && lc == L'f') body += '.';
        if (v >= 0 || (v == 0 && !std::signbit(v))) {
            if (sp.plus)
                body.insert(0, "+");
            else if (sp.space)
                body.insert(0, " ");
        }
    }
    if ((sp.conv >= L'A' && sp.conv <= L'Z'))
        for (auto& c : body) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return widen_ascii(body);
}

std::wstring format_string(const tk_fmt_arg& a, const conv_spec& sp) {
    std::wstring s;
    if (a.kind == tk_fmt_arg::k_str)
        s = pt::utf8_decode(std::string_view(a.s, a.len));
    else
        s.assign(a.ws, a.len);
    if (sp.precision >= 0 && s.size() > static_cast<size_t>(sp.precision))
        s.resize(static_cast<size_t>(sp.precision));
    return s;
}

int64_t as_int(const tk_fmt_arg& a) {
    switch (a.kind) {
        case tk_fmt_arg::k_signed:
            return a.i;
        case tk_fmt_arg::k_unsigned:
            return static_cast<int64_t>(a.u);
        case tk_fmt_arg::k_double:
            return static_cast<int64_t>(a.d);
        default:
            return 0;
    }
}

// One core for narrow (UTF-8) and wide formats; the result is wide.
template <class Ch>
std::wstring format_core(std::basic_string_view<Ch> fmt, std::span<const tk_fmt_arg> args) {
    std::wstring f;
    if constexpr (sizeof(Ch) == 1)
        f = pt::utf8_decode(std::string_view(fmt.data(), fmt.size()));
    else
        f.assign(fmt.data(), fmt.size());

    std::wstring out;
    out.reserve(f.size() + 16 * args.size());
    size_t next = 0;
    auto take = [&]() -> const tk_fmt_arg* { return next < args.size() ? &args[next++] : nullptr; };

    for (size_t i = 0; i < f.size();) {
        wchar_t c = f[i];
        if (c != L'%') {
            size_t j = f.find(L'%', i);
            if (j == std::wstring::npos) j = f.size();
            out.append(f, i, j - i);
            i = j;
            continue;
        }
        size_t start = i++;
        if (i < f.size() && f[i] == L'%') {
            out.push_back(L'%');
            ++i;
            continue;
        }
        conv_spec sp;
        for (; i < f.size(); ++i) {
            wchar_t fl = f[i];
            if (fl == L'-')
                sp.left = true;
            else if (fl == L'+')
                sp.plus = true;
            else if (fl == L' ')
                sp.space = true;
            else if (fl == L'#')
                sp.alt = true;
            else if (fl == L'0')
                sp.zero = true;
            else
                break;
        }
        if (i < f.size() && f[i] == L'*') {
            const tk_fmt_arg* a = take();
            int64_t w = a ? as_int(*a) : 0;
            if (w < 0) sp.left = true, w = -w;
            sp.width = static_cast<int>(std::min<int64_t>(w, 4096));
            ++i;
        } else {
            while (i < f.size() && f[i] >= L'0' && f[i] <= L'9')
                sp.width = std::min(sp.width * 10 + (f[i++] - L'0'), 4096);
        }
        if (i < f.size() && f[i] == L'.') {
            ++i;
            sp.precision = 0;
            if (i < f.size() && f[i] == L'*') {
                const tk_fmt_arg* a = take();
                int64_t p = a ? as_int(*a) : 0;
                sp.precision = p < 0 ? -1 : static_cast<int>(std::min<int64_t>(p, 4096));
                ++i;
            } else {
                while (i < f.size() && f[i] >= L'0' && f[i] <= L'9')
                    sp.precision = std::min(sp.precision * 10 + (f[i++] - L'0'), 4096);
            }
        }
        // Length modifiers say nothing here: each argument carries its own type.
        while (i < f.size()) {
            if (f.compare(i, 3, L"I64") == 0 || f.compare(i, 3, L"I32") == 0) {
                i += 3;
            } else if (f[i] == L'h' || f[i] == L'l' || f[i] == L'L' || f[i] == L'q' ||
                       f[i] == L'j' || f[i] == L'z' || f[i] == L't' || f[i] == L'I' ||
                       f[i] == L'w') {
                ++i;
            } else {
                break;
            }
        }
        if (i >= f.size()) {
            out.append(f, start, std::wstring::npos);
            break;
        }
        sp.conv = f[i++];
        switch (sp.conv) {
            case L'd':
            case L'i':
            case L'u':
            case L'x':
            case L'X':
            case L'o':
            case L'p':
            case L'c':
            case L'C':
            case L's':
            case L'S':
            case L'e':
            case L'E':
            case L'f':
            case L'F':
            case L'g':
            case L'G':
            case L'a':
            case L'A':
                break;
            default:
                // Unknown conversion: keep the text as written.
                out.append(f, start, i - start);
                continue;
        }
        const tk_fmt_arg* a = take();
        if (!a) continue;
        bool is_text = a->kind == tk_fmt_arg::k_str || a->kind == tk_fmt_arg::k_wstr;
        if (sp.conv == L'c' || sp.conv == L'C') {
            std::wstring ch;
            if (is_text) {
                std::wstring s = format_string(*a, conv_spec{});
                if (!s.empty()) ch.assign(1, s[0]);
            } else {
                uint64_t v =
                    a->kind == tk_fmt_arg::k_unsigned ? a->u : static_cast<uint64_t>(as_int(*a));
                if (a->bits == 8) v &= 0xFF;
                ch.assign(1, static_cast<wchar_t>(v));
            }
            pad_out(out, ch, sp, false);
        } else if (is_text) {
            pad_out(out, format_string(*a, sp), sp, false);
        } else if (sp.conv == L's' || sp.conv == L'S') {
            conv_spec num = sp;
            num.conv = L'd';
            num.precision = -1;
            if (a->kind == tk_fmt_arg::k_double) {
                num.conv = L'g';
                pad_out(out, format_double(a->d, num), num, true);
            } else {
                pad_out(out, format_integer(*a, num), num, true);
            }
        } else if (a->kind == tk_fmt_arg::k_double) {
            wchar_t lc = lower_ascii(sp.conv);
            if (lc == L'e' || lc == L'f' || lc == L'g' || lc == L'a') {
                pad_out(out, format_double(a->d, sp), sp, !sp.left);
            } else {
                tk_fmt_arg t;
                t.kind = tk_fmt_arg::k_signed;
                t.i = static_cast<int64_t>(a->d);
                pad_out(out, format_integer(t, sp), sp, true);
            }
        } else {
            wchar_t lc = lower_ascii(sp.conv);
            if (lc == L'e' || lc == L'f' || lc == L'g' || lc == L'a') {
                double d = a->kind == tk_fmt_arg::k_signed ? static_cast<double>(a->i)
                                                           : static_cast<double>(a->u);
                pad_out(out, format_double(d, sp), sp, true);
            } else {
                if (sp.conv == L'p' && sp.precision < 0) sp.precision = 16;
                pad_out(out, format_integer(*a, sp), sp, true);
            }
        }
    }
    return out;
}

}  // namespace

std::string tk_vformat(std::string_view fmt, std::span<const tk_fmt_arg> args) {
    return pt::utf8_encode(format_core(fmt, args));
}

std::string tk_vformat(std::wstring_view fmt, std::span<const tk_fmt_arg> args) {
    return pt::utf8_encode(format_core(fmt, args));
}

std::wstring tk_vwformat(std::wstring_view fmt, std::span<const tk_fmt_arg> args) {
    return format_core(fmt, args);
}
