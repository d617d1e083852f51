#include "shell/morvale_stop.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "SQL/sql_intr.hpp"
#include "TK/tk_string.hpp"
#include "shell/morvale_conv.hpp"

namespace {

// Plain lock-free atomics only: the handler reads them.
std::atomic<morvale_convertor*> target{nullptr};
std::atomic<int> at_once{0};
std::atomic<bool> received{false};
std::atomic<bool> asked{true};
int wake[2] = {-1, -1};
// Made before any signal can come: the handler only writes it.
std::string no_table_account;

// Async-signal-safe steps only.
void on_stop_signal(int) {
    // The code the signal interrupted may still look at errno.
    const int saved = errno;
    // Whichever of the two comes next ends the process.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    received.store(true);
    morvale_convertor* converter = target.load();
    if (at_once.load() > 0) {
        if (asked.load() && !(converter && converter->silent()))
            (void)!write(STDERR_FILENO, no_table_account.data(), no_table_account.size());
        _exit(255);
    }
    // The run ends at its next record, or its wait on the server returns at once; no
    // later wait on the server begins.
    if (converter) converter->request_stop();
    sql_interrupt_reads_for_good();
    if (wake[1] >= 0) (void)!write(wake[1], "", 1);
    errno = saved;
}

}  // namespace

void install_stop_signals() {
    no_table_account = tk_unicode_to_utf8(early_end_text(0, 0, {})) + "\n";
    if (wake[0] < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
    struct sigaction a {};
    a.sa_handler = on_stop_signal;
    sigemptyset(&a.sa_mask);
    // Both are held off while the handler runs, so that it runs once.
    sigaddset(&a.sa_mask, SIGINT);
    sigaddset(&a.sa_mask, SIGTERM);
    a.sa_flags = SA_RESTART;
    sigaction(SIGINT, &a, nullptr);
    sigaction(SIGTERM, &a, nullptr);
}

void set_conversion_asked(bool on) {
    asked.store(on);
}

bool conversion_asked() {
    return asked.load();
}

bool stop_signal_received() {
    return received.load();
}

int stop_signal_wake_fd() {
    return wake[0];
}

stop_signal_target::stop_signal_target(morvale_convertor& converter) {
    target.store(&converter);
    // A signal that came before still stops what the converter runs.
    if (received.load()) converter.request_stop();
}

stop_signal_target::~stop_signal_target() {
    target.store(nullptr);
}

stop_signal_ends_at_once::stop_signal_ends_at_once() {
    at_once.fetch_add(1);
}

stop_signal_ends_at_once::~stop_signal_ends_at_once() {
    at_once.fetch_sub(1);
}
