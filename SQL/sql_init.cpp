#include "SQL/sql_init.hpp"

#include "SQL/sql_util.hpp"
#include "SQL/sql_val.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_rule.hpp"
#include "platform/text.hpp"

namespace {

constexpr int32_t max_varchar = 21844;
// Text columns longer than this cannot be key parts whole: 768 characters of four
// bytes fill the largest key.
constexpr int32_t max_key_text = 768;

// Auto-number is allowed for the integer types and Booleans (bit set 0xFF080C).
bool can_auto_number(VARTYPE vt) {
    return vt < 24 && ((0xFF080Cu >> vt) & 1u) != 0;
}

bool is_lob_for_key(const t_ftd& c) {
    if (c.vartype == VT_BLOB || c.vartype == VT_BLOB_OBJECT) return true;
    // VARBINARY(n) keys are common (binary UUIDs); only the BLOB sizes are refused.
    if (c.vartype == VT_UI1_ARRAY) return c.size <= 0 || c.size > 255;
    if (udb_is_text_vt(c.vartype))
        return udb_is_geometry(c) || c.size <= 0 || c.size > max_key_text;
    return false;
}

}  // namespace

uint32_t sql_key_length_limit(uint32_t version, const std::wstring& storage_engine) {
    if (version < 0x040100) return 256;
    if (!tk_iequal(storage_engine, L"InnoDB")) return 1000;
    // Large prefixes are the default from MariaDB 10.2.2 and MySQL 5.7.7 on.
    bool large = version >= 0x0A0202 || (version >= 0x050707 && version < 0x0A0000);
    return large ? 3072 : 767;
}

int sql_bytes_per_char(const std::wstring& charset) {
    static const wchar_t* const single_byte[] = {
        L"latin1", L"latin2", L"latin5", L"latin7", L"ascii", L"cp1250",   L"cp1251", L"cp1256",
        L"cp1257", L"cp850",  L"cp852",  L"cp866",  L"koi8r", L"koi8u",    L"greek",  L"hebrew",
        L"tis620", L"swe7",   L"dec8",   L"hp8",    L"macce", L"macroman", L"binary"};
    if (tk_iequal(charset, L"utf8") || tk_iequal(charset, L"utf8mb3")) return 3;
    if (tk_iequal(charset, L"ucs2")) return 2;
    for (const wchar_t* name : single_byte)
        if (tk_iequal(charset, name)) return 1;
    return 4;
}

// --- Columns ---

sql_schema_initializer::sql_schema_initializer(const std::wstring& table, const udb_schema& source,
                                               const udb_indexes& keys, std::wstring& auto_num)
    : table_(table), auto_num_(auto_num), keys_(keys), source_(source) {
    validator_ = sql_engine::instance().create_fn_validator(source);
    tk_log_printf(2, "sql_schema_initializer::ctor");
    for (size_t i = 0; i < source.size(); ++i) {
        const t_ftd& from = source[i];
        const bool acceptable = validator_->is_acceptable(from.name);
        const std::wstring name = acceptable ? from.name : validator_->get_safe_name(from.name);
        auto column = std::make_unique<t_ftd>(from);
        column->name = name;
        tk_log_wprintf(2, L"GOT FIELD: name=%s, type=%d, size=%d, flags=%d, description=%s", name,
                       column->vartype, column->size, column->reserved, column->description);
        schema_.push_back(std::move(column));
        if (!acceptable) {
            tk_log_wprintf(2, L"Store generated column name '%s'", name);
            validator_->add_existing_name(name);
            validator_->add_mapped_pair(from.name, name);
        }
        // A later column of the same name in another case gets a name of its own.
        validator_->reserved_words().push_back(name);
    }
}

std::wstring sql_schema_initializer::column_charset(const t_ftd& column,
                                                    const sql_table_properties* properties) {
    if (properties) {
        auto it = properties->columns.find(column.name);
        if (it != properties->columns.end()) {
            std::wstring own = sql_property(it->second, L"character_set");
            if (!own.empty()) return own;
        }
    }
    return sql_engine::instance().get_charset();
}

void sql_schema_initializer::get_init_chunks(std::vector<std::wstring>& out,
                                             const sql_table_properties* properties) {
    tk_log_printf(2, "sql_schema_initializer::get_init_chunks(n_columns=%d)", schema_.size());
    auto_num_.clear();
    const uint32_t version = sql_engine::instance().get_version();
    for (size_t i = 0; i < schema_.size(); ++i) {
        const t_ftd& c = schema_[i];
        tk_log_wprintf(2, L"Processing field '%s'", c.name);
        std::wstring clause = sql_engine::quote_name(c.name) + L" ";

        tk_log_wprintf(1, L"native_type=%s", c.aux_text);
        // A type text from a rule or from aux_text is typed by the caller, not taken from
        // data, and stands as it is.
        std::wstring type;
        if (udb_custom_conversion::is_acceptable1(c))
            type = udb_custom_conversion::handle1(c);
        else if (!c.aux_text.empty())
            type = c.aux_text;
        else
            type = get_sql_native_type2(c, version);
        clause += type;

        const bool textual = c.aux_text.empty()
                                 ? udb_is_text_vt(c.vartype) && !udb_is_geometry(c)
                                 : c.aux_text.find(L"CHAR") != std::wstring::npos ||
                                       c.aux_text.find(L"TEXT") != std::wstring::npos;
        if (textual && version >= 0x040100)
            clause += L" CHARACTER SET " + column_charset(c, properties);

        const bool is_auto = c.b_auto_num && can_auto_number(c.vartype);
        if (c.b_not_null || is_auto) {
            clause += L" NOT NULL";
        } else {
            tk_log_wprintf(1, L"udb_indexes::is_idx_field(%s)", source_[i].name);
            if (keys_.is_idx_field(source_[i].name, true)) {
                clause += L" NOT NULL";
            } else if (version < 0x031702 && keys_.is_idx_field(source_[i].name, false)) {
                clause += L" NOT NULL";
            }
        }

        tk_log_printf(1, "sql_schema_initializer::can_have_def_value");
        if (is_auto) {
            tk_log_printf(2, "WARNING: auto_increment columns cannot have default value!");
        } else if (c.vartype != VT_BLOB && c.vartype != VT_BLOB_OBJECT && !udb_is_geometry(c) &&
                   !(udb_is_text_vt(c.vartype) && (c.size <= 0 || c.size > max_varchar))) {
            std::wstring def = make_mysql_def_val(c, version);
            tk_log_wprintf(1, L"got def value: %s", def);
            if (!def.empty()) clause += L" DEFAULT " + def;
        }

        if (c.b_auto_num) {
            tk_log_printf(1, "sql_schema_initializer::can_have_auto_num");
            if (is_auto) {
                if (!auto_num_.empty()) throw tk_mail_assertion("sql_init", 140);
                auto_num_ = c.name;
                clause += L" AUTO_INCREMENT";
            }
        }

        if (!c.description.empty()) {
            tk_log_wprintf(1, L"Setting column's comment: '%s'", c.description);
            clause += L" COMMENT " +
                      pt::utf8_decode(sql_quote_literal(nullptr, pt::utf8_encode(c.description)));
        }
        tk_log_wprintf(2, L"sql_query=%s", clause);
        out.push_back(std::move(clause));
    }
    tk_log_printf(2, "sql_schema_initializer::get_init_chunks - END");
}

// --- Keys ---

sql_indexes_initializer::sql_indexes_initializer(const sql_schema& schema, const udb_indexes& keys,
                                                 const std::wstring& auto_num,
                                                 const sql_name_map& column_map, uint32_t key_limit,
                                                 const sql_table_properties* properties)
    : auto_num_(auto_num), schema_(schema), key_limit_(key_limit), properties_(properties) {
    tk_log_printf(2, "sql_indexes_initializer::ctor");
    validator_ = sql_engine::instance().create_in_validator(keys);
    for (const udb_index& key : keys) {
        tk_log_wprintf(2, L"Processing '%s'", key.name);
        const bool acceptable = key.name.empty() || validator_->is_acceptable(key.name);
        const std::wstring name = acceptable ? key.name : validator_->get_safe_name(key.name);
        if (!acceptable) tk_log_wprintf(2, L"new_name=%s", name);
        std::vector<std::wstring> fields;
        for (const auto& field : key.fields) {
            tk_log_wprintf(1, L"t_names_map::get_mapped_name(%s)", field);
            std::wstring mapped = field;
            for (const auto& [from, to] : column_map) {
                if (tk_iequal(from, field)) {
                    tk_log_wprintf(1, L"Got mapped name: %s", to);
                    mapped = to;
                    break;
                }
            }
            fields.push_back(std::move(mapped));
        }
        keys_.push_back(udb_index(name, key.unique, key.primary, fields));
        if (!acceptable) {
            tk_log_wprintf(2, L"Store generated index name '%s'", name);
            validator_->add_existing_name(name);
        }
        validator_->reserved_words().push_back(name);
    }
    tk_log_printf(2, "sql_indexes_initializer::ctor - END");
}

void sql_indexes_initializer::get_init_chunks(std::vector<std::wstring>& out) {
    tk_log_printf(2, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)", keys_.size());
    const uint32_t version = sql_engine::instance().get_version();
    const size_t max_keys = version >= 0x040100 ? 63 : 15;
    size_t processed = 0;
    bool auto_covered = auto_num_.empty();
    for (const udb_index& key : keys_) {
        tk_log_wprintf(2, L"Process index '%s'", key.name);
        if (key.fields.empty()) {
            tk_log_wprintf(3, L"Skip index '%s' as it is built on empty fields list", key.name);
            continue;
        }
        if (key.fields.size() > 16) {
            tk_log_printf(2, "Max number of indexes has been reached");
            continue;
        }
        std::wstring clause = key.primary ? L"PRIMARY KEY" : key.unique ? L"UNIQUE" : L"INDEX";
        if (!key.primary && !key.name.empty()) clause += L" " + sql_engine::quote_name(key.name);
        clause += L" (";
        uint32_t length = 0;
        bool written = true;
        for (size_t i = 0; i < key.fields.size() && written; ++i) {
            const std::wstring& field = key.fields[i];
            tk_log_wprintf(1, L"Process idx.field %s", field);
            if (i > 0) clause += L", ";
            clause += sql_engine::quote_name(field);
            const int at = schema_.find_index(field);
            if (at < 0) {
                tk_log_wprintf(2, L"Index column '%s' is not found", key.name);
                written = false;
                break;
            }
            const t_ftd& c = schema_[static_cast<size_t>(at)];
            if (is_lob_for_key(c)) {
                tk_log_wprintf(3, L"Index '%s' built on LOB column(s) is not allowed", key.name);
                written = false;
                break;
            }
            // The server counts bytes: characters times the widest character of the set.
            uint32_t part = c.size > 0 ? static_cast<uint32_t>(c.size) : 0;
            if (udb_is_text_vt(c.vartype))
                part *= static_cast<uint32_t>(
                    sql_bytes_per_char(sql_schema_initializer::column_charset(c, properties_)));
            length += part;
            if (length > key_limit_) {
                tk_log_wprintf(3, L"Index '%s' is too big, skip it", key.name);
                written = false;
            }
        }
        tk_log_wprintf(2, L"sql_query=%s", clause);
        if (written) {
            clause += L")";
            // Only a written key that begins with the auto-number column satisfies the
            // server; any other leaves the table refused.
            if (!auto_covered && tk_iequal(key.fields.front(), auto_num_)) {
                tk_log_printf(2, "Got index for auto_increment field");
                auto_covered = true;
            }
            out.push_back(std::move(clause));
        }
        if (++processed >= max_keys) break;
    }
    if (!auto_covered) {
        tk_log_printf(2, "Creating index for auto-field");
        const std::wstring name =
            validator_->is_acceptable(auto_num_) ? auto_num_ : validator_->get_safe_name(auto_num_);
        out.push_back(L"INDEX " + sql_engine::quote_name(name) + L" (" +
                      sql_engine::quote_name(auto_num_) + L")");
    }
}
