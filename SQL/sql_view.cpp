#include "SQL/sql_view.hpp"

#include <vector>

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

enum token_kind { t_blank, t_word, t_literal, t_backticked, t_bracketed, t_comment, t_other };

struct token {
    token_kind kind;
    std::wstring_view text;
};

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool is_word_char(wchar_t c) {
    return c == L'_' || c == L'$' || pt::is_alnum(c);
}

// The end of a stretch opened by `quote` at i: a backslash escapes the next character
// in literals, a doubled quote stands for itself; an unclosed stretch runs to the end.
size_t quoted_end(std::wstring_view s, size_t i, wchar_t quote, bool backslash) {
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (backslash && s[k] == L'\\') {
            ++k;
        } else if (s[k] == quote) {
            if (k + 1 < s.size() && s[k + 1] == quote && quote != L']')
                ++k;
            else
                return k + 1;
        }
    }
    return s.size();
}

std::vector<token> tokenize(std::wstring_view s) {
    std::vector<token> out;
    size_t i = 0;
    while (i < s.size()) {
        const wchar_t c = s[i];
        size_t end = i + 1;
        token_kind kind = t_other;
        if (is_blank(c)) {
            while (end < s.size() && is_blank(s[end])) ++end;
            kind = t_blank;
        } else if (c == L'\'' || c == L'"') {
            end = quoted_end(s, i, c, true);
            kind = t_literal;
        } else if (c == L'`') {
            end = quoted_end(s, i, c, false);
            kind = t_backticked;
        } else if (c == L'[') {
            end = quoted_end(s, i, L']', false);
            kind = t_bracketed;
        } else if (c == L'/' && i + 1 < s.size() && s[i + 1] == L'*') {
            size_t close = s.find(L"*/", i + 2);
            end = close == std::wstring_view::npos ? s.size() : close + 2;
            kind = t_comment;
        } else if (c == L'#' ||
                   (c == L'-' && i + 2 < s.size() && s[i + 1] == L'-' && is_blank(s[i + 2]))) {
            size_t eol = s.find(L'\n', i);
            end = eol == std::wstring_view::npos ? s.size() : eol;
            kind = t_comment;
        } else if (is_word_char(c)) {
            while (end < s.size() && is_word_char(s[end])) ++end;
            kind = t_word;
        }
        out.push_back({kind, s.substr(i, end - i)});
        i = end;
    }
    return out;
}

bool is_symbol(const token& t, wchar_t c) {
    return t.kind == t_other && t.text[0] == c;
}

// The first token after `i` that is neither a blank nor a comment, or the end.
size_t next_significant(const std::vector<token>& tokens, size_t i) {
    while (i < tokens.size() && (tokens[i].kind == t_blank || tokens[i].kind == t_comment)) ++i;
    return i;
}

// Commas of the call whose "(" is at `open`, up to its ")": at any depth, or at the
// call's own level only. -1 when the call does not close.
int count_commas(const std::vector<token>& tokens, size_t open, bool own_level_only) {
    int depth = 0, commas = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        if (is_symbol(tokens[i], L'(')) {
            ++depth;
        } else if (is_symbol(tokens[i], L')')) {
            if (--depth == 0) return commas;
        } else if (is_symbol(tokens[i], L',') && (!own_level_only || depth == 1)) {
            ++commas;
        }
    }
    return -1;
}

// The name inside `...` or [...].
std::wstring unquote(const token& t) {
    std::wstring_view inner = t.text.substr(1);
    if (!inner.empty() && inner.back() == (t.kind == t_bracketed ? L']' : L'`'))
        inner.remove_suffix(1);
    std::wstring out;
    for (size_t i = 0; i < inner.size(); ++i) {
        out.push_back(inner[i]);
        if (t.kind == t_backticked && inner[i] == L'`' && i + 1 < inner.size() &&
            inner[i + 1] == L'`')
            ++i;
    }
    return out;
}

}  // namespace

const std::wstring* sql_view_converter::renamed(const std::wstring& name) const {
    for (const auto& [from, to] : names_.table_names())
        if (tk_iequal(from, name)) return &to;
    for (const auto& [table, fields] : names_.field_names())
        for (const auto& [from, to] : fields)
            if (tk_iequal(from, name)) return &to;
    return nullptr;
}

std::wstring sql_view_converter::refine(const std::wstring& sql) const {
    const std::vector<token> tokens = tokenize(sql);
    std::wstring out;
    out.reserve(sql.size() + 16);
    size_t skip_to = 0;  // tokens before it are left out (datediff's first argument)
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i < skip_to) continue;
        const token& t = tokens[i];
        switch (t.kind) {
            case t_blank:
                out.push_back(L' ');
                break;
            case t_backticked:
            case t_bracketed: {
                const std::wstring name = unquote(t);
                const std::wstring* to = renamed(name);
                if (t.kind == t_backticked && !to)
                    out += t.text;
                else
                    out += sql_engine::quote_name(to ? *to : name);
                break;
            }
            case t_word: {
                const std::wstring word(t.text);
                const size_t open = next_significant(tokens, i + 1);
                if (open < tokens.size() && is_symbol(tokens[open], L'(')) {
                    // Only calls are rewritten: a column may well be called "len".
                    const int commas = count_commas(tokens, open, false);
                    if (tk_iequal(word, L"isnull") && commas == 1) {
                        out += L"ifnull";
                    } else if (tk_iequal(word, L"getdate")) {
                        out += L"curdate";
                    } else if (tk_iequal(word, L"len")) {
                        out += L"length";
                    } else if (tk_iequal(word, L"dateadd") && commas == 1) {
                        out += L"date_add";
                    } else if (tk_iequal(word, L"replicate") && commas == 1) {
                        out += L"repeat";
                    } else if (tk_iequal(word, L"datediff") &&
                               count_commas(tokens, open, true) == 2) {
                        // T-SQL's unit argument goes; MySQL's two-argument form stays.
                        out += word;
                        out.push_back(L'(');
                        size_t k = open + 1;
                        int depth = 0;
                        for (; k < tokens.size(); ++k) {
                            if (is_symbol(tokens[k], L'(')) ++depth;
                            if (is_symbol(tokens[k], L')')) --depth;
                            if (depth == 0 && is_symbol(tokens[k], L',')) break;
                        }
                        tk_log_printf(1, "Erase at pos=%d, len=%d", i, k - open);
                        skip_to = k + 1;
                    } else {
                        out += word;
                    }
                    break;
                }
                const std::wstring* to = renamed(word);
                out += to ? sql_engine::quote_name(*to) : word;
                break;
            }
            default:
                out += t.text;
                break;
        }
    }
    out.push_back(L';');
    return out;
}

bool sql_view_converter::is_select(std::wstring_view sql) {
    const std::vector<token> tokens = tokenize(sql);
    const size_t first = next_significant(tokens, 0);
    if (first >= tokens.size() || tokens[first].kind != t_word) return false;
    return tk_iequal(tokens[first].text, L"select") || tk_iequal(tokens[first].text, L"with");
}
