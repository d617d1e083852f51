#include "dbf/dbf_cp.hpp"

#include <algorithm>
#include <mutex>

#include "TK/tk_log.hpp"
#include "platform/text.hpp"

const std::map<uint8_t, uint32_t>& dbf_code_page_map() {
    static const std::map<uint8_t, uint32_t> map = {
        {0x00, 0},     {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x26, 866},
        {0x57, 1251},  {0x64, 852},  {0x65, 866},  {0x66, 865},  {0x67, 861},   {0x68, 895},
        {0x69, 620},   {0x6A, 737},  {0x6B, 857},  {0x7E, 1256}, {0x96, 10007}, {0x97, 10029},
        {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},
    };
    return map;
}

uint32_t dbf_get_codepage(uint8_t mark) {
    tk_log_printf(2, "dbf_recordset::get_codepage");
    const auto& map = dbf_code_page_map();
    auto it = map.find(mark);
    return it == map.end() ? 0 : it->second;
}

int dbf_effective_code_page(uint32_t code_page) {
    int cp = static_cast<int>(code_page);
    // Text inside DBF files is never UTF-8, and only single-byte pages have tables here.
    if (cp == 0 || pt::is_system_code_page(cp) || !pt::is_supported_code_page(cp))
        return pt::dbf_code_page();
    return pt::resolve_code_page(cp);
}

dbf_codec::dbf_codec(int cp) : cp_(cp), encode_(new uint8_t[65536]()) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[static_cast<size_t>(b)] = static_cast<char>(b);
    std::wstring wide;
    std::string back;
    if (!pt::cp_decode(cp, all, wide) || wide.size() != 256 || !pt::cp_encode(cp, wide, back)) {
        for (int b = 0; b < 256; ++b) decode_[static_cast<size_t>(b)] = static_cast<wchar_t>(b);
        back = all;
    } else {
        for (int b = 0; b < 256; ++b)
            decode_[static_cast<size_t>(b)] = wide[static_cast<size_t>(b)];
    }
    // A byte is written only for the character it stands for. Bytes the page leaves
    // undefined still decode, but do not encode back, so nothing is written as them.
    for (int b = 0x80; b < 256; ++b) {
        auto u = static_cast<uint32_t>(decode_[static_cast<size_t>(b)]);
        if (static_cast<uint8_t>(back[static_cast<size_t>(b)]) == b && u >= 0x80 && u <= 0xFFFF)
            encode_[u] = static_cast<uint8_t>(b);
    }
}

const dbf_codec& dbf_codec::get(uint32_t code_page) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<dbf_codec>> codecs;
    int cp = dbf_effective_code_page(code_page);
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = codecs[cp];
    if (!slot) slot = std::make_unique<dbf_codec>(cp);
    return *slot;
}

std::string dbf_codec::encode(std::wstring_view text) const {
    std::string out(text.size(), '\0');
    encode_into(text, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

size_t dbf_codec::encode_into(std::wstring_view text, uint8_t* out) const {
    const wchar_t* in = text.data();
    const size_t n = text.size();
    size_t i = 0, lacked = 0;
    while (i < n) {
        i += pt::narrow_ascii(in + i, n - i, out + i);
        // Then character by character, 16 at most.
        for (const size_t stop = std::min(n, i + 16); i < stop; ++i)
            if (!encode_char(in[i], out[i])) {
                out[i] = '?';
                ++lacked;
            }
    }
    return lacked;
}

dbf_codec::encoded dbf_codec::encode_utf8_into(std::string_view utf8, uint8_t* out,
                                               size_t max_chars) const {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    size_t i = 0, k = 0, lacked = 0;
    while (i < n && k < max_chars) {
        // ASCII is the same bytes in every code page: whole blocks of it at a time.
        const size_t run = pt::copy_ascii(utf8.data() + i, std::min(n - i, max_chars - k), out + k);
        i += run;
        k += run;
        // Then character by character, 16 bytes' worth at most.
        for (const size_t stop = std::min(n, i + 16); i < stop && k < max_chars; ++k) {
            if (s[i] < 0x80) {
                out[k] = s[i++];
                continue;
            }
            wchar_t c;
            if (s[i] >= 0xC2 && s[i] <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
                // Two bytes, the letters of most single-byte code pages, read here.
                c = static_cast<wchar_t>(((s[i] & 0x1F) << 6) | (s[i + 1] & 0x3F));
                i += 2;
            } else {
                bool ill_formed = false;
                c = pt::utf8_decode_multibyte(s, n, i, ill_formed);
            }
            if (!encode_char(c, out[k])) {
                out[k] = '?';
                ++lacked;
            }
        }
    }
    return {k, i, lacked};
}

std::wstring dbf_codec::decode(std::string_view bytes) const {
    std::wstring out(bytes.size(), L'\0');
    for (size_t i = 0; i < bytes.size(); ++i) out[i] = decode_[static_cast<uint8_t>(bytes[i])];
    return out;
}
