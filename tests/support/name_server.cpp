#include "tests/support/name_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t type_a = 1;
constexpr uint16_t type_aaaa = 28;

uint16_t be16_of(const std::string& m, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(m[at]) << 8 |
                                 static_cast<uint8_t>(m[at + 1]));
}

// The name and type a query asks for, and where its question ends; false for anything
// else.
bool read_question(const std::string& m, std::string& name, uint16_t& type, size_t& end) {
    if (m.size() < 12 || (m[2] & 0x80) || be16_of(m, 4) != 1) return false;
    size_t p = 12;
    while (p < m.size() && m[p] != 0) {
        const size_t length = static_cast<uint8_t>(m[p]);
        if (length > 63 || p + 1 + length >= m.size()) return false;
        if (!name.empty()) name += '.';
        for (size_t i = 0; i < length; ++i)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(m[p + 1 + i])));
        p += 1 + length;
    }
    if (p + 5 > m.size()) return false;
    type = be16_of(m, p + 1);
    end = p + 5;
    return true;
}

// The answer to the query: the name's IPv4 addresses for an A question, its IPv6 ones
// for AAAA, and "no such name" when the name has no address at all.
std::string answer(const std::string& query, size_t question_end, uint16_t type,
                   const std::vector<std::string>& addresses) {
    std::string r = query.substr(0, question_end);
    r[2] = static_cast<char>(0x80 | (query[2] & 0x79));  // a response; opcode and RD kept
    r[3] = static_cast<char>(addresses.empty() ? 0x83 : 0x80);
    std::string records;
    uint8_t count = 0;
    for (const auto& address : addresses) {
        unsigned char bytes[16];
        const bool v6 = address.find(':') != std::string::npos;
        if (type != (v6 ? type_aaaa : type_a) ||
            inet_pton(v6 ? AF_INET6 : AF_INET, address.c_str(), bytes) != 1)
            continue;
        // The question's name, its type, class IN, a minute to live, the address.
        records += std::string("\xC0\x0C\x00", 3) + static_cast<char>(type) +
                   std::string("\x00\x01\x00\x00\x00\x3C\x00", 7) + static_cast<char>(v6 ? 16 : 4);
        records.append(reinterpret_cast<const char*>(bytes), v6 ? 16 : 4);
        ++count;
    }
    r[6] = 0;
    r[7] = static_cast<char>(count);
    for (size_t i = 8; i < 12; ++i) r[i] = 0;
    return r + records;
}

}  // namespace

name_server::name_server(std::map<std::string, std::vector<std::string>> names)
    : names_(std::move(names)) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(53);
    // An address of its own in the loopback range, so that test programs running side by
    // side do not meet.
    int bound = -1;
    const unsigned pid = static_cast<unsigned>(getpid());
    for (unsigned i = 0; fd_ >= 0 && bound != 0 && i < 64; ++i) {
        a.sin_addr.s_addr = htonl(0x7F350000u | ((pid + i * 257u) & 0xFFFFu) | 1u);
        bound = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (bound != 0) {
        unusable_ =
            std::string("cannot take UDP port 53 of a loopback address: ") + std::strerror(errno);
        return;
    }
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    resolv_conf_ = dir_.file("resolv.conf");
    const std::string conf = "nameserver " + std::string(text) + "\n";
    write_file_bytes(resolv_conf_, conf);
    thread_ = std::thread([this] { serve(); });

    // What a program run so reads as /etc/resolv.conf.
    std::string line;
    for (const auto& word : command("/bin/cat", {"/etc/resolv.conf"})) line += "'" + word + "' ";
    std::string seen;
    if (FILE* p = popen((line + "2>&1").c_str(), "r")) {
        char buffer[512];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) seen.append(buffer, n);
        pclose(p);
    }
    if (seen != conf)
        unusable_ =
            "cannot run a program with a private resolv.conf (unshare -m and mount --bind "
            "take root): " +
            seen;
}

name_server::~name_server() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
}

std::vector<std::string> name_server::command(const std::string& program,
                                              const std::vector<std::string>& args) const {
    std::vector<std::string> line = {"/usr/bin/unshare",
                                     "-m",
                                     "/bin/sh",
                                     "-c",
                                     "mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"",
                                     resolv_conf_,
                                     program};
    line.insert(line.end(), args.begin(), args.end());
    return line;
}

std::vector<std::string> name_server::questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

void name_server::serve() {
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[1500];
        sockaddr_in from{};
        socklen_t from_size = sizeof from;
        const ssize_t n =
            recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
        std::string name;
        uint16_t type = 0;
        size_t end = 0;
        const std::string query(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        if (!read_question(query, name, type, end)) continue;
        {
            std::lock_guard lock(mutex_);
            questions_.push_back((type == type_a ? "A"
                                  : type == 28   ? "AAAA"
                                                 : std::to_string(type)) +
                                 " " + name);
        }
        const auto known = names_.find(name);
        if (known == names_.end()) continue;
        const std::string r = answer(query, end, type, known->second);
        sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), from_size);
    }
}
