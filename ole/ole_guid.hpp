// Recognises a GUID in a value's text: "8-4-4-4-12" hexadecimal digits, bare, in
// braces, or behind the word "guid" in braces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/oa/oa_types.hpp"

class ole_guid_extractor {
  public:
    // Narrow text is UTF-8.
    explicit ole_guid_extractor(std::string_view text);
    explicit ole_guid_extractor(std::wstring_view text);

    bool is_valid() const { return valid_; }
    // The 36-character GUID; empty when none was recognised.
    std::wstring get_wguid() const;
    std::string get_guid() const;

    // Only dates and texts can hold a GUID.
    static bool is_acceptable_vt(VARTYPE vt) { return vt == VT_DATE || vt == VT_BSTR; }

  private:
    void recognise(std::wstring_view input);

    int32_t position_ = -1;
    std::wstring text_;
    bool valid_ = false;
};
