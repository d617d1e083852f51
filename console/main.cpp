// TALVORIN: converts a MySQL database into a folder of DBF tables, unattended.
#include <exception>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "console/con_main.hpp"
#include "shell/morvale_conv.hpp"

int main(int argc, char** argv) {
    // Level-3 lines only, and only once --logfile= (or a profile) names a file.
    tk_logger logger(nullptr, false, 3, false);
    error_handler handler(error_handler_code_count, error_handler_codes);
    morvale_convertor converter;
    if (argc <= 1) fatal_exit(usage_text());
    try {
        if (!parse_cmd_line(argc, argv)) fatal_exit(usage_text());
        converter.connect_mysql_server();
        converter.check_source();
        converter.check_dest();
        converter();
        // A run that ended in its outer handler did not do the work.
        if (!converter.run_completed()) return -1;
    } catch (const tk_exception& e) {
        // Returns only for kind 0; nothing was converted, so that is a failure too.
        handler.handle(e, true);
        return -1;
    } catch (const std::exception& e) {
        fatal_exit(e.what());
    }
    return 0;
}
