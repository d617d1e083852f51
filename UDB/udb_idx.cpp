#include "UDB/udb_idx.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

udb_index::udb_index(const std::wstring& name, bool unique, bool primary,
                     const std::vector<std::wstring>& fields)
    : name(name), unique(unique), primary(primary), fields(fields) {
    tk_log_wprintf(1, L"udb_index::ctor('%s',%d,%d)", name, unique, primary);
}

bool udb_index::starts_with_fields(const std::vector<std::wstring>& columns) const {
    tk_log_wprintf(1, L"udb_index(%s)::starts_with_fields", name);
    tk_log_printf(1, "this.size=%d, that.size=%d", fields.size(), columns.size());
    if (fields.size() < columns.size()) {
        tk_log_printf(1, "starts_with_fields returns false");
        return false;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!tk_iequal(fields[i], columns[i])) {
            tk_log_wprintf(1, L"Field '%s' not found", columns[i]);
            return false;
        }
    }
    tk_log_printf(1, "starts_with_fields returns true");
    return true;
}

int udb_indexes::find(const std::wstring& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (tk_iequal(items_[i].name, name)) return static_cast<int>(i);
    return -1;
}

void udb_indexes::push_back(const udb_index& index) {
    tk_log_wprintf(2, L"udb_indexes::push_back(%s)", index.name);
    tk_log_printf(1, "udb_indexes::find2");
    int pos = find(index.name);
    if (pos < 0) {
        tk_log_printf(2, "Index does not exist, add it");
        items_.push_back(index);
        return;
    }
    tk_log_wprintf(1, L"udb_indexes::get_index(%s)", index.name);
    udb_index& existing = items_[static_cast<size_t>(pos)];
    // The strongest definition wins: primary key, then unique constraint, then unique.
    if (existing.primary) {
        tk_log_printf(2, "Primary key with the same name exists, skip it.");
    } else if (index.primary) {
        tk_log_printf(2, "Upgrade existing index to primary key.");
        existing = index;
    } else if (existing.unique_constraint) {
        tk_log_printf(2, "Unique constraint with the same name exists, skip it.");
    } else if (index.unique_constraint) {
        tk_log_printf(2, "Set unique constraint attributes for existing index.");
        existing = index;
        if (index.unique) tk_log_printf(2, "Unique index with the same name exists, skip it.");
    } else if (existing.unique) {
        tk_log_printf(2, "Unique index with the same name exists, skip it.");
    } else if (index.unique) {
        tk_log_printf(2, "Set unique attribute for existing index.");
        existing = index;
    }
}

bool udb_indexes::is_idx_field(const std::wstring& column, bool primary_only) const {
    tk_log_wprintf(1, L"udb_indexes::is_idx_field(%s)", column);
    for (const auto& index : items_) {
        if (primary_only && !index.primary) continue;
        for (const auto& field : index.fields) {
            if (field == column) {
                tk_log_printf(1, "index field");
                return true;
            }
        }
    }
    tk_log_printf(1, "non-index field");
    return false;
}

udb_relationship::udb_relationship(const std::wstring& name, const std::wstring& text2,
                                   const std::wstring& fk_table, const std::wstring& pk_table,
                                   const std::vector<std::wstring>& fk_flds,
                                   const std::vector<std::wstring>& pk_flds,
                                   const std::wstring& rule)
    : name(name),
      text2(text2),
      fk_table(fk_table),
      pk_table(pk_table),
      rule(rule),
      fk_flds(fk_flds),
      pk_flds(pk_flds) {}

udb_relationship::udb_relationship(const udb_relationship& that)
    : name(that.name),
      fk_table(that.fk_table),
      pk_table(that.pk_table),
      rule(that.rule),
      fk_flds(that.fk_flds),
      pk_flds(that.pk_flds) {
    tk_log_printf(2, "udb_relationship::copy ctor");
    tk_log_printf(2, "that.fk_flds.size=%d, fk_flds.size=%d", that.fk_flds.size(), fk_flds.size());
    tk_log_printf(2, "that.pk_flds.size=%d, pk_flds.size=%d", that.pk_flds.size(), pk_flds.size());
}

udb_relationship& udb_relationship::operator=(const udb_relationship& that) {
    if (this != &that) {
        name = that.name;
        text2.clear();
        fk_table = that.fk_table;
        pk_table = that.pk_table;
        rule = that.rule;
        fk_flds = that.fk_flds;
        pk_flds = that.pk_flds;
    }
    return *this;
}
