// What each program defines once; the test programs take the console's spelling.
#include "TK/tk_singl.hpp"

const char* const tk_singl_path = "../..\\TK/tk_singl.hpp";

#include <vector>

#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "tests/support/test_support.hpp"

// The test programs' own report: remember what was reported, as the console would
// print it, and go on.
std::vector<reported_error>& reported_errors() {
    static std::vector<reported_error> list;
    return list;
}

void error_handler::handle(const tk_exception& e, bool outermost) {
    settle_gate();
    if (e.kind() == tk_kind_internal) {
        tk_log_printf(3, "Internal error:\n%s", e.what());
        reported_errors().push_back({e.kind(), e.what(), outermost});
        return;
    }
    std::string message = build_message(e);
    tk_log_printf(3, "Error:\n%s", message);
    reported_errors().push_back({e.kind(), message, outermost});
}
