// Ending waits on a server that sends nothing. Each connection's socket is registered
// here for as long as the connection lives, from the moment the connect creates it;
// sql_interrupt_reads shuts them down, so that a blocked connect, statement or read
// returns at once and fails as a lost connection. A worker is never killed: this is how
// one that waits on the network is made to end.
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

// mysql_real_connect with the client options already set, no database, the default
// socket and CLIENT_REMEMBER_OPTIONS. The wait for the server is a poll on the socket,
// which `socket` registers as soon as it exists, so that an interrupt ends the connect
// as well. False when the connect failed: mysql_errno and mysql_error say why.
bool sql_connect(MYSQL* connection, const std::string& host, const std::string& user,
                 const std::string& password, int port, sql_interruptible& socket);

// Shuts down every registered socket, and every one registered until the next
// sql_allow_reads. The connections are of no use afterwards. Async-signal-safe.
void sql_interrupt_reads() noexcept;
// The same for the rest of the process (it is ending): sql_allow_reads no longer undoes
// it. Async-signal-safe.
void sql_interrupt_reads_for_good() noexcept;
// Registered sockets are left alone again (a new run, a new connect).
void sql_allow_reads() noexcept;
