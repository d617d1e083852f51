#include "platform/files.hpp"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace pt {

namespace {

int write_all(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace

int replace_file(const std::string& path, std::string_view data, mode_t mode) {
    // Beside the target, so that the rename stays on one file system.
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return errno;
    int err = ::fchmod(fd, mode) != 0 ? errno : 0;
    if (!err) err = write_all(fd, data);
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err) ::unlink(tmp.c_str());
    return err;
}

}  // namespace pt
