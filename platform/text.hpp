// Text conversions and name folding: our own stand-ins for the platform's code-page
// and locale services. Pure functions; no exceptions, no logging.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 on this platform");

namespace pt {

// Code page identifiers as the design spells them.
constexpr int cp_acp = 0;  // the system code page
constexpr int cp_oemcp = 1;
constexpr int cp_thread_acp = 3;
constexpr int cp_system = -1;  // callers' shorthand for cp_acp
constexpr int cp_utf8 = 65001;

// UTF-8 that never fails: every ill-formed sequence decodes to U+FFFD, and a
// character that UTF-8 cannot carry (a surrogate, a value past U+10FFFF) encodes as U+FFFD.
std::wstring utf8_decode(std::string_view in);
// The same, telling whether anything was ill-formed (and so replaced).
std::wstring utf8_decode(std::string_view in, bool& ill_formed);
// The same into `out`, whose storage is reused; true when anything was ill-formed.
bool utf8_decode_into(std::string_view in, std::wstring& out);
std::string utf8_encode(std::wstring_view in);

// The leading run of ASCII, in whole blocks of 16, widened (narrowed) from in to out;
// returns how many characters it did. The bulk of most texts goes this way.
size_t widen_ascii(const char* in, size_t n, wchar_t* out);
size_t narrow_ascii(const wchar_t* in, size_t n, unsigned char* out);
// The leading run of ASCII, in whole blocks of 16, copied from in to out; returns how
// many bytes it did.
size_t copy_ascii(const char* in, size_t n, unsigned char* out);
// What UTF-8 bytes hold, found in one pass: a NUL, bytes of 0x80 and above, and
// sequences that are not UTF-8 (which decode to U+FFFD).
struct utf8_scan {
    bool nul = false;
    bool ascii = true;
    bool ill_formed = false;
};
utf8_scan scan_utf8(std::string_view bytes);
// The characters that UTF-8 bytes decode to, counted as utf8_decode makes them.
size_t utf8_length(std::string_view bytes);
// Decodes the character that starts at s[i] with a byte of 0x80 or more and moves i past
// it; the maximal ill-formed subpart becomes one U+FFFD and sets ill_formed.
wchar_t utf8_decode_multibyte(const unsigned char* s, size_t n, size_t& i, bool& ill_formed);
void utf8_append(std::string& out, wchar_t c);

// The system code page is UTF-8, always (paths, console, messages, settings, logs).
bool is_system_code_page(int cp);

// The single-byte code page for text inside DBF files, chosen from the locale's
// language (LC_ALL, else LC_CTYPE, else LANG); 1252 when nothing else fits.
int dbf_code_page();
int dbf_code_page_for_locale(std::string_view locale_name);

// The code page a conversion really uses: the system code page ids give cp_utf8,
// and the DBF code pages the platform has no table for (895, 620, 10006) give
// dbf_code_page().
int resolve_code_page(int cp);

bool is_supported_code_page(int cp);

// Decode and encode in a code page. Only an unsupported code page fails (false,
// out untouched). Decoding never fails otherwise; encoding replaces a character
// the code page lacks with '?'.
bool cp_decode(int cp, std::string_view in, std::wstring& out);
bool cp_encode(int cp, std::wstring_view in, std::string& out);

// Simple case folding for names, independent of the environment's locale.
wchar_t fold_case(wchar_t c);
bool iequal(std::wstring_view a, std::wstring_view b);
// Three-way comparison after folding; < 0, 0, > 0.
int icompare(std::wstring_view a, std::wstring_view b);
bool is_alnum(wchar_t c);
bool is_alpha(wchar_t c);

}  // namespace pt
