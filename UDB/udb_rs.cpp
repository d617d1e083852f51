#include "UDB/udb_rs.hpp"

#include <cwctype>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

udb_recordset::udb_recordset(udb_database* owner, const std::wstring& name,
                             const std::wstring& query, bool flag)
    : query_(query), name_(name), schema_(flag), owner_(owner) {}

udb_recordset::udb_recordset(udb_database* owner, const std::wstring& name, bool flag)
    : udb_recordset(owner, name, std::wstring(), flag) {}

udb_recordset::udb_recordset(const std::wstring& name) : name_(name), schema_(true) {
    tk_log_printf(2, "udb_recordset::ctor(default)");
}

udb_recordset::~udb_recordset() {
    tk_log_printf(1, "udb_recordset::dtor");
}

void udb_recordset::update(const std::wstring&, const udb_record&) {
    tk_log_printf(1, "udb_recordset::update2");
}

void udb_recordset::update(const udb_record&) {
    tk_log_printf(1, "udb_recordset::update1");
}

udb_record* udb_recordset::get_item() {
    return nullptr;
}

bool udb_recordset::is_eof() {
    return true;
}

void udb_recordset::move_to(uint32_t position) {
    tk_log_printf(1, "udb_recordset::move_to(%d)", position);
}

void udb_recordset::add_index(const udb_index& index) {
    tk_log_wprintf(2, L"udb_recordset::add_index(%s, %d)", index.name, key_index_);
    tk_log_wprintf(1, L"udb_indexes::is_acceptable_name(%s)", index.name);
    if (indexes_.find(index.name) >= 0) {
        tk_log_wprintf(2, L"Index '%s' cannot be processed", index.name);
        return;
    }
    if (index.primary || (key_index_ == -1 && index.unique)) {
        tk_log_printf(2, "Store primary/unique key");
        key_index_ = static_cast<int32_t>(indexes_.size());
    }
    indexes_.push_back(index);
}

std::unique_ptr<udb_record> udb_recordset::get_key(const udb_record& record) {
    tk_log_printf(1, "udb_recordset::get_key(that.size=%d)", record.size());
    if (key_index_ < 0 || static_cast<size_t>(key_index_) >= indexes_.size())
        throw tk_exception("There's no primary/unique key", tk_kind_error);
    const udb_index& key = indexes_[static_cast<size_t>(key_index_)];
    tk_log_printf(1, "u_k_flds.size=%d", key.fields.size());
    auto result = std::make_unique<udb_record>();
    int step = 1;
    for (const auto& name : key.fields) {
        tk_log_printf(1, "Step %d.1", step);
        if (!record.find_field(name)) {
            tk_log_wprintf(3, L"Key field '%s' is not found in record", name);
            return nullptr;
        }
        const udb_field& f = record.get_field(name);
        tk_log_wprintf(1, L">> Got key field: %s", f.to_wstring());
        result->push_back(std::make_unique<udb_field>(f));
        tk_log_printf(1, "Step %d.2", step);
        ++step;
    }
    tk_log_printf(1, "Just before exit: result.size=%d", result->size());
    return result;
}

namespace {

// A value that claims to be a number must look like one before it goes into a
// condition unquoted.
bool looks_numeric(const std::wstring& v) {
    size_t i = 0;
    if (i < v.size() && (v[i] == L'-' || v[i] == L'+')) ++i;
    bool digits = false, point = false;
    for (; i < v.size(); ++i) {
        if (v[i] >= L'0' && v[i] <= L'9') {
            digits = true;
        } else if (v[i] == L'.' && !point) {
            point = true;
        } else if ((v[i] == L'e' || v[i] == L'E') && digits) {
            size_t j = i + 1;
            if (j < v.size() && (v[j] == L'-' || v[j] == L'+')) ++j;
            if (j == v.size()) return false;
            for (; j < v.size(); ++j)
                if (v[j] < L'0' || v[j] > L'9') return false;
            return true;
        } else {
            return false;
        }
    }
    return digits;
}

// Bytes written as "0x" and hexadecimal digits: without the prefix, "a" would name a
// column and "12345" be a number.
bool looks_hex(const std::wstring& v) {
    if (v.size() < 3 || v[0] != L'0' || (v[1] != L'x' && v[1] != L'X')) return false;
    for (size_t i = 2; i < v.size(); ++i)
        if (!iswxdigit(static_cast<wint_t>(v[i]))) return false;
    return true;
}

std::wstring quote_text(const std::wstring& v) {
    std::wstring out = L"'";
    for (wchar_t c : v) {
        if (c == L'\'' || c == L'\\') out.push_back(c);
        out.push_back(c);
    }
    return out + L"'";
}

}  // namespace

void udb_scan_key_text(
    const std::wstring& text, const std::function<void(const std::wstring& name)>& column,
    const std::function<void(const std::wstring& name, const std::wstring& value)>& value) {
    std::wstring name, content;
    int opened = 0;
    bool inside = false;
    for (size_t pos = 0; pos < text.size(); ++pos) {
        wchar_t c = text[pos];
        if (c == L'<') {
            tk_log_printf(1, "Open XML-tag at pos=%d", pos);
            if (++opened == 2) {
                value(name, content);
                name.clear();
                content.clear();
                opened = 0;
            }
        } else if (c == L'>') {
            tk_log_printf(1, "Close XML-tag at pos=%d", pos);
            if (!inside) column(name);
            inside = !inside;
        } else if (opened == 1) {
            (inside ? content : name).push_back(c);
        }
    }
}

std::wstring udb_unentity(const std::wstring& value) {
    tk_wstring v(value);
    v.replace_all(L"&lt;", L"<");
    v.replace_all(L"&gt;", L">");
    v.replace_all(L"&amp;", L"&");
    return v;
}

std::wstring udb_recordset::get_filter_subquery(const std::wstring& text) {
    tk_log_wprintf(1, L"udb_recordset::get_filter_subquery(%s)", text);
    std::wstring result;
    auto column = [&](const std::wstring& name) {
        if (!result.empty()) result += L" and ";
        if (!schema_.find_field(name)) {
            tk_log_wprintf(2, L"Field %s not found in the schema", name);
            throw tk_exception(
                "The structure of data source does not conform to the destination table.",
                tk_kind_continue);
        }
        // Double quotes inside a column name are doubled like any quoted identifier.
        std::wstring q = L"\"";
        for (wchar_t ch : schema_.get_field2(name).name) {
            if (ch == L'"') q.push_back(ch);
            q.push_back(ch);
        }
        result += q + L"\"";
    };
    auto value = [&](const std::wstring& name, const std::wstring& v) {
        VARTYPE vt = schema_.get_field_type(name);
        if (udb_is_blob_vt(vt)) {
            tk_log_printf(1, "Special processing for binary");
            // A hexadecimal literal, or the value compared as a string, byte for byte.
            if (v.empty())
                result += L"=X''";
            else
                result += looks_hex(v) ? L"=" + v : L"=" + quote_text(udb_unentity(v));
        } else if (udb_is_numeric_vt(vt)) {
            tk_log_printf(1, "Special processing for binary");
            result += looks_numeric(v) ? L"=" + v : L"=" + quote_text(v);
        } else {
            result += L"=" + quote_text(udb_unentity(v)) + L" ";
        }
    };
    udb_scan_key_text(text, column, value);
    return result;
}
