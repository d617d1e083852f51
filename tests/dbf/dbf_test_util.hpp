// Helpers of the DBF engine's tests: columns, records and a destination folder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_errh.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_rs.hpp"
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

inline ole_variant date(const char* text) {
    return ole_variant(ole_date(std::string_view(text)));
}

// The files of a folder, sorted.
inline std::vector<std::wstring> files_in(const tmp_dir& d) {
    std::vector<std::wstring> names;
    tk_find_files(d.wpath(), L"*", names);
    return names;
}

// Every file of a folder with its bytes, to see that it is as it was.
inline std::map<std::wstring, std::string> folder_bytes(const tmp_dir& d) {
    std::map<std::wstring, std::string> files;
    for (const auto& name : files_in(d))
        files[name] = read_file_bytes(d.file(pt::utf8_encode(name)));
    return files;
}

// What a table being written holds on disk so far: a new table's is its temporary file.
inline std::string written_bytes(const dbf_recordset& t) {
    return read_file_bytes(pt::utf8_encode(t.get_name()));
}

inline std::string bytes_of(const std::string& s, size_t from, size_t n) {
    return s.size() >= from ? s.substr(from, n) : std::string();
}

// A destination folder with its database and an error handler that records reports.
class dbf_folder {
  public:
    dbf_folder() : handler_(error_handler_code_count, error_handler_codes) {
        reported_errors().clear();
    }
    const tmp_dir& dir() const { return dir_; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    dbf_database& open(uint8_t user_cp = 0) {
        db_.reset();
        db_ = std::make_unique<dbf_database>(dir_.wpath(), udb_open_append, user_cp, true);
        return *db_;
    }
    dbf_database& db() { return db_ ? *db_ : open(); }
    std::unique_ptr<dbf_recordset> create(const std::wstring& name, const std::vector<col>& cols) {
        udb_schema schema;
        fill_schema(schema, cols);
        auto rs = db().create_table(name, schema, udb_indexes());
        return std::unique_ptr<dbf_recordset>(static_cast<dbf_recordset*>(rs.release()));
    }
    // A new table that takes the place of the one of that name at commit.
    std::unique_ptr<dbf_recordset> replace(const std::wstring& name, const std::vector<col>& cols) {
        udb_schema schema;
        fill_schema(schema, cols);
        auto rs = db().replace_table(name, schema);
        return std::unique_ptr<dbf_recordset>(static_cast<dbf_recordset*>(rs.release()));
    }
    // Makes what was written the table (dbf_database::commit_table), then closes it.
    void commit(std::unique_ptr<dbf_recordset>& t) {
        db().commit_table(*t);
        t.reset();
    }
    std::unique_ptr<dbf_recordset> read(const std::string& file, uint32_t mode = udb_open_read) {
        return std::make_unique<dbf_recordset>(pt::utf8_decode(dir_.file(file)), mode, 0);
    }
    void close() { db_.reset(); }

  private:
    tmp_dir dir_;
    error_handler handler_;
    std::unique_ptr<dbf_database> db_;
};

// A file of the source tree.
inline std::string source_file(const std::string& path) {
    const char* root = std::getenv("TORVANE_SOURCE_DIR");
    return std::string(root ? root : ".") + "/" + path;
}

// What a shell command prints on standard output; its exit status in `status`.
inline std::string output_of(const std::string& command, int* status = nullptr) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int rc = pclose(p);
        if (status) *status = rc;
    }
    return out;
}

// A table as python3-dbfread, an independent reader, reads it: its record count, then
// one line per record.
inline std::string dbfread(const std::string& table) {
    return output_of("/usr/bin/python3 '" + source_file("tests/dbf/dbfread_check.py") + "' '" +
                     table + "' cp1252 2>&1");
}

// A DBF file made by hand, for the reader's tests.
struct raw_field {
    std::string name;
    char letter;
    uint8_t length;
    uint8_t decimals = 0;
};

inline std::string build_dbf(uint8_t version, const std::vector<raw_field>& fields,
                             const std::vector<std::string>& records, uint8_t flags = 0,
                             uint8_t mark = 0, const std::string& after_terminator = "") {
    uint32_t record_length = 1;
    for (const auto& f : fields)
        record_length += f.length + (f.letter == 'C' ? 256u * f.decimals : 0u);
    uint32_t header_length = 32 + 32 * static_cast<uint32_t>(fields.size()) + 1 +
                             static_cast<uint32_t>(after_terminator.size());
    std::string h(32, '\0');
    h[0] = static_cast<char>(version);
    h[1] = 24, h[2] = 1, h[3] = 15;
    h = with_le32(h, 4, static_cast<uint32_t>(records.size()));
    h = with_le16(h, 8, static_cast<uint16_t>(header_length));
    h = with_le16(h, 10, static_cast<uint16_t>(record_length));
    h[28] = static_cast<char>(flags);
    h[29] = static_cast<char>(mark);
    for (const auto& f : fields) {
        std::string d(32, '\0');
        d.replace(0, f.name.size(), f.name);
        d[11] = f.letter;
        d[16] = static_cast<char>(f.length);
        d[17] = static_cast<char>(f.decimals);
        h += d;
    }
    h += static_cast<char>(dbf_header_terminator);
    h += after_terminator;
    for (const auto& r : records) h += r;
    return h;
}

// An empty FPT: next free block 8, block size 64.
inline std::string empty_fpt() {
    return be32s(8) + be32s(64) + std::string(504, '\0');
}
// An empty dBASE DBT (and the header an SMT file passes for one): next free block 1.
inline std::string empty_dbt() {
    return le32s(1) + std::string(508, '\0');
}
