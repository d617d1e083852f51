#include "SQL/sql_sch.hpp"

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"

namespace {

constexpr uint32_t max_row = 65535;
constexpr int32_t max_varchar = 21844;
constexpr int32_t huge_column = 5592405;
// What the server counts in the row for a column kept outside it.
constexpr uint32_t lob_pointer = 12;

// Columns written as TEXT or BLOB types, which the row holds by pointer only.
bool is_kept_outside_row(const t_ftd& c) {
    if (udb_is_text_vt(c.vartype))
        return udb_is_geometry_mark(c) || c.size <= 0 || c.size > max_varchar;
    if (c.vartype == VT_UI1_ARRAY) return c.size <= 0 || c.size > 255;
    return c.vartype == VT_BLOB || c.vartype == VT_BLOB_OBJECT;
}

}  // namespace

sql_schema::sql_schema() : udb_schema(true) {
    tk_log_printf(2, "sql_schema::ctor");
}

void sql_schema::push_back(std::unique_ptr<t_ftd> column) {
    if (!column) throw tk_mail_assertion("sql_sch", 24);
    tk_log_wprintf(2, L"sql_schema::push_back(%s, size=%d)", column->name, column->size);
    const t_ftd& c = *column;
    if (is_kept_outside_row(c)) {
        total_size_ += lob_pointer;
    } else if (udb_is_text_vt(c.vartype)) {
        tk_log_printf(2, "Special processing for string values");
        // Among equal sizes the newest comes first.
        size_t place = 0;
        while (place < lobs_.size() && c.size < (*this)[lobs_[place]].size) ++place;
        tk_log_printf(2, "Insert new column into 'lobs' at pos=%d", place);
        lobs_.insert(lobs_.begin() + static_cast<std::ptrdiff_t>(place),
                     static_cast<uint32_t>(size()));
        total_size_ += static_cast<uint32_t>(c.size) * 4;
    } else if (c.size > 0 && c.size < huge_column) {
        total_size_ += static_cast<uint32_t>(c.size);
    }
    udb_schema::push_back(std::move(column));

    if (total_size_ <= max_row) return;
    tk_log_printf(2, "Schema total size %d exceeds %d bytes, transforming schema...", total_size_,
                  max_row);
    while (!lobs_.empty() && total_size_ > max_row) {
        t_ftd& widest = (*this)[lobs_.front()];
        tk_log_wprintf(3, L"Column '%s' converted into LONG TEXT", widest.name);
        const uint32_t amount = static_cast<uint32_t>(widest.size) * 4;
        tk_log_printf(2, "Decreasing total size at %d bytes", amount);
        total_size_ = amount < total_size_ ? total_size_ - amount : 0;
        tk_log_printf(2, "New total_size = %d", total_size_);
        widest.size = 0;
        lobs_.erase(lobs_.begin());
    }
}
