#include "console/tk_cmdli.hpp"

#include <cstring>

#include "TK/tk_except.hpp"

ansi_cmd_line::ansi_cmd_line(int argc, char** argv, const tk_cmd_option* options)
    : options_(options), cursor_(argv + 1), left_(argc > 1 ? argc - 1 : 0) {
    if (left_ > 0) classify();
}

void ansi_cmd_line::advance() {
    if (left_ <= 0) throw tk_mail_assertion("tk_cmdli.cpp", 60);
    ++cursor_;
    --left_;
    if (left_ > 0) classify();
}

void ansi_cmd_line::classify() {
    if (left_ <= 0) throw tk_mail_assertion("tk_cmdli.cpp", 19);
    const char* arg = *cursor_ ? *cursor_ : "";
    for (const tk_cmd_option* o = options_; o->prefix && *o->prefix; ++o) {
        size_t n = std::strlen(o->prefix);
        if (std::strncmp(arg, o->prefix, n) == 0) {
            // An option without "=" takes no value: "--tab_def=0" would otherwise turn
            // on what it asks to turn off.
            if (o->prefix[n - 1] != '=' && std::strchr(arg + n, '=')) continue;
            id_ = o->id;
            value_.assign(arg + n);
            return;
        }
    }
    id_ = unknown;
    value_.clear();
    if (unknown_count_ < max_unknown) unknown_[unknown_count_] = arg;
    ++unknown_count_;
}
