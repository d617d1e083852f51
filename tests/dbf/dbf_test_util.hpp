// Helpers of the DBF engine's tests: columns, records and a destination folder.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_errh.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"
#include "platform/oa/oa_dec.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text.hpp"
#include "tests/support/test_support.hpp"

// One column of a source schema.
struct col {
    std::wstring name;
    VARTYPE vt;
    int32_t size = 0;
    int32_t reserved = 0;
    int32_t precision = 0;
    int32_t scale = 0;
};

inline void fill_schema(udb_schema& schema, const std::vector<col>& cols) {
    for (const auto& c : cols) {
        t_ftd f(c.size, c.name, c.vt, false, false, ole_variant(), c.reserved);
        f.precision = c.precision;
        f.scale = c.scale;
        schema.push_back(f);
    }
}

inline std::unique_ptr<udb_record> make_record(const std::vector<ole_variant>& values) {
    auto r = std::make_unique<udb_record>();
    for (size_t i = 0; i < values.size(); ++i)
        r->push_back(std::make_unique<udb_field>(L"f" + std::to_wstring(i), 0, values[i]));
    return r;
}

inline ole_variant dec(const char* text) {
    DECIMAL d;
    oa::decimal_from_string(text, d);
    return ole_variant(d);
}

inline ole_variant date(const char* text) { return ole_variant(ole_date(std::string_view(text))); }

inline std::string bytes_of(const std::string& s, size_t from, size_t n) {
    return s.size() >= from ? s.substr(from, n) : std::string();
}

// The text of a caught exception, and its kind (-1 for none).
template <class F>
std::pair<int, std::string> error_of(F&& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        return {e.kind(), e.what()};
    }
    return {-1, ""};
}
