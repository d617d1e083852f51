#include "SQL/sql_intr.hpp"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

// A run has two connections (the rows' and the one that counts aside); room to spare.
constexpr int slot_count = 8;
// Plain lock-free atomics only: the interrupt may come from a signal handler.
std::atomic<int> sockets[slot_count] = {-1, -1, -1, -1, -1, -1, -1, -1};
std::atomic<bool> interrupted{false};
std::atomic<bool> for_good{false};
// Interrupts under way: a socket is closed only once none may still shut it down.
std::atomic<int> interrupting{0};

// What the client library waits for, as poll events, and back.
short poll_events(int status) {
    short events = 0;
    if (status & MYSQL_WAIT_READ) events |= POLLIN;
    if (status & MYSQL_WAIT_WRITE) events |= POLLOUT;
    if (status & MYSQL_WAIT_EXCEPT) events |= POLLPRI;
    return events;
}

int ready_status(int status, const pollfd& p) {
    int ready = 0;
    if (p.revents & POLLIN) ready |= MYSQL_WAIT_READ;
    if (p.revents & POLLOUT) ready |= MYSQL_WAIT_WRITE;
    if (p.revents & POLLPRI) ready |= MYSQL_WAIT_EXCEPT;
    // A socket shut down or in error: the library's next step on it finds out why.
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        ready |= status & (MYSQL_WAIT_READ | MYSQL_WAIT_WRITE);
    return ready;
}

}  // namespace

void sql_interruptible::watch(MYSQL* connection) noexcept {
    const int fd = static_cast<int>(mysql_get_socket(connection));
    if (fd == fd_ && slot_ >= 0) return;
    release();
    if (fd < 0) return;
    for (int i = 0; i < slot_count; ++i) {
        int free = -1;
        if (sockets[i].compare_exchange_strong(free, fd)) {
            slot_ = i;
            fd_ = fd;
            break;
        }
    }
    if (interrupted.load()) shutdown(fd, SHUT_RDWR);
}

void sql_interruptible::release() noexcept {
    if (slot_ < 0) return;
    sockets[slot_].store(-1);
    slot_ = -1;
    fd_ = -1;
    while (interrupting.load() > 0) std::this_thread::yield();
}

void sql_interruptible::cut() noexcept {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

bool sql_connect(MYSQL* connection, const std::string& host, const std::string& user,
                 const std::string& password, int port, sql_interruptible& socket) {
    // The non-blocking calls hand the waits to us; the connection's later calls block
    // as usual (the library switches back by itself).
    mysql_options(connection, MYSQL_OPT_NONBLOCK, nullptr);
    MYSQL* result = nullptr;
    int status = mysql_real_connect_start(&result, connection, host.c_str(), user.c_str(),
                                          password.c_str(), nullptr, static_cast<unsigned>(port),
                                          nullptr, CLIENT_REMEMBER_OPTIONS);
    while (status != 0) {
        socket.watch(connection);
        pollfd p{static_cast<int>(mysql_get_socket(connection)), poll_events(status), 0};
        const int timeout = (status & MYSQL_WAIT_TIMEOUT)
                                ? static_cast<int>(mysql_get_timeout_value_ms(connection))
                                : -1;
        int n = p.fd < 0 ? 0 : poll(&p, 1, timeout);
        while (n < 0 && errno == EINTR) n = poll(&p, 1, timeout);
        // Without a socket to wait on, or when waiting fails, the attempt times out.
        status = mysql_real_connect_cont(&result, connection,
                                         n > 0 ? ready_status(status, p) : MYSQL_WAIT_TIMEOUT);
    }
    socket.watch(connection);
    return result != nullptr;
}

void sql_interrupt_reads() noexcept {
    interrupting.fetch_add(1);
    interrupted.store(true);
    for (std::atomic<int>& s : sockets) {
        const int fd = s.load();
        if (fd >= 0) shutdown(fd, SHUT_RDWR);
    }
    interrupting.fetch_sub(1);
}

void sql_interrupt_reads_for_good() noexcept {
    for_good.store(true);
    sql_interrupt_reads();
}

void sql_allow_reads() noexcept {
    interrupted.store(false);
    // An interrupt for good that came meanwhile stays.
    if (for_good.load()) interrupted.store(true);
}
