// A name server of the test's own on UDP port 53 of a loopback address, and the way to
// run a program that asks it alone: a private resolv.conf naming it, bound over
// /etc/resolv.conf in a mount namespace of the program's own (unshare -m, which takes
// root). Each name it is given is answered with its addresses (IPv4 for A questions,
// IPv6 for AAAA), or as a name that does not exist when it has none; any other name is never
// answered, as by a name server that has fallen silent.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.hpp"

class name_server {
  public:
    explicit name_server(std::map<std::string, std::vector<std::string>> names = {});
    ~name_server();
    name_server(const name_server&) = delete;
    name_server& operator=(const name_server&) = delete;

    // Why programs cannot be run so here, to skip the test with; empty when they can.
    const std::string& unusable() const { return unusable_; }
    // The program and arguments that run `program` with `args` asking this name server.
    std::vector<std::string> command(const std::string& program,
                                     const std::vector<std::string>& args) const;
    // The questions received so far, such as "A db.test" or "AAAA db.test".
    std::vector<std::string> questions() const;

  private:
    void serve();

    std::map<std::string, std::vector<std::string>> names_;
    tmp_dir dir_;
    std::string resolv_conf_;
    std::string unusable_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> questions_;
    std::thread thread_;
};
