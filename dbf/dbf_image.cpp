#include "dbf/dbf_image.hpp"

#include <algorithm>
#include <cstring>

#include "TK/tk_except.hpp"
#include "TK/tk_bytes.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_format.hpp"

bool dbf_is_vfp_table(const std::vector<dbf_field_descriptor>& fields) {
    return std::any_of(fields.begin(), fields.end(), [](const dbf_field_descriptor& fd) {
        return fd.letter() == 'B' || fd.letter() == 'T';
    });
}

dbf_table_image dbf_new_table_image(const udb_schema& schema, const std::tm& date) {
    auto too_big = [] {
        return tk_exception("Table has too many or too wide fields for DBF", tk_kind_continue);
    };
    // dBASE and FoxPro open no table of more fields.
    const size_t n = schema.size();
    if (n > dbf_max_fields) throw too_big();
    std::vector<dbf_field_descriptor> fields = dbf_table_fields(schema);
    const bool vfp = dbf_is_vfp_table(fields);
    const uint32_t terminator = dbf_header_size + dbf_descriptor_size * static_cast<uint32_t>(n);
    const uint32_t header_length = terminator + 1 + (vfp ? dbf_vfp_backlink_size : 0);

    dbf_table_image image;
    image.bytes.assign(header_length, 0);
    uint8_t* const h = image.bytes.data();
    // Where each field starts in the record, the deletion flag being byte 0. Visual
    // FoxPro counts the displacement from there; dBASE and FoxPro leave the flag out.
    uint64_t start = 1;
    for (size_t i = 0; i < n; ++i) {
        dbf_field_descriptor& fd = fields[i];
        tk_put_le32(fd.bytes.data() + 12, static_cast<uint32_t>(vfp ? start : start - 1));
        std::memcpy(h + dbf_header_size + dbf_descriptor_size * i, fd.bytes.data(),
                    dbf_descriptor_size);
        if (dbf_is_memo_letter(fd.letter())) {
            image.has_memo = true;
            start += fd.length();
        } else {
            start += dbf_get_size_1(fd);
        }
        if (start > 0xFFFF) throw too_big();
    }
    h[0] = vfp ? dbf_version_vfp : image.has_memo ? dbf_version_fox_memo : dbf_version_dbase3;
    h[1] = static_cast<uint8_t>((date.tm_year + 1900) % 100);
    h[2] = static_cast<uint8_t>(date.tm_mon + 1);
    h[3] = static_cast<uint8_t>(date.tm_mday);
    tk_put_le16(h + 8, static_cast<uint16_t>(header_length));
    tk_put_le16(h + 10, static_cast<uint16_t>(start));
    if (vfp && image.has_memo) h[28] = dbf_flag_memo;
    h[terminator] = dbf_header_terminator;
    return image;
}
