#include "TK/tk_regk.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <vector>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "platform/settings.hpp"
#include "platform/text.hpp"

namespace {

const tk_reg_handle current_user_root{};

long status_of(int err) {
    switch (err) {
        case 0:
            return tk_reg_ok;
        case ENOENT:
            return tk_reg_not_found;
        case EACCES:
        case EPERM:
        case EROFS:
            return tk_reg_access_denied;
        default:
            return tk_reg_io_error;
    }
}

// Reads the key's file afresh, so values written by another program show up.
long find_value(const tk_reg_handle* key, const std::string& name, pt::setting_value& out,
                int& error) {
    if (!key) return tk_reg_invalid_handle;
    pt::settings_file f(key->file);
    if (int err = f.load()) return status_of(error = err);
    const pt::setting_value* v = f.find(name);
    if (!v) return tk_reg_not_found;
    out = *v;
    return tk_reg_ok;
}

long store_value(const tk_reg_handle* key, const std::string& name, const pt::setting_value& v,
                 int& error) {
    pt::settings_file f(key->file);
    int err = f.load();
    if (!err) {
        f.set(name, v);
        err = f.save();
    }
    if (err) error = err;
    return status_of(err);
}

// Copies a text with its terminating zero into a caller's buffer of *size bytes.
template <class C>
long copy_text(const std::basic_string<C>& text, C* buffer, uint32_t* size) {
    uint64_t needed = (text.size() + 1) * sizeof(C);
    if (needed > UINT32_MAX) return tk_reg_invalid_data;
    tk_log_printf(1, "type=%d, size=%d", tk_reg_sz, needed);
    uint32_t room = *size;
    *size = static_cast<uint32_t>(needed);
    if (!buffer) return tk_reg_ok;
    if (room < needed) return tk_reg_more_data;
    std::memcpy(buffer, text.c_str(), needed);
    return tk_reg_ok;
}

}  // namespace

const tk_hkey tk_hkey_current_user = &current_user_root;

long tk_reg_key::create(tk_hkey parent, const char* subkey, uint32_t* disposition) {
    if (!parent) throw tk_mail_assertion("tk_regk.cpp", 64);
    std::string sub = subkey ? subkey : "";
    std::string path = parent->path;
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    std::string file = pt::settings_file_for_key(path);
    error_ = 0;
    if (file.empty()) return tk_reg_invalid_parameter;
    bool created = false;
    if (int err = pt::settings_file(file).create(created)) return status_of(error_ = err);
    key_ = std::make_unique<tk_reg_handle>(tk_reg_handle{path, file});
    if (disposition) *disposition = created ? tk_reg_created_new_key : tk_reg_opened_existing_key;
    return tk_reg_ok;
}

long tk_reg_key::get_value(uint32_t& value, const char* name) {
    if (!name) throw tk_mail_assertion("tk_regk.cpp", 98);
    tk_log_printf(2, "tk_reg_key::get_value(ulong, %s)", name);
    pt::setting_value v;
    if (long st = find_value(key_.get(), name, v, error_)) return st;
    if (v.kind != pt::setting_value::number) return tk_reg_invalid_data;
    tk_log_printf(1, "type=%d, size=%d", tk_reg_dword, 4);
    value = v.num;
    return tk_reg_ok;
}

long tk_reg_key::get_value(char* buffer, const char* name, uint32_t* size) {
    if (!name) throw tk_mail_assertion("tk_regk.cpp", 115);
    if (!size) throw tk_mail_assertion("tk_regk.cpp", 116);
    tk_log_printf(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    pt::setting_value v;
    if (long st = find_value(key_.get(), name, v, error_)) return st;
    if (v.kind != pt::setting_value::text) return tk_reg_invalid_data;
    return copy_text(v.str, buffer, size);
}

long tk_reg_key::get_value(wchar_t* buffer, const wchar_t* name, uint32_t* size) {
    if (!name) throw tk_mail_assertion("tk_regk.cpp", 132);
    if (!size) throw tk_mail_assertion("tk_regk.cpp", 133);
    tk_log_wprintf(2, L"tk_reg_key::get_value(LPWSTR, %s)", name);
    pt::setting_value v;
    if (long st = find_value(key_.get(), pt::utf8_encode(name), v, error_)) return st;
    if (v.kind != pt::setting_value::text) return tk_reg_invalid_data;
    return copy_text(pt::utf8_decode(v.str), buffer, size);
}

long tk_reg_key::set_value(uint32_t value, const char* name) {
    if (!key_) throw tk_mail_assertion("tk_regk.cpp", 149);
    pt::setting_value v;
    v.kind = pt::setting_value::number;
    v.num = value;
    return store_value(key_.get(), name ? name : "", v, error_);
}

long tk_reg_key::set_value(const char* text, const char* name) {
    if (!text) throw tk_mail_assertion("tk_regk.cpp", 156);
    if (!key_) throw tk_mail_assertion("tk_regk.cpp", 157);
    pt::setting_value v;
    v.kind = pt::setting_value::text;
    v.str = text;
    return store_value(key_.get(), name ? name : "", v, error_);
}

long tk_reg_key::set_value(const wchar_t* text, const wchar_t* name) {
    if (!text) throw tk_mail_assertion("tk_regk.cpp", 164);
    if (!key_) throw tk_mail_assertion("tk_regk.cpp", 165);
    pt::setting_value v;
    v.kind = pt::setting_value::text;
    v.str = pt::utf8_encode(text);
    return store_value(key_.get(), pt::utf8_encode(name ? name : L""), v, error_);
}

bool tk_serializer::serialize(bool& setting, const char* name, bool store) {
    if (!key_.is_open()) return false;
    if (store) return key_.set_value(setting ? 1u : 0u, name) == tk_reg_ok;
    uint32_t n = 0;
    if (key_.get_value(n, name) != tk_reg_ok) return false;
    setting = n != 0;
    return true;
}

bool tk_serializer::serialize(uint32_t& setting, const char* name, bool store) {
    if (!key_.is_open()) return false;
    if (store) return key_.set_value(setting, name) == tk_reg_ok;
    return key_.get_value(setting, name) == tk_reg_ok;
}

bool tk_serializer::serialize(std::string& setting, const char* name, bool store) {
    if (!key_.is_open()) return false;
    if (store) return key_.set_value(setting.c_str(), name) == tk_reg_ok;
    uint32_t size = 0;
    if (key_.get_value(static_cast<char*>(nullptr), name, &size) != tk_reg_ok || size == 0)
        return false;
    std::vector<char> buf(size);
    if (key_.get_value(buf.data(), name, &size) != tk_reg_ok) return false;
    // The text ends at its first zero, but never past what was read.
    setting.assign(buf.data(), strnlen(buf.data(), std::min<size_t>(size, buf.size())));
    return true;
}

bool tk_serializer::serialize(std::wstring& setting, const wchar_t* name, bool store) {
    if (!key_.is_open()) return false;
    if (store) return key_.set_value(setting.c_str(), name) == tk_reg_ok;
    uint32_t size = 0;
    if (key_.get_value(static_cast<wchar_t*>(nullptr), name, &size) != tk_reg_ok || size == 0)
        return false;
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
    if (key_.get_value(buf.data(), name, &size) != tk_reg_ok) return false;
    size_t limit = std::min<size_t>(size / sizeof(wchar_t), buf.size());
    setting.assign(buf.data(), wcsnlen(buf.data(), limit));
    return true;
}
