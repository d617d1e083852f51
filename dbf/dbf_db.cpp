#include "dbf/dbf_db.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <fcntl.h>

#include "TK/tk_except.hpp"
#include "TK/tk_file.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "dbf/dbf_cp.hpp"
#include "dbf/dbf_dbc.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_image.hpp"
#include "dbf/dbf_memo.hpp"
#include "dbf/dbf_path.hpp"
#include "dbf/dbf_rs.hpp"
#include "dbf/dbf_type.hpp"
#include "dbf/dbf_vali.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"

namespace {

std::string utf8(const std::wstring& s) {
    return pt::utf8_encode(s);
}

bool path_exists(const std::wstring& path) {
    pt::path_status st;
    return pt::stat_path(utf8(path), st, false) == 0;
}

// Field names as DBF programs compare them: ASCII letters in either case.
bool same_field_name(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// The first bytes of a regular file (up to `limit`) and its size; 0 or the errno.
int read_start(const std::string& path, size_t limit, std::string& head, int64_t& size) {
    int fd = -1;
    if (int err = pt::open_file(path, O_RDONLY | O_NONBLOCK, 0, fd)) return err;
    int err = pt::file_size(fd, size);
    if (!err) {
        head.resize(static_cast<size_t>(std::clamp<int64_t>(size, 0, static_cast<int64_t>(limit))));
        size_t done = 0;
        err = pt::read_at(fd, head.data(), head.size(), 0, done);
        head.resize(done);
    }
    pt::close_file(fd);
    return err;
}

std::wstring extension_of(const std::wstring& path) {
    const std::wstring file = dbf_file_of(path);
    const size_t dot = file.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : file.substr(dot + 1);
}

bool is_memo_extension(const std::wstring& ext) {
    return tk_iequal(ext, L"fpt") || tk_iequal(ext, L"dbt") || tk_iequal(ext, L"smt") ||
           tk_iequal(ext, L"dct");
}

// Why the file at `full`, named like a memo file, is not to be taken for one ("PATH is
// not a memo file", "PATH cannot be read: REASON"); none for a memo file, and for a file
// that is not there.
std::optional<std::string> not_a_memo(const std::wstring& full) {
    const std::string path = utf8(full);
    switch (dbf_entry_at(full)) {
        case dbf_entry::none:
            return std::nullopt;
        case dbf_entry::other:
            return path + " is not a memo file";
        case dbf_entry::file:
            break;
    }
    std::string head;
    int64_t size = 0;
    if (int err = read_start(path, 512, head, size))
        return err == ENOENT ? std::nullopt
                             : std::optional(path + " cannot be read: " + pt::error_text(err));
    if (!dbf_is_memo_header(head, static_cast<uint64_t>(size), extension_of(full)))
        return path + " is not a memo file";
    return std::nullopt;
}

// A companion file that goes with its table: a regular file, and for a memo file's
// name, a memo file.
bool is_companion_to_delete(const std::wstring& path) {
    if (dbf_entry_at(path) != dbf_entry::file) return false;
    if (!is_memo_extension(extension_of(path))) return true;
    if (auto why = not_a_memo(path)) {
        tk_log_printf(2, "%s; it is left as it is", *why);
        return false;
    }
    return true;
}

// A memo file's name taken by something that is not a memo file (a folder, a FIFO, a
// dangling link, text) is the table's error: it is never deleted, opened or written over.
void check_memo_file(const std::wstring& full) {
    if (auto why = not_a_memo(full)) throw tk_exception(dbf_left_as_is(*why), tk_kind_continue);
}

// Why the file at `full` is not to be taken for a table (see dbf_database::not_a_table).
std::optional<std::string> why_not_a_table(const std::wstring& full) {
    const std::string path = utf8(full);
    auto left = [&](const std::string& what) { return path + " " + what; };
    // Only a regular file is opened: a FIFO would hold the run until a writer came.
    if (dbf_entry_at(full) == dbf_entry::other) return left("is not a DBF table");
    std::string head;
    int64_t size = 0;
    if (int err = read_start(path, 0x10000, head, size))
        return err == ENOENT ? std::nullopt
                             : std::optional(left("cannot be read: " + pt::error_text(err)));
    if (!dbf_is_table_header(head, static_cast<uint64_t>(size))) return left("is not a DBF table");
    return std::nullopt;
}

bool ends_with_dbf_family(const std::wstring& name) {
    for (const wchar_t* ext : {L".dbc", L".dbf", L".dbt", L".fpt"})
        if (tk_wstring::ends_with(name, ext, false)) return true;
    return false;
}

}  // namespace

dbf_database::dbf_database(const std::wstring& folder, int32_t open_mode, uint8_t user_code_page,
                           bool use_container)
    : udb_database(folder, open_mode, 0),
      use_container_(use_container),
      user_code_page_(user_code_page) {
    tk_log_printf(2, "dbf_database::ctor");
    dbf_code_page_map();
    // The folder is listed where it is; the current directory is never changed.
    std::string dir = folder.empty() ? std::string(".") : utf8(folder);
    int fd = -1;
    if (int err = pt::open_file(dir, O_RDONLY | O_DIRECTORY, 0, fd))
        throw tk_exception("Cannot read destination folder: " + pt::error_text(err), tk_kind_error);
    pt::close_file(fd);
    // One listing serves every later lookup of a table's files.
    std::vector<dbf_folder_entry> entries;
    listing_.list(folder, &entries);
    folder_ = dbf_folder_of(tk_join_path(folder.empty() ? L"." : folder, L"x"));
    for (const auto& [entry, kind] : entries) {
        const bool file = kind == pt::path_kind::file;
        if (file && remove_orphaned_temp(entry)) continue;
        if (!tk_wstring::ends_with(entry, L".dbf", false)) continue;
        tk_log_wprintf(2, L"Process entry '%s'", entry);
        // A folder or FIFO of a table's name is no table, but is named with the files
        // that are not tables when the folder is emptied.
        if (!file) {
            odd_entries_.push_back(entry);
            continue;
        }
        std::wstring table = entry.substr(0, entry.size() - 4);
        tk_log_wprintf(2, L"Find table: '%s'=>'%s'", table, entry);
        add_table(table, entry);
    }
    tk_log_printf(2, "dbf_database::ctor - END");
}

bool dbf_database::remove_orphaned_temp(const std::wstring& entry) {
    // Only what a run writes here: the temporary files of new tables and memo files.
    const std::wstring target = pt::utf8_decode(pt::orphaned_temp_target(utf8(entry)));
    if (target.empty() || !(tk_wstring::ends_with(target, L".dbf", false) ||
                            tk_wstring::ends_with(target, L".fpt", false)))
        return false;
    const std::string path = utf8(tk_join_path(name_.empty() ? L"." : name_, entry));
    if (int err = pt::remove_file(path)) {
        tk_log_printf(2, "Cannot remove '%s': %s", path, pt::error_text(err));
        return false;
    }
    tk_log_printf(2, "Removed '%s', left by a run that was killed", path);
    listing_.remove(entry);
    return true;
}

dbf_database::~dbf_database() {
    dbc_.reset();
    files_.clear();
}

void dbf_database::add_table(const std::wstring& name, const std::wstring& file) {
    if (table_count_ == table_names_.size()) {
        ++table_keys_[dbf_folded(name)];
        ++table_count_;
    }
    table_names_.push_back(name);
    // The first entry wins.
    files_.emplace(name, file);
    files_nocase_.emplace(dbf_folded(name), file);
}

bool dbf_database::is_table_exist(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_database::is_table_exist(%s,case_sensitive=%d)", name, case_sensitive_);
    // The list is public to callers: a count that no longer matches it is made again.
    if (table_count_ != table_names_.size()) {
        table_keys_.clear();
        for (const auto& t : table_names_) ++table_keys_[dbf_folded(t)];
        table_count_ = table_names_.size();
    }
    auto it = table_keys_.find(dbf_folded(name));
    const bool found = it != table_keys_.end() && it->second > 0;
    tk_log_printf(1, found ? "table exists" : "table not found");
    return found;
}

const std::wstring* dbf_database::find_file(const std::wstring& name) const {
    auto exact = files_.find(name);
    if (exact != files_.end()) return &exact->second;
    // Windows ignores the case of file names; so does the lookup of a table's file.
    auto other = files_nocase_.find(dbf_folded(name));
    return other != files_nocase_.end() ? &other->second : nullptr;
}

void dbf_database::forget_table(const std::wstring& name) {
    // The base removed one name that equals it without regard to case.
    if (table_count_ != table_names_.size() + 1) {
        table_count_ = SIZE_MAX;
        return;
    }
    auto it = table_keys_.find(dbf_folded(name));
    if (it != table_keys_.end() && it->second > 0) --it->second;
    --table_count_;
}

const dbf_listing* dbf_database::listing_of(const std::wstring& path) const {
    return dbf_folder_of(path) == folder_ ? &listing_ : nullptr;
}

std::wstring dbf_database::get_full_table_name(const std::wstring& name) const {
    tk_log_wprintf(1, L"dbf_database::get_full_table_name(%s)", name);
    tk_log_wprintf(2, L"dbf_database::get_file_name(%s)", name);
    std::wstring file = name;
    if (const std::wstring* mapped = find_file(name)) {
        tk_log_wprintf(2, L"Mapped name found: %s", *mapped);
        file = *mapped;
    } else {
        tk_log_printf(2, "Mapped name not found");
    }
    if (!ends_with_dbf_family(file)) file += L".dbf";
    return tk_join_path(name_.empty() ? L"." : name_, file);
}

std::unique_ptr<udb_recordset> dbf_database::get_table(const std::wstring& name, int32_t mode) {
    tk_log_wprintf(2, L"dbf_database::get_table(%s)", name);
    std::wstring full = get_full_table_name(name);
    switch (dbf_entry_at(full)) {
        case dbf_entry::file:
            break;
        case dbf_entry::other:
            throw tk_exception(dbf_left_as_is(utf8(full) + " is not a DBF table"),
                               tk_kind_continue);
        case dbf_entry::none:
            tk_log_wprintf(2, L"Table '%s' does not exists", name);
            throw tk_exception("Table file not found", tk_kind_error);
    }
    return std::make_unique<dbf_recordset>(full, static_cast<uint32_t>(mode), user_code_page_);
}

void dbf_database::create_memo_file(const std::wstring& name) {
    tk_log_wprintf(1, L"dbf_database::create_memo_file(%s)", name);
    // The memo file of a table takes the letter case of the table file's extension.
    std::wstring full = tk_wstring::ends_with(name, L".fpt", false)
                            ? get_full_table_name(name)
                            : dbf_memo_of(get_full_table_name(name));
    tk_log_wprintf(1, L"Full memo file name: %s", full);
    check_memo_file(full);
    fpt_memo_file memo(utf8(full), tk_file_create, dbf_memo_fpt);
    if (listing_of(full)) listing_.add(dbf_file_of(full));
}

std::vector<dbf_field_descriptor> dbf_table_fields(const udb_schema& schema) {
    const dbf_codec& codec = dbf_codec::get(0);
    dbf_fn_validator validator(schema);
    std::vector<std::wstring> used;
    std::vector<dbf_field_descriptor> fields;
    fields.reserve(schema.size());
    for (size_t i = 0; i < schema.size(); ++i) {
        const t_ftd& column = schema[i];
        // Names are checked as the bytes they are written as: characters the code page
        // lacks become "_" first, so that two names never share one set of bytes.
        std::wstring field_name = column.name;
        for (wchar_t& c : field_name) {
            uint8_t b;
            if (!codec.encode_char(c, b) || b == 0) c = L'_';
        }
        bool taken = false;
        for (const auto& u : used) taken = taken || tk_iequal(u, field_name);
        if (taken || !validator.is_acceptable(field_name))
            field_name = validator.get_safe_name(field_name);
        // Every name given is taken from then on, also one that the code page changed,
        // so that no later safe name can repeat it.
        validator.add_existing_name(field_name);
        used.push_back(field_name);

        dbf_field_descriptor fd = dbf_create_field(column);
        std::string bytes = codec.encode(field_name);
        std::memcpy(fd.bytes.data(), bytes.data(), std::min<size_t>(bytes.size(), 10));
        fields.push_back(fd);
    }
    // Visual FoxPro readers take a memo field's block number only in its binary form.
    if (dbf_is_vfp_table(fields))
        for (dbf_field_descriptor& fd : fields)
            if (dbf_is_memo_letter(fd.letter())) fd.set(fd.letter(), dbf_vfp_memo_length, 0);
    return fields;
}

namespace {

// Whether a field of an existing table is the one create_table writes for a column, its
// memo fields in the form of that table's layout: the table keeps its version byte.
bool same_form(const dbf_read_descriptor& have, const dbf_field_descriptor& made, bool vfp) {
    if (have.letter != made.letter() || have.decimals != made.decimals()) return false;
    if (dbf_is_memo_letter(made.letter()))
        return have.length == (vfp ? dbf_vfp_memo_length : dbf_memo_length);
    return have.length == made.length();
}

}  // namespace

bool dbf_made_from(const udb_recordset& table, const udb_schema& schema) {
    const auto* dbf = dynamic_cast<const dbf_recordset*>(&table);
    if (!dbf) return false;
    const std::vector<dbf_read_descriptor>& have = dbf->get_descriptors();
    const std::vector<dbf_field_descriptor> made = dbf_table_fields(schema);
    if (have.size() != made.size()) return false;
    const bool vfp = dbf_is_vfp(dbf->get_version());
    for (size_t i = 0; i < made.size(); ++i) {
        const dbf_field_descriptor& m = made[i];
        const char* name = reinterpret_cast<const char*>(m.bytes.data());
        if (!same_field_name(have[i].name, std::string_view(name, strnlen(name, 11))) ||
            !same_form(have[i], m, vfp))
            return false;
    }
    return true;
}

bool dbf_merge_into(udb_recordset& table, const udb_schema& schema) {
    auto by_position = [&] {
        return dbf_made_from(table, schema) || schema.conform_to(table.get_schema(), false);
    };
    auto* dbf = dynamic_cast<dbf_recordset*>(&table);
    if (!dbf) return by_position();
    const std::vector<dbf_field_info>& have = dbf->get_fields();
    const udb_schema& dest = table.get_schema();
    const std::vector<dbf_field_descriptor> made = dbf_table_fields(schema);
    auto name_of = [&](size_t i) {
        const char* name = reinterpret_cast<const char*>(made[i].bytes.data());
        return std::string_view(name, strnlen(name, 11));
    };
    // Each column's field: the one at its own position when the names agree, else the
    // first other field free of that name.
    std::vector<int32_t> field_of(made.size(), -1);
    std::vector<bool> taken(have.size(), false);
    for (size_t j = 0; j < have.size(); ++j) {
        const auto column = static_cast<size_t>(have[j].column);
        if (have[j].column >= 0 && column < made.size() &&
            same_field_name(have[j].fd.name, name_of(column))) {
            field_of[column] = static_cast<int32_t>(j);
            taken[j] = true;
        }
    }
    bool elsewhere = false, all_found = made.size() == dest.size();
    for (size_t i = 0; i < made.size(); ++i) {
        if (field_of[i] >= 0) continue;
        for (size_t j = 0; j < have.size() && field_of[i] < 0; ++j) {
            if (!same_field_name(have[j].fd.name, name_of(i))) continue;
            elsewhere = true;
            if (!taken[j] && have[j].column >= 0) {
                field_of[i] = static_cast<int32_t>(j);
                taken[j] = true;
            }
        }
        all_found = all_found && field_of[i] >= 0;
    }
    // Names that say nothing of the order leave it to the positions, as a table of other
    // field names that a user made may rely on.
    if (!elsewhere) return by_position();
    if (!all_found) return false;
    std::vector<int32_t> sources(dest.size(), -1);
    for (size_t i = 0; i < made.size(); ++i) {
        const dbf_field_info& f = have[static_cast<size_t>(field_of[i])];
        const bool as_made = same_form(f.fd, made[i], dbf_is_vfp(dbf->get_version()));
        if (!as_made && !schema[i].conform_to(dest[static_cast<size_t>(f.column)])) return false;
        sources[static_cast<size_t>(f.column)] = static_cast<int32_t>(i);
    }
    dbf->take_values_from(sources);
    return true;
}

std::unique_ptr<udb_recordset> dbf_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    (void)indexes;  // no index file is written
    tk_log_wprintf(2, L"dbf_database::create_table(%s)", name);
    if (is_table_exist(name)) return get_table(name, udb_open_append);
    return write_new_table(name, schema);
}

std::unique_ptr<udb_recordset> dbf_database::write_new_table(const std::wstring& name,
                                                             const udb_schema& schema) {
    const std::wstring full = get_full_table_name(name);

    // The whole image is built in memory and checked before anything is written.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const dbf_table_image made = dbf_new_table_image(schema, local);
    const std::vector<uint8_t>& image = made.bytes;
    const bool has_memo = made.has_memo;

    // Nothing is written beside a folder or FIFO of the table's name, whatever its case,
    // nor in place of a file that is no table or a memo file's name taken by one that is
    // no memo file.
    if (auto why = not_a_table(table_file(name)))
        throw tk_exception(dbf_left_as_is(*why), tk_kind_continue);
    check_memo_names(full);

    // The table is written under temporary names and takes its place only at commit, so
    // that a table that does not finish leaves the folder as it was.
    dbf_new_files files;
    files.name = name;
    files.table = full;
    std::string temp;
    auto failed = [&](const std::string& path, int err) {
        if (!files.memo_temp.empty()) pt::remove_file(utf8(files.memo_temp));
        return tk_write_error(path, err);
    };
    if (has_memo) {
        files.memo = dbf_memo_of(full);
        if (int err = pt::create_temp_file(utf8(files.memo), fpt_memo_file::empty_file(), temp))
            throw failed(utf8(files.memo), err);
        files.memo_temp = pt::utf8_decode(temp);
    }
    const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
    if (int err = pt::create_temp_file(utf8(full), bytes, temp)) throw failed(utf8(full), err);
    files.table_temp = pt::utf8_decode(temp);
    try {
        return std::make_unique<dbf_recordset>(files, user_code_page_);
    } catch (...) {
        pt::remove_file(utf8(files.table_temp));
        if (!files.memo_temp.empty()) pt::remove_file(utf8(files.memo_temp));
        throw;
    }
}

void dbf_database::check_memo_names(const std::wstring& full) const {
    check_memo_file(dbf_memo_of(full));
    check_memo_file(dbf_companion(full, L"fpt", listing_of(full)));
}

std::wstring dbf_database::commit_table(udb_recordset& table) {
    auto* dbf = dynamic_cast<dbf_recordset*>(&table);
    if (!dbf) {
        table.flush();
        return table.get_name();
    }
    dbf_new_files* files = dbf->new_files();
    if (!files) {
        dbf->commit(true);
        return table.get_name();
    }
    tk_log_wprintf(2, L"dbf_database::commit_table(%s)", files->name);
    // The earlier table of the name (another spelling of it included), if there is one.
    const std::wstring old = table_file(files->name);
    const bool replacing = dbf_entry_at(old) == dbf_entry::file;
    dbf->commit(replacing);

    const dbf_listing* listing = listing_of(files->table);
    // What belonged to the earlier table, or was left without a table: its memo and
    // index files. A file in a memo file's place that is no memo file stays.
    std::vector<std::wstring> stale;
    for (const wchar_t* ext : {L"dbt", L"fpt", L"smt", L"dct", L"cdx", L"mdx", L"idx"}) {
        std::wstring companion = dbf_companion(old, ext, listing);
        if (companion != files->memo && is_companion_to_delete(companion))
            stale.push_back(std::move(companion));
    }
    auto remove = [&](const std::wstring& path) {
        if (int err = pt::remove_file(utf8(path)))
            throw tk_exception("Cannot delete file " + utf8(path) + ": " + pt::error_text(err),
                               tk_kind_error);
        if (listing) listing_.remove(dbf_file_of(path));
    };
    auto move = [&](std::wstring& temp, const std::wstring& to) {
        if (int err = pt::rename_file(utf8(temp), utf8(to))) throw tk_write_error(utf8(to), err);
        temp.clear();
        if (listing) listing_.add(dbf_file_of(to));
    };
    if (!files->memo.empty()) {
        // The earlier table steps aside first: no reader ever finds a table beside the
        // memo file of another. Until the new one is moved in, the table is not there.
        // The earlier table comes back when the new memo file cannot be moved in; once
        // that is in place, the earlier table's memo file is gone, and so is the table.
        std::string aside;
        if (replacing) {
            int err = pt::create_temp_file(utf8(old), {}, aside);
            if (!err && (err = pt::rename_file(utf8(old), aside))) pt::remove_file(aside);
            if (err) throw tk_write_error(utf8(old), err);
            if (listing) listing_.remove(dbf_file_of(old));
        }
        try {
            move(files->memo_temp, files->memo);
        } catch (...) {
            if (!aside.empty()) {
                if (int err = pt::rename_file(aside, utf8(old)))
                    tk_log_printf(3, "Cannot move '%s' back: %s", aside, pt::error_text(err));
                else if (listing)
                    listing_.add(dbf_file_of(old));
            }
            throw;
        }
        try {
            for (const auto& path : stale) remove(path);
            move(files->table_temp, files->table);
        } catch (...) {
            // No memo file stays without its table.
            if (pt::remove_file(utf8(files->memo)) == 0 && listing)
                listing_.remove(dbf_file_of(files->memo));
            if (!aside.empty()) pt::remove_file(aside);
            throw;
        }
        // What a failure leaves here is removed by the next run, as a killed run's file.
        if (int err = aside.empty() ? 0 : pt::remove_file(aside))
            tk_log_printf(3, "Cannot remove '%s': %s", aside, pt::error_text(err));
    } else {
        // Without a memo file, the new table replaces the earlier one in one step.
        move(files->table_temp, files->table);
        if (replacing && old != files->table) remove(old);
        for (const auto& path : stale) remove(path);
    }
    if (!is_table_exist(files->name)) add_table(files->name, dbf_file_of(files->table));
    return files->table;
}

std::unique_ptr<udb_recordset> dbf_database::replace_table(const std::wstring& name,
                                                           const udb_schema& schema) {
    tk_log_wprintf(2, L"dbf_database::replace_table(%s)", name);
    return write_new_table(name, schema);
}

bool dbf_database::delete_tab(const std::wstring& name) {
    tk_log_wprintf(2, L"dbf_database::delete_tab(%s)", name);
    if (name.empty()) return false;
    const std::wstring full = table_file(name);
    if (auto why = not_a_table(full)) throw tk_exception(dbf_left_as_is(*why), tk_kind_continue);
    // The table that replaces it could have no memo file: the old one is kept.
    check_memo_file(dbf_companion(full, L"fpt", listing_of(full)));
    check_memo_file(dbf_memo_of(full));
    if (udb_database::delete_tab(name)) forget_table(name);
    delete_files(full);
    return true;
}

void dbf_database::check_table_file(const std::wstring& name) const {
    if (auto why = not_a_table(table_file(name)))
        throw tk_exception(dbf_left_as_is(*why), tk_kind_continue);
}

std::wstring dbf_database::table_file(const std::wstring& name) const {
    std::wstring full = get_full_table_name(name);
    if (path_exists(full)) return full;
    // Another spelling of the same name is the same table to Windows.
    std::wstring folder = dbf_folder_of(full);
    const dbf_listing* listing = listing_of(full);
    auto found =
        listing ? listing->find(dbf_file_of(full)) : tk_resolve_nocase(folder, dbf_file_of(full));
    if (found) return tk_join_path(folder, *found);
    tk_log_wprintf(2, L"File '%s' not exists", full);
    return full;
}

std::string dbf_left_as_is(const std::string& why) {
    return "File " + why + "; it is left as it is";
}

std::optional<std::string> dbf_database::not_a_table(const std::wstring& full) const {
    return why_not_a_table(full);
}

size_t dbf_count_tables(const std::wstring& folder) {
    dbf_listing listing;
    std::vector<dbf_folder_entry> entries;
    if (!listing.list(folder, &entries)) return 0;
    const std::wstring dir = folder.empty() ? L"." : folder;
    size_t count = 0;
    // As the run lists the folder and then deletes: files named *.dbf with a name before
    // the extension, each a table by its header.
    for (const auto& [entry, kind] : entries)
        if (kind == pt::path_kind::file && entry.size() > 4 &&
            tk_wstring::ends_with(entry, L".dbf", false) &&
            !why_not_a_table(tk_join_path(dir, entry)))
            ++count;
    return count;
}

void dbf_database::delete_files(const std::wstring& full, std::vector<std::string>* left) {
    const dbf_listing* listing = listing_of(full);
    // unlink removes a symbolic link itself, never what it points to.
    if (int err = pt::remove_file(utf8(full)))
        throw tk_exception("Cannot delete file " + utf8(full) + ": " + pt::error_text(err),
                           tk_kind_error);
    if (listing) listing_.remove(dbf_file_of(full));
    for (const wchar_t* ext : {L"dbt", L"fpt", L"smt", L"dct", L"cdx", L"mdx", L"idx"}) {
        std::wstring companion = dbf_companion(full, ext, listing);
        // A companion that is not there is simply not removed, nor one that is no file,
        // nor a file in a memo file's place that is no memo file.
        if (left && is_memo_extension(ext) && dbf_entry_at(companion) == dbf_entry::file)
            if (auto why = not_a_memo(companion)) left->push_back(std::move(*why));
        if (is_companion_to_delete(companion) && pt::remove_file(utf8(companion)) == 0 && listing)
            listing_.remove(dbf_file_of(companion));
    }
}

std::vector<std::string> dbf_database::delete_all_tables(const std::vector<std::wstring>& keep) {
    tk_log_printf(2, "dbf_database::delete_all_tables");
    std::unordered_set<std::wstring> kept_keys;
    for (const auto& name : keep) kept_keys.insert(dbf_folded(name));
    // The list is taken whole, so that the cost grows with the number of tables only.
    std::vector<std::wstring> names;
    names.swap(table_names_);
    table_keys_.clear();
    table_count_ = 0;
    std::vector<std::string> left;
    std::vector<std::wstring> kept;
    for (size_t i = 0; i < names.size(); ++i) {
        tk_log_wprintf(2, L"dbf_database::delete_tab(%s)", names[i]);
        // A file called ".dbf" has an empty table name, which delete_tab refuses.
        if (names[i].empty()) continue;
        if (kept_keys.count(dbf_folded(names[i]))) {
            kept.push_back(names[i]);
            continue;
        }
        try {
            const std::wstring full = table_file(names[i]);
            // Only tables are deleted; any other file of the name stays, and is named.
            if (auto why = not_a_table(full)) {
                tk_log_printf(3, "%s", *why);
                left.push_back(std::move(*why));
                kept.push_back(names[i]);
                continue;
            }
            delete_files(full, &left);
        } catch (...) {
            // The failed table has left the list, as with delete_tab; the rest stay.
            table_names_ = kept;
            table_names_.insert(table_names_.end(),
                                names.begin() + static_cast<std::ptrdiff_t>(i) + 1, names.end());
            table_count_ = SIZE_MAX;  // counted again when next asked
            throw;
        }
    }
    table_names_ = std::move(kept);
    table_count_ = SIZE_MAX;
    for (const auto& entry : odd_entries_) {
        // One the run writes is reported as that table's error.
        if (kept_keys.count(dbf_folded(entry.substr(0, entry.size() - 4)))) continue;
        if (auto why = not_a_table(tk_join_path(name_.empty() ? L"." : name_, entry)))
            left.push_back(std::move(*why));
    }
    std::sort(left.begin(), left.end());
    tk_log_printf(2, "dbf_database::delete_all_tables - END");
    return left;
}

void dbf_database::init_dbc(const std::string& name) {
    if (!use_container_) return;
    tk_log_printf(1, "dbf_database::init_dbc(%s)", name);
    if (dbc_) {
        tk_log_printf(2, ".dbc is initilaized already, nothing to do");
        return;
    }
    if (opening_container_) return;
    // Only the base name counts, and only inside the database's own folder.
    size_t cut = name.find_last_of("/\\:");
    std::wstring base = pt::utf8_decode(cut == std::string::npos ? name : name.substr(cut + 1));
    if (base.empty() || base == L"." || base == L"..") return;
    std::wstring folder = name_.empty() ? L"." : name_;
    auto found = path_exists(tk_join_path(folder, base)) ? std::optional<std::wstring>(base)
                                                         : listing_.find(base);
    if (!found || dbf_entry_at(tk_join_path(folder, *found)) != dbf_entry::file) {
        tk_log_wprintf(3, L"File '%s' does not exists", tk_join_path(folder, base));
        return;
    }
    opening_container_ = true;
    try {
        dbc_ = std::make_unique<dbf_dbc>(tk_join_path(folder, *found), user_code_page_);
    } catch (...) {
        opening_container_ = false;
        throw;
    }
    opening_container_ = false;
}
