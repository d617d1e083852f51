#include "tests/dbf/fuzz/dbf_fuzz_one.hpp"

#include <memory>
#include <string>
#include <vector>

#include "TK/tk_except.hpp"
#include "UDB/udb_rec.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_rs.hpp"
#include "tests/dbf/fuzz/dbf_fuzz_files.hpp"

namespace {

// Cuts the next piece: a 16-bit length, then up to that many bytes.
std::pair<const uint8_t*, size_t> piece(const uint8_t*& data, size_t& size) {
    size_t n = 0;
    if (size >= 2) {
        n = data[0] | (data[1] << 8);
        data += 2, size -= 2;
    } else {
        data += size, size = 0;
    }
    if (n > size) n = size;
    auto p = std::make_pair(data, n);
    data += n, size -= n;
    return p;
}

std::unique_ptr<udb_record> record_for(const udb_schema& schema, size_t start) {
    static const ole_variant values[] = {
        ole_variant(),
        ole_variant(int32_t{-123}),
        ole_variant(1e300),
        ole_variant(L"2024-01-15"),
        ole_variant(L"hello, world \u00e9\u20ac"),
        ole_variant(ole_date(std::string_view("1999-12-31 23:59:59"))),
        ole_variant(std::vector<uint8_t>{0, 1, 2, 0xFF}),
        ole_variant(L"-0.000123456789"),
    };
    auto r = std::make_unique<udb_record>();
    for (size_t i = 0; i < schema.size(); ++i)
        r->push_back(std::make_unique<udb_field>(schema[i].name, 0,
                                                 values[(start + i) % std::size(values)]));
    return r;
}

}  // namespace

std::string dbf_fuzz_one(const uint8_t* data, size_t size) {
    auto table = piece(data, size);
    auto memo = piece(data, size);
    // The same relative paths in every run, so that one input always takes the same course.
    dbf_fuzz_files files;
    files.add_folder("w");
    files.put("w/t.dbf", table.first, table.second);
    for (const char* n : {"w/t.fpt", "w/t.dbt", "w/t.smt", "w/t.dct", "w/c.dct"})
        files.put(n, memo.first, memo.second);
    files.put("w/c.dbc", data, size);

    // Records that fail on their own are the expected outcome of damaged bytes, unless
    // the failure is an internal error.
    auto record_step = [](auto&& step) {
        try {
            step();
        } catch (const dbf_exception& e) {
            if (e.kind() == tk_kind_internal) throw;
        }
    };
    std::string outcome = "refused: ";
    try {
        dbf_database db(L"w", udb_open_append, 0, true);
        {
            auto t = db.get_table(L"t", udb_open_read);
            for (t->reset(); !t->is_eof(); t->next()) {
                record_step([&] {
                    if (udb_record* r = t->get_item())
                        for (size_t i = 0; i < r->size(); ++i) (*r)[i].to_wstring();
                });
            }
        }
        outcome = "read, not appended to: ";
        auto t = db.get_table(L"t", udb_open_append);
        for (size_t start : {0, 3})
            record_step([&] { t->append_record(*record_for(t->get_schema(), start)); });
        for (t->reset(); !t->is_eof(); t->next()) record_step([&] { t->get_item(); });
        t->flush();
        // What was appended becomes part of the table, and reads back.
        outcome = "appended to, not committed: ";
        db.commit_table(*t);
        t = db.get_table(L"t", udb_open_read);
        outcome = "committed, not read again: ";
        for (t->reset(); !t->is_eof(); t->next()) record_step([&] { t->get_item(); });
    } catch (const tk_exception& e) {
        if (e.kind() == tk_kind_internal) outcome = "internal: ";
        return outcome + e.what();
    }
    return "read and appended to";
}
