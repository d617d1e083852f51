#include "SQL/sql_intr.hpp"

#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace {

// A run has two connections (the rows' and the one that counts aside); room to spare.
constexpr int slot_count = 8;
// Plain lock-free atomics only: the interrupt may come from a signal handler.
std::atomic<int> sockets[slot_count] = {-1, -1, -1, -1, -1, -1, -1, -1};
std::atomic<bool> interrupted{false};
// Interrupts under way: a socket is closed only once none may still shut it down.
std::atomic<int> interrupting{0};

}  // namespace

void sql_interruptible::watch(MYSQL* connection) noexcept {
    release();
    const int fd = static_cast<int>(mysql_get_socket(connection));
    if (fd < 0) return;
    for (int i = 0; i < slot_count; ++i) {
        int free = -1;
        if (sockets[i].compare_exchange_strong(free, fd)) {
            slot_ = i;
            break;
        }
    }
    if (interrupted.load()) shutdown(fd, SHUT_RDWR);
}

void sql_interruptible::release() noexcept {
    if (slot_ < 0) return;
    sockets[slot_].store(-1);
    slot_ = -1;
    while (interrupting.load() > 0) std::this_thread::yield();
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

void sql_allow_reads() noexcept {
    interrupted.store(false);
}
