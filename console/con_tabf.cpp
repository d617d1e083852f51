// The table-list file: one table name per line.
#include <algorithm>
#include <string_view>
#include <vector>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_prof.hpp"
#include "console/con_main.hpp"
#include "shell/morvale_conv.hpp"

void process_tab_file(const std::string& path) {
    tk_log_printf(1, "process_tab_file(%s)", path);
    std::string bytes;
    try {
        bytes = tk_read_input_file(
            path,
            {"Table names file",
             "Table names file does not exist.\nPlease verify the correct path/name was given.",
             "a list of tables"});
    } catch (const tk_exception& e) {
        fatal_exit(e.message());
    }

    static constexpr std::string_view bom = "\xEF\xBB\xBF";
    std::vector<std::wstring> names;
    bool utf8 = false;
    size_t start = 0;
    for (size_t line_number = 1; start < bytes.size(); ++line_number) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r' && end < bytes.size()) line.remove_suffix(1);
        // No table name is blank from end to end.
        if (line.find_first_not_of(' ') == std::string_view::npos) continue;
        // The first name decides the encoding of all: a byte-order mark means UTF-8,
        // otherwise the system code page.
        if (names.empty() && line.substr(0, bom.size()) == bom) {
            utf8 = true;
            line.remove_prefix(bom.size());
        }
        names.push_back(utf8 ? tk_utf8_to_unicode(line) : tk_ansi_to_unicode(line));
        // No table can have such a name, and the errors that would name it cost more
        // than they tell.
        const std::wstring too_long = udb_name_over_limit(names.back());
        if (!too_long.empty())
            fatal_exit("Table names file " + path + ", line " + std::to_string(line_number) + ": " +
                       tk_unicode_to_utf8(too_long));
    }
    // An empty list comes from a script that found no table: converting every table
    // instead, or in mode 3 appending every table's rows again, is never what it asked.
    if (std::all_of(names.begin(), names.end(), [](const std::wstring& n) { return n.empty(); }))
        fatal_exit("Table names file " + path + " names no table.");
    // The file decides the tables, in place of what an earlier file or profile chose.
    morvale_convertor& conv = morvale_convertor::instance();
    conv.selected_tables().clear();
    conv.selection() = std::move(names);
}
