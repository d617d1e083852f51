#include "shell/morvale_conv.hpp"

#include <utility>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/files.hpp"
#include "platform/settings.hpp"
#include "shell/morvale_stop.hpp"

namespace {

const wchar_t* const mysql_settings = L"MySQL settings";

// Every section and key that this program's profiles hold: what the wizard saves, and
// nothing else.
constexpr udb_profile_key generic_keys[] = {
    {L"src", udb_value_rule::any},
    {L"dest", udb_value_rule::any},
    {L"logfile", udb_value_rule::any},
    {L"skip indexes", udb_value_rule::flag},
    {L"only definitions", udb_value_rule::flag},
    {L"mode", udb_value_rule::mode},
    {L"BLOB to text", udb_value_rule::flag},
};
// Blanks may belong to a host, user name or password, as they do on the command line.
// The dump keys have no effect on a conversion; any value keeps its old meaning.
constexpr udb_profile_key mysql_keys[] = {
    {L"host", udb_value_rule::exact},
    {L"user", udb_value_rule::exact},
    {L"password", udb_value_rule::exact},
    {L"port", udb_value_rule::any},
    {L"dump line break", udb_value_rule::any},
    {L"dump new version", udb_value_rule::any},
    {L"dump add lock to insert", udb_value_rule::any},
    {L"dump insert comments", udb_value_rule::any},
    {L"dump create database", udb_value_rule::any},
    {L"dump create table", udb_value_rule::any},
};
const udb_profile_section profile_rules[] = {
    {udb_generic_settings, generic_keys},
    {mysql_settings, mysql_keys},
    {udb_selected_tables, {}, udb_max_name_length},
    {udb_selected_views, {}, udb_max_name_length},
    {udb_available_queries, {}},
};

const wchar_t* flag_text(bool on) {
    return on ? L"1" : L"0";
}

// The dump keys: "1" is true, any other non-empty text false, empty leaves the value.
void load_flag(const udb_profile& profile, const wchar_t* key, bool& flag) {
    std::wstring v = profile.get_value(mysql_settings, key);
    if (!v.empty()) flag = v == L"1";
}

void load_number(const udb_profile& profile, const wchar_t* key, int32_t& number) {
    std::wstring v = profile.get_value(mysql_settings, key);
    if (!v.empty()) number = v == L"1" ? 1 : 0;
}

// Leading decimal digits as a port number; 0 when there are none or the number is no
// port at all (so that a port such as 70000 is not silently taken modulo 65536).
int read_port(const std::string& text) {
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > 65535) return 0;
    }
    return static_cast<int>(value);
}

}  // namespace

dump_options::dump_options() {
    tk_log_printf(2, "dump_options::ctor1");
}

mysql_converter_impl::mysql_converter_impl() {
    tk_log_printf(2, "mysql_converter_impl::ctor");
}

mysql_converter_impl::~mysql_converter_impl() {
    tk_log_printf(2, "mysql_converter_impl::dtor");
}

void mysql_converter_impl::connect_mysql_server() {
    tk_log_printf(2, "mysql_converter_impl::connect_mysql_server");
    int port = read_port(port_);
    if (port == 0) throw tk_exception("Invalid port number", tk_kind_error);
    engine_.connect(host_, user_, password_, port);
}

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::string& password,
                                                const std::string& port) {
    // The password never reaches the log.
    tk_log_printf(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s,%S)", host, user, "***",
                  port);
    // Taken as given, as the server's own client takes them: blanks may belong to a user
    // name or a password. Only the port, a number, loses them.
    host_ = host;
    user_ = user;
    password_ = password;
    port_ = tk_string(port).trim();
    if (port_.empty()) port_ = "3306";
}

bool mysql_converter_impl::load_profile(udb_profile& profile) {
    tk_log_printf(2, "mysql_converter_impl::load_profile");
    host_ = tk_unicode_to_utf8(profile.get_value(mysql_settings, L"host"));
    if (auto v = profile.get_value(mysql_settings, L"user"); !v.empty())
        user_ = tk_unicode_to_utf8(v);
    password_ = tk_unicode_to_utf8(profile.get_value(mysql_settings, L"password"));
    if (auto v = profile.get_value(mysql_settings, L"port"); !v.empty())
        port_ = tk_unicode_to_utf8(v);
    load_number(profile, L"dump line break", dump_options_.line_break);
    load_flag(profile, L"dump new version", dump_options_.new_version);
    load_flag(profile, L"dump add lock to insert", dump_options_.add_lock_to_insert);
    load_flag(profile, L"dump insert comments", dump_options_.insert_comments);
    load_flag(profile, L"dump create database", dump_options_.create_database);
    load_number(profile, L"dump create table", dump_options_.create_table);
    return true;
}

bool mysql_converter_impl::store_profile(udb_profile& profile) {
    tk_log_printf(2, "mysql_converter_impl::store_profile");
    profile.set_value(mysql_settings, L"host", tk_utf8_to_unicode(host_));
    profile.set_value(mysql_settings, L"user", tk_utf8_to_unicode(user_));
    profile.set_value(mysql_settings, L"password", tk_utf8_to_unicode(password_));
    profile.set_value(mysql_settings, L"port", tk_utf8_to_unicode(port_));
    profile.set_value(mysql_settings, L"dump line break", flag_text(dump_options_.line_break == 1));
    profile.set_value(mysql_settings, L"dump new version", flag_text(dump_options_.new_version));
    profile.set_value(mysql_settings, L"dump add lock to insert",
                      flag_text(dump_options_.add_lock_to_insert));
    profile.set_value(mysql_settings, L"dump insert comments",
                      flag_text(dump_options_.insert_comments));
    profile.set_value(mysql_settings, L"dump create database",
                      flag_text(dump_options_.create_database));
    profile.set_value(mysql_settings, L"dump create table",
                      flag_text(dump_options_.create_table == 1));
    return true;
}

bool morvale_convertor::serialize(bool store) {
    tk_log_printf(1, "serialize( %d )", store);
    if (key().create(tk_hkey_current_user, key_path().c_str()) != tk_reg_ok) return false;
    if (!store) {
        blob_to_memo_ = false;
        only_definitions_ = false;
        port_ = "3306";
        overwrite_choice_ = udb_mode_overwrite_tables;
    }
    // Every value is tried, whatever the earlier ones gave.
    bool ok = tk_serializer::serialize(blob_to_memo_, "blob2memo", store);
    ok &= tk_serializer::serialize(destination_, L"dest", store);
    ok &= tk_serializer::serialize(host_, "host", store);
    ok &= tk_serializer::serialize(port_, "port", store);
    ok &= tk_serializer::serialize(password_, "pswd", store);
    ok &= tk_serializer::serialize(source_, L"src", store);
    ok &= tk_serializer::serialize(only_definitions_, "tab_def", store);
    ok &= tk_serializer::serialize(user_, "user", store);
    uint32_t choice = static_cast<uint32_t>(overwrite_choice_);
    ok &= tk_serializer::serialize(choice, "overwrite", store);
    if (!store && choice <= udb_mode_merge_tables) overwrite_choice_ = static_cast<int32_t>(choice);
    ok &= tk_serializer::serialize(remote_host_, "remote_host", store);
    ok &= tk_serializer::serialize(remote_port_, "remote_port", store);
    key().close();
    return ok;
}

std::string morvale_convertor::keep_settings() {
    if (settings_settled_) return {};
    settings_settled_ = true;
    if (serialize(true)) return {};
    const std::string file = pt::settings_file_for_key(key_path());
    if (file.empty())
        return "Your settings could not be kept for the next start: no folder for them is "
               "known (HOME is not set).";
    const int err = key().error();
    return "Your settings could not be kept for the next start: " + file +
           (err ? ": " + pt::settings_error_text(file, err) : std::string()) + ".";
}

namespace {

// The file with this program's rules for its names and values.
bool read_profile(const std::wstring& path, udb_profile& profile) {
    // The file may be a pipe that never ends: a signal meanwhile ends the program.
    stop_signal_ends_at_once reading;
    return profile.load(path, profile_rules);
}

[[noreturn]] void profile_not_loaded() {
    throw tk_exception(
        "Profile cannot be loaded: text stands before its first section. Please verify "
        "the correct path/name was given.",
        tk_kind_error);
}

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

bool morvale_convertor::load_profile_file(const std::wstring& path) {
    udb_profile profile;
    if (!read_profile(path, profile)) return false;
    return load_profile(profile);
}

void morvale_convertor::require_profile_file(const std::wstring& path) {
    if (!load_profile_file(path)) profile_not_loaded();
}

void morvale_convertor::require_complete_profile(const std::wstring& path) {
    udb_profile profile;
    if (!read_profile(path, profile)) profile_not_loaded();
    std::vector<std::string> missing;
    if (profile.get_value(udb_generic_settings, L"src").empty())
        missing.push_back("the source database (src=)");
    if (profile.get_value(udb_generic_settings, L"dest").empty())
        missing.push_back("the destination folder (dest=)");
    auto connection = profile.sections().find(mysql_settings);
    if (connection == profile.sections().end() || connection->second.empty())
        missing.push_back("the connection ([MySQL settings])");
    if (!missing.empty())
        throw tk_exception("The profile cannot be run: it does not give " + listed(missing) +
                               ". Nothing was converted.",
                           tk_kind_error);
    blob_to_memo_ = false;
    only_definitions_ = false;
    skip_indexes_ = false;
    // "host" and "password" are always taken from the section; these two only when given.
    user_.clear();
    port_ = "3306";
    load_profile(profile);
}

bool morvale_convertor::store_profile_file(const std::wstring& path) {
    udb_profile profile;
    if (!store_profile(profile)) return false;
    // A profile that would read back otherwise than it was saved runs something else
    // when it is loaded: it is not written at all. A profile without tables is one that
    // converts every table.
    if (profile.selected_tables().empty())
        throw tk_exception(
            "The settings were not saved: no table is selected, and a profile that lists no "
            "table converts every table.",
            tk_kind_error);
    std::vector<std::string> names;
    for (const auto& [section, key] : profile.unreadable_entries(profile_rules)) {
        const std::string name = "'" + tk_unicode_to_utf8(key) + "'";
        if (section == udb_selected_tables)
            names.push_back("table " + name);
        else
            names.push_back(name + " in [" + tk_unicode_to_utf8(section) + "]");
    }
    if (!names.empty())
        throw tk_exception(
            "The settings were not saved: a profile cannot keep these as they are (blanks or "
            "tabs at either end, a line break, or text that reads as a section or a setting), "
            "and loading it would give something else: " +
                listed(names) + ".",
            tk_kind_error);
    profile.store(path);
    return true;
}

bool morvale_convertor::load_profile(udb_profile& profile) {
    if (!udb_converter::load_profile(profile)) return false;
    if (!mysql_converter_impl::load_profile(profile)) return false;
    std::wstring v = profile.get_value(udb_generic_settings, L"BLOB to text");
    if (!v.empty()) blob_to_memo_ = v == L"1";
    return true;
}

bool morvale_convertor::store_profile(udb_profile& profile) {
    // Query pairs go first, on one line each, and are left out of the list the base
    // writes; the converter's own list is restored, so that a second save writes the
    // same file.
    udb_pairs all = selected_tables_;
    struct restore {
        udb_pairs& list;
        udb_pairs& saved;
        ~restore() { list.swap(saved); }
    } guard{selected_tables_, all};
    udb_pairs tables;
    for (const auto& [name, text] : all) {
        if (text.empty()) {
            tables.emplace_back(name, text);
            continue;
        }
        tk_wstring one_line(text);
        one_line.replace_all(L"\r\n", L" ");
        one_line.replace_all(L"\n", L" ");
        one_line.replace_all(L"\r", L" ");
        profile.set_value(udb_selected_tables, name, one_line);
    }
    selected_tables_.swap(tables);

    if (!udb_converter::store_profile(profile)) return false;
    mysql_converter_impl::store_profile(profile);
    profile.set_value(udb_generic_settings, L"BLOB to text", flag_text(blob_to_memo_));
    return true;
}
