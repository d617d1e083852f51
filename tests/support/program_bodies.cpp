// What each program defines once; the test programs take the console's spelling.
#include "TK/tk_singl.hpp"

const char* const tk_singl_path = "../..\\TK/tk_singl.hpp";
