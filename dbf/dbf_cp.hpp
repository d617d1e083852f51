// Code pages of DBF files: the header's code-page mark, the Windows code page it
// names, and the byte codec that text and field names go through.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// The process-wide mark-to-code-page map, filled once.
const std::map<uint8_t, uint32_t>& dbf_code_page_map();
// The code page of a mark; 0 (the DBF code page) for a mark the map lacks.
uint32_t dbf_get_codepage(uint8_t mark);
// The single-byte code page that text really goes through: 0, and any code page
// the platform has no table for, mean the DBF code page of the environment.
int dbf_effective_code_page(uint32_t code_page);

// Byte codec of one single-byte code page, built once per code page and shared.
class dbf_codec {
  public:
    // The codec of a code page as dbf_effective_code_page resolves it.
    static const dbf_codec& get(uint32_t code_page);

    int code_page() const { return cp_; }
    // The byte of a character; false when the code page lacks it.
    bool encode_char(wchar_t c, uint8_t& out) const {
        auto u = static_cast<uint32_t>(c);
        if (u < 0x80) {
            out = static_cast<uint8_t>(u);
            return true;
        }
        if (u > 0xFFFF || !encode_[u]) return false;
        out = encode_[u];
        return true;
    }
    // As Windows does, a character the code page lacks becomes '?'.
    uint8_t encode_or_question(wchar_t c) const {
        uint8_t b;
        return encode_char(c, b) ? b : static_cast<uint8_t>('?');
    }
    std::string encode(std::wstring_view text) const;
    // Encodes text.size() characters into out, '?' for those the code page lacks; the
    // number of those.
    size_t encode_into(std::wstring_view text, uint8_t* out) const;
    // Encodes UTF-8 text into out in one pass, at most max_chars characters, '?' for
    // those the code page lacks (bytes that are not UTF-8 among them: they read as
    // U+FFFD, which no single-byte code page has).
    struct encoded {
        size_t chars;   // the characters written
        size_t bytes;   // the bytes of the text they took
        size_t lacked;  // those of them the code page lacks
    };
    encoded encode_utf8_into(std::string_view utf8, uint8_t* out, size_t max_chars) const;
    std::wstring decode(std::string_view bytes) const;

    explicit dbf_codec(int cp);

  private:
    int cp_;
    std::array<wchar_t, 256> decode_{};
    std::unique_ptr<uint8_t[]> encode_;  // 65536 entries; 0 = not in the code page
};
