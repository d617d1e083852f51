// The console program's options.
#include <cstring>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "console/con_main.hpp"
#include "console/tk_cmdli.hpp"
#include "platform/text.hpp"
#include "shell/morvale_conv.hpp"

namespace {

enum : int32_t {
    opt_blob2memo,
    opt_dest,
    opt_help,
    opt_logfile,
    opt_mode,
    opt_mysqlh,
    opt_mysqlu,
    opt_mysqlp,
    opt_port,
    opt_profile,
    opt_silent,
    opt_src,
    opt_tab_def,
    opt_tab_file,
};

// The first entry whose prefix begins the argument wins.
const tk_cmd_option options[] = {
    {opt_blob2memo, "--blob2memo"}, {opt_dest, "--dest="},         {opt_help, "--help"},
    {opt_logfile, "--logfile="},    {opt_mode, "--mode="},         {opt_mysqlh, "--mysqlh="},
    {opt_mysqlu, "--mysqlu="},      {opt_mysqlp, "--mysqlp="},     {opt_port, "--port="},
    {opt_profile, "--profile="},    {opt_silent, "--silent"},      {opt_src, "--src="},
    {opt_tab_def, "--tab_def"},     {opt_tab_file, "--tab_file="}, {0, ""},
};

const char* const usage_template =
    "TALVORIN v%d.%d\n"
    "Usage: TALVORIN.EXE OPTIONS\n"
    "\n"
    "   --blob2memo    convert MySQL BLOB into DBF MEMO\n"
    "   --dest=...     path to DBF database name\n"
    "   --help         display this help message and exit\n"
    "   --logfile=...  path to the file where execution trace will be written\n"
    "   --mode=...     how to process an existing DBF database\n"
    "                  (0 - overwrite the entire database, 1 - overwrite existing\n"
    "                  tables only, 2 - skip existing tables, 3 - merge)\n"
    "   --mysqlh=...   MySQL server IP address or network name\n"
    "   --mysqlu=...   MySQL user name\n"
    "   --mysqlp=...   MySQL user password\n"
    "   --port=...     MySQL port\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --silent       disable program output\n"
    "   --skip_idx     skip converting indexes\n"
    "   --src=...      MySQL database name\n"
    "   --tab_def      convert table definitions only\n"
    "   --tab_file=... file containing the list of tables to convert\n"
    "                  (one table name per line)\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'mysqlh' parameter to connect local MySQL server.\n"
    "   2) It is necessary to specify 'port' parameter only if it differs from\n"
    "      the default MySQL port 3306.\n"
    "   3) If you omit 'tab_file' parameter, all database tables will be converted\n"
    "   4) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
    "      database' will be used.\n"
    "   5) Command line parameters that contain spaces must be enclosed in quotes\n"
    "      (for example --dest=\"my database\")";

const char* const password_prefix = "--mysqlp=";

// The value of a folder, database or profile option as wide text. Bytes that are not
// UTF-8 end the program: taken with a replacement character, the value would name
// another folder, database or file than the one given.
std::wstring wide_value(const std::string& value, const char* option) {
    std::wstring wide;
    if (pt::utf8_decode_into(value, wide))
        fatal_exit(std::string("The value of ") + option + " is not UTF-8 text.");
    return wide;
}

}  // namespace

std::string usage_text() {
    return tk_format(std::string_view(usage_template), 4, 3);
}

bool parse_cmd_line(int argc, char** argv) {
    morvale_convertor& conv = morvale_convertor::instance();
    tk_log_printf(1, "parse_cmd_line");
    if (tk_log_on(1)) {
        for (int i = 0; i < argc; ++i) {
            const char* arg = argv[i] ? argv[i] : "";
            // The password never reaches the log.
            if (std::strncmp(arg, password_prefix, std::strlen(password_prefix)) == 0)
                arg = "--mysqlp=***";
            tk_log_write(std::string_view("parameter #%d: %s"), i, arg);
        }
    }

    std::string host, user, password, port = "3306";
    ansi_cmd_line line(argc, argv, options);
    for (; line.has_more(); line.advance()) {
        const std::string& value = line.value();
        switch (line.id()) {
            case opt_blob2memo:
                tk_log_printf(2, "\tset blob2text -> true");
                conv.set_blob_to_memo(true);
                break;
            case opt_dest: {
                std::wstring dest = wide_value(value, "--dest=");
                tk_log_wprintf(1, L"parse_cmd_line - got dest %s", dest);
                conv.set_destination(dest);
                break;
            }
            case opt_help:
                fatal_exit(usage_text());
            case opt_logfile:
                tk_log_printf(1, "parse_cmd_line - got logfile %s", value);
                conv.set_logfile(value);
                break;
            case opt_mode:
                if (value.size() != 1 || value[0] < '0' || value[0] > '3')
                    fatal_exit("Invalid merge/overwrite mode");
                tk_log_printf(2, "\tgot mode %d", value[0] - '0');
                conv.set_mode(value[0] - '0');
                break;
            case opt_mysqlh:
                host = value;
                break;
            case opt_mysqlu:
                user = value;
                break;
            case opt_mysqlp:
                password = value;
                break;
            case opt_port:
                port = value;
                break;
            case opt_profile: {
                std::wstring path = wide_value(value, "--profile=");
                tk_log_wprintf(1, L"parse_cmd_line - got profile %s", path);
                const size_t tables_before = conv.selected_tables().size();
                // A profile that cannot be taken must stop the program: going on with
                // defaults would run mode 0 and empty the destination.
                conv.require_profile_file(path);
                // Tables the profile chose replace those of an earlier table-list file.
                if (conv.selected_tables().size() > tables_before) conv.selection().clear();
                break;
            }
            case opt_silent:
                tk_log_printf(1, "parse_cmd_line - silent mode is ON");
                conv.set_silent(true);
                error_handler::instance().do_not_show = true;
                break;
            case opt_src: {
                std::wstring src = wide_value(value, "--src=");
                tk_log_wprintf(1, L"parse_cmd_line - got src %s", src);
                conv.set_source(src);
                break;
            }
            case opt_tab_def:
                tk_log_printf(2, "\tconvert table definitions only");
                conv.set_only_definitions(true);
                break;
            case opt_tab_file:
                tk_log_printf(2, "\tparse_cmd_line - got tab_file %s", value);
                process_tab_file(value);
                break;
            default:
                break;
        }
    }
    if (line.unknown_count() > 0) return false;
    if (conv.source().empty()) fatal_exit("You should enter source MySQL database name");
    if (conv.destination().empty()) fatal_exit("You should enter path to destination DBF database");
    conv.store_mysql_settings(host, user, password, port);
    return true;
}
