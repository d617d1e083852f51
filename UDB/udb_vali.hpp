// Name rules of a destination: is a name acceptable, is it taken, and which safe name
// replaces it. The engines derive their own validators and fill the lists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class udb_validator {
  public:
    // max_length 0: no limit.
    explicit udb_validator(uint32_t max_length);
    virtual ~udb_validator() = default;

    virtual bool is_acceptable(const std::wstring& name);
    virtual bool is_duplicated(const std::wstring& name);
    // An acceptable name that is not taken; the caller adds it to the existing names.
    virtual std::wstring get_safe_name(const std::wstring& name);

    void add_existing_name(const std::wstring& name);
    // Records that a source name is written under another name.
    void add_mapped_pair(const std::wstring& name, const std::wstring& mapped);

    uint32_t max_length() const { return max_length_; }
    std::map<std::wstring, std::wstring>& mapped_pairs() { return mapped_pairs_; }
    std::vector<wchar_t>& forbidden_chars() { return forbidden_chars_; }
    std::vector<std::wstring>& reserved_words() { return reserved_words_; }
    std::vector<std::wstring>& existing_names() { return existing_names_; }

  protected:
    uint32_t max_length_;
    std::map<std::wstring, std::wstring> mapped_pairs_;
    std::vector<wchar_t> forbidden_chars_;
    std::vector<std::wstring> reserved_words_;
    std::vector<std::wstring> existing_names_;
};
