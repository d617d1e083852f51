// Recognising GUID texts.
#include <gtest/gtest.h>

#include "ole/ole_guid.hpp"

TEST(ole_guid_extractor, recognises_only_the_8_4_4_4_12_pattern) {
    const std::string g = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    struct {
        std::string in;
        const char* guid;  // empty when refused
    } cases[] = {
        {g, "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {"  " + g + "   ", "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {"{" + g + "}", "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {"3f2504e0-4f89-11d3-9a0c-0305e82c3301", "3f2504e0-4f89-11d3-9a0c-0305e82c3301"},
        {"guid={" + g + "}", "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {"GUID {" + g + "}", "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        {"guid {" + g, "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
        // Refused.
        {"3F2504E0-4F89-11D3-9A0C-0305E82C330G", ""},
        {"------------------------------------", ""},
        {"3F2504E04F8911D39A0C0305E82C33013F25", ""},
        {"3F2504E0-4F8911D3-9A0C-0305E82C3301-", ""},
        {"{3F2504E0-4F89-11D3-9A0C-0305E82C330}", ""},
        {"[" + g + "]", ""},
        {"id={" + g + "}", ""},
        {"guid={some text that is not a guid!!}", ""},
        {"guid={" + g.substr(0, 35), ""},
        {std::string(91 - g.size(), ' ') + g, ""},  // too long before trimming
        {"3F2504E0-4F89-11D3-9A0C", ""},
        {"guid={" + g + "}  and more text here", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        ole_guid_extractor x(c.in);
        EXPECT_EQ(x.is_valid(), *c.guid != 0) << c.in;
        EXPECT_EQ(x.get_guid(), c.guid) << c.in;
        ole_guid_extractor w(std::wstring(c.in.begin(), c.in.end()));
        EXPECT_EQ(w.get_guid(), c.guid) << c.in;
    }
    EXPECT_EQ(ole_guid_extractor(g).get_wguid(), L"3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    // 90 characters with the spaces are still looked at.
    EXPECT_TRUE(ole_guid_extractor(std::string(90 - g.size(), ' ') + g).is_valid());
}
