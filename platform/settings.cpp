#include "platform/settings.hpp"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include "platform/files.hpp"
#include "platform/text.hpp"

namespace pt {

namespace {

std::string config_home() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The base-directory rules say a relative value is to be ignored.
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return std::string(found->pw_dir) + "/.config";
    return {};
}

// Backslash, line ends (and '=' in names) are escaped so that every value is one line.
std::string escape(std::string_view s, bool is_name) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '=':
                if (is_name) {
                    out += "\\=";
                    break;
                }
                [[fallthrough]];
            default:
                out += c;
        }
    }
    return out;
}

char unescape_char(char c) {
    switch (c) {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        default:
            return c;
    }
}

bool parse_line(const std::string& raw, std::string& name, setting_value& value) {
    size_t i = 0;
    name.clear();
    for (; i < raw.size() && raw[i] != '='; ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            name += unescape_char(raw[++i]);
        } else {
            name += raw[i];
        }
    }
    if (i == raw.size()) return false;
    std::string_view rest = std::string_view(raw).substr(i + 1);
    if (rest.starts_with("dword:")) {
        rest.remove_prefix(6);
        uint32_t n = 0;
        auto r = std::from_chars(rest.data(), rest.data() + rest.size(), n);
        if (rest.empty() || r.ec != std::errc() || r.ptr != rest.data() + rest.size()) return false;
        value.kind = setting_value::number;
        value.num = n;
        value.str.clear();
        return true;
    }
    if (rest.starts_with("text:")) {
        rest.remove_prefix(5);
        value.kind = setting_value::text;
        value.num = 0;
        value.str.clear();
        for (size_t j = 0; j < rest.size(); ++j) {
            if (rest[j] == '\\' && j + 1 < rest.size()) {
                value.str += unescape_char(rest[++j]);
            } else {
                value.str += rest[j];
            }
        }
        return true;
    }
    return false;
}

std::string format_line(const std::string& name, const setting_value& v) {
    std::string out = escape(name, true) + "=";
    if (v.kind == setting_value::number) {
        out += "dword:" + std::to_string(v.num);
    } else {
        out += "text:" + escape(v.str, false);
    }
    return out;
}

// Like mkdir -p; new folders are private to the user.
int make_folders(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos < dir.size() && dir[pos] != '/') continue;
        std::string part = dir.substr(0, pos);
        if (int err = make_folder(part, 0700); err && err != EEXIST) return err;
    }
    path_status st;
    if (int err = stat_path(dir, st)) return err;
    return st.kind == path_kind::folder ? 0 : ENOTDIR;
}

// The file's bytes. Opened without waiting and read at offsets, so that a FIFO put in
// the file's place after it was looked at cannot hold the program up, nor a device feed
// it without end.
int read_settings(const std::string& path, std::string& data) {
    int fd = -1;
    if (int err = open_file(path, O_RDONLY | O_NONBLOCK, 0, fd)) return err;
    int err = 0;
    char buf[65536];
    for (size_t n = sizeof buf; n == sizeof buf && !err;) {
        err = read_at(fd, buf, sizeof buf, static_cast<int64_t>(data.size()), n);
        if (!err) data.append(buf, n);
        if (!err && data.size() > static_cast<size_t>(settings_max_size)) err = EFBIG;
    }
    close_file(fd);
    return err;
}

}  // namespace

std::string settings_error_text(const std::string& path, int err) {
    path_status st;
    if (err != EISDIR || stat_path(path, st) != 0 || st.kind != path_kind::other)
        return error_text(err);
    path_status link;
    const bool linked = stat_path(path, link, false) == 0 && link.is_link;
    const char* what = st.other == other_kind::fifo     ? "a FIFO (named pipe)"
                       : st.other == other_kind::device ? "a device"
                       : st.other == other_kind::socket ? "a socket"
                                                        : nullptr;
    if (!what) return "Is not a regular file";
    return std::string(linked ? "Is a link to " : "Is ") + what + ", not a regular file";
}

std::string settings_file_for_key(std::string_view key_path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = key_path.find('\\', start);
        std::string_view part = key_path.substr(
            start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
            return {};
        parts.push_back(part);
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    if (iequal(utf8_decode(parts.front()), L"Software")) parts.erase(parts.begin());
    if (parts.empty()) return {};
    std::string home = config_home();
    if (home.empty()) return {};
    std::string out = home;
    for (auto p : parts) {
        out += '/';
        out += p;
    }
    return out + ".conf";
}

int settings_file::load() {
    lines_.clear();
    path_status st;
    if (int err = stat_path(path_, st)) return err == ENOENT ? 0 : err;
    if (st.kind != path_kind::file) return EISDIR;
    if (st.size > settings_max_size) return EFBIG;
    std::string data;
    if (int err = read_settings(path_, data)) return err == ENOENT ? 0 : err;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        line l;
        l.raw = data.substr(start, end - start);
        if (!l.raw.empty() && l.raw.back() == '\r') l.raw.pop_back();
        l.parsed = parse_line(l.raw, l.name, l.value);
        if (!l.raw.empty()) lines_.push_back(std::move(l));
        start = end + 1;
    }
    return 0;
}

int settings_file::create(bool& created) {
    created = false;
    path_status st;
    int err = stat_path(path_, st);
    if (err == 0) return st.kind == path_kind::file ? 0 : EISDIR;
    if (err != ENOENT) return err;
    if ((err = make_folders(path_.substr(0, path_.rfind('/'))))) return err;
    if ((err = replace_file(path_, std::string_view(), 0600))) return err;
    created = true;
    return 0;
}

int settings_file::set_aside_if_oversized(std::string& aside) const {
    aside.clear();
    path_status st;
    if (stat_path(path_, st) != 0 || st.kind != path_kind::file || st.size <= settings_max_size)
        return 0;
    const std::string to = path_ + ".bad";
    if (int err = rename_file(path_, to)) return err;
    aside = to;
    return 0;
}

const setting_value* settings_file::find(std::string_view name) const {
    std::wstring wanted = utf8_decode(name);
    for (const auto& l : lines_)
        if (l.parsed && iequal(utf8_decode(l.name), wanted)) return &l.value;
    return nullptr;
}

void settings_file::set(std::string_view name, const setting_value& value) {
    std::wstring wanted = utf8_decode(name);
    for (auto& l : lines_) {
        // An existing value keeps the spelling of its name.
        if (l.parsed && iequal(utf8_decode(l.name), wanted)) {
            l.value = value;
            return;
        }
    }
    line l;
    l.parsed = true;
    l.name = std::string(name);
    l.value = value;
    lines_.push_back(std::move(l));
}

int settings_file::save() const {
    std::string data;
    for (const auto& l : lines_) {
        data += l.parsed ? format_line(l.name, l.value) : l.raw;
        data += '\n';
    }
    return replace_file(path_, data, 0600);
}

}  // namespace pt
