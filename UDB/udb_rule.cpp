#include "UDB/udb_rule.hpp"

#include "TK/tk_log.hpp"

bool udb_custom_conversion::is_acceptable1(const t_ftd& column) {
    tk_log_printf(1, "udb_custom_conversion::is_acceptable1");
    udb_rule_list* list = udb_rule_list::find();
    if (!list) return false;
    for (const auto& r : list->rules)
        if (r->accepts_column(column)) return true;
    return false;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column) {
    tk_log_printf(1, "udb_custom_conversion::handle1");
    udb_rule_list* list = udb_rule_list::find();
    if (!list) return {};
    for (const auto& r : list->rules)
        if (r->accepts_column(column)) return r->type_text(column);
    return {};
}

bool udb_custom_conversion::is_acceptable2(const udb_field& field) {
    tk_log_printf(1, "udb_custom_conversion::is_acceptable2");
    udb_rule_list* list = udb_rule_list::find();
    if (!list) return false;
    for (const auto& r : list->rules)
        if (r->accepts_field(field)) return true;
    return false;
}

std::wstring udb_custom_conversion::handle2(const udb_field& field) {
    tk_log_printf(1, "udb_custom_conversion::handle2");
    udb_rule_list* list = udb_rule_list::find();
    if (!list || list->rules.empty()) return {};
    for (const auto& r : list->rules)
        if (r->accepts_field(field)) return r->value_text(field);
    throw tk_mail_assertion("udb_rule.cpp", 88);
}
