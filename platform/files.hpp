// Small file operations that the stand-ins share. No exceptions; errno values back.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace pt {

// Replaces the file's content as a whole: writes a temporary file beside it with the
// given mode, flushes it to disk and renames it over the file. On failure the old file
// is untouched and the temporary file removed. 0 or the errno of the failure.
int replace_file(const std::string& path, std::string_view data, mode_t mode);

}  // namespace pt
