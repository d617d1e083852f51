// Ending waits on a server that sends nothing. Each connection's socket is registered
// here for as long as the connection lives, from the moment the connect creates it;
// sql_interrupt_reads shuts them down, so that a blocked connect, statement or read
// returns at once and fails as a lost connection. A worker is never killed: this is how
// one that waits on the network is made to end. The lookup of a host name, which the
// client library would make without a way out, is waited for here in the same way.
#pragma once

#include <mysql.h>

#include <string>

// Keeps one connection's socket registered while it lives.
class sql_interruptible {
  public:
    sql_interruptible() = default;
    ~sql_interruptible() { release(); }
    sql_interruptible(const sql_interruptible&) = delete;
    sql_interruptible& operator=(const sql_interruptible&) = delete;

    // Registers the connection's socket (again: nothing changes); one registered after
    // an interrupt is shut down at once. Nothing for a connection without a socket.
    void watch(MYSQL* connection) noexcept;
    // The same for any socket whose shutdown ends a wait (a host name's lookup).
    void watch(int fd) noexcept;
    // Unregisters it, before the connection is closed: a socket number that is closed
    // may be taken by another file at once.
    void release() noexcept;
    // Shuts the socket down: a wait on it ends at once, and the connection is of no use
    // afterwards.
    void cut() noexcept;

  private:
    int slot_ = -1;
    int fd_ = -1;
};

// What a connect came to.
struct sql_connect_result {
    bool connected = false;
    // The host the connection was made to: for a host name, the numeric address that
    // took it, so that a second connection to the same server needs no lookup.
    std::string address;
    // Why it failed, as the client library says it.
    unsigned error_number = 0;
    std::string error_text;
};

// mysql_real_connect with the client options already set, no database, the default
// socket and CLIENT_REMEMBER_OPTIONS. The wait for the server is a poll on the socket,
// which `socket` registers as soon as it exists, so that an interrupt ends the connect
// as well. A host name is looked up first on a thread of its own, whose wait an
// interrupt ends too (failing as a lost connection); its addresses are then tried in
// order, as the library tries them, and a name that does not resolve fails as the
// library fails it (CR_UNKNOWN_HOST). "localhost" (the library's Unix socket) and
// numeric addresses go to the library as they are; an empty host is "localhost", never
// a host of the library's option files.
sql_connect_result sql_connect(MYSQL* connection, const std::string& host, const std::string& user,
                               const std::string& password, int port, sql_interruptible& socket);

// Shuts down every registered socket, and every one registered until the next
// sql_allow_reads. The connections are of no use afterwards. Async-signal-safe.
void sql_interrupt_reads() noexcept;
// The same for the rest of the process (it is ending): sql_allow_reads no longer undoes
// it. Async-signal-safe.
void sql_interrupt_reads_for_good() noexcept;
// Registered sockets are left alone again (a new run, a new connect).
void sql_allow_reads() noexcept;
