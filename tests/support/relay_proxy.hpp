// A relay between a program and the test server, which misbehaves on demand: it closes
// every connection once so many bytes came from the server (the server went away in
// the middle of a table), holds the server's answer to a row count back for a while
// (the count is still pending while the rows stream), fails or cuts the connection of
// each row count alone, or stops passing anything on with every connection left open
// (the server went silent), at once or at a statement.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class relay_proxy {
  public:
    using clock = std::chrono::steady_clock;
    explicit relay_proxy(unsigned server_port, size_t cut_after = SIZE_MAX,
                         std::chrono::milliseconds hold_count = std::chrono::milliseconds(0));
    ~relay_proxy();
    relay_proxy(const relay_proxy&) = delete;
    relay_proxy& operator=(const relay_proxy&) = delete;

    unsigned port() const { return port_; }

    // From now on nothing passes either way and no connection is taken: to the program
    // the server stopped answering. After `limit` every connection is closed, so that a
    // program that would wait for ever still ends.
    void freeze(std::chrono::milliseconds limit);
    // Closes every connection now, as a server that goes away; returns once they are.
    void cut();
    // What becomes, from now on, of each row count (a statement with "COUNT(*)"); the
    // other statements, and the other connections, pass as before.
    enum class count_fault {
        none,
        refuse,  // the server refuses the statement; its connection stays usable
        cut,     // its connection is closed `after` the statement went out (killed, reset)
    };
    void break_counts(count_fault fault,
                      std::chrono::milliseconds after = std::chrono::milliseconds(0));
    // Freezes as freeze(limit) does once the program sends bytes that hold `text`, and
    // holds those back too: the server stops answering at that statement.
    void freeze_at(const std::string& text, std::chrono::milliseconds limit);
    // True once freeze_at's text went by.
    bool frozen() const { return frozen_; }

  private:
    void relay();
    // Freezes when the program's bytes hold freeze_at's text.
    bool at_freeze_text(std::string_view data);

    unsigned server_port_;
    size_t cut_after_;
    std::chrono::milliseconds hold_count_;
    int listener_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> frozen_{false};
    std::atomic<bool> cut_now_{false};
    std::atomic<clock::rep> frozen_until_{0};
    std::atomic<count_fault> count_fault_{count_fault::none};
    std::atomic<clock::rep> count_cut_after_{0};
    std::mutex freeze_mutex_;
    std::string freeze_text_;  // empty: none
    std::chrono::milliseconds freeze_limit_{0};
    std::thread thread_;
};
