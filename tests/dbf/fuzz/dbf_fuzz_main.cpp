// The libFuzzer target: arbitrary bytes as a table with its memo and container files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "TK/tk_errh.hpp"
#include "TK/tk_singl.hpp"
#include "tests/dbf/fuzz/dbf_fuzz_one.hpp"

const char* const tk_singl_path = "../..\\TK/tk_singl.hpp";

// The fuzz target's report: nothing to show, and an internal error is a finding.
void error_handler::handle(const tk_exception& e, bool) {
    if (e.kind() == tk_kind_internal) {
        std::fprintf(stderr, "internal error reported: %s\n", e.what());
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static error_handler handler(error_handler_code_count, error_handler_codes);
    const std::string outcome = dbf_fuzz_one(data, size);
    if (outcome.rfind("internal: ", 0) == 0) {
        std::fprintf(stderr, "%s\n", outcome.c_str());
        std::abort();
    }
    return 0;
}
