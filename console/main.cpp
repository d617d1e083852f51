// TALVORIN: converts a MySQL database into a folder of DBF tables, unattended.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "console/con_main.hpp"
#include "platform/files.hpp"
#include "shell/morvale_conv.hpp"
#include "shell/morvale_stop.hpp"

namespace {

// The run's last lines on standard error, as the wizard's finish page ends: the tables
// it did not convert, and how far a run that ended early got. A run has written them to
// the log already.
void put_account(const morvale_convertor& converter, bool stopped) {
    std::string text;
    if (converter.done()) {
        if (const std::wstring line = converter.unconverted_account(); !line.empty())
            text = tk_unicode_to_ansi(line) + "\n";
    }
    if (stopped) {
        const std::string account = tk_unicode_to_ansi(converter.early_end_account());
        if (!converter.done()) tk_log_printf(3, "%s", account);
        text += account + "\n";
    }
    if (text.empty() || converter.silent()) return;
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

// A program stopped by SIGINT or SIGTERM, or by an error that ends the run, says how far
// it got.
int report_stop(const morvale_convertor& converter) {
    put_account(converter, true);
    return -1;
}

// A run that went through its tables but left some unconverted has a code of its own.
constexpr int exit_incomplete = 2;

// The level from which the log that --logfile= opens writes its lines: 3 (milestones and
// errors), unless TORVANE_TRACE asks for 2 (flow) or 1 (detail), for a maintainer.
int32_t trace_threshold() {
    const char* asked = std::getenv("TORVANE_TRACE");
    if (!asked || !*asked) return 3;
    const std::string_view level(asked);
    if (level == "1" || level == "2" || level == "3") return level[0] - '0';
    std::fprintf(stderr, "TORVANE_TRACE=%s is not 1, 2 or 3; the log writes level 3\n", asked);
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a file or a socket, which would otherwise take the number of
    // a closed standard stream and receive the console's text.
    if (!pt::open_standard_streams()) return -1;
    install_stop_signals();
    // Level-3 lines only (TORVANE_TRACE aside), and only once --logfile= (or a profile)
    // names a file.
    tk_logger logger(nullptr, false, trace_threshold(), false);
    error_handler handler(error_handler_code_count, error_handler_codes);
    morvale_convertor converter;
    stop_signal_target signals(converter);
    if (argc <= 1) fatal_exit(usage_text());
    try {
        {
            // Nothing is written while the options, a profile or a table-list file are
            // read, and a pipe may never end: a signal meanwhile ends the program.
            stop_signal_ends_at_once reading;
            if (!parse_cmd_line(argc, argv)) fatal_exit(usage_text());
        }
        converter.connect_mysql_server();
        converter.check_source();
        // A stop asked for before the run leaves the destination as it is.
        if (converter.stop_requested()) return report_stop(converter);
        converter.check_dest();
        converter();
        // A run that ended in its outer handler did not do the work.
        if (!converter.run_completed()) return report_stop(converter);
        if (!converter.unconverted().empty()) {
            put_account(converter, false);
            return exit_incomplete;
        }
    } catch (const tk_exception& e) {
        if (converter.stop_explains(e)) return report_stop(converter);
        // Returns only for kind 0; nothing was converted, so that is a failure too.
        handler.handle(e, true);
        return -1;
    } catch (const std::exception& e) {
        fatal_exit(e.what());
    }
    return 0;
}
