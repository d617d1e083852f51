// The libFuzzer target: arbitrary bytes as a table with its memo and container files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "TK/tk_errh.hpp"
#include "TK/tk_singl.hpp"
#include "tests/dbf/fuzz/dbf_fuzz_one.hpp"

const char* const tk_singl_path = "../..\\TK/tk_singl.hpp";

// The fuzz target's report: nothing to show, and an internal error is a finding.
void error_handler::handle(const tk_exception& e, bool) {
    if (e.kind() == tk_kind_internal) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static error_handler handler(error_handler_code_count, error_handler_codes);
    dbf_fuzz_one(data, size);
    return 0;
}
