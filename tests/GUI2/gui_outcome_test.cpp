// What the wizard tells of a run: the records of the table in work beside the bar, the
// finish page's account of where the tables went, and a stop signal before any run.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QtTest/QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "GUI2/g_finish.hpp"
#include "GUI2/mvl_main.hpp"
#include "shell/morvale_stop.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "tests/support/relay_proxy.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

TEST(finish_page, the_account_names_the_folder_counts_the_tables_and_their_records) {
    const std::vector<converted_table> three = {
        {L"orders", L"orders.dbf", 1200}, {L"items", L"items.dbf", 4}, {L"empty", L"EMPTY.DBF", 0}};
    std::vector<converted_table> renamed;
    for (int i = 1; i <= 7; ++i)
        renamed.push_back({L"t " + std::to_wstring(i), L"t_" + std::to_wstring(i) + L".dbf", 1});
    const std::wstring skip = L"'Skip existing tables' keeps as it is.";
    struct {
        const char* what;
        bool completed;
        uint32_t table_count;
        std::vector<converted_table> converted;
        size_t skipped;
        std::wstring account;
    } cases[] = {
        {"three tables", true, 3, three, 0, L"3 tables with 1,204 records went to the folder /d."},
        {"one record",
         true,
         1,
         {{L"a", L"a.dbf", 1}},
         0,
         L"1 table with 1 record went to the folder /d."},
        {"definitions only",
         true,
         1,
         {{L"a", L"a.dbf", 0}},
         0,
         L"1 table with no records went to the folder /d."},
        {"one under a safe name",
         true,
         2,
         {{L"my table", L"my_table.dbf", 2}, three[0]},
         0,
         L"2 tables with 1,202 records went to the folder /d.\n\nWritten under another name:\n"
         L"my table \u2192 my_table.dbf"},
        {"seven under safe names", true, 7, renamed, 0,
         L"7 tables with 7 records went to the folder /d.\n\nWritten under other names:\nt 1 "
         L"\u2192 t_1.dbf\nt 2 \u2192 t_2.dbf\nt 3 \u2192 t_3.dbf\nt 4 \u2192 t_4.dbf\nt 5 "
         L"\u2192 t_5.dbf\n\u2026 and 2 more"},
        {"nothing to convert",
         true,
         0,
         {},
         0,
         L"There was no table to convert: no table was written to the folder /d."},
        {"the one table skipped",
         true,
         1,
         {},
         1,
         L"No table was written to the folder /d: the table selected has a DBF table there, "
         L"which " +
             skip},
        {"every table skipped",
         true,
         3,
         {},
         3,
         L"No table was written to the folder /d: every table selected has a DBF table there, "
         L"which " +
             skip},
        {"some skipped",
         true,
         4,
         {three[0]},
         3,
         L"1 table with 1,200 records went to the folder /d. 3 tables were skipped: the folder "
         L"has DBF tables of their names, which 'Skip existing tables' keeps as they are."},
        {"none converted", true, 2, {}, 0, L"No table was written to the folder /d."},
        {"stopped after one",
         false,
         3,
         {three[1]},
         1,
         L"Before the run stopped, 1 table with 4 records went to the folder /d. 1 table was "
         L"skipped: the folder has a DBF table of its name, which " +
             skip},
        {"stopped before any",
         false,
         3,
         {},
         0,
         L"No table was written to the folder /d before the run stopped."},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        const finish_facts f{t.completed, t.table_count, t.converted, t.skipped, L"/d"};
        EXPECT_EQ(finish_account(f), t.account);
        // Success is said only of a run that wrote something and listed nothing.
        const std::wstring text = finish_text(f, false, L"All done.", L"Errors.");
        const std::wstring first = text.substr(0, text.find(L"\n\n"));
        EXPECT_EQ(first, !t.completed          ? L"Errors."
                         : t.converted.empty() ? t.account
                                               : L"All done.");
        EXPECT_EQ(finish_text(f, true, L"All done.", L"Errors."),
                  L"Errors.\n\n" + t.account + L"\n\nClick 'Finish' to exit the wizard.");
    }
}

namespace {

// Quick launches on the test server, through a relay that may hold the row counts back.
struct outcome_runs : ::testing::Test {
    tmp_dir home;
    scripted_modal modal;
    std::string title, text, listed;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("LC_ALL", "C", 1);
    }
    std::string out() const { return home.file("out"); }

    std::string profile(const scratch_db& db, int mode, const std::string& tables,
                        unsigned port = 0) {
        const test_server& s = test_server::get();
        const std::string path = home.file("p.mvl");
        write_file_bytes(path, "[Generic settings]\nsrc=" + db.name() + "\ndest=" + out() +
                                   "\nmode=" + std::to_string(mode) + "\n[Selected Tables]\n" +
                                   tables + "[MySQL settings]\nhost=" + s.host +
                                   "\nuser=" + s.user + "\npassword=" + s.password +
                                   "\nport=" + std::to_string(port ? port : s.port) + "\n");
        return path;
    }

    // Runs the program on the profile; the robot keeps what the finish page says and a
    // picture of it, and presses Finish.
    int run(const std::string& path, const std::string& shot, wizard_robot& robot) {
        robot.on_enter[116] = [this, shot](ui::wizard_sheet& sheet) {
            title = sheet.findChild<QLabel*>("1313")->text().toStdString();
            text = sheet.findChild<QLabel*>("1314")->text().toStdString();
            auto* list = sheet.findChild<QPlainTextEdit*>("1016");
            listed = list->isVisible() ? list->toPlainText().toStdString() : "";
            save_shot(sheet, shot + "-finish");
        };
        std::string a0 = "morvale", a1 = path;
        char* argv[] = {a0.data(), a1.data(), nullptr};
        return morvale_main(2, argv);
    }
    int run(const std::string& path, const std::string& shot) {
        wizard_robot robot;
        return run(path, shot, robot);
    }
};

// The label's text as the page shows it, without the breaks it may hold for wrapping.
std::string unbroken(std::string s) {
    const std::string zwsp = "\xE2\x80\x8B";
    for (size_t at; (at = s.find(zwsp)) != std::string::npos;) s.erase(at, zwsp.size());
    return s;
}

}  // namespace

TEST_F(outcome_runs, the_finish_page_says_where_the_tables_went_or_that_none_was_written) {
    scratch_db db("gui_outcome");
    db.exec(
        "CREATE TABLE orders (id INT); INSERT INTO orders VALUES (1),(2),(3);"
        "CREATE TABLE `my table` (a INT); INSERT INTO `my table` VALUES (7),(8);"
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        "CREATE TABLE bad (id INT, d DATE);"
        "INSERT INTO bad VALUES (1,'2024-01-01'),(2,'2024-02-31'),(3,'2024-01-03')");
    scratch_db empty("gui_outcome_empty");
    const std::string success =
        "Wizard has converted your MySQL database into DBase format successfully.";
    const std::string heading = "There were some errors while converting the database.";
    const std::string click = "\n\nClick 'Finish' to exit the wizard.";
    const std::string folder = "the folder " + out();
    struct {
        const char* what;
        const scratch_db& source;
        int mode;
        std::string tables;
        std::vector<std::vector<int>> answers;  // of the Continue/Abort dialogs
        int code;
        std::string title, text;
    } cases[] = {
        {"converted, one under a safe name",
         db,
         0,
         "orders\nmy table\n",
         {},
         morvale_ok,
         "Conversion is Completed",
         success + "\n\n2 tables with 5 records went to " + folder +
             ".\n\nWritten under another name:\nmy table \u2192 my_table.dbf" + click},
        {"every table skipped",
         db,
         2,
         "orders\nmy table\n",
         {},
         morvale_ok,
         "Conversion is Completed",
         "No table was written to " + folder +
             ": every table selected has a DBF table there, which 'Skip existing tables' keeps "
             "as it is." +
             click},
        {"an empty database",
         empty,
         1,
         "",
         {},
         morvale_ok,
         "Conversion is Completed",
         "There was no table to convert: no table was written to " + folder + "." + click},
        {"stopped by Abort",
         db,
         1,
         "orders\nbad\n",
         {{1}},
         morvale_failed,
         "Conversion Stopped",
         heading + "\n\nBefore the run stopped, 1 table with 3 records went to " + folder + "." +
             click},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        modal.requests.clear();
        modal.dialogs.assign(t.answers.begin(), t.answers.end());
        title = text = listed = "";
        std::string shot = std::string(t.what).substr(0, std::string(t.what).find(','));
        std::replace(shot.begin(), shot.end(), ' ', '-');
        EXPECT_EQ(run(profile(t.source, t.mode, t.tables), shot), t.code);
        EXPECT_EQ(title, t.title);
        EXPECT_EQ(unbroken(text), t.text);
        EXPECT_EQ(listed.empty(), t.answers.empty()) << listed;
    }
    EXPECT_EQ(read_dbf(out() + "/my_table.dbf").records, 2);
}

// A long table: beside the bar, its records so far while its count is not known, then
// "N of M records", which the bar follows within the table's share.
TEST_F(outcome_runs, the_progress_page_counts_the_records_of_the_table_in_work) {
    constexpr uint64_t rows = 1'000'000;
    scratch_db db("gui_records");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(20));"
        "INSERT INTO big SELECT seq, CONCAT('v', seq) FROM seq_1_to_1000000;"
        "CREATE TABLE small (a INT); INSERT INTO small VALUES (1)");
    // The count comes a while after the first rows.
    relay_proxy relay(test_server::get().port, SIZE_MAX, std::chrono::milliseconds(600));
    const QRegularExpression so_far("^([0-9]{1,3}(,[0-9]{3})*) records$");
    const QRegularExpression of_count("^([0-9]{1,3}(,[0-9]{3})*) of 1,000,000 records$");
    bool uncounted = false, counted = false;
    wizard_robot robot;
    robot.on_page = [&](int id, ui::wizard_sheet& sheet) {
        if (id != 107) return;
        const QString records = sheet.findChild<QLabel*>("1324")->text();
        const int bar = sheet.findChild<QProgressBar*>("1321")->value();
        if (const auto m = so_far.match(records); m.hasMatch() && !uncounted) {
            uncounted = true;
            save_shot(sheet, "records-so-far");
        }
        if (const auto m = of_count.match(records); m.hasMatch()) {
            const uint64_t index = m.captured(1).remove(',').toULongLong();
            // The first of two tables: its share is half the bar.
            EXPECT_EQ(static_cast<uint64_t>(bar), index * 100 / rows / 2) << records.toStdString();
            if (!counted && index > 0 && index < rows) {
                counted = true;
                save_shot(sheet, "records-of-count");
            }
        }
    };
    EXPECT_EQ(run(profile(db, 0, "big\nsmall\n", relay.port()), "records", robot), morvale_ok);
    EXPECT_TRUE(uncounted);
    EXPECT_TRUE(counted);
    EXPECT_NE(unbroken(text).find("\n\n2 tables with 1,000,001 records went to the folder "),
              std::string::npos)
        << text;
}

// A stop signal before any conversion was begun ends the wizard with 255 and says nothing
// about a conversion: on the welcome page, and while Load Settings reads a profile from a
// pipe that never ends. The signal must reach a program of its own: the test runs itself
// again for the part inside.
TEST(stop_signal, before_any_run_says_nothing_about_a_conversion) {
    const char* const inside = "TORVANE_TEST_SIGNAL_AT";
    if (const char* at = std::getenv(inside)) {
        install_stop_signals();
        tmp_dir home;
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        scripted_modal modal;
        const std::string fifo = home.file("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread signaller;
        wizard_robot robot;
        robot.on_enter[103] = [&](ui::wizard_sheet& sheet) {
            save_shot(sheet, std::string("welcome-") + at);
            if (std::string(at) == "welcome") {
                kill(getpid(), SIGTERM);
                return;
            }
            // The read of the profile holds the window's thread: the signal comes from
            // another one once it waits there.
            signaller = std::thread([] {
                while (!waits_for_pipe_writer(getpid()))
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                kill(getpid(), SIGTERM);
            });
            modal.files = {QString::fromStdString(fifo)};
            QTest::mouseClick(sheet.findChild<QWidget*>("1115"), Qt::LeftButton);
        };
        std::string a0 = "morvale";
        char* argv[] = {a0.data(), nullptr};
        EXPECT_EQ(morvale_main(1, argv), morvale_failed);
        EXPECT_EQ(robot.seen, std::vector<int>{103});
        if (signaller.joinable()) signaller.join();
        return;
    }
    tmp_dir dir;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string filter = std::string("--gtest_filter=") +
                               testing::UnitTest::GetInstance()->current_test_suite()->name() +
                               "." + testing::UnitTest::GetInstance()->current_test_info()->name();
    for (const char* at : {"welcome", "load"}) {
        SCOPED_TRACE(at);
        setenv(inside, at, 1);
        const pid_t pid = start_program(self, {filter}, dir.file("stdout"), dir.file("stderr"));
        unsetenv(inside);
        const int code = wait_at_most(pid, std::chrono::seconds(60));
        const std::string out = read_file_bytes(dir.file("stdout"));
        const std::string err = read_file_bytes(dir.file("stderr"));
        if (std::string(at) == "welcome") {
            // The program ended in order, and the test inside saw it end with 255.
            EXPECT_EQ(code, 0) << out << err;
            EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
        } else {
            // The read could not be ended in order: the process ended on the spot.
            EXPECT_EQ(code, morvale_failed) << out << err;
        }
        EXPECT_EQ(err.find("conversion"), std::string::npos) << err;
    }
}
