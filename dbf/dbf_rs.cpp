#include "dbf/dbf_rs.hpp"

#include <algorithm>

#include "TK/tk_bytes.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_dbc.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_path.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"

namespace {

constexpr uint32_t open_read = udb_open_read;
constexpr uint32_t open_append = udb_open_append;

}  // namespace

dbf_recordset::dbf_recordset(const std::wstring& full_path, uint32_t open_mode,
                             uint8_t user_code_page)
    : udb_recordset(dbf_database::find(), full_path, true),
      open_mode_(open_mode),
      user_code_page_(user_code_page) {
    tk_log_wprintf(2, L"dbf_recordset::ctor(%s, cp=%d)", full_path, user_code_page);
    // Opening never creates the table file: a missing table is an error, not an empty file.
    // Nor is anything but a regular file opened: a FIFO would wait for a writer.
    if (dbf_entry_at(full_path) == dbf_entry::other) bad_format("ERROR: Not a regular file");
    file_ =
        std::make_unique<tk_huge_file>(pt::utf8_encode(full_path), open_mode != open_read, false);
    if (open_mode != open_read && open_mode != open_append) {
        tk_log_printf(2, "a_mode=%d, returning...", open_mode);
        return;
    }
    open_table();
    tk_log_printf(1, "dbf_recordset::ctor - at the END");
}

dbf_recordset::dbf_recordset(const dbf_new_files& files, uint8_t user_code_page)
    : udb_recordset(dbf_database::find(), files.table_temp, true),
      open_mode_(open_append),
      user_code_page_(user_code_page),
      new_files_(files) {
    tk_log_wprintf(2, L"dbf_recordset::ctor(%s, cp=%d)", files.table_temp, user_code_page);
    try {
        file_ = std::make_unique<tk_huge_file>(pt::utf8_encode(files.table_temp), true, false);
        open_table();
    } catch (...) {
        rethrow_named();
    }
}

void dbf_recordset::rethrow_named() const {
    if (!new_files_) throw;
    try {
        throw;
    } catch (const dbf_exception&) {
        throw;  // a record's error names no file
    } catch (const tk_exception& e) {
        std::string text = e.message();
        bool named = false;
        for (const auto& [temp, file] : {std::pair(&new_files_->table_temp, &new_files_->table),
                                         std::pair(&new_files_->memo_temp, &new_files_->memo)}) {
            if (temp->empty()) continue;
            const std::string from = pt::utf8_encode(*temp), to = pt::utf8_encode(*file);
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
                text.replace(at, from.size(), to);
                at += to.size();
                named = true;
            }
        }
        if (!named) throw;
        throw tk_exception(text, e.kind());
    }
}

dbf_recordset::~dbf_recordset() {
    tk_log_printf(2, "dbf_recordset::dtor");
    if (appendable_ && !committed_) roll_back();
    memo_.reset();
    file_.reset();
    // What a new table did not move into place goes.
    if (new_files_)
        for (const std::wstring* temp : {&new_files_->memo_temp, &new_files_->table_temp})
            if (!temp->empty() && pt::remove_file(pt::utf8_encode(*temp)) == 0)
                tk_log_wprintf(2, L"Removed '%s'", *temp);
}

void dbf_recordset::bad_format(const char* trace) {
    tk_log_printf(2, "%s", trace);
    throw dbf_exception(dbf_bad_format_text, tk_kind_continue);
}

void dbf_recordset::open_table() {
    const int64_t file_size = file_->get_size();
    if (file_size < dbf_header_size) bad_format("ERROR: File is too small");
    const auto size = static_cast<uint64_t>(file_size);

    // The whole header is read once; every descriptor is then taken from memory, so a
    // damaged header can never lead a read outside it.
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, 0x10000 + 33)));
    file_->get_at(0, head.data(), static_cast<uint32_t>(head.size()));
    version_ = head[0];
    uint32_t stop = 0;
    if (version_ == dbf_version_foxbase) {
        count_ = tk_le16(head.data() + 1);
        record_length_ = tk_le16(head.data() + 6);
        if (record_length_ < 1) bad_format("ERROR: Invalid DBF header");
        codec_ = &dbf_codec::get(dbf_get_codepage(user_code_page_));
        tk_log_printf(2, "Processing FoxBase format (signature=2)");
        uint32_t pos = 8;
        while (pos < head.size() && head[pos] != dbf_header_terminator) {
            if (pos + dbf_foxbase_descriptor_size > head.size())
                bad_format("ERROR: Invalid DBF header");
            dbf_read_descriptor fd;
            fd.name.assign(reinterpret_cast<const char*>(&head[pos]),
                           std::find(&head[pos], &head[pos] + 11, 0) - &head[pos]);
            fd.letter = static_cast<char>(head[pos + 11]);
            fd.length = head[pos + 12];
            tk_log_printf(2, "Got field: %s/%c/%d", fd.name, fd.letter, fd.length);
            fd7_post_process(fd);
            pos += dbf_foxbase_descriptor_size;
        }
        if (pos >= head.size()) bad_format("ERROR: Invalid DBF header");
        header_length_ = pos + 33;
        if (header_length_ > size) bad_format("ERROR: Invalid DBF header");
    } else {
        count_ = tk_le32(head.data() + 4);
        header_length_ = tk_le16(head.data() + 8);
        record_length_ = tk_le16(head.data() + 10);
        flags_ = head[28];
        mark_ = head[29];
        const bool level7 = dbf_is_level7(version_);
        // A table without fields has records of the deletion flag alone.
        if (record_length_ < 1 || static_cast<int32_t>(count_) < 0 ||
            header_length_ < (level7 ? dbf_level7_header_size : dbf_header_size) + 1 ||
            header_length_ > size)
            bad_format("ERROR: Invalid DBF header");
        head.resize(header_length_);
        if (user_code_page_ != 0) {
            tk_log_printf(2, "Setting user-defined codepage: %d", user_code_page_);
            mark_ = user_code_page_;
        }
        codec_ = &dbf_codec::get(dbf_get_codepage(mark_));
        tk_log_printf(2, "dbf_recordset::init_schema");
        if (level7) {
            tk_log_printf(2, "Processing dBASE Level 7 format");
            read_descriptors(head, dbf_level7_header_size, dbf_level7_descriptor_size, stop);
        } else {
            tk_log_printf(2, "Default processing");
            read_descriptors(head, dbf_header_size, dbf_descriptor_size, stop);
        }
    }
    tk_log_printf(2, "data_offset=%d, last_rec=%d, rec_size=%d", header_length_, count_,
                  record_length_);
    stored_count_ = count_;
    if (size < header_length_ + uint64_t{count_} * record_length_)
        bad_format("ERROR: Invalid file size");
    // Every field must lie inside the record, or reading it would leave the record.
    uint64_t widths = 1;
    for (const auto& f : fields_) widths += f.width;
    if (widths > record_length_) bad_format("ERROR: Invalid DBF header");

    if (version_ != dbf_version_foxbase && !dbf_is_level7(version_)) {
        read_back_link(head, stop);
        refine_from_dbc();
    }
    choose_memo_kind();
    if (open_mode_ == open_append) prepare_append();
    try {
        init_memo_file();
    } catch (const dbf_no_memo_exception& e) {
        // The table stays usable without its memo text; the loss is reported once.
        if (error_handler* handler = error_handler::find()) {
            handler->set_context(name_);
            handler->handle(e, false);
        } else {
            tk_log_printf(3, "%s", e.what());
        }
    }
    tk_log_printf(2, "DBF file has codepage: %d", mark_);
    if (open_mode_ == open_append) note_ends();
    init_indexes();
}

void dbf_recordset::read_descriptors(const std::vector<uint8_t>& head, uint32_t first,
                                     uint32_t step, uint32_t& stop) {
    tk_log_printf(2, "DATA OFFSET=%d, sizeof(dbf_header)=%d, sizeof(dbf_field_descriptor)=%d",
                  header_length_, dbf_header_size, step);
    const uint32_t count = (header_length_ - dbf_header_size) / step;
    tk_log_printf(2, "Table has %d fields", count);
    uint32_t pos = first;
    for (uint32_t i = 0; i < count && pos < head.size(); ++i, pos += step) {
        if (head[pos] == dbf_header_terminator) break;
        // A descriptor cut by the end of the header ends the list.
        if (pos + step > head.size()) break;
        const uint8_t* d = &head[pos];
        dbf_read_descriptor fd;
        if (step == dbf_level7_descriptor_size) {
            tk_log_printf(1, "Reading FD7 at %d", pos);
            fd.name.assign(reinterpret_cast<const char*>(d), std::find(d, d + 32, 0) - d);
            fd.letter = static_cast<char>(d[32]);
            fd.length = d[33];
            fd.decimals = d[34];
            tk_log_printf(1, "char_len=%d", fd.length + 256 * fd.decimals);
        } else {
            fd.name.assign(reinterpret_cast<const char*>(d), std::find(d, d + 11, 0) - d);
            fd.letter = static_cast<char>(d[11]);
            fd.length = d[16];
            fd.decimals = d[17];
        }
        fd7_post_process(fd);
    }
    stop = pos;
    tk_log_printf(2, "read_offset=%d", pos);
}

void dbf_recordset::fd7_post_process(const dbf_read_descriptor& fd) {
    tk_log_printf(2, "dbf_recordset::fd7_post_process");
    descriptors_.push_back(fd);
    dbf_field_info info;
    info.fd = fd;
    info.offset = 1;
    if (!fields_.empty()) info.offset = fields_.back().offset + fields_.back().width;
    info.width = dbf_field_width(fd);
    info.size = dbf_get_size_2(fd);
    info.vartype = dbf_get_vartype_2(fd);
    info.name = codec_->decode(fd.name);
    int32_t sub_kind = (fd.letter == 'T' || fd.letter == '@') ? udb_date_time
                       : fd.letter == 'D'                     ? udb_date_only
                                                              : 0;
    tk_log_printf(2, "Got field: %s, type=%c, size=%d", fd.name, fd.letter, info.size);
    if (info.vartype == VT_UNKNOWN) {
        tk_log_printf(2, "Unsupported type, skip it");
    } else {
        auto column = std::make_unique<t_ftd>(static_cast<int32_t>(info.size), info.name,
                                              info.vartype, false, false, ole_variant(), sub_kind);
        if (info.vartype == VT_DECIMAL) {
            column->precision = fd.length + fd.decimals + 2;
            column->scale = fd.decimals;
            tk_log_printf(2, "Got VT_DECIMAL(%d,%d)", column->precision, column->scale);
        }
        info.column = static_cast<int32_t>(schema_.size());
        schema_.push_back(std::move(column));
    }
    fields_.push_back(std::move(info));
}

void dbf_recordset::read_back_link(const std::vector<uint8_t>& head, uint32_t stop) {
    // Only Visual FoxPro tables carry the back-link, in the header area after the
    // terminator; a container itself never follows one.
    if (!dbf_is_vfp(version_) || is_container()) return;
    if (stop + 1 >= header_length_ || head[stop] != dbf_header_terminator) return;
    dbf_database* db = dbf_database::find();
    if (db && db->get_dbc()) return;
    tk_log_printf(2, "Got 0x0D, try to init .dbc");
    const uint8_t marker = head[stop + 1];
    tk_log_printf(2, "dbc_marker=0x%02X", marker);
    if (marker == 0x00 || marker == 0x20) {
        tk_log_printf(2, "No information about .dbc file");
        return;
    }
    const uint8_t* from = &head[stop + 1];
    const uint8_t* limit = from + std::min<size_t>(260, header_length_ - stop - 1);
    std::string name(reinterpret_cast<const char*>(from), std::find(from, limit, 0) - from);
    tk_log_printf(2, "Got DBC name=%s", name);
    dbf_database::instance().init_dbc(name);
}

void dbf_recordset::refine_from_dbc() {
    tk_log_printf(2, "dbf_recordset::refine_from_dbc");
    dbf_database* db = dbf_database::find();
    dbf_dbc* dbc = db ? db->get_dbc() : nullptr;
    if (!dbc || dbc == this) {
        tk_log_printf(3, ".dbc is not initialized, nothing to do");
        return;
    }
    std::string table = pt::utf8_encode(dbf_base_of(name_));
    const auto* long_names = dbc->find_table(table);
    if (!long_names) {
        tk_log_printf(3, "No entries for table '%s' in .dbc", table);
        return;
    }
    for (size_t i = 0; i < schema_.size(); ++i) {
        std::string short_name = pt::utf8_encode(schema_[i].name);
        auto it = long_names->find(short_name);
        if (it == long_names->end()) {
            tk_log_printf(2, "No long form of field '%s' found", short_name);
            continue;
        }
        tk_log_printf(3, "Tuning field name: %s -> %s", short_name, it->second);
        schema_[i].name = pt::utf8_decode(it->second);
    }
}

void dbf_recordset::choose_memo_kind() {
    tk_log_printf(2, "dbf_recordset::get_memo_type");
    switch (version_) {
        case dbf_version_vfp:
        case dbf_version_vfp + 1:
        case dbf_version_vfp_last:
            tk_log_printf(2, "MEMO TYPE=Visual FoxPro 3.0");
            if (flags_ & dbf_flag_memo) {
                memo_kind_ = (flags_ & dbf_flag_container) ? dbf_memo_dct : dbf_memo_vfp;
            } else {
                tk_log_printf(2, "MEMO TYPE=NO MEMO");
                memo_kind_ = dbf_memo_none;
            }
            break;
        case dbf_version_dbase4_sql:
        case dbf_version_dbase4_memo:
        case dbf_version_level7_memo:
        case dbf_version_dbase4_sql_memo:
        case dbf_version_dbase4_sys:
            tk_log_printf(2, "MEMO TYPE=DBASE IV");
            memo_kind_ = dbf_memo_dbt;
            break;
        case dbf_version_dbase3_memo:
            tk_log_printf(2, "MEMO TYPE=OLD (FoxBASE/dBASE III)");
            memo_kind_ = dbf_memo_old;
            break;
        case dbf_version_smt:
            tk_log_printf(2, "MEMO TYPE=SMT");
            memo_kind_ = dbf_memo_smt;
            break;
        case dbf_version_fox_memo:
            tk_log_printf(2, "MEMO TYPE=FPT");
            memo_kind_ = dbf_memo_fpt;
            break;
        default:
            tk_log_printf(2, "MEMO TYPE=NO MEMO");
            memo_kind_ = dbf_memo_none;
            break;
    }
}

std::wstring dbf_recordset::companion(const wchar_t* extension) const {
    // Tables opened through their database use its listing of the folder.
    const dbf_database* db = dbf_database::find();
    return dbf_companion(name_, extension, db ? db->listing_of(name_) : nullptr);
}

void dbf_recordset::init_memo_file() {
    tk_log_printf(2, "dbf_recordset::init_memo_file");
    const wchar_t* ext = nullptr;
    switch (memo_kind_) {
        case dbf_memo_old:
        case dbf_memo_dbt:
            ext = L"dbt";
            break;
        case dbf_memo_fpt:
        case dbf_memo_vfp:
            ext = L"fpt";
            break;
        case dbf_memo_dct:
            ext = L"dct";
            break;
        case dbf_memo_smt:
            ext = L"smt";
            break;
        default:
            return;
    }
    const std::wstring memo = new_files_ ? new_files_->memo_temp : companion(ext);
    const std::string path = pt::utf8_encode(memo);
    // The FPT of a table opened for appending is written, by this object only.
    const bool write =
        open_mode_ == open_append && (memo_kind_ == dbf_memo_fpt || memo_kind_ == dbf_memo_vfp);
    switch (dbf_entry_at(memo)) {
        case dbf_entry::file:
            break;
        case dbf_entry::none:
            throw dbf_no_memo_exception();
        case dbf_entry::other:
            // A folder or FIFO in the memo file's place is never opened. A table read
            // does without its memo text; one to append to is the table's error.
            if (!write) throw dbf_no_memo_exception();
            throw tk_exception(dbf_left_as_is(path + " is not a memo file"), tk_kind_continue);
    }
    const int32_t mode = write ? tk_file_write : tk_file_read;
    switch (memo_kind_) {
        case dbf_memo_old:
            memo_ = std::make_unique<old_memo_file>(path, mode);
            break;
        case dbf_memo_dbt:
            memo_ = std::make_unique<dbt_memo_file>(path, mode);
            break;
        case dbf_memo_smt:
            memo_ = std::make_unique<smt_memo_file>(path, mode);
            break;
        default: {
            auto fpt = std::make_unique<fpt_memo_file>(path, mode, memo_kind_);
            if (write) fpt->check_writable();
            fpt_ = fpt.get();
            memo_ = std::move(fpt);
            break;
        }
    }
}

void dbf_recordset::init_indexes() {
    tk_log_wprintf(2, L"dbf_recordset::init_indexes(%s)", name_);
    std::wstring idx = companion(L"idx");
    if (tk_is_file_exist2(idx, tk_exist_file)) {
        tk_log_wprintf(2, L"dbf_recordset::process_idx(%s)", idx);
        return;
    }
    tk_log_printf(2, "Failed to find .idx, try to locate .cdx");
    std::wstring cdx = companion(L"cdx");
    if (tk_is_file_exist2(cdx, tk_exist_file))
        tk_log_wprintf(2, L"dbf_recordset::process_cdx(%s)", cdx);
    else
        tk_log_printf(2, "Failed to find .cdx, aborting");
}

udb_record* dbf_recordset::get_item() {
    tk_log_printf(1, "dbf_recordset::get_item");
    record_.reset();
    if (is_eof() || !codec_ || !file_) return nullptr;
    if (!pending_.empty()) flush();
    try {
        const int64_t pos = header_length_ + int64_t{current_} * record_length_;
        tk_log_printf(1, "Reading at %I64d", pos);
        read_buffer_.resize(record_length_);
        file_->get_at(pos, read_buffer_.data(), record_length_);
        record_ = std::make_unique<dbf_record>(fields_, read_buffer_.data(), memo_.get(), *codec_);
    } catch (const dbf_exception&) {
        throw;
    } catch (const tk_exception& e) {
        throw dbf_exception(e.message(), tk_kind_continue);
    }
    return record_.get();
}

bool dbf_is_table_header(const std::string& head, uint64_t file_size) {
    const auto* h = reinterpret_cast<const uint8_t*>(head.data());
    const size_t n = head.size();
    if (n < dbf_header_size || file_size < n) return false;
    // A descriptor's type is a letter, a digit (Visual FoxPro's null flags), @ or +.
    auto descriptors_end = [&](size_t first, size_t step, size_t type_at, size_t limit) {
        for (size_t pos = first; pos < limit; pos += step) {
            if (h[pos] == dbf_header_terminator) return true;
            const uint8_t type = pos + type_at < n ? h[pos + type_at] : 0;
            if (!((type >= 'A' && type <= 'Z') || (type >= '0' && type <= '9') || type == '@' ||
                  type == '+'))
                return false;
        }
        return false;
    };
    const uint8_t v = h[0];
    if (v == dbf_version_foxbase)
        return tk_le16(h + 6) >= 1 && descriptors_end(8, dbf_foxbase_descriptor_size, 11, n);
    static constexpr uint8_t versions[] = {0x03, 0x04, 0x05, 0x30, 0x31, 0x32, 0x43, 0x63, 0x7B,
                                           0x83, 0x8B, 0x8C, 0xCB, 0xE5, 0xEB, 0xF5, 0xFB};
    if (std::find(std::begin(versions), std::end(versions), v) == std::end(versions)) return false;
    const size_t header_length = tk_le16(h + 8), record_length = tk_le16(h + 10);
    const bool level7 = dbf_is_level7(v);
    const size_t first = level7 ? dbf_level7_header_size : dbf_header_size;
    if (record_length < 1 || header_length < first + 1 || header_length > file_size) return false;
    return level7
               ? descriptors_end(first, dbf_level7_descriptor_size, 32, std::min(header_length, n))
               : descriptors_end(first, dbf_descriptor_size, 11, std::min(header_length, n));
}
