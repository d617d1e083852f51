// printf-style formatting that reads the format at run time, MSVC style ("%s" is a
// string of whatever width the argument has, "%I64d", "%ld" for 32-bit values), but
// formats each argument by its C++ type, so a mismatch can never read garbage.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

struct tk_fmt_arg {
    enum kind_t : uint8_t { k_signed, k_unsigned, k_double, k_str, k_wstr } kind;
    uint8_t bits = 64;  // width of an integer argument, for %x of a negative value
    union {
        int64_t i;
        uint64_t u;
        double d;
        const char* s;
        const wchar_t* ws;
    };
    size_t len = 0;  // string length

    tk_fmt_arg() : kind(k_signed), i(0) {}
};

namespace tk_fmt_detail {

template <class T>
tk_fmt_arg make(const T& v) {
    using U = std::remove_cvref_t<T>;
    tk_fmt_arg a;
    if constexpr (std::is_same_v<U, bool>) {
        a.kind = tk_fmt_arg::k_signed;
        a.i = v ? 1 : 0;
        a.bits = 32;
    } else if constexpr (std::is_enum_v<U>) {
        return make(static_cast<std::underlying_type_t<U>>(v));
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        a.kind = tk_fmt_arg::k_signed;
        a.i = static_cast<int64_t>(v);
        a.bits = sizeof(U) * 8;
    } else if constexpr (std::is_integral_v<U>) {
        a.kind = tk_fmt_arg::k_unsigned;
        a.u = static_cast<uint64_t>(v);
        a.bits = sizeof(U) * 8;
    } else if constexpr (std::is_floating_point_v<U>) {
        a.kind = tk_fmt_arg::k_double;
        a.d = static_cast<double>(v);
    } else if constexpr (std::is_convertible_v<const U&, std::string_view>) {
        std::string_view sv(v);
        a.kind = tk_fmt_arg::k_str;
        a.s = sv.data();
        a.len = sv.size();
    } else if constexpr (std::is_convertible_v<const U&, std::wstring_view>) {
        std::wstring_view sv(v);
        a.kind = tk_fmt_arg::k_wstr;
        a.ws = sv.data();
        a.len = sv.size();
    } else if constexpr (std::is_pointer_v<U> || std::is_null_pointer_v<U>) {
        a.kind = tk_fmt_arg::k_unsigned;
        a.u = reinterpret_cast<uintptr_t>(v);
    } else {
        static_assert(sizeof(U) == 0, "tk_format: unsupported argument type");
    }
    return a;
}

// A null C string prints as "(null)", never a crash.
inline tk_fmt_arg make(const char* v) {
    return make(std::string_view(v ? v : "(null)"));
}
inline tk_fmt_arg make(char* v) {
    return make(static_cast<const char*>(v));
}
inline tk_fmt_arg make(const wchar_t* v) {
    return make(std::wstring_view(v ? v : L"(null)"));
}
inline tk_fmt_arg make(wchar_t* v) {
    return make(static_cast<const wchar_t*>(v));
}

}  // namespace tk_fmt_detail

// The formatted text as UTF-8 (narrow strings are taken as UTF-8).
std::string tk_vformat(std::string_view fmt, std::span<const tk_fmt_arg> args);
std::string tk_vformat(std::wstring_view fmt, std::span<const tk_fmt_arg> args);
std::wstring tk_vwformat(std::wstring_view fmt, std::span<const tk_fmt_arg> args);

template <class... A>
std::string tk_format(std::string_view fmt, const A&... a) {
    const tk_fmt_arg args[sizeof...(A) + 1] = {tk_fmt_detail::make(a)...};
    return tk_vformat(fmt, std::span<const tk_fmt_arg>(args, sizeof...(A)));
}

template <class... A>
std::wstring tk_wformat(std::wstring_view fmt, const A&... a) {
    const tk_fmt_arg args[sizeof...(A) + 1] = {tk_fmt_detail::make(a)...};
    return tk_vwformat(fmt, std::span<const tk_fmt_arg>(args, sizeof...(A)));
}
