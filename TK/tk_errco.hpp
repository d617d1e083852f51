// Error codes mapped to texts that explain the cause better than the server does.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct tk_error_record {
    int32_t code;
    const char* text;
};

class tk_error_converter {
  public:
    tk_error_converter(int count, const tk_error_record* records);
    // A code given twice keeps its first text.
    void load_map(int count, const tk_error_record* records);
    // The text for the code, or an empty text.
    std::string convert(int32_t code) const;

  private:
    std::map<int32_t, std::string> map_;
};
