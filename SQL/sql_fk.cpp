#include "SQL/sql_fk.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

// A cursor over one line of CREATE TABLE text.
class fk_scanner {
  public:
    explicit fk_scanner(const std::wstring& s) : s_(s) {}

    void skip_blanks() {
        while (i_ < s_.size() && (s_[i_] == L' ' || s_[i_] == L'\t' || s_[i_] == L'\r')) ++i_;
    }
    // A keyword, case ignored, followed by something that is not part of a word.
    bool keyword(std::wstring_view word) {
        skip_blanks();
        if (s_.size() - i_ < word.size()) return false;
        for (size_t k = 0; k < word.size(); ++k) {
            wchar_t c = s_[i_ + k];
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
            if (c != word[k]) return false;
        }
        size_t end = i_ + word.size();
        if (end < s_.size() && (pt::is_alnum(s_[end]) || s_[end] == L'_')) return false;
        i_ = end;
        return true;
    }
    bool symbol(wchar_t c) {
        skip_blanks();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    // A name: quoted in backticks or double quotes (the quote doubled inside), or bare.
    bool identifier(std::wstring& out) {
        skip_blanks();
        out.clear();
        if (i_ >= s_.size()) return false;
        wchar_t q = s_[i_];
        if (q == L'`' || q == L'"') {
            for (size_t k = i_ + 1; k < s_.size(); ++k) {
                if (s_[k] != q) {
                    out.push_back(s_[k]);
                } else if (k + 1 < s_.size() && s_[k + 1] == q) {
                    out.push_back(q);
                    ++k;
                } else {
                    i_ = k + 1;
                    return true;
                }
            }
            return false;  // no closing quote
        }
        while (i_ < s_.size()) {
            wchar_t c = s_[i_];
            if (c == L' ' || c == L'\t' || c == L'(' || c == L')' || c == L',' || c == L'.' ||
                c == L'`' || c == L'"')
                break;
            out.push_back(c);
            ++i_;
        }
        return !out.empty();
    }
    // "(" name ["," name ...] ")"
    bool identifier_list(std::vector<std::wstring>& out) {
        if (!symbol(L'(')) return false;
        do {
            std::wstring name;
            if (!identifier(name)) return false;
            out.push_back(std::move(name));
        } while (symbol(L','));
        return symbol(L')');
    }
    std::wstring rest() const { return s_.substr(i_); }

  private:
    const std::wstring& s_;
    size_t i_ = 0;
};

}  // namespace

sql_fk_parser::sql_fk_parser(const std::wstring& table, const std::wstring& create_text)
    : table_(table) {
    size_t start = 0;
    while (start <= create_text.size()) {
        size_t end = create_text.find(L'\n', start);
        if (end == std::wstring::npos) end = create_text.size();
        chunks_.push_back(create_text.substr(start, end - start));
        start = end + 1;
    }
}

sql_fk_parser::sql_fk_parser(const std::wstring& table, std::string_view utf8_create_text)
    : sql_fk_parser(table, pt::utf8_decode(utf8_create_text)) {}

void sql_fk_parser::do_parse(std::vector<udb_relationship>& list) const {
    tk_log_printf(1, "Got %d chunks", chunks_.size());
    for (size_t n = 0; n < chunks_.size(); ++n) {
        tk_log_printf(1, "Processing FK chunk #%d", n);
        fk_scanner sc(chunks_[n]);
        std::wstring name, pk_table;
        std::vector<std::wstring> fk_columns, pk_columns;
        // Column lines (whose comments may mimic a constraint) never begin this way.
        if (!sc.keyword(L"CONSTRAINT")) {
            tk_log_printf(1, "CONSTRAINT is not found");
            continue;
        }
        if (!sc.identifier(name) || !sc.keyword(L"FOREIGN") || !sc.keyword(L"KEY")) {
            tk_log_printf(1, "FOREIGN KEY is not found");
            continue;
        }
        tk_log_wprintf(1, L"Got FK name: %s", name);
        if (!sc.identifier_list(fk_columns) || !sc.keyword(L"REFERENCES")) {
            tk_log_printf(1, "REFERENCES is not found");
            continue;
        }
        if (!sc.identifier(pk_table)) continue;
        // The server qualifies only a table of another database; written elsewhere,
        // the key would bind to a local table of the same name.
        if (sc.symbol(L'.')) {
            tk_log_wprintf(2, L"Foreign key '%s' refers to another database; skipped", name);
            continue;
        }
        tk_log_wprintf(1, L"Got PK table: %s", pk_table);
        if (!sc.identifier_list(pk_columns)) {
            tk_log_printf(1, "PK columns are not found");
            continue;
        }
        tk_wstring rule = tk_wstring(sc.rest()).trim();
        if (!rule.empty() && rule.back() == L',')
            rule = tk_wstring(rule.substr(0, rule.size() - 1)).trim();
        tk_log_wprintf(1, L"Got FK rule: %s", rule);
        list.emplace_back(name, std::wstring(), table_, pk_table, fk_columns, pk_columns, rule);
    }
}

bool sql_fk_parser::get_columns(const std::wstring& text, std::vector<std::wstring>& out) {
    bool inside = false;
    std::wstring name;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c != L'`') {
            if (inside) name.push_back(c);
            continue;
        }
        if (inside && i + 1 < text.size() && text[i + 1] == L'`') {
            name.push_back(L'`');
            ++i;
        } else if (inside) {
            tk_log_wprintf(1, L"GOT FK COLUMN: %s", name);
            out.push_back(name);
            name.clear();
            inside = false;
        } else {
            inside = true;
        }
    }
    return true;
}

sql_field_finder::sql_field_finder(const udb_record& record) {
    validator_ = sql_engine::instance().create_fn_validator(record);
    initialize(record);
}

void sql_field_finder::initialize(const udb_record& record) {
    for (size_t i = 0; i < record.size(); ++i) {
        std::wstring name = record[i].get_name();
        if (!validator_->is_acceptable(name)) {
            std::wstring safe = validator_->get_safe_name(name);
            tk_log_wprintf(1, L"GOT SAFE NAME: %s->%s", name, safe);
            validator_->add_existing_name(safe);
            name = safe;
        }
        names_.push_back(name);
        // A later field of the same name in another case gets a name of its own.
        validator_->reserved_words().push_back(name);
    }
}

int32_t sql_field_finder::get_field_idx(const std::wstring& name) const {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i].size() == name.size() && tk_iequal(names_[i], name))
            return static_cast<int32_t>(i);
    return -1;
}

bool sql_fk_rule(const std::wstring& text, std::wstring& rule) {
    rule.clear();
    std::vector<std::wstring> words;
    std::wstring word;
    for (size_t i = 0; i <= text.size(); ++i) {
        const wchar_t c = i < text.size() ? text[i] : L' ';
        if (c == L' ' || c == L'\t') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c);
        }
    }
    // Each clause: ON, DELETE or UPDATE (each once), and one of the five actions.
    bool seen_delete = false, seen_update = false;
    size_t i = 0;
    while (i < words.size()) {
        if (words[i] != L"ON" || i + 2 >= words.size()) return false;
        const std::wstring event = words[i + 1];
        if (event != L"DELETE" && event != L"UPDATE") return false;
        bool& seen = event == L"DELETE" ? seen_delete : seen_update;
        if (seen) return false;
        seen = true;
        std::wstring action = words[i + 2];
        i += 3;
        if (action == L"SET" || action == L"NO") {
            if (i >= words.size()) return false;
            const std::wstring second = words[i++];
            if (action == L"SET" ? second != L"NULL" && second != L"DEFAULT" : second != L"ACTION")
                return false;
            action += L" " + second;
        } else if (action != L"RESTRICT" && action != L"CASCADE") {
            return false;
        }
        if (!rule.empty()) rule += L" ";
        rule += L"ON " + event + L" " + action;
    }
    return true;
}
