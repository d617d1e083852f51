// What the writer does at the edges of the format and of the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "dbf/dbf_except.hpp"
#include "dbf/dbf_memo.hpp"
#include "tests/dbf/dbf_test_util.hpp"
#include "tests/support/file_faults.hpp"

namespace {

std::string read_head(const std::string& path, size_t n) {
    std::string s(n, '\0');
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    s.resize(std::fread(s.data(), 1, n, f));
    std::fclose(f);
    return s;
}

bool is_dbf_exception(const std::function<void()>& f) {
    try {
        f();
    } catch (const dbf_exception&) {
        return true;
    } catch (...) {
    }
    return false;
}

}  // namespace

TEST(dbf_limits, a_full_disk_names_the_file_and_leaves_the_table_as_it_was) {
    const std::vector<col> plain = {{L"A", VT_I4}, {L"B", VT_BSTR, 200}};
    const std::vector<col> memo = {{L"A", VT_I4}, {L"M", VT_BSTR, 0}};
    enum { appended_to, written_anew, made_under_faults };
    struct {
        const char* what;
        const std::vector<col>& cols;
        file_faults faults;
        int table;
        const char* file;
    } cases[] = {
        // In the middle of the second record or of its memo, or of a new table's files.
        {"a record of a table appended to", plain, {.write_budget = 50}, appended_to, "t.dbf"},
        {"a memo of a table appended to", memo, {.write_budget = 50}, appended_to, "t.fpt"},
        {"a record of a new table", plain, {.write_budget = 50}, written_anew, "t.dbf"},
        {"a memo of a new table", memo, {.write_budget = 50}, written_anew, "t.fpt"},
        {"a new table", plain, {.write_fails_at = 1}, made_under_faults, "t.dbf"},
        {"a new memo file", memo, {.write_fails_at = 1}, made_under_faults, "t.fpt"},
    };
    auto record = [](int32_t n, const std::wstring& text) {
        return make_record({ole_variant(n), ole_variant(text)});
    };
    for (const auto& c : cases) {
        // The table dropped after the failure, or committed once the disk has room again.
        for (const bool committed : {false, true}) {
            if (c.table == made_under_faults && committed) continue;
            SCOPED_TRACE(std::string(c.what) + (committed ? ", committed" : ", dropped"));
            dbf_folder f;
            std::unique_ptr<dbf_recordset> t;
            if (c.table != made_under_faults) {
                t = f.create(L"t", c.cols);
                t->append_record(*record(1, L"first"));
                if (c.table == appended_to) {
                    f.commit(t);
                    t = f.create(L"t", c.cols);
                }
                t->flush();
            }
            const auto before = folder_bytes(f.dir());
            std::pair<int, std::string> error;
            {
                file_fault_scope faults(c.faults);
                error = error_of([&] {
                    if (!t) t = f.create(L"t", c.cols);
                    t->append_record(*record(2, std::wstring(100, L'x')));
                    t->flush();
                });
            }
            // The file named is the table's own, never a temporary one.
            EXPECT_EQ(error, std::make_pair(1, "Cannot write into file " + f.file(c.file) +
                                                   ": No space left on device"));
            if (c.table == made_under_faults) {
                EXPECT_TRUE(files_in(f.dir()).empty());  // no temporary file either
                continue;
            }
            // No phantom record: what the files held is there as it was, the headers
            // included; whatever the failed write left lies behind it.
            const auto after = folder_bytes(f.dir());
            ASSERT_EQ(after.size(), before.size());
            for (const auto& [name, bytes] : before)
                EXPECT_EQ(after.at(name).substr(0, bytes.size()), bytes) << pt::utf8_encode(name);
            if (!committed) {
                t.reset();
                const auto as_it_was = folder_bytes(f.dir());
                if (c.table == appended_to) {
                    EXPECT_EQ(le32_at(as_it_was.at(L"t.dbf"), 4), 1u);
                    EXPECT_EQ(as_it_was, before);
                } else {
                    EXPECT_TRUE(as_it_was.empty());
                }
                continue;
            }
            // What is committed after the failure is whole: each record the header
            // counts is on disk, nothing lies behind them.
            t->append_record(*record(3, L"third"));
            f.commit(t);
            const std::string table = read_file_bytes(f.file("t.dbf"));
            const uint32_t count = le32_at(table, 4);
            EXPECT_EQ(count, 3u);
            EXPECT_EQ(table.size(), le16_at(table, 8) + size_t{count} * le16_at(table, 10));
            auto r = f.read("t.dbf");
            std::vector<std::wstring> read;
            for (; !r->is_eof(); r->next()) read.push_back((*r->get_item())[1].to_wstring());
            EXPECT_EQ(read,
                      (std::vector<std::wstring>{L"first", std::wstring(100, L'x'), L"third"}));
        }
    }
}

TEST(dbf_limits, a_table_never_passes_4_gib) {
    dbf_folder f;
    // 129 + n x 41
    auto made =
        f.create(L"t", {{L"A", VT_I4}, {L"D", VT_DATE, 0, udb_date_only}, {L"C", VT_BSTR, 20}});
    f.commit(made);
    f.close();
    // A sparse table one record short of the limit.
    const uint32_t count = 104755295;
    write_file_bytes(f.file("t.dbf"), with_le32(read_file_bytes(f.file("t.dbf")), 4, count));
    ASSERT_EQ(truncate(f.file("t.dbf").c_str(), 129 + int64_t{count} * 41), 0);
    auto t = f.read("t.dbf", udb_open_append);
    auto rec = make_record({ole_variant(int32_t{1}), date("2024-01-15"), ole_variant(L"x")});
    t->append_record(*rec);
    t->flush();
    EXPECT_EQ(t->get_record_count(), count + 1);
    struct stat st;
    stat(f.file("t.dbf").c_str(), &st);
    EXPECT_EQ(st.st_size, 0xFFFFFFFFll - 30);
    // The next record would pass what the format addresses: the table ends (kind 0,
    // no per-record error) and nothing wraps onto the header.
    std::string head = read_head(f.file("t.dbf"), 200);
    EXPECT_FALSE(is_dbf_exception([&] { t->append_record(*rec); }));
    auto [kind, text] = error_of([&] { t->append_record(*rec); });
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(text, "Table is full: a DBF file cannot pass 4 GB");
    EXPECT_EQ(read_head(f.file("t.dbf"), 200), head);
    EXPECT_EQ(t->get_record_count(), count + 1);
}

TEST(dbf_limits, a_memo_file_never_passes_4_gib) {
    dbf_folder f;
    auto made = f.create(L"m", {{L"A", VT_I4}, {L"M", VT_BSTR, 0}});
    f.commit(made);
    f.close();
    // The next free block sits just below 4 GiB.
    uint32_t next = (0xFFFFFFFFu - 100) / 64;
    write_file_bytes(f.file("m.fpt"), with_be32(read_file_bytes(f.file("m.fpt")), 0, next));
    // The blocks before it exist (as a hole): a next free block past the end is refused.
    ASSERT_EQ(truncate(f.file("m.fpt").c_str(), off_t{next} * 64), 0);
    auto t = f.read("m.dbf", udb_open_append);
    t->append_record(*make_record({ole_variant(int32_t{1}), ole_variant(std::wstring(20, L'a'))}));
    auto big = make_record({ole_variant(int32_t{2}), ole_variant(std::wstring(200, L'b'))});
    EXPECT_FALSE(is_dbf_exception([&] { t->append_record(*big); }));
    auto [kind, text] = error_of([&] { t->append_record(*big); });
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(text, "Memo file is full: an FPT file cannot pass 4 GB");
    EXPECT_EQ(t->get_record_count(), 1u);
    f.commit(t);
    EXPECT_EQ(le32_at(read_head(f.file("m.dbf"), 8), 4), 1u);
    // The header still names the block after the memo that was written.
    auto m = std::make_unique<fpt_memo_file>(f.file("m.fpt"), tk_file_read, dbf_memo_fpt);
    EXPECT_EQ(m->next_free(), next + 1);
}

TEST(dbf_limits, tables_too_wide_for_the_format_are_refused_before_anything_is_written) {
    dbf_folder f;
    // dBASE and FoxPro open no table of more than 255 fields, however narrow; 2047
    // would not even fit the header's length.
    for (size_t n : {256, 2047}) {
        std::vector<col> many(n, col{L"N", VT_I4});
        for (size_t i = 0; i < many.size(); ++i) many[i].name = L"N" + std::to_wstring(i);
        auto [kind, text] = error_of([&] { f.create(L"many", many); });
        EXPECT_EQ(kind, 0) << n;
        EXPECT_EQ(text, "Table has too many or too wide fields for DBF") << n;
    }
    std::vector<col> wide(255, col{L"C", VT_BSTR, 254});  // 255 x 255 bytes
    for (size_t i = 0; i < wide.size(); ++i) wide[i].name = L"C" + std::to_wstring(i);
    auto made = f.create(L"wide", wide);
    EXPECT_EQ(made->get_record_length(), 1u + 255 * 255);
    f.commit(made);
    EXPECT_FALSE(tk_is_file_exist1(f.file("many.dbf"), tk_exist_file));

    // A folder in the memo file's place is that table's error, and no table is made.
    ASSERT_EQ(mkdir(f.file("memo.fpt").c_str(), 0755), 0);
    EXPECT_EQ(error_of([&] {
                  f.create(L"memo", {{L"M", VT_BSTR, 0}});
              }),
              std::make_pair(
                  0, "File " + f.file("memo.fpt") + " is not a memo file; it is left as it is"));
    EXPECT_FALSE(tk_is_file_exist1(f.file("memo.dbf"), tk_exist_file));
    EXPECT_FALSE(f.db().is_table_exist(L"memo"));
    std::vector<std::wstring> left;
    tk_find_files(f.dir().wpath(), L"*", left);
    EXPECT_EQ(left, (std::vector<std::wstring>{L"wide.dbf"}));
}

TEST(dbf_limits, records_are_written_in_batches_and_counted_only_at_commit) {
    dbf_folder f;
    // 129 + n x 41
    auto t =
        f.create(L"t", {{L"A", VT_I4}, {L"D", VT_DATE, 0, udb_date_only}, {L"C", VT_BSTR, 20}});
    auto on_disk = [](const std::string& bytes) {
        return std::make_pair(le32_at(bytes, 4), bytes.size());
    };
    bool batch_seen = false;
    for (int32_t i = 0; i < 20000; ++i) {
        t->append_record(*make_record({ole_variant(i), date("2024-01-15"), ole_variant(L"x")}));
        if (i % 997 == 0) {
            auto [count, size] = on_disk(written_bytes(*t));
            // Whole records are written in batches; the header counts none of them yet,
            // and the table is not there under its name.
            EXPECT_EQ((size - 129) % 41, 0u) << i;
            EXPECT_LE(size, 129u + uint64_t(i + 1) * 41) << i;
            EXPECT_EQ(count, 0u) << i;
            EXPECT_FALSE(tk_is_file_exist1(f.file("t.dbf"), tk_exist_file));
            batch_seen = batch_seen || size > 129;
        }
    }
    EXPECT_TRUE(batch_seen);  // a batch was written before the end
    f.commit(t);              // what was still held is written, then counted
    auto [count, size] = on_disk(read_file_bytes(f.file("t.dbf")));
    EXPECT_EQ(count, 20000u);
    EXPECT_EQ(size, 129u + 20000u * 41);
}
