// A cursor over the program's arguments that classifies each one by the first option
// prefix it begins with. An option whose prefix does not end in "=" is a flag: an
// argument that gives it a value ("--silent=0") is unknown.
#pragma once

#include <cstdint>
#include <string>

struct tk_cmd_option {
    int32_t id;
    const char* prefix;  // the table ends with an empty prefix
};

class TCmdLine {
  public:
    virtual ~TCmdLine() = default;
    virtual void advance() = 0;
    virtual bool has_more() const = 0;
};

class ansi_cmd_line : public TCmdLine {
  public:
    static constexpr int32_t unknown = -1;
    static constexpr int max_unknown = 20;

    // Starts at the first argument after the program's name.
    ansi_cmd_line(int argc, char** argv, const tk_cmd_option* options);

    void advance() override;
    bool has_more() const override { return left_ > 0; }

    int32_t id() const { return id_; }
    // The current argument's text after the matched prefix.
    const std::string& value() const { return value_; }
    // Every unknown argument is counted; the first max_unknown are kept.
    int unknown_count() const { return unknown_count_; }
    const char* unknown_argument(int i) const { return unknown_[i]; }

  private:
    void classify();

    const tk_cmd_option* options_;
    std::string value_;
    int32_t id_ = unknown;
    int unknown_count_ = 0;
    const char* unknown_[max_unknown] = {};
    char** cursor_;
    int left_;
};
