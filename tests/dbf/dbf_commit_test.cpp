// A table is written whole or left as it was: what a table that is not committed leaves,
// what readers see meanwhile, and what commit puts in place.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "tests/dbf/dbf_test_util.hpp"
#include "tests/support/file_faults.hpp"

namespace {

const std::vector<col> plain = {{L"A", VT_I4}, {L"C", VT_BSTR, 20}};
const std::vector<col> memo = {{L"A", VT_I4}, {L"M", VT_BSTR, 0}};

std::unique_ptr<udb_record> row(int32_t n, const std::wstring& text) {
    return make_record({ole_variant(n), ole_variant(text)});
}

// A table "t" of this engine's making, with the records 1 to n.
void make_table(dbf_folder& f, const std::vector<col>& cols, int32_t n) {
    auto t = f.create(L"t", cols);
    for (int32_t i = 1; i <= n; ++i) t->append_record(*row(i, L"earlier " + std::to_wstring(i)));
    f.commit(t);
}

// Appends records n+1 to n+5 (texts "new ..."), the first three written out already.
void append_five(dbf_recordset& t, int32_t n) {
    for (int32_t i = n + 1; i <= n + 5; ++i) {
        t.append_record(*row(i, L"new " + std::to_wstring(i)));
        if (i == n + 3) t.flush();
    }
}

// The records of a table as "A text" lines, as this engine reads them.
std::vector<std::string> records_of(dbf_folder& f, const std::string& file) {
    std::vector<std::string> lines;
    auto t = f.read(file);
    for (; !t->is_eof(); t->next()) {
        const udb_record& r = *t->get_item();
        lines.push_back(pt::utf8_encode(r[0].to_wstring() + L" " + r[1].to_wstring()));
    }
    return lines;
}

std::vector<std::string> lines(int32_t from, int32_t to, const std::string& text) {
    std::vector<std::string> out;
    for (int32_t i = from; i <= to; ++i)
        out.push_back(std::to_string(i) + " " + text + " " + std::to_string(i));
    return out;
}

// Fails the n-th rename (1 is the first) with EIO, for its lifetime; everything else
// goes to the system.
class rename_fault {
  public:
    explicit rename_fault(int n) : ops_(pt::system_file_ops()) {
        fails_at_ = n;
        seen_ = 0;
        ops_.rename = [](const char* from, const char* to, bool no_replace) {
            return ++seen_ == fails_at_ ? EIO : pt::system_file_ops().rename(from, to, no_replace);
        };
        saved_ = pt::use_file_ops(&ops_);
    }
    ~rename_fault() { pt::use_file_ops(saved_); }
    rename_fault(const rename_fault&) = delete;
    rename_fault& operator=(const rename_fault&) = delete;

  private:
    static inline int fails_at_ = 0, seen_ = 0;
    pt::file_ops ops_;
    const pt::file_ops* saved_;
};

bool has_temporary_file(const tmp_dir& d) {
    for (const auto& name : files_in(d))
        if (name.ends_with(L".tmp")) return true;
    return false;
}

}  // namespace

TEST(dbf_commit, a_table_dropped_without_commit_leaves_the_folder_as_it_was) {
    enum way { create, replace };
    struct {
        const char* what;
        const std::vector<col>* earlier;  // the table "t" there before, if any
        std::vector<std::pair<std::string, std::string>> added;  // bytes added to its files
        way how;
        const std::vector<col>& cols;
    } cases[] = {
        {"a new table", nullptr, {}, create, plain},
        {"a new memo table", nullptr, {}, create, memo},
        {"a new memo table beside a memo file left without its table",
         nullptr,
         {{"t.fpt", empty_fpt() + '\0'}},
         create,
         memo},
        {"a table replacing one", &plain, {{"t.cdx", "index"}}, replace, plain},
        {"a memo table replacing one", &memo, {{"T.CDX", "index"}}, replace, memo},
        {"a table replacing a memo table", &memo, {}, replace, plain},
        {"a memo table replacing a table", &plain, {}, replace, memo},
        {"appending to a table", &plain, {}, create, plain},
        {"appending to a memo table", &memo, {}, create, memo},
        {"appending to a table with an end-of-file mark",
         &plain,
         {{"t.dbf", "\x1A"}},
         create,
         plain},
        {"appending to a memo table with an end-of-file mark",
         &memo,
         {{"t.dbf", "\x1A"}},
         create,
         memo},
        {"appending to a table with bytes behind its last record",
         &plain,
         {{"t.dbf", std::string(500, 'z')}},
         create,
         plain},
        {"appending to a memo table with bytes behind its last memo",
         &memo,
         {{"t.fpt", "\x1A" + std::string(100, 'z')}},
         create,
         memo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        if (c.earlier) make_table(f, *c.earlier, 2);
        for (const auto& [file, bytes] : c.added) {
            const std::string path = f.file(file);
            write_file_bytes(path, read_file_bytes(path) + bytes);
        }
        const auto before = folder_bytes(f.dir());
        f.open();
        auto t = c.how == create ? f.create(L"t", c.cols) : f.replace(L"t", c.cols);
        append_five(*t, 2);
        t.reset();
        EXPECT_EQ(folder_bytes(f.dir()), before);
        EXPECT_EQ(f.db().is_table_exist(L"t"), c.earlier != nullptr);
    }
}

TEST(dbf_commit, until_commit_a_reader_sees_the_table_as_it_was) {
    enum way { create, replace };
    struct {
        const char* what;
        const std::vector<col>* earlier;
        way how;
        const std::vector<col>& cols;
    } cases[] = {
        {"appending to a table", &plain, create, plain},
        {"appending to a memo table", &memo, create, memo},
        {"replacing a memo table", &memo, replace, memo},
        {"a new table", nullptr, create, memo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        if (c.earlier) make_table(f, *c.earlier, 2);
        f.open();
        auto t = c.how == create ? f.create(L"t", c.cols) : f.replace(L"t", c.cols);
        const int32_t kept = c.how == create && c.earlier ? 2 : 0;  // records appended to
        append_five(*t, kept);
        t->flush();
        if (c.earlier) {
            // The header still counts the earlier records, and they read as they were.
            EXPECT_EQ(records_of(f, "t.dbf"), lines(1, 2, "earlier"));
            const std::string field = c.earlier == &memo ? "M" : "C";
            EXPECT_EQ(dbfread(f.file("t.dbf")),
                      "2 records\nA=1 " + field + "='earlier 1'\nA=2 " + field + "='earlier 2'\n");
        } else {
            EXPECT_FALSE(tk_is_file_exist1(f.file("t.dbf"), tk_exist_file));
        }
        f.db().commit_table(*t);
        // Its files closed, the recordset takes no more records and reads none.
        EXPECT_EQ(error_of([&] { t->append_record(*row(9, L"late")); }),
                  std::make_pair(1, std::string("Table is not open for appending")));
        t->reset();
        EXPECT_EQ(t->get_item(), nullptr);
        t.reset();
        auto after = lines(1, kept, "earlier");
        for (const auto& line : lines(kept + 1, kept + 5, "new")) after.push_back(line);
        EXPECT_EQ(records_of(f, "t.dbf"), after);
        const std::string read = dbfread(f.file("t.dbf"));
        EXPECT_EQ(read.substr(0, read.find('\n')), std::to_string(after.size()) + " records");
    }
}

TEST(dbf_commit, the_new_table_takes_the_place_of_the_earlier_one_and_of_its_companions) {
    const std::string memo_table = build_dbf(0xF5, {{"M", 'M', 10}}, {});
    const std::string plain_table = build_dbf(0x03, {{"A", 'C', 1}}, {" x"});
    const std::string memo_file = empty_fpt() + '\0';
    struct {
        const char* what;
        std::map<std::string, std::string> files;  // the folder before
        const std::vector<col>& cols;
        std::vector<std::wstring> after;  // the folder after
        std::string table;                // the new table's file
        std::vector<std::string> kept;    // files that stay as they were
    } cases[] = {
        {"a memo table replaces one",
         {{"t.dbf", memo_table}, {"t.fpt", memo_file}},
         memo,
         {L"t.dbf", L"t.fpt"},
         "t.dbf",
         {}},
        {"its memo file of another letter case and its index go",
         {{"T.DBF", memo_table}, {"t.fpt", memo_file}, {"T.cdx", "index"}},
         memo,
         {L"T.DBF", L"T.FPT"},
         "T.DBF",
         {}},
        {"a table without memo replaces a memo table",
         {{"t.dbf", memo_table}, {"T.FPT", memo_file}, {"t.cdx", "index"}},
         plain,
         {L"t.dbf"},
         "t.dbf",
         {}},
        {"a memo table replaces a table",
         {{"t.dbf", plain_table}, {"t.idx", "index"}},
         memo,
         {L"t.dbf", L"t.fpt"},
         "t.dbf",
         {}},
        {"another table's files stay",
         {{"t.dbf", memo_table}, {"t.fpt", memo_file}, {"T.dbf", memo_table}, {"T.fpt", memo_file}},
         plain,
         {L"T.dbf", L"T.fpt", L"t.dbf"},
         "t.dbf",
         {"T.dbf", "T.fpt"}},
        {"a memo file left without its table goes",
         {{"T.fpt", memo_file}},
         plain,
         {L"t.dbf"},
         "t.dbf",
         {}},
        {"a memo file left without its table is replaced",
         {{"t.fpt", memo_file + "old"}},
         memo,
         {L"t.dbf", L"t.fpt"},
         "t.dbf",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        for (const auto& [name, bytes] : c.files) write_file_bytes(f.file(name), bytes);
        auto t = f.replace(L"t", c.cols);
        append_five(*t, 0);
        f.commit(t);
        EXPECT_EQ(files_in(f.dir()), c.after);
        EXPECT_TRUE(f.db().is_table_exist(L"t"));
        EXPECT_EQ(records_of(f, c.table), lines(1, 5, "new"));
        for (const auto& name : c.kept) EXPECT_EQ(read_file_bytes(f.file(name)), c.files.at(name));
        // The folder, opened again, has the table once.
        EXPECT_EQ(f.open().get_table_names().size(), 1 + c.kept.size() / 2);
    }
}

TEST(dbf_commit, a_failed_move_or_write_at_commit_is_an_error_and_leaves_no_temporary_file) {
    enum way { create, replace };
    const file_faults none{}, renames{.rename_error = EIO}, cross_device{.rename_error = EXDEV},
        fsyncs{.fsync_error = EIO};
    auto write = [](int n) { return file_faults{.write_fails_at = n}; };
    struct {
        const char* what;
        const std::vector<col>* earlier;
        way how;
        const std::vector<col>& cols;
        file_faults faults;
        int rename_fails_at;  // 0: none does, beyond `faults`
        const char* error;    // the file it names, and why
        bool table_gone;      // no table is left (the folder is empty), else as it was
    } cases[] = {
        {"a new table cannot be moved in", nullptr, create, plain, renames, 0,
         "t.dbf: Input/output error", false},
        {"a new memo file cannot be moved in", nullptr, create, memo, none, 1,
         "t.fpt: Input/output error", false},
        {"a new memo table cannot be moved in", nullptr, create, memo, none, 2,
         "t.dbf: Input/output error", false},
        {"a table replacing one cannot be moved in", &plain, replace, plain, renames, 0,
         "t.dbf: Input/output error", false},
        // Replacing a memo table: the earlier one steps aside, the memo file and the
        // table move in.
        {"the earlier memo table cannot step aside", &memo, replace, memo, none, 1,
         "t.dbf: Input/output error", false},
        {"the memo file of a table replacing one cannot be moved in", &memo, replace, memo, none, 2,
         "t.fpt: Input/output error", false},
        {"a memo table replacing one cannot be moved in", &memo, replace, memo, none, 3,
         "t.dbf: Input/output error", true},
        {"a memo table replacing a table cannot be moved in", &plain, replace, memo, cross_device,
         0, "t.dbf: Invalid cross-device link", false},
        {"the last records of a new table cannot be written", nullptr, create, plain, write(1), 0,
         "t.dbf: No space left on device", false},
        {"the last memos of a new table cannot be written", nullptr, create, memo, write(1), 0,
         "t.fpt: No space left on device", false},
        {"a table replacing one cannot be made durable", &memo, replace, memo, fsyncs, 0,
         "t.fpt: Input/output error", false},
        // In place: memos, records, the memo file's next free block, then the count.
        {"the records appended to a table cannot be counted", &plain, create, plain, write(2), 0,
         "t.dbf: No space left on device", false},
        {"the memos appended to a table cannot be counted", &memo, create, memo, write(3), 0,
         "t.fpt: No space left on device", false},
        {"the records appended to a memo table cannot be counted", &memo, create, memo, write(4), 0,
         "t.dbf: No space left on device", false},
        {"the records appended to a table cannot be made durable", &memo, create, memo, fsyncs, 0,
         "t.fpt: Input/output error", false},
        // After the count: the end-of-file mark behind the last record, one byte more
        // than the disk has room for (the records, their flag and the count fit).
        {"the end of a table appended to cannot be marked", &plain, create, plain,
         file_faults{.write_budget = 69}, 0, "t.dbf: No space left on device", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        if (c.earlier) make_table(f, *c.earlier, 2);
        const auto before = folder_bytes(f.dir());
        f.open();
        auto t = c.how == create ? f.create(L"t", c.cols) : f.replace(L"t", c.cols);
        for (int32_t i = 3; i <= 4; ++i) t->append_record(*row(i, L"new"));  // still held
        std::pair<int, std::string> error;
        {
            file_fault_scope faults(c.faults);
            std::optional<rename_fault> renames;
            if (c.rename_fails_at) renames.emplace(c.rename_fails_at);
            error = error_of([&] { f.db().commit_table(*t); });
        }
        EXPECT_EQ(error, std::make_pair(1, "Cannot write into file " + f.file(c.error)));
        t.reset();
        EXPECT_FALSE(has_temporary_file(f.dir()));
        // The earlier table stays as it was, and nothing is left of a new one; never is
        // a table left beside the memo file of another.
        if (c.table_gone) {
            EXPECT_TRUE(files_in(f.dir()).empty());
        } else {
            EXPECT_EQ(folder_bytes(f.dir()), before);
        }
        EXPECT_EQ(f.open().is_table_exist(L"t"), c.earlier && !c.table_gone);
    }
}

TEST(dbf_commit, a_run_killed_at_any_step_leaves_the_table_as_it_was_or_whole) {
    // A child writes the table and is killed at each of its file steps in turn. What it
    // leaves is the earlier table or the new one, each with its own memo file, or (at
    // the moment of the swap) no table; the next run over the folder removes the
    // temporary files it left, and the table is made whole again.
    enum way { create, replace };
    struct {
        const char* what;
        bool earlier;
        way how;
    } cases[] = {
        {"a new memo table", false, create},
        {"a memo table replacing one", true, replace},
        {"appending to a memo table", true, create},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto write = [&](dbf_folder& f) {
            auto t = c.how == create ? f.create(L"t", memo) : f.replace(L"t", memo);
            for (int32_t i = 3; i <= 4; ++i)
                t->append_record(*row(i, L"new " + std::to_wstring(i)));
            f.commit(t);
        };
        // The files of a run that is not killed, and the number of its steps.
        std::map<std::wstring, std::string> before, whole;
        int steps = 0;
        {
            dbf_folder f;
            if (c.earlier) make_table(f, memo, 2);
            before = folder_bytes(f.dir());
            f.open();
            {
                file_fault_scope count({});
                write(f);
                steps = file_changes_seen();
            }
            whole = folder_bytes(f.dir());
        }
        ASSERT_GE(steps, 6);
        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE("killed at step " + std::to_string(k));
            dbf_folder f;
            if (c.earlier) make_table(f, memo, 2);
            f.close();
            const pid_t child = fork();
            if (child == 0) {
                file_fault_scope killed({.killed_at = k});
                write(f);
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            auto left = folder_bytes(f.dir());
            std::erase_if(left, [](const auto& file) { return file.first.ends_with(L".tmp"); });
            if (left.count(L"t.dbf")) {
                if (c.how == replace || !c.earlier) {
                    EXPECT_TRUE(left == before || left == whole);
                } else {
                    // Appended to where it stands: the earlier records or all of them.
                    const auto read = records_of(f, "t.dbf");
                    auto all = lines(1, 2, "earlier");
                    all.insert(all.end(), {"3 new 3", "4 new 4"});
                    EXPECT_TRUE(read == lines(1, 2, "earlier") || read == all)
                        << ::testing::PrintToString(read);
                }
            }
            f.open();
            EXPECT_FALSE(has_temporary_file(f.dir()));
            if (!left.count(L"t.dbf") || c.how == replace || !c.earlier) {
                auto t = f.replace(L"t", memo);
                for (int32_t i = 3; i <= 4; ++i)
                    t->append_record(*row(i, L"new " + std::to_wstring(i)));
                f.commit(t);
                EXPECT_EQ(records_of(f, "t.dbf"), (std::vector<std::string>{"3 new 3", "4 new 4"}));
            }
        }
    }
}

TEST(dbf_commit, a_file_in_a_memo_files_place_that_is_no_memo_file_is_left_as_it_is) {
    const std::string text(600, 'x');
    const std::string table = build_dbf(0x03, {{"A", 'C', 1}}, {" x"});
    const std::string memo_table = build_dbf(0xF5, {{"M", 'M', 10}}, {});
    struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        const char* text_file;
        std::function<void(dbf_folder&)> step;
        std::string error;  // what the step raises (kind 0), with D for the folder; any text
                            // when empty
    } cases[] = {
        {"a new memo table",
         {{"a.fpt", text}},
         "a.fpt",
         [](dbf_folder& f) { f.create(L"a", memo); },
         "File D/a.fpt is not a memo file; it is left as it is"},
        {"a new table without memo, the file in another case",
         {{"A.FPT", text}},
         "A.FPT",
         [](dbf_folder& f) { f.create(L"a", plain); },
         "File D/A.FPT is not a memo file; it is left as it is"},
        {"a table replacing one",
         {{"a.dbf", table}, {"a.fpt", text}},
         "a.fpt",
         [](dbf_folder& f) { f.replace(L"a", memo); },
         "File D/a.fpt is not a memo file; it is left as it is"},
        {"a table deleted",
         {{"a.dbf", table}, {"a.fpt", text}},
         "a.fpt",
         [](dbf_folder& f) { f.db().delete_tab(L"a"); },
         "File D/a.fpt is not a memo file; it is left as it is"},
        {"a memo table appended to",
         {{"a.dbf", memo_table}, {"a.fpt", text}},
         "a.fpt",
         [](dbf_folder& f) { f.create(L"a", memo); },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        for (const auto& [name, bytes] : c.files) write_file_bytes(f.file(name), bytes);
        std::string expected = c.error;
        if (expected.find("D/") != std::string::npos)
            expected.replace(expected.find("D/"), 1, f.dir().path());
        const auto [kind, error] = error_of([&] { c.step(f); });
        EXPECT_EQ(kind, 0);
        if (!expected.empty()) {
            EXPECT_EQ(error, expected);
        }
        EXPECT_EQ(read_file_bytes(f.file(c.text_file)), text);
        EXPECT_EQ(files_in(f.dir()).size(), c.files.size());
    }
    // Emptying the folder deletes the tables but those it keeps, and names the file.
    dbf_folder f;
    for (const char* name : {"a.dbf", "b.dbf", "K.dbf"}) write_file_bytes(f.file(name), table);
    write_file_bytes(f.file("a.fpt"), text);
    write_file_bytes(f.file("b.fpt"), empty_fpt() + '\0');
    write_file_bytes(f.file("k.fpt"), text);  // K's, which is kept
    EXPECT_EQ(f.db().delete_all_tables({L"k"}),
              std::vector<std::string>{f.file("a.fpt") + " is not a memo file"});
    EXPECT_EQ(files_in(f.dir()), (std::vector<std::wstring>{L"K.dbf", L"a.fpt", L"k.fpt"}));
    EXPECT_EQ(read_file_bytes(f.file("a.fpt")), text);
    EXPECT_EQ(f.db().get_table_names(), std::vector<std::wstring>{L"K"});
}
