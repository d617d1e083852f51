#include "TK/tk_errco.hpp"

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"

tk_error_converter::tk_error_converter(int count, const tk_error_record* records) {
    tk_log_printf(2, "tk_error_converter::ctor (map size=%d)", count);
    load_map(count, records);
}

void tk_error_converter::load_map(int count, const tk_error_record* records) {
    tk_log_printf(2, "tk_error_converter::load_map (map size=%d)", count);
    if (!records) throw tk_mail_assertion("tk_errco.cpp", 43);
    for (int i = 0; i < count; ++i)
        map_.emplace(records[i].code, records[i].text ? records[i].text : "");
}

std::string tk_error_converter::convert(int32_t code) const {
    tk_log_printf(2, "tk_error_converter::convert(%d)", code);
    auto it = map_.find(code);
    if (it == map_.end()) {
        tk_log_printf(1, "Error message not found!");
        return {};
    }
    tk_log_printf(1, "Error message has been found: %s", it->second);
    return it->second;
}
