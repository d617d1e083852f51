#include "platform/text.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <locale.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pt {

namespace {

constexpr wchar_t replacement = 0xFFFD;

struct sb_page {
    int cp;
    std::array<uint16_t, 128> high;     // what bytes 0x80..0xFF decode to
    std::array<uint64_t, 2> undefined;  // bytes the page leaves undefined, one bit each

    bool defined(int i) const { return !((undefined[i / 64] >> (i % 64)) & 1); }
};

const sb_page pages[] = {
#include "platform/cp_tables.inc"
};

// Reverse map of one page: code points with their bytes, sorted by code point. Bytes the
// page leaves undefined are not in it: they decode, but nothing is encoded as them.
struct sb_reverse {
    std::array<std::pair<uint16_t, uint8_t>, 128> entries;
    size_t size = 0;
};

const sb_page* find_page(int cp) {
    for (const auto& p : pages)
        if (p.cp == cp) return &p;
    return nullptr;
}

const sb_reverse& reverse_of(const sb_page& page) {
    // Built once per page on first use; the tables never change.
    static std::array<sb_reverse, std::size(pages)> rev = [] {
        std::array<sb_reverse, std::size(pages)> r{};
        for (size_t i = 0; i < std::size(pages); ++i) {
            for (int b = 0; b < 128; ++b)
                if (pages[i].defined(b))
                    r[i].entries[r[i].size++] = {pages[i].high[b], static_cast<uint8_t>(0x80 + b)};
            // Stable so that the first byte of a code point mapped twice wins.
            std::stable_sort(r[i].entries.begin(), r[i].entries.begin() + r[i].size,
                             [](auto& x, auto& y) { return x.first < y.first; });
        }
        return r;
    }();
    return rev[&page - pages];
}

locale_t c_utf8() {
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!l) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
        return l;
    }();
    return loc;
}

}  // namespace

std::wstring utf8_decode(std::string_view in) {
    bool ill_formed;
    return utf8_decode(in, ill_formed);
}

std::wstring utf8_decode(std::string_view in, bool& ill_formed) {
    std::wstring out;
    ill_formed = utf8_decode_into(in, out);
    return out;
}

size_t widen_ascii(const char* in, size_t n, wchar_t* out) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(b) != 0) break;  // a byte with its high bit set
        const __m128i lo = _mm_unpacklo_epi8(b, zero), hi = _mm_unpackhi_epi8(b, zero);
        auto* o = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(lo, zero));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lo, zero));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(hi, zero));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(hi, zero));
    }
#else
    for (; i + 16 <= n; i += 16) {
        uint64_t w[2];
        std::memcpy(w, in + i, 16);
        if ((w[0] | w[1]) & 0x8080808080808080u) break;
        for (int k = 0; k < 16; ++k) out[i + k] = static_cast<wchar_t>(in[i + k]);
    }
#endif
    return i;
}

size_t narrow_ascii(const wchar_t* in, size_t n, unsigned char* out) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi32(~0x7F);
    for (; i + 16 <= n; i += 16) {
        const auto* p = reinterpret_cast<const __m128i*>(in + i);
        const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1),
                      c = _mm_loadu_si128(p + 2), d = _mm_loadu_si128(p + 3);
        const __m128i any =
            _mm_and_si128(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) != 0xFFFF) break;
        // Every value is below 0x80, so the saturating packs keep it as it is.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
#else
    for (; i + 16 <= n; i += 16) {
        uint32_t any = 0;
        for (int k = 0; k < 16; ++k) any |= static_cast<uint32_t>(in[i + k]);
        if (any >= 0x80) break;
        for (int k = 0; k < 16; ++k) out[i + k] = static_cast<unsigned char>(in[i + k]);
    }
#endif
    return i;
}

namespace {

// Decodes the character that starts at s[i] with a byte of 0x80 or more and moves i past
// it. The maximal ill-formed subpart becomes one U+FFFD, as Windows and the Unicode
// standard's recommended practice do.
inline wchar_t decode_multibyte(const unsigned char* s, size_t n, size_t& i, bool& ill_formed) {
    const unsigned c = s[i];
    int len;
    uint32_t cp;
    unsigned lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        ill_formed = true;
        ++i;
        return replacement;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int m = 1; m < len; ++m, ++j) {
        unsigned b = j < n ? s[j] : 0;
        unsigned l = m == 1 ? lo : 0x80, h = m == 1 ? hi : 0xBF;
        if (j >= n || b < l || b > h) {
            ok = false;
            break;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i = j;
    ill_formed = ill_formed || !ok;
    return ok ? static_cast<wchar_t>(cp) : replacement;
}

}  // namespace

wchar_t utf8_decode_multibyte(const unsigned char* s, size_t n, size_t& i, bool& ill_formed) {
    return decode_multibyte(s, n, i, ill_formed);
}

size_t copy_ascii(const char* in, size_t n, unsigned char* out) {
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(b) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), b);
    }
#else
    for (; i + 16 <= n; i += 16) {
        uint64_t w[2];
        std::memcpy(w, in + i, 16);
        if ((w[0] | w[1]) & 0x8080808080808080u) break;
        std::memcpy(out + i, w, 16);
    }
#endif
    return i;
}

utf8_scan scan_utf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    utf8_scan r;
    size_t i = 0;
    unsigned nul = 0;
    while (i < n) {
#ifdef __SSE2__
        // Whole blocks of ASCII at a time; a NUL is ASCII too.
        const __m128i zero = _mm_setzero_si128();
        __m128i zeros = zero;
        for (; i + 16 <= n; i += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(b) != 0) break;
            zeros = _mm_or_si128(zeros, _mm_cmpeq_epi8(b, zero));
        }
        nul |= static_cast<unsigned>(_mm_movemask_epi8(zeros));
#endif
        // Then character by character, 16 bytes' worth at most.
        for (const size_t stop = std::min(n, i + 16); i < stop;) {
            if (s[i] < 0x80) {
                nul |= s[i] == 0;
                ++i;
            } else {
                r.ascii = false;
                decode_multibyte(s, n, i, r.ill_formed);
            }
        }
    }
    r.nul = nul != 0;
    return r;
}

size_t utf8_length(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0, count = 0;
    bool ill_formed = false;
    while (i < n) {
        // Every byte below 0x80 is one character, every other sequence one too.
        if (s[i] < 0x80)
            ++i;
        else
            decode_multibyte(s, n, i, ill_formed);
        ++count;
    }
    return count;
}

bool utf8_decode_into(std::string_view in, std::wstring& out) {
    out.clear();
    out.reserve(in.size());  // never more characters than bytes
    // Decoded into a small buffer and appended from there: appending spares the zero fill
    // that sizing the string first would cost.
    constexpr size_t chunk = 512;
    wchar_t buf[chunk];
    size_t k = 0;
    bool ill_formed = false;
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    size_t n = in.size(), i = 0;
    while (i < n) {
        if (chunk - k < 16) {
            out.append(buf, k);
            k = 0;
        }
        const size_t run = widen_ascii(in.data() + i, std::min(n - i, chunk - k), buf + k);
        i += run;
        k += run;
        if (chunk - k < 16) continue;
        // Then character by character, 16 bytes' worth at most.
        for (const size_t stop = std::min(n, i + 16); i < stop;) {
            if (s[i] < 0x80)
                buf[k++] = static_cast<wchar_t>(s[i++]);
            else
                buf[k++] = decode_multibyte(s, n, i, ill_formed);
        }
    }
    out.append(buf, k);
    return ill_formed;
}

void utf8_append(std::string& out, wchar_t wc) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = replacement;
    if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

std::string utf8_encode(std::wstring_view in) {
    std::string out;
    out.reserve(in.size());
    for (wchar_t c : in) utf8_append(out, c);
    return out;
}

bool is_system_code_page(int cp) {
    return cp == cp_acp || cp == cp_system || cp == cp_thread_acp || cp == cp_oemcp ||
           cp == cp_utf8;
}

int dbf_code_page_for_locale(std::string_view name) {
    std::string_view lang = name.substr(0, name.find_first_of("_.@"));
    struct entry {
        const char* lang;
        int cp;
    };
    static const entry map[] = {
        {"ru", 1251}, {"uk", 1251}, {"bg", 1251}, {"sr", 1251}, {"be", 1251}, {"mk", 1251},
        {"pl", 1250}, {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"sl", 1250}, {"hr", 1250},
        {"ro", 1250}, {"sq", 1250}, {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"he", 1255},
        {"ar", 1256}, {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257},
        {"vi", 1258}, {"th", 874},
    };
    for (const auto& e : map)
        if (lang == e.lang) return e.cp;
    return 1252;
}

int dbf_code_page() {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return dbf_code_page_for_locale(v);
    }
    return 1252;
}

int resolve_code_page(int cp) {
    if (is_system_code_page(cp)) return cp_utf8;
    if (cp == 895 || cp == 620 || cp == 10006) return dbf_code_page();
    return cp;
}

bool is_supported_code_page(int cp) {
    cp = resolve_code_page(cp);
    return cp == cp_utf8 || find_page(cp) != nullptr;
}

bool cp_decode(int cp, std::string_view in, std::wstring& out) {
    cp = resolve_code_page(cp);
    if (cp == cp_utf8) {
        out = utf8_decode(in);
        return true;
    }
    const sb_page* page = find_page(cp);
    if (!page) return false;
    std::wstring r(in.size(), L'\0');
    for (size_t i = 0; i < in.size(); ++i) {
        auto b = static_cast<unsigned char>(in[i]);
        r[i] = b < 0x80 ? static_cast<wchar_t>(b) : static_cast<wchar_t>(page->high[b - 0x80]);
    }
    out = std::move(r);
    return true;
}

bool cp_encode(int cp, std::wstring_view in, std::string& out) {
    cp = resolve_code_page(cp);
    if (cp == cp_utf8) {
        out = utf8_encode(in);
        return true;
    }
    const sb_page* page = find_page(cp);
    if (!page) return false;
    const sb_reverse& reverse = reverse_of(*page);
    const auto *first = reverse.entries.data(), *last = first + reverse.size;
    std::string r(in.size(), '\0');
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(in[i]);
        if (c < 0x80) {
            r[i] = static_cast<char>(c);
            continue;
        }
        char b = '?';
        if (c <= 0xFFFF) {
            auto it = std::lower_bound(first, last, c,
                                       [](const auto& e, uint32_t v) { return e.first < v; });
            if (it != last && it->first == c) b = static_cast<char>(it->second);
        }
        r[i] = b;
    }
    out = std::move(r);
    return true;
}

wchar_t fold_case(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    locale_t l = c_utf8();
    return l ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), l)) : c;
}

int icompare(std::wstring_view a, std::wstring_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = fold_case(a[i]), y = fold_case(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool iequal(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && icompare(a, b) == 0;
}

bool is_alnum(wchar_t c) {
    if (c < 0x80) return (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'z');
    locale_t l = c_utf8();
    return l && iswalnum_l(static_cast<wint_t>(c), l);
}

bool is_alpha(wchar_t c) {
    if (c < 0x80) return (c | 0x20) >= L'a' && (c | 0x20) <= L'z';
    locale_t l = c_utf8();
    return l && iswalpha_l(static_cast<wint_t>(c), l);
}

}  // namespace pt
