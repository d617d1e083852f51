#include "UDB/udb_conv.hpp"

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

udb_converter::udb_converter() {
    tk_log_printf(2, "udb_converter::ctor");
}

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int32_t mode) {
    tk_log_printf(1, "udb_converter::set_mode(%d)", mode);
    mode_ = mode;
}

udb_progress udb_converter::get_progress() const {
    std::lock_guard lock(progress_mutex_);
    udb_progress p;
    p.table_count = table_count_.load(std::memory_order_relaxed);
    p.tables_done = tables_done_.load(std::memory_order_relaxed);
    p.current_table = current_table_;
    p.record_count = record_count_.load(std::memory_order_relaxed);
    p.record_index = record_index_.load(std::memory_order_relaxed);
    return p;
}

void udb_converter::set_table_count(uint32_t n) {
    std::lock_guard lock(progress_mutex_);
    table_count_.store(n, std::memory_order_relaxed);
}

void udb_converter::set_tables_done(uint32_t n) {
    std::lock_guard lock(progress_mutex_);
    tables_done_.store(n, std::memory_order_relaxed);
}

void udb_converter::increment_tables_done() {
    std::lock_guard lock(progress_mutex_);
    tables_done_.fetch_add(1, std::memory_order_relaxed);
}

void udb_converter::begin_table(const std::wstring& name) {
    std::lock_guard lock(progress_mutex_);
    current_table_ = name;
    record_count_.store(0, std::memory_order_relaxed);
    record_index_.store(0, std::memory_order_relaxed);
}

void udb_converter::set_current_table(const std::wstring& name) {
    std::lock_guard lock(progress_mutex_);
    current_table_ = name;
}

void udb_converter::set_record_count(uint64_t n) {
    std::lock_guard lock(progress_mutex_);
    record_count_.store(n, std::memory_order_relaxed);
}

std::wstring udb_converter::current_table() const {
    std::lock_guard lock(progress_mutex_);
    return current_table_;
}

bool udb_converter::load_profile(udb_profile& profile) {
    tk_log_printf(2, "udb_converter::load_profile");
    // Checked before anything changes: any other mode would append rows to existing
    // tables without the structure check.
    const std::wstring mode = profile.get_value(udb_generic_settings, L"mode");
    if (!mode.empty() && (mode.size() != 1 || mode[0] < L'0' || mode[0] > L'3'))
        throw tk_exception(L"Invalid merge/overwrite mode in the profile: '" + mode + L"'",
                           tk_kind_error);

    for (const auto& [key, value] : profile.selected_tables()) {
        if (!value.empty()) {
            tk_log_wprintf(2, L"Loading query '%s'", key);
        } else {
            tk_log_wprintf(2, L"Loading table '%s'", key);
        }
        selected_tables_.emplace_back(key, value);
    }
    for (const auto& pair : profile.available_queries()) available_queries_.push_back(pair);
    for (const auto& pair : profile.selected_views()) selected_views_.push_back(pair);

    if (auto v = profile.get_value(udb_generic_settings, L"src"); !v.empty()) {
        source_ = v;
        tk_log_wprintf(2, L"source='%s'", v);
    }
    if (auto v = profile.get_value(udb_generic_settings, L"dest"); !v.empty()) {
        destination_ = v;
        tk_log_wprintf(2, L"dest='%s'", v);
    }
    if (auto v = profile.get_value(udb_generic_settings, L"logfile"); !v.empty()) {
        std::string name = tk_unicode_to_ansi(v);
        tk_log_printf(1, "Logfile=%s", name);
        set_logfile(name);
    }
    if (auto v = profile.get_value(udb_generic_settings, L"only definitions"); !v.empty())
        only_definitions_ = v != L"0";
    if (auto v = profile.get_value(udb_generic_settings, L"skip indexes"); !v.empty())
        skip_indexes_ = v != L"0";
    if (!mode.empty()) mode_ = mode[0] - L'0';
    return true;
}

bool udb_converter::store_profile(udb_profile& profile) {
    tk_log_printf(2, "udb_converter::store_profile");
    for (const auto& [name, text] : available_queries_) {
        tk_log_wprintf(1, L"Available Query: (%s,%s)", name, text);
        profile.set_value(udb_available_queries, name, text);
    }
    for (const auto& [name, text] : selected_tables_) {
        tk_log_wprintf(1, L"Selected Query: (%s,%s)", name, text);
        profile.set_value(udb_selected_tables, name, text);
    }
    for (const auto& [name, text] : selected_views_) {
        tk_log_wprintf(1, L"Selected View: (%s,%s)", name, text);
        profile.set_value(udb_selected_views, name, text);
    }
    profile.set_value(udb_generic_settings, L"src", source_);
    profile.set_value(udb_generic_settings, L"dest", destination_);
    profile.set_value(udb_generic_settings, L"logfile", tk_ansi_to_unicode(log_file_));
    profile.set_value(udb_generic_settings, L"skip indexes", skip_indexes_ ? L"1" : L"0");
    profile.set_value(udb_generic_settings, L"only definitions", only_definitions_ ? L"1" : L"0");
    profile.set_value(udb_generic_settings, L"mode", std::to_wstring(mode_));
    return true;
}
