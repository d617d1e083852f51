#include "ole/ole_guid.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

constexpr size_t guid_length = 36;

bool is_hex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// 8-4-4-4-12 hexadecimal digits: only this shape is a GUID, so that ordinary text of
// the same length is never taken for one (and cut to 36 characters).
bool is_guid_text(std::wstring_view s) {
    if (s.size() != guid_length) return false;
    for (size_t i = 0; i < guid_length; ++i) {
        bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen_place ? s[i] != L'-' : !is_hex(s[i])) return false;
    }
    return true;
}

}  // namespace

ole_guid_extractor::ole_guid_extractor(std::string_view text) {
    tk_log_printf(1, "ole_guid_extractor::ctor(%s)", text);
    recognise(pt::utf8_decode(text));
}

ole_guid_extractor::ole_guid_extractor(std::wstring_view text) {
    recognise(text);
}

void ole_guid_extractor::recognise(std::wstring_view input) {
    if (input.size() > 90) {
        tk_log_printf(1, "Text is too long for GUID(1)");
        return;
    }
    text_ = tk_wstring(std::wstring(input)).trim();
    if (text_.size() < guid_length) {
        tk_log_printf(1, "Text is too short for GUID");
        return;
    }
    if (text_.size() > 45) {
        tk_log_printf(1, "Text is too long for GUID(2)");
        return;
    }
    std::wstring_view t(text_);
    if (t.size() == guid_length) {
        tk_log_printf(1, "Checking simple form (1)");
        valid_ = is_guid_text(t);
        if (valid_)
            position_ = 0;
        else
            tk_log_printf(1, "Simple form (1) of GUID is NOT valid");
        return;
    }
    if (t.size() == guid_length + 2 && t.front() == L'{' && t.back() == L'}') {
        tk_log_printf(1, "Checking simple form (2)");
        valid_ = is_guid_text(t.substr(1, guid_length));
        if (valid_)
            position_ = 1;
        else
            tk_log_printf(1, "Simple form (2) of GUID is NOT valid");
        return;
    }
    size_t lower = t.find(L"guid"), upper = t.find(L"GUID");
    tk_log_printf(1, "Locating 'guid' (%d : %d)",
                  lower == std::wstring_view::npos ? -1 : static_cast<int64_t>(lower),
                  upper == std::wstring_view::npos ? -1 : static_cast<int64_t>(upper));
    if (lower == std::wstring_view::npos && upper == std::wstring_view::npos) return;
    size_t from = (lower != std::wstring_view::npos ? lower : upper) + 4;
    size_t brace = t.find(L'{', from);
    if (brace == std::wstring_view::npos || t.size() - brace - 1 < guid_length) return;
    if (!is_guid_text(t.substr(brace + 1, guid_length))) return;
    tk_log_printf(1, "GUID is valid");
    valid_ = true;
    position_ = static_cast<int32_t>(brace + 1);
}

std::wstring ole_guid_extractor::get_wguid() const {
    if (!valid_) return std::wstring();
    if (text_.size() == guid_length) return text_;
    return text_.substr(static_cast<size_t>(position_), guid_length);
}

std::string ole_guid_extractor::get_guid() const {
    return pt::utf8_encode(get_wguid());
}
