// The value classes' trace lines, written when the logger asks for them.
#include <gtest/gtest.h>

#include <cmath>

#include "TK/tk_log.hpp"
#include "ole/ole_guid.hpp"
#include "ole/ole_var.hpp"
#include "tests/support/test_support.hpp"

TEST(ole_trace, lines_name_what_happened) {
    tmp_dir d;
    std::string f = d.file("trace.log");
    {
        tk_logger log(f.c_str(), true, 1, false);
        ole_variant v(L"yes");
        v.change_type(VT_BOOL);
        ole_variant(std::nan("")).to_string();
        ole_date("1:05");
        ole_date("31.12.2023");
        ole_date("07:15:00 PM");
        ole_variant::from_string("0x0A1", VT_UI1_ARRAY);
        ole_variant::from_string("abc", VT_DECIMAL);
        ole_variant::from_string("abc", VT_CY);
        ole_variant::from_wstring(L"12", VT_I8).to_long();
        ole_variant(CY{1}).to_double();
        ole_guid_extractor("guid={3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
        ole_variant c(ole_variant::from_string("2024-01-05 10:00:00.5", VT_DATE));
        ole_variant e;
        e = c;
    }
    std::string log = read_file_bytes(f);
    const char* lines[] = {
        "ole_variant::change_type(old=8,new=11)\r\n",
        "tk_string::compare_no_case\r\n",
        "Got NaN, replace it with 0\r\n",
        "Invalid date/time format: '1:05'\r\n",
        "Swap day and year: day=2023, year=31\r\n",
        "Format #2 succeeded (3 items)\r\n",
        "Incorrect BLOB (size is odd)\r\n",
        "ERROR: VarDecFromStr for 'abc' failed (hr=80020005)\r\n",
        "VarCyFromStr failed: 80020005\r\n",
        "ole_variant::from_wstring(12,20)\r\n",
        "ole_variant::ctor(hyper, 12)\r\n",
        "ole_variant::to_long(vt=00000014)\r\n",
        "from CURRECY: res=0.0001, hr=00000000\r\n",
        "Locating 'guid' (0 : -1)\r\n",
        "GUID is valid\r\n",
        "Got microseconds: 500000\r\n",
        "Processing VT_DATE\r\n",
    };
    for (const char* l : lines) EXPECT_NE(log.find(l), std::string::npos) << l;
}
