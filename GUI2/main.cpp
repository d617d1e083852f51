// morvale: the conversion wizard.
#include "GUI2/mvl_main.hpp"

int main(int argc, char** argv) {
    return morvale_main(argc, argv);
}
