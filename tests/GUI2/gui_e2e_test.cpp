// Whole runs of the wizard against the test server, driven through its pages or
// started from a profile; the tables read back by the independent reader.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QtTest/QTest>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "GUI2/mvl_main.hpp"
#include "UDB/udb_prof.hpp"
#include "platform/files.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "tests/support/file_faults.hpp"
#include "tests/support/name_server.hpp"
#include "tests/support/relay_proxy.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// Every file of a folder with its bytes.
std::map<std::string, std::string> folder_files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& f : fs::directory_iterator(folder))
        files[f.path().filename().string()] = read_file_bytes(f.path().string());
    return files;
}

// The names of the temporary files a table is written under before it takes its place.
std::vector<std::string> temporary_files(const std::string& folder) {
    std::vector<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& f : fs::directory_iterator(folder))
        if (f.path().extension() == ".tmp") names.push_back(f.path().filename().string());
    return names;
}

// The size of the table file that `table` is being written to, 0 while there is none.
uintmax_t size_in_work(const std::string& folder, const std::string& table) {
    // The run may create, move or remove the file meanwhile.
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(folder, ec)) {
        if (!f.path().filename().string().starts_with(table + ".dbf.") ||
            f.path().extension() != ".tmp")
            continue;
        const uintmax_t size = fs::file_size(f.path(), ec);
        return ec ? 0 : size;
    }
    return 0;
}

struct quick_launch : ::testing::Test {
    tmp_dir home;
    scripted_modal modal;
    std::string heading, listed;
    // Called on every poll of the progress page while run() runs.
    std::function<void(morvale_convertor&)> while_converting;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("LC_ALL", "C", 1);
    }

    // Through a relay on the loopback when relay_port is not 0.
    std::string profile(const scratch_db& db, int mode, const std::string& tables,
                        unsigned relay_port = 0) {
        const test_server& s = test_server::get();
        const std::string path = home.file("p.mvl");
        const std::string host = relay_port ? "127.0.0.1" : s.host;
        const unsigned port = relay_port ? relay_port : s.port;
        write_file_bytes(path,
                         "[Generic settings]\nsrc=" + db.name() + "\ndest=" + home.file("out") +
                             "\nmode=" + std::to_string(mode) + "\n[Selected Tables]\n" + tables +
                             "[MySQL settings]\nhost=" + host + "\nuser=" + s.user +
                             "\npassword=" + s.password + "\nport=" + std::to_string(port) + "\n");
        return path;
    }

    // Runs the program on the profile; the robot notes the finish page and presses Finish.
    int run(const std::string& path, std::vector<int>* pages = nullptr) {
        wizard_robot robot;
        robot.on_page = [this](int id, ui::wizard_sheet& sheet) {
            if (id == 107 && while_converting)
                if (morvale_convertor* conv = morvale_convertor::find()) while_converting(*conv);
            if (id != 116) return;
            heading = sheet.findChild<QLabel*>("1314")->text().toStdString();
            auto* list = sheet.findChild<QPlainTextEdit*>("1016");
            listed = list->isVisible() ? list->toPlainText().toStdString() : "";
        };
        std::string a0 = "morvale", a1 = path;
        char* argv[] = {a0.data(), a1.data(), nullptr};
        const int code = morvale_main(2, argv);
        if (pages) *pages = robot.seen;
        return code;
    }
};

}  // namespace

TEST_F(quick_launch, converts_the_profile_tables_and_finishes_with_0) {
    scratch_db db("gui_ok");
    db.exec(
        "CREATE TABLE customers (id INT PRIMARY KEY, name VARCHAR(40) CHARACTER SET utf8mb4, "
        "note TEXT, born DATE NULL);"
        "INSERT INTO customers VALUES (1,'Zo\xc3\xab','long note',NULL),(2,'Ann',NULL,"
        "'1990-02-03');"
        "CREATE TABLE prices (id INT, p DECIMAL(12,4));"
        "INSERT INTO prices VALUES (1, 12.5),(2, NULL)");
    std::vector<int> pages;
    EXPECT_EQ(run(profile(db, 0, "customers\nprices\n"), &pages), morvale_ok);
    EXPECT_EQ(pages, (std::vector<int>{107, 116}));
    EXPECT_EQ(heading.rfind("Wizard has converted your MySQL database", 0), 0u) << heading;
    EXPECT_EQ(listed, "");
    EXPECT_TRUE(modal.requests.empty());

    const dbf_read customers = read_dbf(home.file("out") + "/customers.dbf");
    ASSERT_EQ(customers.error, "");
    EXPECT_EQ(customers.records, 2);
    ASSERT_EQ(customers.rows.size(), 2u);
    EXPECT_NE(customers.rows[0].find("Zo"), std::string::npos);
    const dbf_read prices = read_dbf(home.file("out") + "/prices.dbf");
    EXPECT_EQ(prices.records, 2);

    // The settings the profile gave are stored at the end, for this user only.
    struct stat st {};
    ASSERT_EQ(stat(home.file("config/Quillmark/Torvane.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(read_file_bytes(home.file("config/Quillmark/Torvane.conf")).find(db.name()),
              std::string::npos);
}

TEST_F(quick_launch, errors_are_listed_and_abort_ends_with_255) {
    scratch_db db("gui_errs");
    db.exec(
        "CREATE TABLE prices (id INT); INSERT INTO prices VALUES (1),(2);"
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        "CREATE TABLE a_first (id INT); INSERT INTO a_first VALUES (1),(2);"
        "CREATE TABLE orders (id INT, d DATE);"
        "INSERT INTO orders VALUES (1,'2024-01-01'),(2,'2024-01-02'),(3,'2024-02-31'),"
        "(4,'2024-01-04'),(5,'2024-01-05');"
        "CREATE TABLE z_last (id INT); INSERT INTO z_last VALUES (1),(2);"
        // 31 errors of records; among those the list does not show, a BIGINT UNSIGNED too
        // wide for its field.
        "CREATE TABLE many (id INT, d DATE, u BIGINT UNSIGNED);"
        "INSERT INTO many SELECT seq, '2024-02-31', 1 FROM seq_1_to_20;"
        "INSERT INTO many VALUES (21, '2024-01-01', 18446744073709551615);"
        "CREATE TABLE later (id INT, d DATE);"
        "INSERT INTO later SELECT seq, '2024-02-31' FROM seq_1_to_10;"
        // Losses that are no errors of records, summed up for the table.
        "CREATE TABLE lossy (id INT, name VARCHAR(20) CHARACTER SET utf8mb4, at DATETIME(3), "
        "d DATE);"
        "INSERT INTO lossy VALUES (1, '\xd0\x96\xd1\x83\xd0\xba', '2024-01-01 10:00:00.500', "
        "'0000-00-00'), (2, 'caf\xc3\xa9 \xe2\x82\xac\xe2\x88\x9e', '2024-01-01 10:00:00', "
        "'2024-01-01'), (3, '\xe4\xb8\xad', NULL, '0000-00-00')");
    std::string first_twenty;
    for (int i = 1; i <= 20; ++i)
        first_twenty += "many, record #" + std::to_string(i) +
                        ": The value '2024-02-31' of column 'd' cannot be stored (not a calendar "
                        "date); it is left empty.\n\n";
    // Earlier copies; the record error of orders is gone past.
    modal.dialogs = {{2}};
    ASSERT_EQ(run(profile(db, 0, "prices\norders\n")), morvale_ok);
    // Merge into a table whose structure no longer matches, plus a table that is gone.
    db.exec("ALTER TABLE prices ADD extra INT");
    const std::string stopped = "The conversion stopped before its end: ";
    const std::string not_conforming =
        "The structure of data source does not conform to the destination table.";
    struct {
        int mode;
        std::string tables;
        std::vector<std::vector<int>> answers;
        int code;
        std::string listed;
        std::string table;  // and its records afterwards
        long records;
    } cases[] = {
        // Gone past, the tables' errors leave them unconverted: Finish says so with 2.
        {3,
         "prices\nghost\n",
         {{2}, {2}},
         morvale_incomplete,
         "prices: " + not_conforming + "\n\nghost: Table ghost not exists\n\n" +
             "2 of 2 tables were not converted: prices (" + not_conforming +
             "), ghost (Table ghost not exists)\n",
         "prices",
         2},
        // Stopped on the first table's error: nothing converted, no table half written.
        {3,
         "prices\nghost\n",
         {{1}},
         morvale_failed,
         // The table in work is told of once, by the account of the stop.
         "prices: " + not_conforming + "\n\n" + stopped +
             "0 of 2 tables converted; table 'prices' was left as it was.\n",
         "prices",
         2},
        // Stopped in the middle of a table: how far the run got, and that the table in
        // work was left as it was, its earlier copy whole.
        {0,
         "a_first\norders\nz_last\n",
         {{1}},
         morvale_failed,
         "orders, record #3: The value '2024-02-31' of column 'd' cannot be stored (not a "
         "calendar date); it is left empty.\n\n" +
             stopped + "1 of 3 tables converted; table 'orders' was left as it was.\n",
         "orders",
         5},
        // Continue, and no dialog for the rest: the list shows 20 errors and says how many
        // more there were.
        {0,
         "many\nlater\n",
         {{1222, 2}},
         morvale_ok,
         first_twenty + "\u2026 and 11 more errors\n",
         "many",
         21},
        // What a converted table lost is listed, one line for the table.
        {0,
         "lossy\n",
         {},
         morvale_ok,
         "lossy: 3 values had characters that code page 1252 lacks; they are written as ?; "
         "1 value lost fractional seconds, which DBF date-time fields do not keep; 2 zero "
         "dates were written as blank dates\n",
         "lossy",
         3},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.tables + std::to_string(t.answers.size()));
        modal.requests.clear();
        modal.dialogs.assign(t.answers.begin(), t.answers.end());
        EXPECT_EQ(run(profile(db, t.mode, t.tables)), t.code);
        EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
        EXPECT_EQ(listed, t.listed);
        EXPECT_EQ(modal.of("dialog").size(), t.answers.size());
        EXPECT_EQ(read_dbf(home.file("out") + "/" + t.table + ".dbf").records, t.records);
        EXPECT_EQ(temporary_files(home.file("out")), std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists(home.file("out") + "/z_last.dbf"));
}

TEST_F(quick_launch, runs_on_its_profile_alone_or_says_why_it_cannot_and_touches_nothing) {
    scratch_db db("gui_alone");
    db.exec(
        "CREATE TABLE a (id INT); INSERT INTO a VALUES (1),(2);"
        "CREATE TABLE b (id INT); INSERT INTO b VALUES (3)");
    const test_server& s = test_server::get();
    const std::string out = home.file("out"), kept = home.file("kept");
    const std::string src = "src=" + db.name() + "\n", dest = "dest=" + out + "\n";
    const std::string connection = "[MySQL settings]\nhost=" + s.host + "\nuser=" + s.user +
                                   "\npassword=" + s.password + "\nport=";
    const std::string server = connection + std::to_string(s.port) + "\n";
    // The last session's folder and "Do not migrate the data": neither may reach a run.
    const std::string conf = home.file("config/Quillmark/Torvane.conf");
    const std::string stored = "dest=text:" + kept + "\ntab_def=dword:1\nsrc=text:elsewhere\n";
    const std::string not_given = "The profile cannot be run: it does not give ";
    struct {
        const char* what;
        std::string profile;
        int code;
        std::string box;  // the start of the one error box, if any
    } cases[] = {
        {"no destination", src + "mode=0\n[Selected Tables]\na\n" + server, morvale_failed,
         not_given + "the destination folder (dest=). Nothing was converted."},
        {"an empty destination", src + "dest=\n" + server, morvale_failed,
         not_given + "the destination folder (dest=)."},
        {"no source, an empty connection", dest + "[MySQL settings]\n", morvale_failed,
         not_given + "the source database (src=) and the connection ([MySQL settings])."},
        {"no connection", src + dest, morvale_failed, not_given + "the connection"},
        {"an unknown database", "src=no_such_" + db.name() + "\n" + dest + server, morvale_failed,
         "Unknown database"},
        {"no server", src + dest + connection + "1\n", morvale_failed,
         "Cannot connect to the MySQL server."},
        // No table listed: every table, as the console program converts them.
        {"no tables listed", src + dest + "mode=0\n" + server, morvale_ok, ""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        fs::remove_all(out);
        fs::create_directories(out);
        fs::create_directories(kept);
        write_file_bytes(out + "/old.dbf", any_dbf_table());
        write_file_bytes(kept + "/keep.dbf", "keep");
        fs::create_directories(home.file("config/Quillmark"));
        write_file_bytes(conf, stored);
        write_file_bytes(home.file("p.mvl"), "[Generic settings]\n" + t.profile);
        modal.requests.clear();
        EXPECT_EQ(run(home.file("p.mvl")), t.code);
        // Where nothing can go on, the box offers OK alone.
        EXPECT_TRUE(modal.of("dialog").empty());
        ASSERT_EQ(modal.of("error").size(), t.box.empty() ? 0u : 1u);
        if (!t.box.empty()) {
            EXPECT_EQ(modal.of("error")[0].text.toStdString().find(t.box), 0u)
                << modal.of("error")[0].text.toStdString();
            EXPECT_EQ(read_file_bytes(out + "/old.dbf"), any_dbf_table());
            EXPECT_EQ(read_file_bytes(conf), stored);
        }
        EXPECT_EQ(read_file_bytes(kept + "/keep.dbf"), "keep");
    }
    EXPECT_FALSE(fs::exists(out + "/old.dbf"));
    const dbf_read a = read_dbf(out + "/a.dbf"), b = read_dbf(out + "/b.dbf");
    EXPECT_EQ(a.rows, (std::vector<std::string>{"1", "2"})) << a.error;
    EXPECT_EQ(b.rows, std::vector<std::string>{"3"}) << b.error;
    EXPECT_EQ(heading.rfind("Wizard has converted your MySQL database", 0), 0u) << heading;
}

TEST_F(quick_launch, a_file_that_cannot_be_written_ends_the_run_with_255_after_one_box) {
    scratch_db db("gui_full");
    db.exec(
        "CREATE TABLE a_first (id INT); INSERT INTO a_first VALUES (1),(2);"
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30));"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq) FROM seq_1_to_20000;"
        "CREATE TABLE z_last (id INT); INSERT INTO z_last VALUES (1)");
    const std::string out = home.file("out");
    const std::string stopped = "The conversion stopped before its end: ";
    struct {
        const char* what;
        int mode;
        file_faults faults;
        bool earlier;        // the folder holds the tables of an earlier run
        std::string failed;  // the table in the one box
        std::string end;     // how far the run got
    } cases[] = {
        // A full disk in the middle of the second table, whose earlier copy stays.
        {"full disk",
         0,
         {.write_budget = 300'000, .only_under = out},
         true,
         "big",
         "1 of 3 tables converted; table 'big' was left as it was."},
        // A folder that refuses new files: every table would fail alike.
        {"write-protected, mode 1",
         1,
         {.open_error = EPERM, .only_under = out},
         false,
         "a_first",
         "0 of 3 tables converted; table 'a_first' was left as it was."},
        {"write-protected, mode 2",
         2,
         {.open_error = EPERM, .only_under = out},
         false,
         "a_first",
         "0 of 3 tables converted; table 'a_first' was left as it was."},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        fs::remove_all(out);
        fs::create_directories(out);
        if (t.earlier) {
            ASSERT_EQ(run(profile(db, t.mode, "a_first\nbig\n")), morvale_ok);
        }
        const auto before = folder_files(out);
        const std::string path = profile(db, t.mode, "a_first\nbig\nz_last\n");
        modal.requests.clear();
        int code = -1;
        {
            file_fault_scope faults(t.faults);
            code = run(path);
        }
        EXPECT_EQ(code, morvale_failed);
        EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
        EXPECT_TRUE(modal.of("dialog").empty());
        ASSERT_EQ(modal.of("error").size(), 1u);
        const std::string box = modal.of("error")[0].text.toStdString();
        EXPECT_EQ(box.rfind(t.failed + ": ", 0), 0u) << box;
        // The box's error, then how far the run got: the table in work was left as it was.
        EXPECT_EQ(listed, box + "\n\n" + stopped + t.end + "\n");
        EXPECT_FALSE(fs::exists(out + "/z_last.dbf"));
        EXPECT_EQ(temporary_files(out), std::vector<std::string>{});
        if (!t.earlier) {
            EXPECT_TRUE(fs::is_empty(out));
            continue;
        }
        // The table that was converted is new; the one that failed is its earlier copy.
        EXPECT_EQ(read_dbf(out + "/a_first.dbf").records, 2);
        EXPECT_EQ(read_file_bytes(out + "/big.dbf"), before.at("big.dbf"));
        EXPECT_EQ(read_dbf(out + "/big.dbf").records, 20000);
    }
}

// An error that ends the run in the middle of a long table (a full disk, or Abort on a
// record's error), while the server falls silent: the rest of the table is not waited
// for, and the finish page, with how far the run got, follows within moments.
TEST_F(quick_launch, an_error_that_ends_the_run_ends_its_reading_at_once) {
    scratch_db db("gui_endread");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(100));"
        "INSERT INTO big SELECT seq, REPEAT('v', 90) FROM seq_1_to_150000;"
        "CREATE TABLE cut LIKE big; INSERT INTO cut SELECT * FROM big;"
        "UPDATE cut SET v = CONCAT('cut', CHAR(0), 'here') WHERE id = 10");
    const std::string out = home.file("out");
    const struct {
        const char* what;
        const char* table;
        file_faults faults;
        const char* box;  // the kind of what is shown
    } cases[] = {
        {"full disk", "big", {.write_budget = 300'000, .only_under = out}, "error"},
        {"Abort", "cut", {}, "dialog"},
    };
    using clock = std::chrono::steady_clock;
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        fs::remove_all(out);
        relay_proxy relay(test_server::get().port);
        const std::string path = profile(db, 0, std::string(t.table) + "\n", relay.port());
        modal.requests.clear();
        clock::time_point shown;
        modal.on_shown = [&] {
            if (shown != clock::time_point()) return;
            shown = clock::now();
            relay.freeze(std::chrono::seconds(30));
        };
        int code = -1;
        {
            file_fault_scope faults(t.faults);
            code = run(path);
        }
        modal.on_shown = nullptr;
        const auto waited = clock::now() - shown;
        EXPECT_EQ(code, morvale_failed);
        ASSERT_EQ(modal.of(t.box).size(), 1u);
        EXPECT_LT(waited, std::chrono::seconds(3));
        EXPECT_TRUE(
            listed.ends_with("The conversion stopped before its end: 0 of 1 table "
                             "converted; table '" +
                             std::string(t.table) + "' was left as it was.\n"))
            << listed;
        // The folder was empty before: it is again, with no temporary file left.
        EXPECT_TRUE(fs::is_empty(out));
    }
}

// A table whose reading the server breaks off in the middle (KILL QUERY) is that
// table's error: the run goes on to the next table, the table keeps its earlier copy,
// and Finish ends with 2; a lost connection (KILL) ends the run early, with 255. Neither
// says that the conversion went through.
TEST_F(quick_launch, a_table_the_server_breaks_off_is_left_as_it_was_and_the_run_says_so) {
    scratch_db db("gui_killed");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), "
        "IF(seq % 100 = 0, CONCAT('memo ', seq), NULL) FROM seq_1_to_200000;"
        "CREATE TABLE z_small (a INT); INSERT INTO z_small VALUES (1),(2)");
    const std::string out = home.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto before = folder_files(out);
    const struct {
        const char* kill;
        int code;
        std::string end;  // the last entry of the finish page's list
        bool later_table_converted;
    } cases[] = {
        {"KILL QUERY ", morvale_incomplete,
         "1 of 2 tables was not converted: big (Query execution was interrupted)", true},
        {"KILL ", morvale_failed,
         "The conversion stopped before its end: 0 of 2 tables converted; table 'big' was "
         "left as it was.",
         false},
    };
    long in_source = 2, in_folder = 2;
    for (const auto& t : cases) {
        SCOPED_TRACE(t.kill);
        // So that a conversion of the later table shows.
        db.exec("INSERT INTO z_small VALUES (0)");
        ++in_source;
        modal.requests.clear();
        modal.dialogs = {{2}};  // Continue, should the error ask
        bool killed = false;
        while_converting = [&](morvale_convertor& conv) {
            if (killed || conv.get_progress().record_index == 0) return;
            const auto ids =
                db.rows("SELECT id FROM information_schema.processlist WHERE db = '" + db.name() +
                        "' AND info LIKE 'SELECT * FROM%' AND id <> CONNECTION_ID()");
            ASSERT_EQ(ids.size(), 1u);
            db.exec(t.kill + *ids[0][0]);
            killed = true;
        };
        const int code = run(profile(db, 1, "big\nz_small\n"));
        while_converting = nullptr;
        ASSERT_TRUE(killed) << "the table was converted before it could be broken off";
        EXPECT_EQ(code, t.code);
        EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
        EXPECT_TRUE(listed.ends_with(t.end + "\n")) << listed;
        EXPECT_EQ(read_file_bytes(out + "/big.dbf"), before.at("big.dbf"));
        EXPECT_EQ(read_file_bytes(out + "/big.fpt"), before.at("big.fpt"));
        EXPECT_EQ(temporary_files(out), std::vector<std::string>{});
        if (t.later_table_converted) in_folder = in_source;
        EXPECT_EQ(read_dbf(out + "/z_small.dbf").records, in_folder);
    }
}

namespace {

struct wizard_runs : quick_launch {
    // The robot walks the welcome, connection and database pages: Remote to the test
    // server, the database, the destination typed in.
    void walk_to_tables(wizard_robot& robot, const scratch_db& db, const std::string& dest,
                        bool blob_to_memo, unsigned port = 0) {
        robot.on_enter[103] = [](ui::wizard_sheet& sheet) { click(sheet, ui::id_next); };
        robot.on_enter[123] = [port](ui::wizard_sheet& sheet) {
            connect_to_test_server(sheet, port);
        };
        robot.on_enter[106] = [name = db.name(), dest, blob_to_memo](ui::wizard_sheet& sheet) {
            auto* list = static_cast<QListWidget*>(control(sheet, 1317));
            const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(found[0]).center());
            type(sheet, 1004, dest);
            if (blob_to_memo) click(sheet, 1204);
            click(sheet, ui::id_next);
        };
    }
    // Started without a profile; the robot drives it.
    int run_wizard() {
        std::string a0 = "morvale";
        char* argv[] = {a0.data(), nullptr};
        return morvale_main(1, argv);
    }
    static std::string finish_text(ui::wizard_sheet& sheet) {
        return static_cast<QLabel*>(control(sheet, 1314))->text().toStdString();
    }
};

}  // namespace

TEST_F(wizard_runs, every_page_then_the_saved_profile_repeats_the_run_as_a_merge) {
    scratch_db db("gui_wiz");
    const std::string unicode =
        "\xc3\xbcn\xc3\xaf"
        "code";  // a name DBF cannot take
    db.exec(
        "CREATE TABLE customers (id INT PRIMARY KEY, name VARCHAR(40) CHARACTER SET utf8mb4, "
        "note TEXT, born DATE NULL, pic BLOB);"
        "INSERT INTO customers VALUES (1,'Zo\xc3\xab','long note',NULL,'abc'),"
        "(2,'Ann',NULL,'1990-02-03',NULL);"
        "CREATE TABLE prices (id INT, p DECIMAL(12,4), ts DATETIME);"
        "INSERT INTO prices VALUES (1, 12.5, '2024-03-05 06:07:08'),(2, NULL, NULL);"
        "CREATE TABLE `" +
        unicode + "` (a INT); INSERT INTO `" + unicode + "` VALUES (7)");
    const std::string out = home.file("out/db");
    bool errors_shown = true;
    {
        // Gone before the second run, which has a robot of its own.
        wizard_robot robot;
        walk_to_tables(robot, db, out, true);
        robot.on_enter[127] = [](ui::wizard_sheet& sheet) {
            click(sheet, 1102);
            click(sheet, ui::id_next);
        };
        robot.on_enter[116] = [&](ui::wizard_sheet& sheet) {
            heading = finish_text(sheet);
            errors_shown = control(sheet, 1016)->isVisible();
            save_shot(sheet, "page-116-success");
            modal.files = {QString::fromStdString(home.file("p"))};
            click(sheet, 1116);
        };
        EXPECT_EQ(run_wizard(), morvale_ok);
        EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106, 127, 107, 116}));
    }
    EXPECT_EQ(heading.rfind("Wizard has converted your MySQL database", 0), 0u) << heading;
    EXPECT_FALSE(errors_shown);
    EXPECT_TRUE(modal.of("error").empty());

    // Every value as the server has it: NULL blank, the BLOB as memo text.
    std::map<std::string, std::vector<std::string>> rows;
    for (const auto& f : fs::directory_iterator(out)) {
        if (f.path().extension() != ".dbf") continue;
        const dbf_read t = read_dbf(f.path().string());
        ASSERT_EQ(t.error, "") << f.path();
        rows[f.path().stem().string()] = t.rows;
    }
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows["customers"], (std::vector<std::string>{"1|Zo\xc3\xab|long note|NULL|abc",
                                                           "2|Ann|NULL|1990-02-03|NULL"}));
    EXPECT_EQ(rows["prices"],
              (std::vector<std::string>{"1|12.5000|2024-03-05T06:07:08", "2|NULL|NULL"}));
    rows.erase("customers");
    rows.erase("prices");
    EXPECT_EQ(rows.begin()->second, std::vector<std::string>{"7"}) << rows.begin()->first;

    // The settings store keeps the eight values, for this user only.
    const std::string conf = read_file_bytes(home.file("config/Quillmark/Torvane.conf"));
    const test_server& s = test_server::get();
    for (const std::string& line :
         {"host=text:" + s.host, "port=text:" + std::to_string(s.port), "user=text:" + s.user,
          "pswd=text:" + s.password, "src=text:" + db.name(), "dest=text:" + out,
          std::string("blob2memo=dword:1"), std::string("tab_def=dword:0")})
        EXPECT_NE(conf.find(line + "\n"), std::string::npos) << line;
    struct stat st {};
    ASSERT_EQ(stat(home.file("config/Quillmark/Torvane.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    udb_profile saved;
    ASSERT_TRUE(saved.load(home.wpath() + L"/p.mvl"));
    EXPECT_EQ(saved.selected_tables().size(), 3u);
    EXPECT_EQ(saved.get_value(L"Generic settings", L"mode"), L"0");

    // The saved profile again, as a merge, after one table changed its structure: that
    // table is reported and kept, the others get their rows a second time, and Finish
    // says with 2 that a table was not converted.
    std::string profile = read_file_bytes(home.file("p.mvl"));
    profile.replace(profile.find("mode=0"), 6, "mode=3");
    write_file_bytes(home.file("p.mvl"), profile);
    db.exec("ALTER TABLE prices ADD extra INT");
    const std::string prices_before = read_file_bytes(out + "/prices.dbf");
    modal.requests.clear();
    modal.dialogs = {{2}};
    std::vector<int> pages;
    EXPECT_EQ(run(home.file("p.mvl"), &pages), morvale_incomplete);
    EXPECT_EQ(pages, (std::vector<int>{107, 116}));
    EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
    const std::string not_conforming =
        "The structure of data source does not conform to the destination table.";
    EXPECT_EQ(listed, "prices: " + not_conforming +
                          "\n\n1 of 3 tables was not converted: prices (" + not_conforming + ")\n");
    EXPECT_EQ(modal.of("dialog").size(), 1u);
    EXPECT_EQ(read_file_bytes(out + "/prices.dbf"), prices_before);
    EXPECT_EQ(read_dbf(out + "/customers.dbf").records, 4);
}

// Cancel (or closing the window) and Abort in the middle of a table, over an earlier
// copy in modes 1 and 3: the run ends within moments, also when the server has fallen
// silent, and leaves the table as it was, byte for byte, its memo file too, with nothing
// beside it. Abort says so on the finish page and ends with 255; Cancel ends with 1.
TEST_F(wizard_runs, cancel_closing_and_abort_end_soon_and_leave_the_table_in_work_as_it_was) {
    scratch_db db("gui_cancel");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), "
        "IF(seq % 100 = 0, CONCAT('memo ', seq), NULL) FROM seq_1_to_300000;"
        "CREATE TABLE cut LIKE big; INSERT INTO cut SELECT * FROM big WHERE id <= 30000");
    const std::string earlier = home.file("earlier"), out = home.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + earlier})).code, 0);
    const auto before = folder_files(earlier);
    ASSERT_EQ(before.size(), 4u);
    // A value cut in the middle of the table: its error asks Continue or Abort.
    db.exec("UPDATE cut SET v = CONCAT('cut', CHAR(0), 'here') WHERE id = 15000");
    enum class how { cancel, close, abort };
    struct {
        const char* what;
        int mode;
        how end;
        bool silent;  // the server stops answering in the middle of the table
    } cases[] = {
        {"Cancel, mode 1", udb_mode_overwrite_tables, how::cancel, false},
        {"Cancel, mode 3", udb_mode_merge_tables, how::cancel, false},
        {"Cancel, mode 3, the server silent", udb_mode_merge_tables, how::cancel, true},
        {"closing, mode 1, the server silent", udb_mode_overwrite_tables, how::close, true},
        {"Abort, mode 1", udb_mode_overwrite_tables, how::abort, false},
        {"Abort, mode 3", udb_mode_merge_tables, how::abort, false},
    };
    using clock = std::chrono::steady_clock;
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        const bool abort = t.end == how::abort;
        const std::string table = abort ? "cut" : "big";
        fs::remove_all(out);
        fs::copy(earlier, out);
        relay_proxy relay(test_server::get().port);
        const std::string path = profile(db, t.mode, table + "\n", relay.port());
        modal.requests.clear();
        modal.dialogs = {{1}};  // Abort
        clock::time_point acted;
        modal.on_shown = [&] {
            if (abort) acted = clock::now();
        };
        wizard_robot robot;
        bool frozen = false;
        uint64_t last_index = 0;
        int still = 0;
        heading = listed = "";
        robot.on_page = [&](int id, ui::wizard_sheet& sheet) {
            if (id == 116) {
                heading = finish_text(sheet);
                listed =
                    static_cast<QPlainTextEdit*>(control(sheet, 1016))->toPlainText().toStdString();
            }
            morvale_convertor* conv = morvale_convertor::find();
            if (id != 107 || abort || acted != clock::time_point() || !conv ||
                conv->get_progress().record_index == 0)
                return;
            if (t.silent && !frozen) {
                relay.freeze(std::chrono::seconds(15));
                frozen = true;
            }
            if (t.silent) {
                // The rows that got through are taken first; then the run waits.
                const uint64_t index = conv->get_progress().record_index;
                if (index != last_index || ++still < 10) {
                    last_index = index;
                    return;
                }
            }
            modal.questions = {ui::box_answer::yes};
            acted = clock::now();
            if (t.end == how::close)
                sheet.close();
            else
                click(sheet, ui::id_cancel);
        };
        std::string a0 = "morvale", a1 = path;
        char* argv[] = {a0.data(), a1.data(), nullptr};
        EXPECT_EQ(morvale_main(2, argv), abort ? morvale_failed : morvale_cancelled);
        modal.on_shown = nullptr;
        ASSERT_NE(acted, clock::time_point()) << "the run ended before it could be stopped";
        EXPECT_LT(clock::now() - acted, std::chrono::seconds(5));
        EXPECT_EQ(modal.of("question").size(), abort ? 0u : 1u);
        // The read that the stop broke is no lost connection to report.
        EXPECT_EQ(modal.of("dialog").size(), abort ? 1u : 0u);
        EXPECT_TRUE(modal.of("error").empty());
        EXPECT_EQ(folder_files(out), before);
        if (!abort) continue;
        EXPECT_EQ(robot.seen, (std::vector<int>{107, 116}));
        EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
        EXPECT_TRUE(
            listed.ends_with("The conversion stopped before its end: 0 of 1 table "
                             "converted; table 'cut' was left as it was.\n"))
            << listed;
    }
}

TEST_F(wizard_runs, a_cancel_answered_once_the_run_has_ended_leaves_the_finish_page) {
    scratch_db db("gui_late_cancel");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1),(2)");
    const std::string path = profile(db, 0, "t\n");
    wizard_robot robot;
    robot.on_enter[107] = [&](ui::wizard_sheet& sheet) {
        modal.questions = {ui::box_answer::yes};
        click(sheet, ui::id_cancel);
    };
    robot.on_enter[116] = [&](ui::wizard_sheet& sheet) { heading = finish_text(sheet); };
    // The question stays open while the run ends and the timer moves the wizard on.
    modal.on_question = [&robot] {
        robot.paused = true;
        EXPECT_TRUE(QTest::qWaitFor(
            [] {
                ui::page* p = wizard_shell::get_instance().sheet().current_page();
                return p && p->id() == 116;
            },
            20000));
        robot.paused = false;
    };
    std::string a0 = "morvale", a1 = path;
    char* argv[] = {a0.data(), a1.data(), nullptr};
    EXPECT_EQ(morvale_main(2, argv), morvale_ok);
    EXPECT_EQ(robot.seen, (std::vector<int>{107, 116}));
    EXPECT_EQ(modal.of("question").size(), 1u);
    EXPECT_EQ(heading.rfind("Wizard has converted your MySQL database", 0), 0u) << heading;
    EXPECT_EQ(read_dbf(home.file("out") + "/t.dbf").records, 2);
}

// "Overwrite the entire database" is a mode of the run, which does the deleting: after
// OK, Back or Cancel leaves the folder exactly as it was. Next on to the run deletes the
// folder's other tables when the run starts, and replaces the run's own under the name
// it had; files named like tables that are not stay, and are named.
TEST_F(wizard_runs, overwriting_the_entire_folder_touches_nothing_before_the_run) {
    scratch_db db("gui_mode0");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1),(2)");
    const std::string out = home.file("out");
    fs::create_directories(out);
    write_file_bytes(out + "/keep.dbf", any_dbf_table());
    write_file_bytes(out + "/keep.cdx", "index");
    write_file_bytes(out + "/notes.txt", "keep");
    // An earlier table of the run, without fields or records.
    write_file_bytes(out + "/T.DBF", any_dbf_table());
    // Files named like tables that are not.
    write_file_bytes(out + "/fake.dbf", "text");
    write_file_bytes(out + "/empty.dbf", "");
    const auto before = folder_files(out);
    enum class then { cancel, back_and_cancel, run };
    for (then next : {then::cancel, then::back_and_cancel, then::run}) {
        SCOPED_TRACE(next == then::cancel ? "Cancel" : next == then::run ? "run" : "Back, Cancel");
        modal.requests.clear();
        wizard_robot robot;
        walk_to_tables(robot, db, out, false);
        // Another mode first, so that the one the dialog gives shows.
        robot.on_enter[103] = [](ui::wizard_sheet& sheet) {
            morvale_convertor::get_instance().set_mode(udb_mode_skip_tables);
            click(sheet, ui::id_next);
        };
        modal.dialogs = {{1329, 1}};  // "&Overwrite the entire database"
        auto cancel = [&](ui::wizard_sheet& sheet) {
            modal.questions = {ui::box_answer::yes};
            click(sheet, ui::id_cancel);
        };
        int mode = -1;
        bool untouched_on_tables_page = false;
        robot.on_enter[127] = [&](ui::wizard_sheet& sheet) {
            mode = morvale_convertor::get_instance().mode();
            untouched_on_tables_page = folder_files(out) == before;
            if (next == then::cancel) return cancel(sheet);
            if (next == then::back_and_cancel) {
                robot.on_enter[106] = cancel;
                return click(sheet, ui::id_back);
            }
            click(sheet, 1102);
            click(sheet, ui::id_next);
        };
        EXPECT_EQ(run_wizard(), next == then::run ? morvale_ok : morvale_cancelled);
        EXPECT_EQ(robot.seen, next == then::run ? (std::vector<int>{103, 123, 106, 127, 107, 116})
                              : next == then::back_and_cancel
                                  ? (std::vector<int>{103, 123, 106, 127, 106})
                                  : (std::vector<int>{103, 123, 106, 127}));
        ASSERT_EQ(modal.of("dialog").size(), 1u);
        EXPECT_EQ(modal.of("dialog")[0].caption, "Torvane 4.3 Warning");
        EXPECT_EQ(mode, udb_mode_overwrite_database);
        EXPECT_TRUE(untouched_on_tables_page);
        if (next != then::run) {
            EXPECT_TRUE(modal.of("error").empty());
            EXPECT_EQ(folder_files(out), before);
            continue;
        }
        ASSERT_EQ(modal.of("error").size(), 1u);
        EXPECT_EQ(modal.of("error")[0].text.toStdString(),
                  "These files are left as they are: " + out + "/empty.dbf is not a DBF table; " +
                      out + "/fake.dbf is not a DBF table.");
        auto after = folder_files(out);
        EXPECT_EQ(read_dbf(out + "/T.DBF").rows, (std::vector<std::string>{"1", "2"}));
        after.erase("T.DBF");
        auto kept = before;
        for (const char* gone : {"keep.dbf", "keep.cdx", "T.DBF"}) kept.erase(gone);
        EXPECT_EQ(after, kept);
    }
}

namespace {

// The texts of a list's entries, in order.
std::vector<std::string> list_texts(ui::wizard_sheet& sheet, int id) {
    auto* list = static_cast<QListWidget*>(control(sheet, id));
    std::vector<std::string> texts;
    for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
    return texts;
}

// Clicks the entry of the list, as a user picks it, and then the button.
void pick_and_press(ui::wizard_sheet& sheet, int list_id, const std::string& entry, int button) {
    auto* list = static_cast<QListWidget*>(control(sheet, list_id));
    const auto found = list->findItems(QString::fromStdString(entry), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << entry;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found[0]).center());
    click(sheet, button);
}

}  // namespace

// After Load Settings..., the profile's tables stand in the selected list when the page
// shows (a name whose case differs reads the table as a run reads it), and a table the
// database lacks is named in a box. What the user then takes out or adds is what the
// run converts, nothing behind the list's back: a merge shows it, by doubling the rows
// of exactly the tables converted.
TEST_F(wizard_runs, the_tables_a_profile_lists_are_shown_selected_and_only_the_list_converts) {
    scratch_db db("gui_profile_tables");
    db.exec(
        "CREATE TABLE a (id INT); INSERT INTO a VALUES (1),(2);"
        "CREATE TABLE b (id INT); INSERT INTO b VALUES (3),(4);"
        "CREATE TABLE c (id INT); INSERT INTO c VALUES (5),(6);"
        "CREATE TABLE d (id INT); INSERT INTO d VALUES (7),(8)");
    const std::string out = home.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto before = folder_files(out);
    const std::string path = profile(db, 1, "a\nB\nghost\n");
    wizard_robot robot;
    walk_to_tables(robot, db, out, false);
    robot.on_enter[103] = [&](ui::wizard_sheet& sheet) {
        modal.files = {QString::fromStdString(path)};
        click(sheet, 1115);
        click(sheet, ui::id_next);
    };
    modal.dialogs = {{1332, 1}};  // "&Merge"
    std::vector<std::string> available, selected, boxes;
    robot.on_enter[127] = [&](ui::wizard_sheet& sheet) {
        save_shot(sheet, "page-127-profile-tables");
        available = list_texts(sheet, 1317);
        selected = list_texts(sheet, 1318);
        for (const auto& box : modal.of("information")) boxes.push_back(box.text.toStdString());
        pick_and_press(sheet, 1318, "a", 1111);
        pick_and_press(sheet, 1317, "c", 1101);
        save_shot(sheet, "page-127-changed");
        click(sheet, ui::id_next);
    };
    robot.on_enter[116] = [&](ui::wizard_sheet& sheet) { heading = finish_text(sheet); };
    EXPECT_EQ(run_wizard(), morvale_ok);
    EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106, 127, 107, 116}));
    EXPECT_EQ(available, (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(selected, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(boxes, std::vector<std::string>{"The loaded profile lists tables that the database " +
                                              db.name() +
                                              " does not have; they are not converted: ghost."});
    EXPECT_EQ(heading.rfind("Wizard has converted your MySQL database", 0), 0u) << heading;
    EXPECT_TRUE(modal.of("error").empty());
    const auto after = folder_files(out);
    for (const char* kept : {"a.dbf", "d.dbf"}) EXPECT_EQ(after.at(kept), before.at(kept)) << kept;
    EXPECT_EQ(read_dbf(out + "/b.dbf").rows, (std::vector<std::string>{"3", "4", "3", "4"}));
    EXPECT_EQ(read_dbf(out + "/c.dbf").rows, (std::vector<std::string>{"5", "6", "5", "6"}));
    EXPECT_FALSE(fs::exists(out + "/ghost.dbf"));
}

// Another run holds the folder: the database page says so before anything else and
// stays, and a quick launch ends with 255; the folder keeps its tables either way. A run
// that ends lets the folder go.
TEST_F(wizard_runs, a_folder_another_run_holds_is_refused_before_it_is_touched) {
    scratch_db db("gui_held");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1)");
    const std::string out = home.file("out");
    fs::create_directories(out);
    write_file_bytes(out + "/keep.dbf", any_dbf_table());
    int held = -1;
    ASSERT_EQ(pt::lock_folder(out, held), 0);
    const std::string busy = "Another run is converting into the folder " + out +
                             "; nothing was changed. Try again once it has ended.";
    {
        wizard_robot robot;
        walk_to_tables(robot, db, out, false);
        modal.dialogs = {{1329, 1}};  // would overwrite the entire folder
        robot.on_page = [&](int id, ui::wizard_sheet& sheet) {
            if (id != 106 || modal.of("error").empty() || !modal.questions.empty()) return;
            save_shot(sheet, "database-page-folder-held");
            modal.questions = {ui::box_answer::yes};
            click(sheet, ui::id_cancel);
        };
        EXPECT_EQ(run_wizard(), morvale_cancelled);
        EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106}));
    }
    EXPECT_TRUE(modal.of("dialog").empty());
    ASSERT_EQ(modal.of("error").size(), 1u);
    EXPECT_EQ(modal.of("error")[0].text.toStdString(), busy);

    modal.requests.clear();
    const std::string path = profile(db, 0, "t\n");
    EXPECT_EQ(run(path), morvale_failed);
    ASSERT_EQ(modal.of("error").size(), 1u);
    EXPECT_EQ(modal.of("error")[0].text.toStdString(), busy);
    EXPECT_TRUE(fs::exists(out + "/keep.dbf"));

    pt::close_file(held);
    EXPECT_EQ(run(path), morvale_ok);
    EXPECT_FALSE(fs::exists(out + "/keep.dbf"));
    EXPECT_EQ(read_dbf(out + "/t.dbf").records, 1);
    ASSERT_EQ(pt::lock_folder(out, held), 0);
    pt::close_file(held);
}

namespace {

// The small window that says the wizard waits for the server; null while none shows.
QDialog* wait_window() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "wait-window" && w->isVisible()) return static_cast<QDialog*>(w);
    return nullptr;
}

// Watches for the wait window apart from the robot (which waits inside its own click on
// Next): once the relay has fallen silent (or `ready` says the wait is under way), takes
// its picture, then closes it or presses its Cancel, and notes when. Once it has gone,
// `after` runs on every tick. A wizard that never shows it is ended.
struct wait_watcher {
    using clock = std::chrono::steady_clock;
    explicit wait_watcher(const relay_proxy& relay)
        : wait_watcher([&relay] { return relay.frozen(); }) {}
    explicit wait_watcher(std::function<bool()> ready);
    std::function<bool()> ready;
    bool close = false;
    std::function<void()> after;
    bool seen = false;
    clock::time_point acted, gone;
    QTimer timer;
};

wait_watcher::wait_watcher(std::function<bool()> r) : ready(std::move(r)) {
    const clock::time_point deadline = clock::now() + std::chrono::seconds(40);
    QObject::connect(&timer, &QTimer::timeout, [this, deadline] {
        QDialog* w = wait_window();
        if (w && !seen && ready()) {
            seen = true;
            save_shot(*w, "wait-window");
            acted = clock::now();
            if (close)
                w->close();
            else
                QTest::mouseClick(w->findChild<QPushButton*>("2"), Qt::LeftButton);
        } else if (!w && seen) {
            if (gone == clock::time_point()) gone = clock::now();
            if (after) after();
        } else if (!seen && clock::now() > deadline) {
            ADD_FAILURE() << "no window said that the wizard waits";
            timer.stop();
            if (wizard_shell* shell = wizard_shell::find()) shell->sheet().done(0);
        }
    });
    timer.start(20);
}

}  // namespace

// The server answers the connection and then falls silent, or falls silent while it
// lists its databases or the tables of one: Next waits in a window of its own, and its
// Cancel, or closing it, ends the wait within moments and leaves the wizard on the page
// it came from.
TEST_F(wizard_runs, next_waits_in_a_window_that_cancel_or_closing_ends) {
    scratch_db db("gui_waits");
    db.exec("CREATE TABLE t (a INT)");
    struct {
        const char* text;  // the statement the server falls silent at
        bool close;
        int back_on;  // the page the wizard stays on
    } cases[] = {
        {"wait_timeout", false, 123},
        {"wait_timeout", true, 123},
        {"SHOW DATABASES", false, 123},
        {"show full tables", true, 106},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(std::string(t.text) + (t.close ? ", closed" : ", cancelled"));
        relay_proxy relay(test_server::get().port);
        relay.freeze_at(t.text, std::chrono::seconds(30));
        modal.requests.clear();
        wizard_robot robot;
        walk_to_tables(robot, db, home.file("out"), false, relay.port());
        wait_watcher watcher(relay);
        watcher.close = t.close;
        auto back = wait_watcher::clock::time_point();
        watcher.after = [&] {
            ui::wizard_sheet& sheet = wizard_shell::get_instance().sheet();
            if (back != wait_watcher::clock::time_point() || !sheet.current_page() ||
                sheet.current_page()->id() != t.back_on || !sheet.button(ui::id_next)->isEnabled())
                return;
            back = wait_watcher::clock::now();
            save_shot(sheet, "page-" + std::to_string(t.back_on) + "-after-wait");
            modal.questions = {ui::box_answer::yes};
            click(sheet, ui::id_cancel);
        };
        EXPECT_EQ(run_wizard(), morvale_cancelled);
        ASSERT_TRUE(watcher.seen);
        EXPECT_TRUE(relay.frozen());
        EXPECT_LT(watcher.gone - watcher.acted, std::chrono::seconds(5));
        EXPECT_LT(back - watcher.acted, std::chrono::seconds(5));
        EXPECT_EQ(robot.seen.back(), t.back_on);
        // The wait the user stopped is no error to show; only the exit was asked.
        EXPECT_TRUE(modal.of("error").empty());
        EXPECT_TRUE(modal.of("dialog").empty());
        EXPECT_EQ(modal.of("question").size(), 1u);
    }
}

// A quick launch whose server falls silent while the session is set up shows a window
// saying it connects; its Cancel, or closing it, ends the program within moments with
// exit code 1 and nothing touched.
TEST_F(quick_launch, connecting_shows_a_window_whose_cancel_or_closing_ends_the_program) {
    scratch_db db("gui_connecting");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1)");
    const std::string out = home.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const std::string before = read_file_bytes(out + "/t.dbf");
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "closed" : "cancelled");
        relay_proxy relay(test_server::get().port);
        relay.freeze_at("wait_timeout", std::chrono::seconds(30));
        modal.requests.clear();
        wait_watcher watcher(relay);
        watcher.close = close;
        std::vector<int> pages;
        EXPECT_EQ(run(profile(db, 0, "t\n", relay.port()), &pages), morvale_cancelled);
        const auto ended = wait_watcher::clock::now();
        ASSERT_TRUE(watcher.seen);
        EXPECT_LT(ended - watcher.acted, std::chrono::seconds(5));
        EXPECT_TRUE(pages.empty());
        EXPECT_TRUE(modal.requests.empty());
        EXPECT_EQ(read_file_bytes(out + "/t.dbf"), before);
    }
}

// A quick launch whose host is a name that its name server never answers waits in the
// lookup, in the window that says it connects; its Cancel ends the program within a
// second with exit code 1. Only a program of its own can have a private resolv.conf:
// the test runs itself again, under one, for the part inside the lookup.
TEST_F(quick_launch, cancel_ends_the_wait_for_a_name_server_that_never_answers) {
    const char* const inside = "TORVANE_TEST_PRIVATE_RESOLVER";
    if (std::getenv(inside)) {
        const test_server& s = test_server::get();
        const std::string path = home.file("p.mvl");
        write_file_bytes(path, "[Generic settings]\nsrc=lookup\ndest=" + home.file("out") +
                                   "\n[MySQL settings]\nhost=silent.torvane.test\nuser=" + s.user +
                                   "\npassword=" + s.password + "\nport=" + std::to_string(s.port) +
                                   "\n");
        // The window shows once the wait has lasted a moment: the lookup is under way.
        wait_watcher watcher([] { return true; });
        std::vector<int> pages;
        EXPECT_EQ(run(path, &pages), morvale_cancelled);
        const auto ended = wait_watcher::clock::now();
        ASSERT_TRUE(watcher.seen);
        EXPECT_LT(ended - watcher.acted, std::chrono::seconds(1));
        EXPECT_TRUE(pages.empty());
        EXPECT_TRUE(modal.requests.empty());
        EXPECT_FALSE(fs::exists(home.file("out")));
        return;
    }
    name_server names;
    if (!names.unusable().empty()) GTEST_SKIP() << names.unusable();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string filter = std::string("--gtest_filter=") +
                               testing::UnitTest::GetInstance()->current_test_suite()->name() +
                               "." + testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::vector<std::string> line = names.command(self, {filter});
    setenv(inside, "1", 1);
    const pid_t pid = start_program(line[0], {line.begin() + 1, line.end()}, home.file("stdout"),
                                    home.file("stderr"));
    unsetenv(inside);
    EXPECT_EQ(wait_at_most(pid, std::chrono::seconds(90)), 0)
        << read_file_bytes(home.file("stdout")) << read_file_bytes(home.file("stderr"));
    EXPECT_NE(read_file_bytes(home.file("stdout")).find("[  PASSED  ] 1 test."), std::string::npos);
    EXPECT_FALSE(names.questions().empty());
}

// SIGINT and SIGTERM end the wizard as they end TALVORIN: within moments, the table in
// work left as it was (its earlier copy byte for byte), and how far the run got on
// standard error; also with the standard streams closed, when nothing the program says
// may land in a table.
TEST_F(quick_launch, a_signal_ends_the_program_within_moments) {
    scratch_db db("gui_signal");
    db.exec(
        "CREATE TABLE t (a INT); INSERT INTO t VALUES (1);"
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000");
    const std::string out = home.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto before = folder_files(out);
    enum class at { profile, connecting, converting };
    struct {
        const char* what;
        at when;
        int signal;
        std::vector<int> closed;
    } cases[] = {
        {"reading the profile from a pipe that never ends, SIGINT", at::profile, SIGINT, {}},
        {"connecting, SIGTERM", at::connecting, SIGTERM, {}},
        {"converting, the streams closed, SIGINT", at::converting, SIGINT, {0, 1, 2}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        const bool converting = t.when == at::converting;
        relay_proxy relay(test_server::get().port);
        if (t.when == at::connecting) relay.freeze_at("wait_timeout", std::chrono::seconds(40));
        // Mode 0 would empty the folder, were the run begun.
        std::string path = profile(db, converting ? 1 : 0, "big\n", relay.port());
        if (t.when == at::profile) {
            // No one ever writes into it.
            path = home.file("fifo");
            fs::remove(path);
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        }
        const pid_t pid = start_program(MORVALE_BINARY, {path}, home.file("stdout"),
                                        home.file("stderr"), t.closed);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto ready = [&] {
            if (t.when == at::profile) return waits_for_pipe_writer(pid);
            if (t.when == at::connecting) return relay.frozen();
            return size_in_work(out, "big") >= 200000;
        };
        while (!ready() && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(ready());
        if (converting) relay.freeze(std::chrono::seconds(40));
        // It waits there now.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, t.signal);
        const auto signalled = std::chrono::steady_clock::now();
        EXPECT_EQ(wait_at_most(pid, std::chrono::seconds(30)), morvale_failed);
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
        EXPECT_EQ(folder_files(out), before);
        if (!converting) {
            // After what Qt may have said.
            const std::string said = read_file_bytes(home.file("stderr"));
            EXPECT_TRUE(said.ends_with(
                            "\nThe conversion stopped before its end: no table was converted.\n") ||
                        said == "The conversion stopped before its end: no table was converted.\n")
                << said;
        }
    }
}
