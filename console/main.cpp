// TALVORIN: converts a MySQL database into a folder of DBF tables, unattended.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <exception>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "console/con_main.hpp"
#include "shell/morvale_conv.hpp"

namespace {

// The converter that SIGINT and SIGTERM stop.
std::atomic<morvale_convertor*> stop_target{nullptr};

// Async-signal-safe steps only: the stop flag and the sockets' shutdown. The run then
// ends at its next record, or its read that waits on a silent server returns, and the
// table in work keeps its whole records. A second signal ends the process at once.
void on_stop_signal(int) {
    // The code the signal interrupted may still look at errno.
    const int saved = errno;
    if (morvale_convertor* c = stop_target.load()) c->stop_run();
    errno = saved;
}

// While it lives, SIGINT and SIGTERM stop the converter's run.
class stop_signals {
  public:
    explicit stop_signals(morvale_convertor& converter) {
        stop_target = &converter;
        struct sigaction a {};
        a.sa_handler = on_stop_signal;
        sigemptyset(&a.sa_mask);
        a.sa_flags = SA_RESTART | SA_RESETHAND;
        sigaction(SIGINT, &a, nullptr);
        sigaction(SIGTERM, &a, nullptr);
    }
    ~stop_signals() {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        stop_target = nullptr;
    }
    stop_signals(const stop_signals&) = delete;
    stop_signals& operator=(const stop_signals&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
    // Level-3 lines only, and only once --logfile= (or a profile) names a file.
    tk_logger logger(nullptr, false, 3, false);
    error_handler handler(error_handler_code_count, error_handler_codes);
    morvale_convertor converter;
    if (argc <= 1) fatal_exit(usage_text());
    stop_signals signals(converter);
    try {
        if (!parse_cmd_line(argc, argv)) fatal_exit(usage_text());
        converter.connect_mysql_server();
        converter.check_source();
        // A stop asked for before the run leaves the destination as it is.
        if (converter.stop_requested()) return -1;
        converter.check_dest();
        converter();
        // A run that ended in its outer handler did not do the work.
        if (!converter.run_completed()) return -1;
    } catch (const tk_exception& e) {
        // Returns only for kind 0; nothing was converted, so that is a failure too.
        if (!converter.stop_explains(e)) handler.handle(e, true);
        return -1;
    } catch (const std::exception& e) {
        fatal_exit(e.what());
    }
    return 0;
}
