#include "dbf/dbf_dbc.hpp"

#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "dbf/dbf_except.hpp"
#include "platform/text.hpp"

namespace {

int ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// The first n characters of a UTF-8 name.
std::string first_chars(const std::string& name, size_t n) {
    std::wstring w = pt::utf8_decode(name);
    if (w.size() > n) w.resize(n);
    return pt::utf8_encode(w);
}

}  // namespace

bool dbf_name_less::operator()(const std::string& a, const std::string& b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int x = ascii_lower(static_cast<unsigned char>(a[i]));
        int y = ascii_lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

dbf_dbc::dbf_dbc(const std::wstring& full_path, uint8_t user_code_page)
    : dbf_recordset(full_path, udb_open_read, user_code_page) {
    tk_log_printf(2, "dbf_dbc::ctor");
    initialize();
}

dbf_dbc::~dbf_dbc() = default;

const dbf_dbc::field_map* dbf_dbc::find_table(const std::string& table) const {
    auto it = tables_.find(table);
    return it == tables_.end() ? nullptr : &it->second;
}

void dbf_dbc::initialize() {
    tk_log_printf(2, "dbf_dbc::initialize");
    if (get_schema().size() < 4) {
        // Not a container this reader understands: say so once, and rename nothing.
        dbf_exception e("Database container has fewer than four columns", tk_kind_continue);
        if (error_handler* handler = error_handler::find()) {
            handler->set_context(name_);
            handler->handle(e, false);
        } else {
            tk_log_printf(3, "%s", e.what());
        }
        return;
    }
    for (reset(); !is_eof(); next()) {
        auto* row = static_cast<dbf_record*>(get_item());
        tk_log_printf(1, "r->size=%d", row->size());
        // Deleted objects stay in the container until it is packed.
        if (row->is_deleted() || row->size() < 4) continue;
        int32_t id = (*row)[0].to_long();
        int32_t parent = (*row)[1].to_long();
        tk_log_printf(1, "id=%d, parent_id=%d", id, parent);
        std::string type = tk_string((*row)[2].to_string()).trim();
        std::string name = tk_string((*row)[3].to_string()).trim();
        tk_log_printf(1, "obj_type=%s", type);
        tk_log_printf(1, "tk_string::compare_no_case");
        if (tk_iequal(pt::utf8_decode(type), L"Table")) {
            tk_log_printf(1, "Got table '%s'", name);
            ids_[id] = name;
            continue;
        }
        tk_log_printf(1, "tk_string::compare_no_case");
        if (!tk_iequal(pt::utf8_decode(type), L"Field")) continue;
        auto owner = ids_.find(parent);
        if (owner == ids_.end()) {
            tk_log_printf(2, "Parent table not found, got field '%s'", name);
            continue;
        }
        tk_log_printf(2, "Got field '%s.%s'", owner->second, name);
        bool is_new = tables_.find(owner->second) == tables_.end();
        field_map& fields = tables_[owner->second];
        tk_log_printf(1, "is_new(fn_map_pair->second)=%d", is_new);
        std::string short_form = first_chars(name, 10);
        auto it = fields.find(short_form);
        if (it != fields.end()) {
            if (!dbf_name_less()(it->second, name) && !dbf_name_less()(name, it->second)) {
                tk_log_printf(1, "Mapping for column name exists, skip it");
                continue;
            }
            tk_log_printf(1, "Name '%s' exists, generate another short form", short_form);
            std::string stem = first_chars(name, 9);
            short_form.clear();
            for (int digit = 2; digit <= 9; ++digit) {
                std::string candidate = tk_format("%s%d", stem, digit);
                if (fields.find(candidate) == fields.end()) {
                    short_form = candidate;
                    tk_log_printf(1, "New short form: %s", short_form);
                    break;
                }
            }
            if (short_form.empty()) continue;
        }
        fields.emplace(short_form, name);
        tk_log_printf(2, "Inserted: (%s, {%s->%s})", owner->second, short_form, name);
    }
    reset();
}
