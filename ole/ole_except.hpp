// The value classes' own exceptions.
#pragma once

#include "TK/tk_except.hpp"

// A conversion the value cannot make; the run may go on.
class ole_cast_exception : public tk_exception {
  public:
    ole_cast_exception()
        : tk_exception("Cannot cast from source type to destination type", tk_kind_continue) {}
};

// A text that no parser of the requested type accepts.
class ole_type_exception : public tk_exception {
  public:
    ole_type_exception() : tk_exception("The operating type is not supported yet", tk_kind_error) {}
};
