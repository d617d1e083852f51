#include "tests/support/relay_proxy.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

sockaddr_in loopback(unsigned port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// One connection through the relay: end 0 is the program's, end 1 the server's.
struct relay_link {
    int fd[2];
    std::string out[2];  // still to be sent to each end
    relay_proxy::clock::time_point hold_until;
    std::string held;  // from the server, for the program once hold_until has passed
    relay_proxy::clock::time_point cut_at = relay_proxy::clock::time_point::max();
};

}  // namespace

relay_proxy::relay_proxy(unsigned server_port, size_t cut_after,
                         std::chrono::milliseconds hold_count)
    : server_port_(server_port), cut_after_(cut_after), hold_count_(hold_count) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t n = sizeof a;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n) != 0)
        throw std::runtime_error("proxy: cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { relay(); });
}

relay_proxy::~relay_proxy() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

void relay_proxy::freeze(std::chrono::milliseconds limit) {
    frozen_until_ = (clock::now() + limit).time_since_epoch().count();
    frozen_ = true;
}

void relay_proxy::freeze_at(const std::string& text, std::chrono::milliseconds limit) {
    std::lock_guard lock(freeze_mutex_);
    freeze_text_ = text;
    freeze_limit_ = limit;
}

void relay_proxy::cut() {
    cut_now_ = true;
    while (cut_now_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void relay_proxy::break_counts(count_fault fault, std::chrono::milliseconds after) {
    count_cut_after_ = std::chrono::duration_cast<clock::duration>(after).count();
    count_fault_ = fault;
}

bool relay_proxy::at_freeze_text(std::string_view data) {
    std::lock_guard lock(freeze_mutex_);
    if (freeze_text_.empty() || data.find(freeze_text_) == std::string_view::npos) return false;
    freeze_text_.clear();
    freeze(freeze_limit_);
    return true;
}

void relay_proxy::relay() {
    std::vector<relay_link> links;
    size_t from_server = 0;
    char buffer[65536];
    auto close_all = [&] {
        for (const relay_link& l : links) {
            shutdown(l.fd[0], SHUT_RDWR);
            close(l.fd[0]);
            close(l.fd[1]);
        }
        links.clear();
    };
    while (!stop_) {
        if (cut_now_) {
            close_all();
            cut_now_ = false;
        }
        if (frozen_) {
            if (clock::now().time_since_epoch().count() >= frozen_until_) close_all();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        // A count's connection whose time has come.
        for (size_t i = links.size(); i-- > 0;) {
            if (clock::now() < links[i].cut_at) continue;
            shutdown(links[i].fd[0], SHUT_RDWR);
            close(links[i].fd[0]);
            close(links[i].fd[1]);
            links.erase(links.begin() + static_cast<std::ptrdiff_t>(i));
        }
        bool holding = false;
        for (relay_link& l : links) {
            if (!l.held.empty() && clock::now() >= l.hold_until) {
                l.out[0] += l.held;
                l.held.clear();
            }
            holding |= !l.held.empty();
        }
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (const relay_link& l : links) {
            for (int end = 0; end < 2; ++end) {
                // An end is read only once what it sent before has been passed on: a
                // program that reads nothing holds back its own server, and no other.
                const short events = static_cast<short>((l.out[1 - end].empty() ? POLLIN : 0) |
                                                        (l.out[end].empty() ? 0 : POLLOUT));
                fds.push_back({events ? l.fd[end] : -1, events, 0});
            }
        }
        if (poll(fds.data(), fds.size(), holding ? 5 : 50) <= 0) continue;
        if (frozen_) continue;
        if (fds[0].revents & POLLIN) {
            int c = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            int srv = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = loopback(server_port_);
            if (c >= 0 && srv >= 0 &&
                connect(srv, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                links.push_back({{c, srv}, {}, {}, {}});
            } else {
                if (c >= 0) close(c);
                if (srv >= 0) close(srv);
            }
            continue;
        }
        bool cut = false;
        std::vector<size_t> ended;
        for (size_t i = 0; i < links.size() && !cut && !frozen_; ++i) {
            for (int end = 0; end < 2 && !cut && !frozen_; ++end) {
                const pollfd& p = fds[1 + 2 * i + end];
                relay_link& l = links[i];
                if (p.revents & POLLOUT) {
                    ssize_t w = send(l.fd[end], l.out[end].data(), l.out[end].size(),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (w > 0) l.out[end].erase(0, static_cast<size_t>(w));
                }
                if (!(p.events & POLLIN) || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
                ssize_t n = read(l.fd[end], buffer, sizeof buffer);
                if (n <= 0) {
                    // One connection ended: the others go on.
                    ended.push_back(i);
                    break;
                }
                const std::string_view data(buffer, static_cast<size_t>(n));
                // Held back, as everything after it.
                if (end == 0 && at_freeze_text(data)) break;
                if (end == 0 && hold_count_.count() > 0 &&
                    data.find("COUNT(*)") != std::string_view::npos)
                    l.hold_until = clock::now() + hold_count_;
                if (const size_t at = data.find("COUNT(*)");
                    end == 0 && at != std::string_view::npos) {
                    if (count_fault_ == count_fault::refuse)
                        // As long, so that the packet's length still holds.
                        std::memcpy(buffer + at, "NOPE_F()", 8);
                    else if (count_fault_ == count_fault::cut)
                        l.cut_at = clock::now() + clock::duration(count_cut_after_.load());
                }
                if (end == 1 && (!l.held.empty() || clock::now() < l.hold_until))
                    l.held.append(data);
                else
                    l.out[1 - end].append(data);
                if (end == 1) from_server += data.size();
                if (from_server >= cut_after_) cut = true;
            }
        }
        if (frozen_) continue;
        if (cut) {
            close_all();
            continue;
        }
        for (auto i = ended.rbegin(); i != ended.rend(); ++i) {
            shutdown(links[*i].fd[0], SHUT_RDWR);
            close(links[*i].fd[0]);
            close(links[*i].fd[1]);
            links.erase(links.begin() + static_cast<std::ptrdiff_t>(*i));
        }
    }
    for (const relay_link& l : links) {
        close(l.fd[0]);
        close(l.fd[1]);
    }
}
