// A key of the per-user settings store (platform/settings.hpp) with registry-style
// operations, and the serializer that loads or stores one setting per call, so that
// the same list of calls serves both directions. Only the wizard opens a key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Status values, numbered as the registry numbers them; 0 is success.
enum : long {
    tk_reg_ok = 0,
    tk_reg_not_found = 2,
    tk_reg_access_denied = 5,
    tk_reg_invalid_handle = 6,
    tk_reg_invalid_data = 13,  // the value exists with another type
    tk_reg_io_error = 29,
    tk_reg_invalid_parameter = 87,
    tk_reg_more_data = 234,
};

// What create found.
enum : uint32_t { tk_reg_created_new_key = 1, tk_reg_opened_existing_key = 2 };

// Value types as the traces report them.
enum : uint32_t { tk_reg_sz = 1, tk_reg_dword = 4 };

// An open key: its path from the user's root and the file that holds it.
struct tk_reg_handle {
    std::string path;
    std::string file;
};
using tk_hkey = const tk_reg_handle*;

// The user's root key; keys below it are opened with tk_reg_key::create.
extern const tk_hkey tk_hkey_current_user;

class tk_reg_key {
  public:
    tk_reg_key() = default;
    ~tk_reg_key() { close(); }
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Opens the subkey of parent, creating its file when missing. On failure the key
    // held before stays open.
    long create(tk_hkey parent, const char* subkey, uint32_t* disposition = nullptr);
    void close() { key_.reset(); }
    long close_key() {
        key_.reset();
        return tk_reg_ok;
    }
    bool is_open() const { return key_ != nullptr; }
    // The errno of the last operation that failed on the file since create was called
    // (0: none did), so that a caller can say why the settings were not kept.
    int error() const { return error_; }
    tk_hkey handle() const { return key_.get(); }

    // Sizes are in bytes and count the terminating zero. A null buffer asks for the size
    // only; a buffer that is too small gets nothing, and tk_reg_more_data with the size.
    long get_value(uint32_t& value, const char* name);
    long get_value(char* buffer, const char* name, uint32_t* size);
    long get_value(wchar_t* buffer, const wchar_t* name, uint32_t* size);

    long set_value(uint32_t value, const char* name);
    long set_value(const char* text, const char* name);
    long set_value(const wchar_t* text, const wchar_t* name);

  private:
    std::unique_ptr<tk_reg_handle> key_;
    int error_ = 0;
};

class tk_serializer {
  public:
    explicit tk_serializer(std::string key_path) : key_path_(std::move(key_path)) {}
    virtual ~tk_serializer() = default;

    // Stores the setting when store is set, else loads it. True when the value was
    // stored or loaded; a missing value, a value of another type or no open key leave
    // the setting as it is and give false. A Boolean is stored as 0 or 1 and loads as
    // "not 0"; an empty text loads as an empty text.
    bool serialize(bool& setting, const char* name, bool store);
    // A number, stored as a 32-bit value.
    bool serialize(uint32_t& setting, const char* name, bool store);
    bool serialize(std::string& setting, const char* name, bool store);
    bool serialize(std::wstring& setting, const wchar_t* name, bool store);

    tk_reg_key& key() { return key_; }
    const std::string& key_path() const { return key_path_; }

  private:
    tk_reg_key key_;
    std::string key_path_;
};
