#include "SQL/sql_intr.hpp"

#include <errmsg.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

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
    watch(static_cast<int>(mysql_get_socket(connection)));
}

void sql_interruptible::watch(int fd) noexcept {
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

namespace {

// One lookup of a host name, owned together by the connect that waits for it and the
// thread that makes it. A connect that is interrupted leaves the thread behind: from
// then on the thread touches nothing but this, and connects to nothing.
struct host_lookup {
    host_lookup() = default;
    ~host_lookup() {
        for (int fd : wake)
            if (fd >= 0) close(fd);
    }
    host_lookup(const host_lookup&) = delete;
    host_lookup& operator=(const host_lookup&) = delete;

    std::string host;
    std::string service;
    // The library asks again while the name servers fail for the time being, until
    // its connect time-out has passed.
    std::chrono::seconds retry_for{0};
    // [0] wakes the waiting connect when the lookup has ended; an interrupt shuts it
    // down, which wakes it as well. [1] is the lookup's end.
    int wake[2] = {-1, -1};
    std::atomic<bool> done{false};
    std::atomic<bool> abandoned{false};
    // Once done: getaddrinfo's result, and the addresses in the order it gave them.
    int error = 0;
    std::vector<std::string> addresses;
};

void look_up(host_lookup& l) {
    addrinfo hints{};
    // As the client library asks.
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const auto start = std::chrono::steady_clock::now();
    addrinfo* found = nullptr;
    int error = getaddrinfo(l.host.c_str(), l.service.c_str(), &hints, &found);
    while (error == EAI_AGAIN && !l.abandoned.load() &&
           std::chrono::steady_clock::now() - start <= l.retry_for)
        error = getaddrinfo(l.host.c_str(), l.service.c_str(), &hints, &found);
    for (const addrinfo* a = found; a && error == 0; a = a->ai_next) {
        char text[NI_MAXHOST];
        const int named =
            getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
        if (named == 0) l.addresses.emplace_back(text);
    }
    if (found) freeaddrinfo(found);
    l.error = error != 0 ? error : l.addresses.empty() ? EAI_NONAME : 0;
    l.done.store(true);
    // The waiting end may be shut down already: that must raise no SIGPIPE.
    (void)!send(l.wake[1], "", 1, MSG_NOSIGNAL);
}

// Whether the host is a name to look up first. The library takes "localhost" (its Unix
// socket), a numeric address and a connection plugin's URL (which it hands to the
// plugin) as they are.
bool is_looked_up(const std::string& host) {
    if (host == "localhost" || host.find("://") != std::string::npos) return false;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (found) freeaddrinfo(found);
    return error != 0;
}

sql_connect_result failure(unsigned error_number, std::string text) {
    sql_connect_result r;
    r.error_number = error_number;
    r.error_text = std::move(text);
    return r;
}

// The connect proper, to a host the library needs not look up.
sql_connect_result connect_to(MYSQL* connection, const std::string& host, const std::string& user,
                              const std::string& password, int port, sql_interruptible& socket) {
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
    if (!result) return failure(mysql_errno(connection), mysql_error(connection));
    sql_connect_result r;
    r.connected = true;
    r.address = host;
    return r;
}

// Looks the host up and waits for the addresses, or for an interrupt; false when
// interrupted. The wait is registered with `socket` meanwhile.
bool wait_for_lookup(const std::shared_ptr<host_lookup>& l, sql_interruptible& socket) {
    // Without a descriptor to wait on, the time-out below alone sees the end.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, l->wake) != 0)
        l->wake[0] = l->wake[1] = -1;
    try {
        std::thread([l] { look_up(*l); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the lookup waits here, as the library's would.
        look_up(*l);
    }
    socket.watch(l->wake[0]);
    while (!l->done.load() && !interrupted.load()) {
        pollfd p{l->wake[0], POLLIN, 0};
        // The interrupt's shutdown wakes the poll at once; the time-out only makes sure
        // that a missed wake-up costs no more than a moment.
        (void)poll(&p, l->wake[0] < 0 ? 0 : 1, 100);
    }
    socket.release();
    if (!interrupted.load()) return true;
    l->abandoned.store(true);
    return false;
}

// The library's texts name the address it was given; the user gave the name.
std::string naming_host(std::string text, const std::string& address, const std::string& host) {
    const std::string quoted = "'" + address + "'";
    const size_t at = text.find(quoted);
    if (at != std::string::npos) text.replace(at, quoted.size(), "'" + host + "'");
    return text;
}

}  // namespace

sql_connect_result sql_connect(MYSQL* connection, const std::string& host, const std::string& user,
                               const std::string& password, int port, sql_interruptible& socket) {
    // The non-blocking calls hand the waits to us; the connection's later calls block
    // as usual (the library switches back by itself).
    mysql_options(connection, MYSQL_OPT_NONBLOCK, nullptr);
    // No host means this machine's server, through its socket: left empty, the library
    // would take a host from its option files and look it up where nothing can end the
    // wait.
    if (host.empty()) return connect_to(connection, "localhost", user, password, port, socket);
    if (!is_looked_up(host)) return connect_to(connection, host, user, password, port, socket);

    auto lookup = std::make_shared<host_lookup>();
    lookup->host = host;
    lookup->service = std::to_string(port);
    unsigned int timeout = 0;
    if (mysql_get_optionv(connection, MYSQL_OPT_CONNECT_TIMEOUT, &timeout) == 0)
        lookup->retry_for = std::chrono::seconds(timeout);
    // After an interrupt no lookup begins: the program may be ending.
    if (interrupted.load() || !wait_for_lookup(lookup, socket))
        return failure(CR_SERVER_LOST, "Lost connection to server at 'looking up host " + host +
                                           "': the wait was interrupted");
    if (lookup->error != 0)
        return failure(CR_UNKNOWN_HOST, "Unknown server host '" + host.substr(0, 100) + "' (" +
                                            std::to_string(lookup->error) + ")");
    sql_connect_result r;
    for (const std::string& address : lookup->addresses) {
        r = connect_to(connection, address, user, password, port, socket);
        if (r.connected) return r;
        r.error_text = naming_host(r.error_text, address, host);
        // As the library goes on only past an address that took no connection.
        if (r.error_number != CR_CONNECTION_ERROR && r.error_number != CR_IPSOCK_ERROR) break;
        if (interrupted.load()) break;
    }
    return r;
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
