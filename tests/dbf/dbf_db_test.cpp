// The destination folder as a database: scan, names, deletion, creation, appending.
#include <gtest/gtest.h>

#include <strings.h>
#include <sys/stat.h>

#include <chrono>
#include <unistd.h>

#include "dbf/dbf_except.hpp"
#include "tests/dbf/dbf_test_util.hpp"

using namespace std::string_literals;

namespace {

// What a file of that name holds in a folder of tables: a memo file's name, a memo file.
std::string bytes_for(const std::string& name, const std::string& table) {
    const std::string ext = name.size() > 4 ? name.substr(name.size() - 3) : "";
    auto is = [&](const char* e) { return strcasecmp(ext.c_str(), e) == 0; };
    if (is("fpt") || is("dct")) return empty_fpt() + '\0';
    if (is("dbt") || is("smt")) return empty_dbt();
    return table;
}

}  // namespace

TEST(dbf_database, the_folder_scan_ignores_case_and_takes_regular_files_only) {
    dbf_folder f;
    std::string table = build_dbf(0x03, {{"A", 'C', 1}}, {" x"});
    write_file_bytes(f.file("Orders.DBF"), table);
    write_file_bytes(f.file("items.dbf"), table);
    write_file_bytes(f.file("notes.txt"), "x");
    mkdir(f.file("folder.dbf").c_str(), 0755);
    ASSERT_EQ(symlink("items.dbf", f.file("link.dbf").c_str()), 0);
    dbf_database& db = f.open();
    EXPECT_EQ(db.get_table_names(), (std::vector<std::wstring>{L"Orders", L"items", L"link"}));
    const std::wstring folder = f.dir().wpath();
    EXPECT_EQ(db.get_full_table_name(L"Orders"), folder + L"/Orders.DBF");
    EXPECT_EQ(db.get_full_table_name(L"ORDERS"), folder + L"/Orders.DBF");
    EXPECT_EQ(db.get_full_table_name(L"new"), folder + L"/new.dbf");
    EXPECT_EQ(db.get_full_table_name(L"x.DBF"), folder + L"/x.DBF");
    EXPECT_EQ(db.get_full_table_name(L"x.fpt"), folder + L"/x.fpt");
    EXPECT_TRUE(db.is_table_exist(L"ORDERS"));
    // A table asked for in another case is the same table (appending in mode 3).
    auto t = db.get_table(L"orders", udb_open_append);
    EXPECT_EQ(t->get_name(), folder + L"/Orders.DBF");
    EXPECT_EQ(error_of([&] { db.get_table(L"gone", udb_open_read); }),
              std::make_pair(1, "Table file not found"s));
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    f.open();
    char after[4096];
    EXPECT_EQ(std::string(getcwd(after, sizeof after)), cwd);  // never changed
}

TEST(dbf_database, a_folder_that_cannot_be_read_is_an_error) {
    tmp_dir d;
    auto [kind, text] =
        error_of([&] { dbf_database db(d.wpath() + L"/none", udb_open_append, 0, true); });
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(text, "Cannot read destination folder: No such file or directory");
}

TEST(dbf_database, deleting_a_table_takes_its_memo_and_index_files) {
    dbf_folder f;
    std::string table = build_dbf(0x03, {{"A", 'C', 1}}, {});
    for (const char* name : {"T.DBF", "t.FPT", "T.cdx", "t.idx", "T.mdx", "T.dbt", "t.smt", "T.dct",
                             "other.fpt", "target.dbf", ".dbf"})
        write_file_bytes(f.file(name), bytes_for(name, table));
    ASSERT_EQ(symlink("target.dbf", f.file("link.dbf").c_str()), 0);
    dbf_database& db = f.open();
    EXPECT_TRUE(db.delete_tab(L"t"));
    EXPECT_EQ(files_in(f.dir()),
              (std::vector<std::wstring>{L".dbf", L"link.dbf", L"other.fpt", L"target.dbf"}));
    EXPECT_FALSE(db.is_table_exist(L"T"));
    EXPECT_FALSE(db.delete_tab(L""));
    // A link goes, never what it points to.
    EXPECT_TRUE(db.delete_tab(L"link"));
    EXPECT_EQ(files_in(f.dir()), (std::vector<std::wstring>{L".dbf", L"other.fpt", L"target.dbf"}));
    // A table whose file vanished: kind 1.
    ::unlink(f.file("target.dbf").c_str());
    EXPECT_EQ(error_of([&] { db.delete_tab(L"target"); }).first, 1);
    // Deleting everything passes over the file called ".dbf" and comes to an end.
    write_file_bytes(f.file("a.dbf"), table);
    write_file_bytes(f.file("A.DBF"), table);
    dbf_database& again = f.open();
    ASSERT_TRUE(again.is_table_exist(L"A"));
    again.delete_all_tables();
    EXPECT_TRUE(again.get_table_names().empty());
    EXPECT_FALSE(again.is_table_exist(L"a"));
    // The list is the callers' too; what they put in it counts.
    again.get_table_names().push_back(L"Added");
    EXPECT_TRUE(again.is_table_exist(L"ADDED"));
    EXPECT_EQ(files_in(f.dir()), (std::vector<std::wstring>{L".dbf", L"other.fpt"}));
}

TEST(dbf_database, only_files_with_a_tables_header_are_deleted) {
    const std::string table = build_dbf(0x03, {{"A", 'C', 1}}, {" x", " y"});
    struct {
        const char* name;
        std::string bytes;
        bool table;
    } cases[] = {
        {"dbase", table, true},
        {"memo", build_dbf(0xF5, {{"M", 'M', 10}}, {}), true},
        {"vfp",
         build_dbf(0x30, {{"C", 'C', 3}, {"_NullFlags", '0', 1}}, {}, 0, 0, std::string(263, '\0')),
         true},
        {"nofields", build_dbf(0x03, {}, {}), true},
        {"cut", shrunk(table, 66), true},  // records cut short: still a table, deleted
        {"text", "a text file, not a table\n", false},
        {"empty", "", false},
        {"short", shrunk(table, 20), false},
        {"version", with_byte(table, 0, 'a'), false},
        {"header", with_le16(table, 8, 4000), false},               // longer than the file
        {"records", with_le16(table, 10, 0), false},                // records of no bytes
        {"unended", with_byte(shrunk(table, 65), 64, ' '), false},  // no terminator
        {"type", with_byte(table, 32 + 11, 0), false},              // a descriptor without a type
    };
    dbf_folder f;
    for (const auto& c : cases) write_file_bytes(f.file(std::string(c.name) + ".dbf"), c.bytes);
    auto left = [&](const std::string& name) {
        return "File " + f.file(name + ".dbf") + " is not a DBF table; it is left as it is";
    };
    const std::vector<std::string> kept = f.open().delete_all_tables();
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        EXPECT_EQ(tk_is_file_exist1(f.file(std::string(c.name) + ".dbf"), tk_exist_file), !c.table)
            << c.name;
        if (!c.table)
            expected.push_back(f.file(std::string(c.name) + ".dbf") + " is not a DBF table");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(kept, expected);
    // Replacing one table (mode 1) is as careful.
    EXPECT_EQ(error_of([&] { f.db().delete_tab(L"text"); }), std::make_pair(0, left("text")));
    EXPECT_EQ(read_file_bytes(f.file("text.dbf")), "a text file, not a table\n");
}

TEST(dbf_database, a_companion_file_belongs_to_the_table_whose_name_it_matches_exactly) {
    struct {
        std::vector<std::string> files;
        std::wstring deleted;
        std::vector<std::wstring> left;
    } cases[] = {
        {{"T.dbf", "t.dbf", "t.fpt", "t.cdx"}, L"T", {L"t.cdx", L"t.dbf", L"t.fpt"}},
        {{"T.dbf", "t.fpt", "t.cdx"}, L"T", {}},  // no table t: the memo file is T's
        {{"T.DBF", "T.FPT", "t.dbf", "t.fpt"}, L"t", {L"T.DBF", L"T.FPT"}},
        {{"T.DBF", "T.FPT", "t.dbf", "t.fpt"}, L"T", {L"t.dbf", L"t.fpt"}},
        {{"T.DBF", "t.FPT", "t.dbf"}, L"T", {L"t.FPT", L"t.dbf"}},
        {{"T.DBF", "t.FPT", "t.dbf"}, L"t", {L"T.DBF"}},
    };
    const std::string table = build_dbf(0x03, {{"A", 'C', 1}}, {});
    for (const auto& c : cases) {
        dbf_folder f;
        for (const auto& name : c.files) write_file_bytes(f.file(name), bytes_for(name, table));
        EXPECT_TRUE(f.open().delete_tab(c.deleted));
        EXPECT_EQ(files_in(f.dir()), c.left) << c.files.size();
    }
    // Nor does a memo table read or write another table's memo file.
    dbf_folder f;
    write_file_bytes(f.file("T.dbf"), build_dbf(0xF5, {{"M", 'M', 10}}, {}));
    write_file_bytes(f.file("t.dbf"), build_dbf(0xF5, {{"M", 'M', 10}}, {}));
    write_file_bytes(f.file("t.fpt"), empty_fpt() + '\0');
    auto t = f.db().get_table(L"T", udb_open_append);
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].message, f.file("T.dbf") + ": Memo file not found");
    EXPECT_EQ(error_of([&] { t->append_record(*make_record({ole_variant(L"memo")})); }).second,
              "Memo file not found");
    EXPECT_EQ(read_file_bytes(f.file("t.fpt")), empty_fpt() + '\0');
}

TEST(dbf_database, created_tables_join_the_list_and_are_appended_to_afterwards) {
    dbf_folder f;
    auto t = f.create(L"Orders", {{L"A", VT_I4}});
    t->append_record(*make_record({ole_variant(int32_t{1})}));
    f.commit(t);
    EXPECT_TRUE(f.db().is_table_exist(L"orders"));
    const std::string before = read_file_bytes(f.file("Orders.dbf"));
    // Creating it again opens it for appending and writes nothing.
    auto again = f.create(L"ORDERS", {{L"A", VT_I4}});
    EXPECT_EQ(read_file_bytes(f.file("Orders.dbf")), before);
    again->append_record(*make_record({ole_variant(int32_t{2})}));
    EXPECT_EQ(again->get_record_count(), 2u);
    EXPECT_EQ(files_in(f.dir()), (std::vector<std::wstring>{L"Orders.dbf"}));

    f.db().create_memo_file(L"T");
    EXPECT_EQ(read_file_bytes(f.file("T.fpt")), empty_fpt() + "\0"s);
}

TEST(dbf_database, a_memo_file_takes_the_letter_case_of_its_table_files_extension) {
    struct {
        const char* existing;  // a memo table there before, replaced
        std::wstring name;
        std::vector<std::wstring> files;
    } cases[] = {
        {"UPC.DBF", L"upc", {L"UPC.DBF", L"UPC.FPT"}},
        {"Upc.dBf", L"UPC", {L"Upc.dBf", L"Upc.fPt"}},
        {"upc.dbf", L"UPC", {L"upc.dbf", L"upc.fpt"}},
        {nullptr, L"NEW.DBF", {L"NEW.DBF", L"NEW.FPT"}},
        {nullptr, L"new", {L"new.dbf", L"new.fpt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(pt::utf8_encode(c.files[0]));
        dbf_folder f;
        if (c.existing) {
            const std::string stem = std::string(c.existing).substr(0, 3);
            write_file_bytes(f.file(c.existing), build_dbf(0xF5, {{"M", 'M', 10}}, {}));
            write_file_bytes(f.file(stem + ".FPT"), empty_fpt() + '\0');
            EXPECT_TRUE(f.open().delete_tab(c.name));
        }
        auto t = f.create(c.name, {{L"M", VT_BSTR, 0}});
        t->append_record(*make_record({ole_variant(L"memo")}));
        f.commit(t);
        EXPECT_EQ(files_in(f.dir()), c.files);
        EXPECT_EQ((*f.read(pt::utf8_encode(c.files[0]))->get_item())[0].to_wstring(), L"memo");
        // A memo file made on its own is named the same way.
        ASSERT_EQ(::unlink(f.file(pt::utf8_encode(c.files[1])).c_str()), 0);
        f.open().create_memo_file(c.name);
        EXPECT_EQ(files_in(f.dir()), c.files);
    }
}

TEST(dbf_database, what_stands_in_a_table_or_memo_files_place_without_being_a_file_is_not_opened) {
    const std::string table = build_dbf(0xF5, {{"M", 'M', 10}, {"C", 'C', 2}}, {"           ab"});
    auto make = [](const std::string& kind, const std::string& path) {
        return kind == "fifo"     ? mkfifo(path.c_str(), 0644)
               : kind == "folder" ? mkdir(path.c_str(), 0755)
                                  : symlink("nowhere", path.c_str());
    };
    for (const std::string kind : {"fifo", "folder", "dangling link"}) {
        SCOPED_TRACE(kind);
        dbf_folder f;
        write_file_bytes(f.file("t.dbf"), table);
        ASSERT_EQ(make(kind, f.file("t.fpt")), 0);
        ASSERT_EQ(make(kind, f.file("odd.dbf")), 0);
        const auto files = files_in(f.dir());
        // Opening a FIFO to read it would wait for a writer: none of these may wait.
        ASSERT_EXIT(
            {
                alarm(10);
                for (uint32_t mode : {udb_open_read, udb_open_append}) {
                    error_of([&] { f.read("t.dbf", mode); });
                    error_of([&] { f.read("odd.dbf", mode); });
                }
                error_of([&] { f.open().create_memo_file(L"t"); });
                _exit(0);
            },
            ::testing::ExitedWithCode(0), "");
        // A table read does without its memo text.
        auto t = f.read("t.dbf");
        ASSERT_EQ(reported_errors().size(), 1u);
        EXPECT_EQ(reported_errors()[0].message, f.file("t.dbf") + ": Memo file not found");
        EXPECT_EQ((*t->get_item())[1].to_wstring(), L"ab");
        // Nothing is appended to it or made in the memo file's place.
        const auto not_memo = std::make_pair(
            0, "File " + f.file("t.fpt") + " is not a memo file; it is left as it is");
        EXPECT_EQ(error_of([&] { f.read("t.dbf", udb_open_append); }), not_memo);
        EXPECT_EQ(error_of([&] { f.open().create_memo_file(L"t"); }), not_memo);
        EXPECT_EQ(error_of([&] { f.read("odd.dbf"); }),
                  std::make_pair(0, std::string(dbf_bad_format_text)));
        EXPECT_EQ(files_in(f.dir()), files);
    }
}

TEST(dbf_database, field_names_are_checked_as_the_bytes_they_are_written_as) {
    dbf_folder f;
    auto t = f.create(L"n", {{L"CUSTOMER_ID", VT_I4},
                             {L"CUSTOMER_IDENT", VT_I4},
                             {L"\u04161", VT_I4},
                             {L"\u04291", VT_I4},
                             {L"1st", VT_I4},
                             {L"order date", VT_I4},
                             {L"Stra\u00dfe", VT_I4},
                             {L"a", VT_I4},
                             {L"A", VT_I4}});
    std::vector<std::wstring> names;
    for (size_t i = 0; i < t->get_schema().size(); ++i) names.push_back(t->get_schema()[i].name);
    EXPECT_EQ(names,
              (std::vector<std::wstring>{L"CUSTOMER_I", L"CUSTOME000", L"_1", L"A_1", L"A1st",
                                         L"order_date", L"Stra\u00dfe", L"a", L"A000"}));
    f.commit(t);
    EXPECT_EQ(read_file_bytes(f.file("n.dbf")).substr(32 * 7, 11),
              "Stra\xDF"
              "e\0\0\0\0\0"s);
}

TEST(dbf_database, only_tables_the_writer_encodes_exactly_are_appended_to) {
    dbf_folder f;
    std::string vfp_tail(263, '\0');
    struct {
        std::string bytes;
        bool accepted;
    } cases[] = {
        {build_dbf(0x03,
                   {{"C", 'C', 3},
                    {"N", 'N', 5, 2},
                    {"F", 'F', 5, 1},
                    {"D", 'D', 8},
                    {"L", 'L', 1},
                    {"B", 'B', 8},
                    {"T", 'T', 8},
                    {"I", 'I', 4}},
                   {}),
         true},
        {build_dbf(0x83, {{"C", 'C', 3}}, {}), false},   // dBASE III memo table
        {build_dbf(0x03, {{"Y", 'Y', 8}}, {}), false},   // currency
        {build_dbf(0x03, {{"B", 'B', 10}}, {}), false},  // dBASE memo pointer
        {build_dbf(0x03, {{"M", 'M', 10}}, {}), false},  // a memo without an FPT kind
        {build_dbf(0x30, {{"M", 'M', 4}}, {}, 0x02, 0, vfp_tail), true},  // binary pointers
        // A memo field whose block number is not in its memo kind's form.
        {build_dbf(0x30, {{"M", 'M', 10}}, {}, 0x02, 0, vfp_tail), false},
        {build_dbf(0xF5, {{"M", 'M', 4}}, {}), false},
        {build_dbf(0x30, {{"C", 'C', 3}, {"_NullFlags", '0', 1}, {"I", 'I', 4}}, {}, 0, 0,
                   vfp_tail),
         true},
        {build_dbf(0x8B, {{"C", 'C', 3}}, {}), false},
        {build_dbf(0x03, {{"P", 'P', 10}}, {}), false},
    };
    write_file_bytes(f.file("t.fpt"), empty_fpt());
    for (const auto& c : cases) {
        write_file_bytes(f.file("t.dbf"), c.bytes);
        auto [kind, text] = error_of([&] { f.read("t.dbf", udb_open_append); });
        if (c.accepted) {
            EXPECT_EQ(kind, -1) << text;
        } else {
            EXPECT_EQ(kind, 0) << c.bytes.size();
            EXPECT_EQ(text,
                      "The structure of data source does not conform to the destination table.");
        }
    }
    // The null flags are paired with no column and cleared.
    write_file_bytes(f.file("t.dbf"), cases[8].bytes);
    auto t = f.read("t.dbf", udb_open_append);
    ASSERT_EQ(t->get_schema().size(), 2u);
    t->append_record(*make_record({ole_variant(L"ab"), ole_variant(int32_t{258})}));
    f.commit(t);
    std::string bytes = read_file_bytes(f.file("t.dbf"));
    EXPECT_EQ(bytes.substr(bytes.size() - 9), " ab \0\x02\x01\0\0"s);
}

TEST(dbf_database, appending_to_existing_tables) {
    dbf_folder f;
    // A memo table whose FPT is gone: said once at opening, then per record that loses a
    // memo; the record itself is written and no empty FPT appears.
    write_file_bytes(f.file("m.dbf"), build_dbf(0xF5, {{"M", 'M', 10}, {"C", 'C', 2}}, {}));
    auto m = f.read("m.dbf", udb_open_append);
    EXPECT_EQ(reported_errors().size(), 1u);
    m->append_record(*make_record({ole_variant(), ole_variant(L"ok")}));
    auto [kind, text] = error_of([&] {
        m->append_record(*make_record({ole_variant(L"memo"), ole_variant(L"no")}));
    });
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(text, "Memo file not found");
    EXPECT_EQ(m->get_record_count(), 2u);
    EXPECT_FALSE(tk_is_file_exist1(f.file("m.fpt"), tk_exist_file));

    // Text goes in the table's own code page.
    write_file_bytes(f.file("r.dbf"), build_dbf(0x03, {{"C", 'C', 2}}, {}, 0, 0xC9));
    auto r = f.read("r.dbf", udb_open_append);
    r->append_record(*make_record({ole_variant(L"\u0416\u0430")}));
    // A record that does not match the table's fields ends the table, once.
    std::tie(kind, text) = error_of([&] {
        r->append_record(*make_record({ole_variant(), ole_variant()}));
    });
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(text, "The structure of data source does not conform to the destination table.");
    f.commit(r);
    EXPECT_EQ(read_file_bytes(f.file("r.dbf")).substr(65), " \xC6\xE0");
    // A table opened for reading is not written.
    EXPECT_EQ(
        error_of([&] { f.read("r.dbf")->append_record(*make_record({ole_variant()})); }).first, 1);
}

// Appending keeps a table's layout: a FoxPro table with Visual FoxPro types (as earlier
// versions wrote them) stays 0xF5 with decimal memo block numbers, a Visual FoxPro table
// stays 0x30 with binary ones; both are what create_table makes of the same columns.
TEST(dbf_database, appending_keeps_the_version_byte_and_the_memo_form) {
    const std::vector<col> cols = {
        {L"R", VT_R8}, {L"T", VT_DATE, 0, udb_date_time}, {L"M", VT_BSTR, 0}};
    struct {
        const char* what;
        std::string table;
        std::string memo, no_memo;  // the memo field of a record with and without a memo
    } cases[] = {
        {"FoxPro", build_dbf(0xF5, {{"R", 'B', 8}, {"T", 'T', 8}, {"M", 'M', 10}}, {}),
         "         8", std::string(10, ' ')},
        {"Visual FoxPro",
         build_dbf(0x30, {{"R", 'B', 8}, {"T", 'T', 8}, {"M", 'M', 4}}, {}, dbf_flag_memo, 0,
                   std::string(263, '\0')),
         le32s(8), std::string(4, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dbf_folder f;
        write_file_bytes(f.file("t.dbf"), c.table);
        write_file_bytes(f.file("t.fpt"), empty_fpt());
        udb_schema schema;
        fill_schema(schema, cols);
        auto t = f.db().create_table(L"t", schema, udb_indexes());
        EXPECT_TRUE(dbf_made_from(*t, schema));
        ASSERT_TRUE(dbf_merge_into(*t, schema));
        t->append_record(*make_record({ole_variant(1.5), date("2024-01-15"), ole_variant(L"m")}));
        t->append_record(*make_record(std::vector<ole_variant>(3)));
        f.db().commit_table(*t);
        t.reset();
        EXPECT_TRUE(reported_errors().empty());
        // Only the record count changes in the header.
        const std::string bytes = read_file_bytes(f.file("t.dbf"));
        EXPECT_EQ(bytes.substr(0, c.table.size()), with_le32(c.table, 4, 2));
        const size_t length = 17 + c.memo.size();
        ASSERT_EQ(bytes.size(), c.table.size() + 2 * length);
        EXPECT_EQ(bytes.substr(c.table.size() + 17, c.memo.size()), c.memo);
        EXPECT_EQ(bytes.substr(c.table.size() + length + 17), c.no_memo);
        auto r = f.read("t.dbf");
        EXPECT_EQ((*r->get_item())[2].to_wstring(), L"m");
        r->next();
        EXPECT_EQ((*r->get_item())[2].get_type(), VT_EMPTY);
    }
}

TEST(dbf_database, opening_and_deleting_tables_take_time_linear_in_their_number) {
    // Every lookup of a table's files once read the whole folder again: 4,000 tables took
    // seconds to delete. The folder is listed once when the database opens; the time
    // bound is generous, and a return to reading the folder per table passes it many
    // times over.
    constexpr int tables = 2000;
    dbf_folder f;
    const std::string table = build_dbf(0xF5, {{"M", 'M', 10}}, {});
    for (int i = 0; i < tables; ++i) {
        write_file_bytes(f.file("t" + std::to_string(i) + ".dbf"), table);
        write_file_bytes(f.file("t" + std::to_string(i) + ".fpt"), empty_fpt() + '\0');
    }
    const auto start = std::chrono::steady_clock::now();
    const uint64_t listings = dbf_listing::listings();
    dbf_database& db = f.open();
    for (const auto& name : std::vector<std::wstring>(db.get_table_names())) {
        EXPECT_TRUE(db.is_table_exist(name));
        db.get_table(name, udb_open_append);
    }
    db.delete_all_tables();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(dbf_listing::listings(), listings + 1);
    EXPECT_LT(seconds.count(), 10.0);
    EXPECT_TRUE(files_in(f.dir()).empty());
}
