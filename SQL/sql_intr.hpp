// Ending reads that wait on a server that sends nothing. While a run reads, the socket
// of each of its connections is registered here; sql_interrupt_reads shuts them down,
// so that a blocked read returns at once and fails as a lost connection. A worker is
// never killed: this is how one that waits on the network is made to end.
#pragma once

#include <mysql.h>

// Keeps one connection's socket registered while it lives.
class sql_interruptible {
  public:
    sql_interruptible() = default;
    ~sql_interruptible() { release(); }
    sql_interruptible(const sql_interruptible&) = delete;
    sql_interruptible& operator=(const sql_interruptible&) = delete;

    // Registers the connection's socket; one registered after an interrupt is shut down
    // at once. Nothing for a connection without a socket.
    void watch(MYSQL* connection) noexcept;
    // Unregisters it, before the connection is closed: a socket number that is closed
    // may be taken by another file at once.
    void release() noexcept;

  private:
    int slot_ = -1;
};

// Shuts down every registered socket, and every one registered until the next
// sql_allow_reads. The connections are of no use afterwards. Async-signal-safe.
void sql_interrupt_reads() noexcept;
// Registered sockets are left alone again (a new run).
void sql_allow_reads() noexcept;
