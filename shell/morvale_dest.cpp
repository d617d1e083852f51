// The operations around a run: the destination check, the source's table list and
// the test query.
#include <cerrno>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_db.hpp"
#include "dbf/dbf_db.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"
#include "shell/morvale_conv.hpp"

void morvale_convertor::check_source() {
    tk_log_wprintf(2, L"morvale_convertor::check_source(%s)", source_);
    if (!engine_.is_db_exist(source_)) throw sql_exception(engine_.get_connection());
}

void morvale_convertor::check_dest() {
    tk_log_wprintf(2, L"morvale_convertor::check_dest(%s)", destination_);
    if (!tk_is_path_exist(destination_)) {
        if (tk_is_file_exist2(destination_, tk_exist_file))
            throw tk_exception("You should enter path to FoxPro/DBase database, not a file name",
                               tk_kind_error);
        common_create_path(destination_);
        claim_destination();
        // A new folder is empty in any mode.
        return;
    }
    // Mode 0 empties the folder when the run starts, not here: a run that cannot begin
    // leaves it as it was.
    claim_destination();
}

void dest_folder_lock::take(const std::wstring& folder) {
    const std::string path = pt::utf8_encode(folder.empty() ? L"." : folder);
    if (fd_ >= 0 && pt::is_same_folder(fd_, path)) return;
    release();
    const int err = pt::lock_folder(path, fd_);
    if (err == EWOULDBLOCK)
        throw tk_exception("Another run is converting into the folder " + path +
                               "; nothing was changed. Try again once it has ended.",
                           tk_kind_error);
    if (err) tk_log_printf(2, "Cannot lock folder '%s': %s", path, pt::error_text(err));
}

void dest_folder_lock::release() noexcept {
    if (fd_ < 0) return;
    pt::close_file(fd_);
    fd_ = -1;
}

void empty_dbf_folder(const std::wstring& folder) {
    dbf_database db(folder, udb_open_overwrite_db, 0, true);
    report_left_files(db.delete_all_tables());
}

void report_left_files(const std::vector<std::string>& left) {
    // A file named like a table that is not one stays; such files are named in one
    // report, so that a folder of many asks for one answer.
    if (left.empty()) return;
    std::string text =
        left.size() == 1 ? dbf_left_as_is(left[0]) : "These files are left as they are: " + left[0];
    for (size_t i = 1; i < left.size(); ++i) text += "; " + left[i];
    if (left.size() > 1) text += ".";
    if (error_handler* handler = error_handler::find())
        handler->handle(tk_exception(text, tk_kind_continue), true);
}

void morvale_convertor::get_all_tables(std::vector<std::wstring>& names) {
    tk_log_printf(2, "morvale_convertor::get_all_tables");
    std::unique_ptr<udb_database> db = engine_.open_db(source_, 161, L"");
    names = db->get_table_names();
}

bool morvale_convertor::test_query(const std::wstring& statement) {
    try {
        std::unique_ptr<udb_database> db = engine_.open_db(source_, udb_open_read, L"");
        return db->query(statement, udb_no_result);
    } catch (...) {
        return false;
    }
}
