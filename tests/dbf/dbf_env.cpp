// The DBF code page comes from the locale's language; the tests pin it to 1252.
#include <cstdlib>

namespace {
const bool pinned = [] {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    return true;
}();
}  // namespace
