// morvale: the conversion wizard.
#include "GUI2/mvl_main.hpp"
#include "platform/files.hpp"
#include "shell/morvale_stop.hpp"

int main(int argc, char** argv) {
    // Before anything opens a file or a socket, which would otherwise take the number of
    // a closed standard stream and receive what is written to it.
    if (!pt::open_standard_streams()) return morvale_failed;
    install_stop_signals();
    return morvale_main(argc, argv);
}
