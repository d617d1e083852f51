// The table-list file: one table name per line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "console/con_main.hpp"
#include "shell/morvale_conv.hpp"

namespace {

// The whole file; false when it cannot be opened or read.
bool read_whole(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

void process_tab_file(const std::string& path) {
    tk_log_printf(1, "process_tab_file(%s)", path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        fatal_exit(
            "Table names file does not exist.\nPlease verify the correct path/name was given.");
    std::string bytes;
    if (!read_whole(path, bytes)) fatal_exit("Cannot read table names file " + path);

    static constexpr std::string_view bom = "\xEF\xBB\xBF";
    std::vector<std::wstring> names;
    bool utf8 = false;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r' && end < bytes.size()) line.remove_suffix(1);
        if (line.empty()) continue;
        // The first name decides the encoding of all: a byte-order mark means UTF-8,
        // otherwise the system code page.
        if (names.empty() && line.substr(0, bom.size()) == bom) {
            utf8 = true;
            line.remove_prefix(bom.size());
        }
        names.push_back(utf8 ? tk_utf8_to_unicode(line) : tk_ansi_to_unicode(line));
    }
    // The file decides the tables, in place of what an earlier file or profile chose.
    morvale_convertor& conv = morvale_convertor::instance();
    conv.selected_tables().clear();
    conv.selection() = std::move(names);
}
