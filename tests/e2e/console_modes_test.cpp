// The four destination modes on a prepared folder.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// A source database and a destination that already holds:
//   X.dbf        the table x converted twice (6 records)
//   ORDERS.DBF   the table orders converted, in upper case, with ORDERS.FPT
//   y.dbf        a table y of another structure
//   X.cdx        the index of X (the engine deletes it with its table)
//   unrelated.dbf/.fpt, notes.txt, lonely.cdx (an index without a table), a folder
//   dir.dbf, and link.dbf pointing at a file outside the folder.
struct prepared : ::testing::Test {
    std::unique_ptr<scratch_db> db;
    tmp_dir d;
    std::string out;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        db = std::make_unique<scratch_db>("e2e_modes");
        db->exec(
            "CREATE TABLE x (id INT PRIMARY KEY, v VARCHAR(10));"
            "INSERT INTO x VALUES (1,'a'),(2,'b'),(3,'c');"
            "CREATE TABLE orders (id INT PRIMARY KEY, note TEXT);"
            "INSERT INTO orders VALUES (1,'first note'),(2,'second note');"
            "CREATE TABLE y (id INT PRIMARY KEY, v VARCHAR(10));"
            "INSERT INTO y VALUES (1,'y');"
            "CREATE TABLE newt (id INT PRIMARY KEY); INSERT INTO newt VALUES (1)");
        out = d.file("out");
        // Build the folder with the program itself.
        scratch_db other("e2e_modes_other");
        other.exec(
            "CREATE TABLE unrelated (id INT, note TEXT); INSERT INTO unrelated VALUES (1,'u');"
            "CREATE TABLE y (a DOUBLE, b DATE); INSERT INTO y VALUES (1.5, '2024-01-01')");
        ASSERT_EQ(run_talvorin(with_server({"--src=" + other.name(), "--dest=" + out})).code, 0);
        write_file_bytes(d.file("list"), "x\norders\n");
        ASSERT_EQ(run_talvorin(with_server({"--src=" + db->name(), "--dest=" + out, "--mode=3",
                                            "--tab_file=" + d.file("list")}))
                      .code,
                  0);
        write_file_bytes(d.file("list"), "x\n");
        ASSERT_EQ(run_talvorin(with_server({"--src=" + db->name(), "--dest=" + out, "--mode=3",
                                            "--tab_file=" + d.file("list")}))
                      .code,
                  0);
        fs::rename(out + "/x.dbf", out + "/X.dbf");
        fs::rename(out + "/orders.dbf", out + "/ORDERS.DBF");
        fs::rename(out + "/orders.fpt", out + "/ORDERS.FPT");
        write_file_bytes(out + "/notes.txt", "notes");
        write_file_bytes(out + "/X.cdx", "index");
        write_file_bytes(out + "/lonely.cdx", "lonely");
        fs::create_directories(out + "/dir.dbf");
        write_file_bytes(out + "/dir.dbf/inner.dbf", "inner");
        write_file_bytes(d.file("target.dbf"), "target");
        fs::create_symlink(d.file("target.dbf"), out + "/link.dbf");
        ASSERT_EQ(dbf_header_records(out + "/X.dbf"), 6);
        ASSERT_EQ(dbf_header_records(out + "/ORDERS.DBF"), 2);
    }

    run_result run(std::vector<std::string> more) {
        more.push_back("--src=" + db->name());
        more.push_back("--dest=" + out);
        return run_talvorin(with_server(more));
    }

    std::set<std::string> listing() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(out))
            names.insert(e.path().filename().string());
        return names;
    }

    // The one file of the folder that names the table, whatever its case.
    std::string table_file(const std::string& table) const {
        std::string found;
        for (const auto& e : fs::directory_iterator(out)) {
            std::string n = e.path().filename().string();
            std::string lower = n;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (lower == table + ".dbf") {
                EXPECT_EQ(found, "") << "two files for " << table;
                found = e.path().string();
            }
        }
        return found;
    }

    void expect_untouched_neighbours() {
        EXPECT_EQ(read_file_bytes(out + "/notes.txt"), "notes");
        EXPECT_EQ(read_file_bytes(out + "/lonely.cdx"), "lonely");
        EXPECT_EQ(read_file_bytes(out + "/dir.dbf/inner.dbf"), "inner");
        EXPECT_EQ(read_file_bytes(d.file("target.dbf")), "target");
    }
};

const std::string all_converted(const std::string& db) {
    return "Converting database " + db +
           "(4 tables)\nConverting table newt(1 records)\nConverting table orders(2 "
           "records)\nConverting table x(3 records)\nConverting table y(1 records)\n";
}

}  // namespace

// Every DBF table of the folder that the run does not write goes when the run starts,
// with its memo file, whatever its case; the run's own tables are replaced, each under
// the name it had, once it is complete. Nothing else goes, and no link is followed. The
// link to a file that is not a table stays, as does the folder of a table's name; both
// are named.
void expect_overwritten(prepared& p, const run_result& r) {
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::string all = all_converted(p.db->name());
    const size_t first_table = all.find('\n') + 1;
    EXPECT_EQ(r.out, all.substr(0, first_table) + "Error:\nThese files are left as they are: " +
                         p.out + "/dir.dbf is not a DBF table; " + p.out +
                         "/link.dbf is not a DBF table.\n" + all.substr(first_table));
    EXPECT_EQ(p.listing(),
              (std::set<std::string>{"ORDERS.DBF", "ORDERS.FPT", "X.dbf", "dir.dbf", "link.dbf",
                                     "lonely.cdx", "newt.dbf", "notes.txt", "y.dbf"}));
    p.expect_untouched_neighbours();
    EXPECT_EQ(dbf_header_records(p.out + "/X.dbf"), 3);
    dbf_read orders = read_dbf(p.out + "/ORDERS.DBF");
    EXPECT_EQ(orders.error, "");
    EXPECT_EQ(orders.rows, (std::vector<std::string>{"1|first note", "2|second note"}));
}

TEST_F(prepared, overwrite_the_entire_database_by_default) {
    expect_overwritten(*this, run({}));
}

TEST_F(prepared, overwrite_the_entire_database) {
    expect_overwritten(*this, run({"--mode=0"}));
}

TEST_F(prepared, overwrite_existing_tables_only) {
    const std::string unrelated = read_file_bytes(out + "/unrelated.dbf");
    run_result r = run({"--mode=1"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, all_converted(db->name()));
    EXPECT_EQ(dbf_header_records(table_file("x")), 3);
    dbf_read orders = read_dbf(table_file("orders"));
    EXPECT_EQ(orders.error, "");
    EXPECT_EQ(orders.rows, (std::vector<std::string>{"1|first note", "2|second note"}));
    dbf_read y = read_dbf(table_file("y"));
    EXPECT_EQ(y.fields, "id:N:11:0 v:C:11:0");
    EXPECT_EQ(read_file_bytes(out + "/unrelated.dbf"), unrelated);
    EXPECT_TRUE(fs::exists(out + "/unrelated.fpt"));
    EXPECT_TRUE(fs::is_symlink(out + "/link.dbf"));
    EXPECT_FALSE(fs::exists(out + "/X.cdx"));  // the replaced table's index went with it
    expect_untouched_neighbours();
}

TEST_F(prepared, skip_existing_tables) {
    const std::string x = read_file_bytes(out + "/X.dbf");
    const std::string orders = read_file_bytes(out + "/ORDERS.DBF");
    run_result r = run({"--mode=2"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    // Skipped tables are no failure, and are said to be skipped.
    auto skipped = [](const char* name) {
        return "Skipping table " + std::string(name) +
               ": the folder has a DBF table of its name, which is kept\n";
    };
    EXPECT_EQ(r.out, "Converting database " + db->name() +
                         "(4 tables)\nConverting table newt(1 records)\n" + skipped("orders") +
                         skipped("x") + skipped("y"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file_bytes(out + "/X.dbf"), x);
    EXPECT_EQ(read_file_bytes(out + "/ORDERS.DBF"), orders);
    EXPECT_EQ(dbf_header_records(out + "/newt.dbf"), 1);
    EXPECT_EQ(read_file_bytes(out + "/X.cdx"), "index");
    expect_untouched_neighbours();
}

TEST_F(prepared, merge) {
    const std::string y = read_file_bytes(out + "/y.dbf");
    run_result r = run({"--mode=3"});
    // A table that does not conform is not converted: the run says so at its end.
    ASSERT_EQ(r.code, 2) << r.out << r.err;
    EXPECT_EQ(r.err,
              "1 of 4 tables was not converted: y (The structure of data source does not "
              "conform to the destination table.)\n");
    EXPECT_EQ(r.out, "Converting database " + db->name() +
                         "(4 tables)\nConverting table newt(1 records)\nConverting table orders(2 "
                         "records)\nConverting table x(3 records)\nError:\ny: The structure of "
                         "data source does not conform to the destination table.\n");
    EXPECT_EQ(dbf_header_records(table_file("x")), 9);
    dbf_read orders = read_dbf(table_file("orders"));
    EXPECT_EQ(orders.error, "");
    EXPECT_EQ(orders.rows, (std::vector<std::string>{"1|first note", "2|second note",
                                                     "1|first note", "2|second note"}));
    EXPECT_EQ(read_file_bytes(out + "/y.dbf"), y);
    EXPECT_EQ(read_file_bytes(out + "/X.cdx"), "index");
    expect_untouched_neighbours();
}

TEST(console_modes, a_missing_destination_is_created_in_every_mode) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_deep");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1)");
    for (const char* mode : {"--mode=0", "--mode=1", "--mode=2", "--mode=3"}) {
        tmp_dir d;
        const std::string out = d.file("a/b/c/out");
        run_result r = run_talvorin(with_server({mode, "--src=" + db.name(), "--dest=" + out}));
        EXPECT_EQ(r.code, 0) << mode << r.out << r.err;
        EXPECT_EQ(dbf_header_records(out + "/t.dbf"), 1) << mode;
    }
}

TEST(console_modes, reruns_keep_one_file_per_table_whose_name_had_to_be_made_safe) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_rerun");
    // Names that need a safe DBF name: a blank, a device name, two names that differ
    // in case only, a dot next to the safe form it would take; one table has a memo.
    const std::vector<std::string> tables = {"my table", "con", "Case", "case", "a.b", "a_b"};
    for (const auto& t : tables) db.exec("CREATE TABLE `" + t + "` (a INT, t TEXT)");
    auto add_row = [&] {
        for (const auto& t : tables) db.exec("INSERT INTO `" + t + "` VALUES (1, 'memo')");
    };
    add_row();
    // Between the two runs every table gets one more row, so that the record counts
    // tell a replaced table (n + 1) from a skipped one (n) and one appended to (2n + 1).
    struct {
        const char* mode;
        long times, plus;
    } cases[] = {{"--mode=1", 1, 1}, {"--mode=2", 1, 0}, {"--mode=3", 2, 1}};
    for (const auto& c : cases) {
        tmp_dir d;
        const std::string out = d.file("out");
        auto run = [&](std::vector<std::string> more) {
            more.push_back("--src=" + db.name());
            more.push_back("--dest=" + out);
            run_result r = run_talvorin(with_server(more));
            EXPECT_EQ(r.code, 0) << c.mode << r.out << r.err;
            EXPECT_EQ(r.out.find("Error"), std::string::npos) << c.mode << r.out;
        };
        // Every file of the folder, with the record count of each table.
        auto files = [&] {
            std::map<std::string, long> found;
            for (const auto& e : fs::directory_iterator(out)) {
                const std::string name = e.path().filename().string();
                const bool table = name.size() > 4 && name.substr(name.size() - 4) == ".dbf";
                found[name] = table ? dbf_header_records(e.path().string()) : -1;
            }
            return found;
        };
        run({});
        const auto first = files();
        ASSERT_EQ(first.size(), 2 * tables.size()) << c.mode;  // each table and its memo
        add_row();
        run({c.mode});
        auto expected = first;
        for (auto& [name, records] : expected)
            if (records >= 0) records = c.times * records + c.plus;
        EXPECT_EQ(files(), expected) << c.mode;
        for (const auto& [name, records] : expected) {
            if (records >= 0) {
                EXPECT_EQ(read_dbf(out + "/" + name).error, "") << name;
            }
        }
    }
}

TEST(console_modes, files_named_like_tables_that_are_not_tables_are_left_alone_in_every_mode) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_notdbf");
    db.exec(
        "CREATE TABLE fake (a INT); INSERT INTO fake VALUES (1);"
        "CREATE TABLE t (a INT); INSERT INTO t VALUES (1), (2)");
    struct {
        const char* mode;
        bool old_kept;
    } cases[] = {{"--mode=0", false}, {"--mode=1", true}, {"--mode=2", true}, {"--mode=3", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        tmp_dir d;
        const std::string out = d.file("out");
        // A real table that the source no longer has, made by the program itself.
        write_file_bytes(d.file("list"), "t\n");
        ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out,
                                            "--tab_file=" + d.file("list")}))
                      .code,
                  0);
        fs::rename(out + "/t.dbf", out + "/old.dbf");
        const std::string old = read_file_bytes(out + "/old.dbf");
        write_file_bytes(out + "/fake.dbf", "a text file, not a table\n");
        write_file_bytes(out + "/empty.dbf", "");

        run_result r = run_talvorin(with_server({c.mode, "--src=" + db.name(), "--dest=" + out}));
        // The source's table of that name fails in every mode, and the run says so.
        EXPECT_EQ(r.code, 2) << r.out << r.err;
        auto left = [&](const std::string& file) {
            return "File " + out + "/" + file + " is not a DBF table; it is left as it is\n";
        };
        EXPECT_EQ(r.err, "1 of 2 tables was not converted: fake (" +
                             left("fake.dbf").substr(0, left("fake.dbf").size() - 1) + ")\n");
        // Mode 0 names each file it leaves when the run starts, but for the one in the
        // way of a table of the run, which is that table's error.
        std::string expected = "Converting database " + db.name() + "(2 tables)\n" +
                               std::string(c.old_kept ? "" : "Error:\n" + left("empty.dbf")) +
                               "Error:\nfake: " + left("fake.dbf") +
                               "Converting table t(2 records)\n";
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(read_file_bytes(out + "/fake.dbf"), "a text file, not a table\n");
        EXPECT_TRUE(fs::exists(out + "/empty.dbf"));
        EXPECT_EQ(fs::exists(out + "/old.dbf"), c.old_kept);
        if (c.old_kept) {
            EXPECT_EQ(read_file_bytes(out + "/old.dbf"), old);
        }
        EXPECT_EQ(dbf_header_records(out + "/t.dbf"), 2);
    }
}

TEST(console_modes, a_merge_pairs_moved_columns_with_their_fields_by_name) {
    REQUIRE_TEST_SERVER();
    const std::string taken = "Converting table t(2 records)\n";
    const std::string refused =
        "Error:\nt: The structure of data source does not conform to the destination table.\n";
    const std::vector<std::string> both = {"1|Ann|Smith", "2|Bob|Jones"};
    struct {
        const char* change;
        const char* names;  // of id, first and last after the change
        const char* id;     // of the second row
        std::string said;
        std::vector<std::string> added;
    } cases[] = {
        {"MODIFY last VARCHAR(20) AFTER id", "id, first, last", "2", taken, both},
        // A field that conforms without being what the column would make.
        {"MODIFY last VARCHAR(10) AFTER id", "id, first, last", "2", taken, both},
        // A value that does not fit is reported under its own field's name.
        {"MODIFY id BIGINT AFTER last",
         "id, first, last",
         "123456789012",
         taken + "Error:\nt, record #2: Value of field 'id' does not fit N(11,0): 123456789012\n",
         {"1|Ann|Smith", "NULL|Bob|Jones"}},
        // Names that correspond nowhere leave the positions as they were.
        {"RENAME COLUMN first TO given, RENAME COLUMN last TO family", "id, given, family", "2",
         taken, both},
        // A moved column beside one that has no field, or whose field cannot take it.
        {"RENAME COLUMN first TO given, MODIFY last VARCHAR(20) AFTER id",
         "id, given, last",
         "2",
         refused,
         {}},
        {"MODIFY last TEXT AFTER id", "id, first, last", "2", refused, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        scratch_db db("e2e_byname");
        tmp_dir d;
        const std::string out = d.file("out");
        db.exec(
            "CREATE TABLE t (id INT, first VARCHAR(20), last VARCHAR(20));"
            "INSERT INTO t VALUES (1, 'Ann', 'Smith')");
        ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
        db.exec(std::string("ALTER TABLE t ") + c.change + "; INSERT INTO t (" + c.names +
                ") VALUES (" + c.id + ", 'Bob', 'Jones')");
        run_result r =
            run_talvorin(with_server({"--mode=3", "--src=" + db.name(), "--dest=" + out}));
        EXPECT_EQ(r.code, c.said == refused ? 2 : 0) << r.err;
        EXPECT_EQ(r.out, "Converting database " + db.name() + "(1 tables)\n" + c.said);
        dbf_read t = read_dbf(out + "/t.dbf");
        EXPECT_EQ(t.fields, "id:N:11:0 first:C:21:0 last:C:21:0");
        std::vector<std::string> rows = {"1|Ann|Smith"};
        rows.insert(rows.end(), c.added.begin(), c.added.end());
        EXPECT_EQ(t.rows, rows);
    }
}

namespace {

int make_socket(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const int bound = bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    close(s);
    return bound;
}

}  // namespace

TEST(console_modes, what_bears_a_tables_name_without_being_a_file_is_that_tables_error) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_odd");
    // One memo table per kind of thing that is not a file, and one that converts.
    const std::vector<std::pair<std::string, int (*)(const std::string&)>> odds = {
        {"dev", [](const std::string& p) { return symlink("/dev/null", p.c_str()); }},
        {"dir", [](const std::string& p) { return mkdir(p.c_str(), 0755); }},
        {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0644); }},
        {"gone", [](const std::string& p) { return symlink("nowhere", p.c_str()); }},
        {"sock", make_socket}};
    for (const auto& [table, make] : odds)
        db.exec("CREATE TABLE " + table + " (id INT, note TEXT); INSERT INTO " + table +
                " VALUES (1, 'note')");
    db.exec("CREATE TABLE z (id INT, note TEXT); INSERT INTO z VALUES (1, 'note')");
    // They take the place of the table file, of the memo file of a table still to be
    // made, or of the memo file of a table made before.
    enum class place { table, memo, memo_of_a_table };
    for (place where : {place::table, place::memo, place::memo_of_a_table}) {
        for (int mode = 0; mode <= 3; ++mode) {
            SCOPED_TRACE(std::to_string(static_cast<int>(where)) + ", mode " +
                         std::to_string(mode));
            tmp_dir d;
            const std::string out = d.file("out");
            const bool made_before = where == place::memo_of_a_table;
            if (made_before) {
                ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code,
                          0);
            } else {
                ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
            }
            const std::string what =
                where == place::table ? ".dbf is not a DBF table" : ".fpt is not a memo file";
            for (const auto& [table, make] : odds) {
                const std::string path = out + "/" + table + what.substr(0, 4);
                if (made_before) {
                    ASSERT_EQ(unlink(path.c_str()), 0);
                }
                ASSERT_EQ(make(path), 0);
            }
            // Every entry but z's, with its kind and, for a file, its bytes.
            auto entries = [&] {
                std::map<std::string, std::string> found;
                for (const auto& e : fs::directory_iterator(out)) {
                    const std::string name = e.path().filename().string();
                    if (name.rfind("z.", 0) != 0)
                        found[name] =
                            e.is_symlink() || !e.is_regular_file()
                                ? std::to_string(static_cast<int>(e.symlink_status().type()))
                                : read_file_bytes(e.path().string());
                }
                return found;
            };
            auto before = entries();

            run_result r = run_talvorin(with_server(
                {"--mode=" + std::to_string(mode), "--src=" + db.name(), "--dest=" + out}));
            // Tables made before are skipped in mode 2, whatever their memo files are.
            const bool skipped = made_before && mode == 2;
            EXPECT_EQ(r.code, skipped ? 0 : 2) << r.err;
            std::string said = "Converting database " + db.name() + "(6 tables)\n";
            if (!skipped) {
                for (const auto& [table, make] : odds)
                    said += "Error:\n" + table + ": File " + out + "/" + table + what +
                            "; it is left as it is\n";
                said += "Converting table z(1 records)\n";
            } else {
                for (const auto& [table, make] : odds)
                    said += "Skipping table " + table +
                            ": the folder has a DBF table of its name, which is kept\n";
                said += "Skipping table z: the folder has a DBF table of its name, which is kept\n";
            }
            EXPECT_EQ(r.out, said);
            // The things stay as they were, with nothing beside them; so do the tables
            // made before, which did not convert.
            EXPECT_EQ(entries(), before);
            EXPECT_EQ(read_dbf(out + "/z.dbf").rows.size(), made_before && mode == 3 ? 2u : 1u);
        }
    }
}
