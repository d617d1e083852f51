// The table-list file: one table name per line.
#include <string_view>
#include <vector>

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "console/con_main.hpp"
#include "shell/morvale_conv.hpp"
#include "platform/files.hpp"

void process_tab_file(const std::string& path) {
    tk_log_printf(1, "process_tab_file(%s)", path);
    pt::path_status st;
    if (pt::stat_path(path, st) != 0 || st.kind != pt::path_kind::file)
        fatal_exit(
            "Table names file does not exist.\nPlease verify the correct path/name was given.");
    std::string bytes;
    if (pt::read_file(path, bytes) != 0) fatal_exit("Cannot read table names file " + path);

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
