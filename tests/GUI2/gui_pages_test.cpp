// The progress and finish pages, the profile dialogs' rules, and the program's start
// when it cannot run (no server needed).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <functional>

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_finish.hpp"
#include "GUI2/g_progr.hpp"
#include "GUI2/g_selfil.hpp"
#include "GUI2/g_seltab.hpp"
#include "GUI2/g_sqlpg.hpp"
#include "GUI2/g_welc.hpp"
#include "common/over_dlg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/mvl_main.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "UDB/udb_prof.hpp"
#include "platform/ui/ui_dialog.hpp"
#include "shell/morvale_conv.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

TEST(progress_page, percent_and_status_follow_the_counters) {
    struct {
        uint32_t total, done;
        uint64_t records, index;
        unsigned percent;
    } cases[] = {
        {0, 0, 0, 0, 0},
        {4, 1, 0, 0, 25},
        {2, 1, 200, 50, 62},
        {1, 0, 10, 25, 100},  // rows added after the count
        {3, 2, 4'000'000'000ull, 3'999'999'999ull, 99},
        {2, 2, 5, 5, 100},
    };
    for (const auto& t : cases) {
        udb_progress p;
        p.table_count = t.total;
        p.tables_done = t.done;
        p.record_count = t.records;
        p.record_index = t.index;
        EXPECT_EQ(progress_percent(p), t.percent) << t.total << "/" << t.done << "/" << t.index;
    }
    udb_progress p;
    EXPECT_EQ(progress_status(p), L"");
    p.current_table = L"orders";
    EXPECT_EQ(progress_status(p), L"Processing table 'orders'");
}

TEST(profile_dialogs, filters_and_the_save_rule) {
    EXPECT_EQ(profile_filter(L"mvl", 141),
              (QStringList{"Profile Files (.mvl) (*.mvl)", "All Files (*.*) (*)"}));
    for (const wchar_t* bad : {L"mv", L"mvlxx"})
        EXPECT_THROW(profile_filter(bad, 266), tk_mail_assertion);

    struct {
        const wchar_t* chosen;
        const wchar_t* saved;
    } cases[] = {{L"/h/p", L"/h/p.mvl"},
                 {L"/h/p.mvl", L"/h/p.mvl"},
                 {L"/h/p.mvl.bak", L"/h/p.mvl.bak"},
                 {L"/h/p.MVL", L"/h/p.MVL.mvl"}};
    scripted_modal modal;
    const fs::path cwd = fs::current_path();
    for (const auto& t : cases) {
        modal.files = {QString::fromWCharArray(t.chosen)};
        save_file_dialog d(nullptr, profile_filter(L"mvl", 141), L"Select Profile", L"", L"mvl");
        ASSERT_TRUE(d.do_modal());
        EXPECT_EQ(d.path(), t.saved);
    }
    EXPECT_EQ(modal.file_requests.back().folder, QDir::homePath());
    EXPECT_EQ(modal.file_requests.back().title, "Select Profile");
    EXPECT_TRUE(modal.file_requests.back().save);
    EXPECT_EQ(fs::current_path(), cwd);
    open_file_dialog o(nullptr, profile_filter(L"mvl", 266), L"Select Profile", L"");
    EXPECT_FALSE(o.do_modal());  // cancelled
    EXPECT_TRUE(modal.file_requests.back().must_exist);
    EXPECT_THROW(save_file_dialog(nullptr, {}, L"t", L"", nullptr), tk_mail_assertion);
}

namespace {

struct finish_fixture : page_fixture {
    gui_finish_page_t<morvale_convertor, 116> page{L"all done", L"some errors", L"mvl"};
    void SetUp() override { shell.add_page(page); }
};

}  // namespace

TEST_F(finish_fixture, shows_the_errors_one_paragraph_each_or_the_heading_for_an_early_end) {
    shell.append_error("t1: first\nsecond");
    shell.append_error("t2: third");
    conv.set_done(true);  // done, but the run did not complete
    conv.set_destination(L"/data/dbf");
    shell.sheet().start();
    shell.sheet().show();
    shell.sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell.sheet()));
    save_shot(shell.sheet(), "errors");
    EXPECT_EQ(page.ctrl<QLabel>(1313)->text(), "Conversion Stopped");
    EXPECT_EQ(
        page.ctrl<QLabel>(1314)->text().toStdString(),
        "some errors\n\nNo table was written to the folder /data/dbf before the run stopped.\n\n"
        "Click 'Finish' to exit the wizard.");
    auto* list = page.ctrl<QPlainTextEdit>(1016);
    EXPECT_TRUE(list->isVisible());
    // The list ends with how far the run got (here: nowhere).
    EXPECT_EQ(list->toPlainText(),
              "t1: first second\n\nt2: third\n\nThe conversion stopped before its end: no "
              "table was converted.\n");
    EXPECT_FALSE(shell.sheet().button(ui::id_cancel)->isEnabled());
    EXPECT_FALSE(shell.sheet().button(ui::id_help)->isEnabled());
    EXPECT_FALSE(shell.sheet().button(ui::id_back)->isEnabled());

    // The first focus on the list goes on to Finish, a second stays.
    list->setFocus();
    EXPECT_TRUE(shell.sheet().button(ui::id_finish)->hasFocus());
    list->setFocus();
    EXPECT_TRUE(list->hasFocus());

    struct {
        uint32_t through, total;
        const wchar_t* table;
        const wchar_t* text;  // after "The conversion stopped before its end: "
    } ends[] = {
        {0, 1, L"", L"0 of 1 table converted."},
        {2, 3, L"", L"2 of 3 tables converted."},
        {1, 3, L"orders", L"1 of 3 tables converted; table 'orders' was left as it was."},
    };
    for (const auto& t : ends)
        EXPECT_EQ(early_end_text(t.through, t.total, t.table),
                  std::wstring(L"The conversion stopped before its end: ") + t.text);
}

TEST_F(finish_fixture, saves_only_a_profile_that_reads_back_as_it_was_saved) {
    tmp_dir out;
    const std::string file = out.file("p.mvl");
    conv.set_mode(2);
    // Names of tables the pages offer that a profile keeps as they are...
    const udb_pairs kept = {{L"orders", L""},       {L"Zo\u00eb", L""},
                            {L"inner blank", L""},  {L"x]", L""},
                            {L"[y", L""},           {L"#hash", L""},
                            {L";semi", L""},        {L"tab\tin", L""},
                            {L"'quoted'", L""},     {L"`tick`", L""},
                            {L"back\\slash", L""},  {L"100%", L""},
                            {L"\u4e2d\u6587", L""}, {std::wstring(64, L'n'), L""}};
    // ...and names a profile would give back as another table, or as none.
    const std::vector<std::wstring> refused = {L" lead", L"trail ", L"[sect]",     L"a=b",
                                               L"=x",    L"tab\t",  L"line\nbreak"};
    struct {
        std::vector<std::wstring> odd;  // added to the kept names
        std::wstring destination;
        std::string named;  // the end of the box; empty: saved
        std::wstring source = L"shop";
    } cases[] = {
        {{}, L"/data/dbf", ""},
        {{L" lead"}, L"/data/dbf", "table ' lead'."},
        {{L"[sect]"}, L"/data/dbf", "table '[sect]'."},
        {refused, L"/data/dbf",
         "table ' lead', table 'trail ', table '[sect]', table 'a=b', table '=x', table "
         "'tab\t' and table 'line\nbreak'."},
        // A folder the profile would give back without its blanks is another folder.
        {{}, L"/data/dbf ", "'dest' in [Generic settings]."},
        {{}, L" /data/dbf", "'dest' in [Generic settings]."},
        {{}, L"/data/dbf\t", "'dest' in [Generic settings]."},
        {{}, L"/data/dbf", "'src' in [Generic settings].", L"shop\t"},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        write_file_bytes(file, "earlier");
        conv.set_source(t.source);
        conv.set_destination(t.destination);
        conv.selected_tables() = kept;
        for (const auto& name : t.odd) conv.selected_tables().emplace_back(name, L"");
        const udb_pairs saved = conv.selected_tables();
        modal.files = {QString::fromStdString(out.file("p"))};
        modal.questions = {ui::box_answer::yes};  // to replace the earlier file
        page.press(1116);
        EXPECT_EQ(conv.selected_tables(), saved);
        EXPECT_TRUE(shell.errors().empty());
        if (!t.named.empty()) {
            ASSERT_EQ(texts("error").size(), 1u);
            const std::string box = texts("error")[0];
            EXPECT_EQ(box.rfind("The settings were not saved", 0), 0u) << box;
            EXPECT_EQ(box.substr(box.size() - std::min(box.size(), t.named.size())), t.named);
            EXPECT_EQ(read_file_bytes(file), "earlier");
            continue;
        }
        EXPECT_TRUE(texts("error").empty());
        conv.set_mode(0);
        conv.set_destination(L"");
        conv.selected_tables().clear();
        ASSERT_TRUE(conv.load_profile_file(out.wpath() + L"/p.mvl"));
        EXPECT_EQ(conv.mode(), 2);
        EXPECT_EQ(conv.destination(), t.destination);
        EXPECT_EQ(conv.selected_tables(), kept);
        conv.set_mode(2);
    }
    // No table: loaded, such a profile would convert every table.
    modal.requests.clear();
    conv.selected_tables().clear();
    modal.files = {QString::fromStdString(out.file("p"))};
    modal.questions = {ui::box_answer::yes};
    page.press(1116);
    ASSERT_EQ(texts("error").size(), 1u);
    EXPECT_EQ(texts("error")[0],
              "The settings were not saved: no table is selected, and a profile that lists no "
              "table converts every table.");
    EXPECT_EQ(read_file_bytes(file), "earlier");
}

TEST_F(finish_fixture, a_worker_that_ends_without_its_run_still_reaches_the_finish_page) {
    // A run body that fails before its scope object could set done.
    struct failing : tk_thread_functor {
        void operator()() override { throw std::runtime_error("worker broke"); }
    };
    struct test_progress : progress_page {
        using progress_page::progress_page;
        failing body;
        tk_thread_functor* create_functor() override { return &body; }
    } progress{L"Step 4 of 4", L"Database conversion is in progress"};
    shell.add_page(progress);
    shell.sheet().set_current_by_id(107);
    shell.start_timer(20);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return shell.sheet().current_page() && shell.sheet().current_page()->id() == 116; },
        5000));
    EXPECT_EQ(shell.errors(), (std::vector<std::string>{"worker broke"}));
    EXPECT_EQ(modal.of("error").size(), 1u);
    EXPECT_TRUE(page.ctrl<QLabel>(1314)->text().startsWith("some errors\n\n"));
}

namespace {

// The program run in-process, from a profile that cannot be used.
struct start_fixture : ::testing::Test {
    tmp_dir dir;
    scripted_modal modal;
    int run(const std::string& argument) {
        std::string a0 = "morvale", a1 = argument;
        char* argv[] = {a0.data(), a1.data(), nullptr};
        return morvale_main(2, argv);
    }
};

}  // namespace

TEST_F(start_fixture, a_profile_that_cannot_be_used_ends_with_255_and_touches_nothing) {
    // The stored settings name a folder with a table; the default mode would empty it.
    const std::string dest = dir.file("dest");
    fs::create_directories(dest);
    write_file_bytes(dest + "/t.dbf", any_dbf_table());
    {
        error_handler handler(error_handler_code_count, error_handler_codes);
        morvale_convertor seed;
        seed.set_destination(dir.wpath() + L"/dest");
    }
    write_file_bytes(dir.file("bad.mvl"), "host=x\n[MySQL settings]\nport=3306\n");
    write_file_bytes(dir.file("misspelt.mvl"),
                     "[Generic settings]\nsrc=shop\nmod=2\n[MySQL settings]\nport=3306\n");
    struct {
        std::string argument;
        std::string message;
    } cases[] = {
        {dir.file("bad.mvl"), "Profile cannot be loaded: text stands before its first section."},
        {dir.file("misspelt.mvl"), "Profile " + dir.file("misspelt.mvl") +
                                       ", line 3: unknown setting 'mod' in [Generic settings]."},
        {" ", "Profile does not exist. Please verify the correct path/name was given."},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        EXPECT_EQ(run(t.argument), morvale_failed) << t.argument;
        ASSERT_EQ(modal.requests.size(), 1u) << t.argument;
        EXPECT_EQ(modal.requests[0].caption, "Error");
        EXPECT_TRUE(modal.requests[0].text.startsWith(QString::fromStdString(t.message)))
            << modal.requests[0].text.toStdString();
        EXPECT_EQ(read_file_bytes(dest + "/t.dbf"), any_dbf_table());
    }
    // The settings store survives and still names the folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    struct stat st {};
    ASSERT_EQ(stat((std::string(config) + "/Quillmark/Torvane.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(start_fixture, settings_that_cannot_be_kept_are_said_once_at_the_end) {
    private_settings settings;
    const std::string conf = settings.file(), folder = conf.substr(0, conf.rfind('/'));
    // Megabytes of something that is no settings file of this program.
    const std::string oversized = "dest=text:/data/old\n" + std::string(3 << 20, '#') + "\n";
    enum { file, directory, fifo, device_link };
    struct {
        const char* what;
        int kind;             // what the settings file is
        bool read_only;       // its folder cannot be written
        std::string content;  // what the settings file holds first
        std::string box;      // the one box at the end, if any
        std::string line;     // what standard error says at the start, if anything
    } cases[] = {
        {"a folder", directory, false, "",
         "Your settings could not be kept for the next start: " + conf + ": Is a directory.", ""},
        {"a FIFO", fifo, false, "",
         "Your settings could not be kept for the next start: " + conf +
             ": Is a FIFO (named pipe), not a regular file.",
         ""},
        {"a link to a device", device_link, false, "",
         "Your settings could not be kept for the next start: " + conf +
             ": Is a link to a device, not a regular file.",
         ""},
        {"a folder that cannot be written", file, true, "src=text:shop\n",
         "Your settings could not be kept for the next start: " + conf + ": Permission denied.",
         ""},
        {"oversized", file, false, oversized, "",
         "it was set aside as " + conf + ".bad and the settings start afresh."},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        if (t.read_only && geteuid() == 0) continue;  // root writes anyway
        fs::remove_all(folder);
        fs::create_directories(t.kind == directory ? conf : folder);
        if (t.kind == file) write_file_bytes(conf, t.content);
        if (t.kind == fifo) mkfifo(conf.c_str(), 0600);
        if (t.kind == device_link) fs::create_symlink("/dev/null", conf);
        if (t.read_only) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        modal.requests.clear();
        int code = -1;
        std::string err;
        {
            stderr_capture capture(dir.file("stderr"));
            wizard_robot robot;
            robot.on_enter[103] = [&](ui::wizard_sheet& sheet) {
                modal.questions = {ui::box_answer::yes};
                QTest::mouseClick(sheet.button(ui::id_cancel), Qt::LeftButton);
            };
            std::string a0 = "morvale";
            char* argv[] = {a0.data(), nullptr};
            code = morvale_main(1, argv);
            err = capture.text();
        }
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_EQ(code, morvale_cancelled);
        // Left as it was, not replaced by a file.
        if (t.kind == fifo || t.kind == device_link) {
            EXPECT_EQ(fs::symlink_status(conf).type(),
                      t.kind == fifo ? fs::file_type::fifo : fs::file_type::symlink);
        }
        ASSERT_EQ(modal.of("error").size(), t.box.empty() ? 0u : 1u);
        if (!t.box.empty()) {
            EXPECT_EQ(modal.of("error")[0].text.toStdString(), t.box);
            EXPECT_EQ(modal.of("error")[0].caption, "Torvane 4.3 Error");
        }
        EXPECT_NE(err.find(t.line), std::string::npos) << err;
        if (!t.line.empty()) {
            EXPECT_EQ(read_file_bytes(conf + ".bad"), t.content);
            // Started afresh, and kept at the end.
            const std::string now = read_file_bytes(conf);
            EXPECT_NE(now.find("port=text:3306\n"), std::string::npos) << now;
            EXPECT_EQ(now.find("/data/old"), std::string::npos);
        }
    }
}

TEST(morvale_program, without_a_window_system_it_says_so_and_ends_with_255) {
    tmp_dir d;
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                std::string(MORVALE_BINARY) + " 2>" + d.file("err") + " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_NE(read_file_bytes(d.file("err")).find("Failed to initialize GUI library"),
              std::string::npos);
}

namespace {

struct settings_pages : page_fixture {
    welcome_page_t<morvale_convertor, 103> welcome{L"mvl"};
    sql_settings_page2<morvale_convertor, 1011, 1016> mysql{L"Step 1 of 4", L"MySQL server"};
    QLineEdit* edit(int id) { return mysql.ctrl<QLineEdit>(id); }
    QRadioButton* radio(int id) { return mysql.ctrl<QRadioButton>(id); }
};

}  // namespace

TEST_F(settings_pages, load_settings_takes_a_profile_and_a_bad_one_changes_nothing) {
    tmp_dir d;
    write_file_bytes(d.file("good.mvl"),
                     "[Generic settings]\nsrc=shop\nmode=2\n[Selected Tables]\norders\n"
                     "[MySQL settings]\nhost=db1\nport=3307\nuser=ann\n");
    write_file_bytes(d.file("text.mvl"), "host=x\n[MySQL settings]\nhost=y\n");
    write_file_bytes(d.file("mode.mvl"), "[Generic settings]\nsrc=x\nmode=7\n");
    write_file_bytes(d.file("key.mvl"), "[Generic settings]\nsrc=x\nmod=2\n");
    conv.set_source(L"kept");
    struct {
        std::string file;  // empty: the dialog is cancelled
        const char* error;
        const wchar_t* source;
    } cases[] = {
        {"", nullptr, L"kept"},
        {d.file("text.mvl"), "Profile cannot be loaded: text stands before its first section.",
         L"kept"},
        {d.file("mode.mvl"), "line 3: 'mode' takes 0, 1, 2 or 3, not '7'.", L"kept"},
        {d.file("key.mvl"), "line 3: unknown setting 'mod' in [Generic settings].", L"kept"},
        {d.file("none.mvl"),
         "Profile does not exist. Please verify the correct path/name was given.", L"kept"},
        {d.file("good.mvl"), nullptr, L"shop"},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        modal.files = {QString::fromStdString(t.file)};
        welcome.press(1115);
        const std::vector<std::string> errors = texts("error");
        ASSERT_EQ(errors.size(), t.error ? 1u : 0u) << t.file;
        if (t.error) {
            EXPECT_NE(errors[0].find(t.error), std::string::npos) << errors[0];
        }
        EXPECT_EQ(conv.source(), t.source) << t.file;
    }
    // A page's own failure is no error of the run.
    EXPECT_TRUE(shell.errors().empty());
    EXPECT_EQ(modal.file_requests.back().title, "Load Settings");
    EXPECT_TRUE(modal.file_requests.back().must_exist);
    EXPECT_EQ(conv.mode(), 2);
    EXPECT_EQ(conv.selected_tables(), (udb_pairs{{L"orders", L""}}));

    // The connection page shows what the profile gave.
    ASSERT_TRUE(mysql.page_init());
    EXPECT_TRUE(radio(1330)->isChecked());
    EXPECT_EQ(edit(1014)->text(), "db1");
    EXPECT_EQ(edit(1015)->text(), "3307");
    EXPECT_EQ(edit(1012)->text(), "ann");
    EXPECT_TRUE(edit(1014)->isEnabled());
}

TEST_F(settings_pages, the_connection_page_stores_what_its_mode_allows_and_checks_the_port) {
    conv.store_mysql_settings("", "ann", "pw", "3306");
    ASSERT_TRUE(mysql.page_init());
    EXPECT_TRUE(radio(1329)->isChecked());
    EXPECT_FALSE(edit(1014)->isEnabled());
    EXPECT_FALSE(edit(1015)->isEnabled());
    save_shot(mysql, "local");
    // The user name and the password are taken as typed, blanks and all; the host and
    // the port lose the blanks around them.
    struct {
        int mode;
        const char *host, *port, *user, *password;
        bool next;  // Next (else Back)
        std::string stored_host, stored_port, box;
    } cases[] = {
        // Local ignores what the disabled edits hold.
        {1329, "db9", "1", " bob ", " pw ", false, "", "3306", ""},
        {1330, " db2 ", " 3307 ", "bob", "pw", false, "db2", "3307", ""},
        {1330, " db2 ", "", "bob", "", false, "db2", "3306", ""},
        // Back never connects, whatever the port; Next checks it first.
        {1330, "db2", "abc", "bob", "pw", false, "db2", "abc", ""},
        {1330, "db2", "abc", "bob", "pw", true, "db2", "abc", "Invalid port number"},
        {1330, "db2", "0", "bob", "pw", true, "db2", "0", "Invalid port number"},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        radio(t.mode)->click();
        EXPECT_EQ(edit(1014)->isEnabled(), t.mode == 1330);
        edit(1014)->setText(t.host);
        edit(1015)->setText(t.port);
        edit(1012)->setText(t.user);
        mysql.ctrl<QLineEdit>(1013)->setText(t.password);
        EXPECT_EQ(t.next ? mysql.on_next() : mysql.on_back(), t.next ? -1 : 0);
        EXPECT_EQ(conv.host(), t.stored_host);
        EXPECT_EQ(conv.port(), t.stored_port);
        EXPECT_EQ(conv.user(), t.user);
        EXPECT_EQ(conv.password(), t.password);
        EXPECT_EQ(texts("error"),
                  t.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{t.box});
    }
    EXPECT_FALSE(conv.engine().is_connected());
}

TEST(sel_file_page, a_destination_built_from_a_database_stays_in_its_folder) {
    const std::wstring home = QDir::homePath().toStdWString();
    struct {
        const wchar_t *folder, *database, *destination;
    } cases[] = {
        {L"/data/x/old", L"new", L"/data/x/new"},
        {L"/data/x/", L"new", L"/data/x/new"},
        {L"/data/x/old", L"a/b", L"/data/x/a_b"},
        {L"/data/x/old", L"..", L""},
        {L"/data/x/old", L".", L""},
        {L"", L"shop", nullptr},  // the home folder
    };
    for (const auto& t : cases)
        EXPECT_EQ(destination_for_database(t.folder, t.database),
                  t.destination ? t.destination : home + L"/shop")
            << t.database;
    // Typed in the folder field: what is stored, under the home folder or as it is.
    struct {
        const wchar_t *typed, *stored;
        bool at_home;
    } typed[] = {
        {L"~", L"", true},
        {L"~/out", L"/out", true},
        {L"~bob/out", L"~bob/out"},
        {L"/a/~", L"/a/~"},
        {L" ~/out\t", L"/out", true},
        {L"\t/data/out ", L"/data/out"},
        {L"/a b/c", L"/a b/c"},
        {L" \t", L""},
    };
    for (const auto& t : typed)
        EXPECT_EQ(expand_home(t.typed), (t.at_home ? home : L"") + t.stored) << t.typed;
}

namespace {

struct table_page : page_fixture {
    sel_tables_page page{L"There are no tables selected. Continue anyway?", 0, L"Step 3 of 4",
                         L"Select tables to convert"};
    QListWidget* available() { return page.ctrl<QListWidget>(1317); }
    QListWidget* selected() { return page.ctrl<QListWidget>(1318); }
    static std::vector<std::string> texts_of(QListWidget* l, bool only_selected = false) {
        std::vector<std::string> r;
        for (int i = 0; i < l->count(); ++i)
            if (!only_selected || l->item(i)->isSelected())
                r.push_back(l->item(i)->text().toStdString());
        return r;
    }
    void show_with(std::vector<std::wstring> names) {
        page.names = std::move(names);
        page.do_page_init();
    }
    void SetUp() override {
        shell.add_page(page);
        shell.sheet().show();
        shell.sheet().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&shell.sheet()));
        shell.sheet().set_current_by_id(127);
    }
};

using strings = std::vector<std::string>;

}  // namespace

TEST_F(table_page, entries_move_between_the_lists_as_they_are_selected) {
    show_with({L"t0", L"t1", L"t2", L"t3", L"t4", L"t5", L"t6", L"t7", L"t8", L"t9"});
    EXPECT_EQ(texts_of(available(), true), strings{"t0"});
    available()->clearSelection();
    for (int row : {2, 5, 7}) available()->item(row)->setSelected(true);
    page.press(1101);
    EXPECT_EQ(texts_of(selected()), (strings{"t2", "t5", "t7"}));
    EXPECT_EQ(texts_of(available(), true), strings{"t8"});  // the one after the last moved
    save_shot(shell.sheet(), "added");

    // The mirror: the last entries go back and the selection falls on the list's end.
    for (int row : {1, 2}) selected()->item(row)->setSelected(true);
    page.press(1111);
    EXPECT_EQ(texts_of(selected()), strings{"t2"});
    EXPECT_EQ(texts_of(selected(), true), strings{"t2"});

    page.press(1102);  // add all
    EXPECT_EQ(available()->count(), 0);
    EXPECT_EQ(selected()->count(), 10);
    EXPECT_EQ(texts_of(selected(), true), strings{"t0"});
    EXPECT_TRUE(selected()->hasFocus());

    selected()->item(9)->setSelected(true);
    page.press(1110);  // remove all
    EXPECT_EQ(available()->count(), 10);
    EXPECT_EQ(texts_of(available(), true), strings{"t0"});
    EXPECT_TRUE(available()->hasFocus());

    // Added one by one, the last emptying the list: focus and selection go across.
    show_with({L"b", L"a"});
    page.press(1101);
    page.press(1101);
    EXPECT_EQ(texts_of(selected()), (strings{"a", "b"}));
    EXPECT_EQ(texts_of(selected(), true), strings{"a"});
    EXPECT_TRUE(selected()->hasFocus());

    // A new activation starts with nothing selected.
    show_with({L"b", L"a"});
    EXPECT_EQ(selected()->count(), 0);
    EXPECT_TRUE(page.ctrl<QWidget>(1117)->isHidden());
    EXPECT_TRUE(page.ctrl<QWidget>(1114)->isHidden());
}

TEST_F(table_page, names_sort_without_regard_to_case) {
    show_with({L"beta", L"Zeta", L"alpha", L"Alpha", L"_x"});
    EXPECT_EQ(texts_of(available()), (strings{"_x", "Alpha", "alpha", "beta", "Zeta"}));
}

TEST_F(table_page, an_empty_selection_asks_first_when_there_was_something_to_choose) {
    struct {
        std::vector<std::wstring> names;
        std::deque<ui::box_answer> answers;
        bool stored;
        size_t questions;
    } cases[] = {
        {{L"a"}, {ui::box_answer::yes}, true, 1},
        {{L"a"}, {ui::box_answer::no}, false, 1},
        {{}, {}, true, 0},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        modal.questions = t.answers;
        show_with(t.names);
        page.names = {L"stale"};
        EXPECT_EQ(page.store_selection(), t.stored);
        if (t.stored) {
            EXPECT_TRUE(page.names.empty());
        }
        ASSERT_EQ(modal.of("question").size(), t.questions);
        if (t.questions) {
            EXPECT_EQ(texts("question")[0], "There are no tables selected. Continue anyway?");
            EXPECT_TRUE(modal.of("question")[0].default_no);
        }
    }
}

TEST_F(table_page, thousands_of_tables_move_in_one_step) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 5000; ++i) names.push_back(L"Table" + std::to_wstring(4999 - i));
    show_with(names);
    // Every change of a list's rows is redrawn, and told to a screen reader when one
    // listens (each as several events): one by one, thousands freeze the window.
    long changes = 0;
    for (QListWidget* list : {available(), selected()}) {
        QAbstractItemModel* model = list->model();
        QObject::connect(model, &QAbstractItemModel::rowsInserted, [&] { ++changes; });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, [&] { ++changes; });
        QObject::connect(model, &QAbstractItemModel::layoutChanged, [&] { ++changes; });
        QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++changes; });
    }
    auto select_rows = [](QListWidget* list, int first, int last) {
        list->clearSelection();
        list->selectionModel()->select(
            QItemSelection(list->model()->index(first, 0), list->model()->index(last, 0)),
            QItemSelectionModel::Select);
    };
    const struct {
        const char* what;
        std::function<void()> select;
        int button, available, selected;
    } steps[] = {
        {"add all", [] {}, 1102, 0, 5000},
        {"remove all", [] {}, 1110, 5000, 0},
        {"add a selected block", [&] { select_rows(available(), 1000, 3999); }, 1101, 2000, 3000},
        {"add the rest, selected", [&] { available()->selectAll(); }, 1101, 0, 5000},
        {"remove a selected block", [&] { select_rows(selected(), 10, 4989); }, 1111, 4980, 20},
    };
    for (const auto& t : steps) {
        SCOPED_TRACE(t.what);
        t.select();
        changes = 0;
        page.press(t.button);
        EXPECT_LE(changes, 10);  // one by one, each entry is two
        EXPECT_EQ(available()->count(), t.available);
        EXPECT_EQ(selected()->count(), t.selected);
        for (QListWidget* list : {available(), selected()}) {
            const strings in_list = texts_of(list);
            EXPECT_TRUE(std::is_sorted(in_list.begin(), in_list.end(), [](auto& a, auto& b) {
                return ui::list_less(QString::fromStdString(a), QString::fromStdString(b));
            }));
        }
    }
    EXPECT_EQ(texts_of(selected()).front(), "Table0");
    EXPECT_EQ(texts_of(selected()).back(), "Table999");
}

TEST_F(table_page, reordering_swaps_neighbours_and_stops_at_the_ends) {
    sel_tables_page ordered{L"", 1, L"", L""};
    shell.add_page(ordered);
    shell.sheet().set_current_by_id(127);
    ordered.names = {L"c", L"a", L"b"};
    ordered.do_page_init();
    ordered.press(1102);
    auto* list = ordered.ctrl<QListWidget>(1318);
    EXPECT_EQ(texts_of(list), (strings{"c", "a", "b"}));  // no sorting
    EXPECT_FALSE(ordered.ctrl<QWidget>(1117)->isHidden());
    struct {
        int row, button;
        strings order;
        int current;
    } cases[] = {
        {0, 1117, {"c", "a", "b"}, 0},  // the first cannot go up
        {0, 1118, {"a", "c", "b"}, 1},
        {2, 1118, {"a", "c", "b"}, 2},  // nor the last down
    };
    for (const auto& t : cases) {
        list->setCurrentRow(t.row);
        ordered.press(t.button);
        EXPECT_EQ(texts_of(list), t.order) << t.row << " " << t.button;
        EXPECT_EQ(list->currentRow(), t.current);
    }
}

TEST(overwrite_dialog, each_choice_gives_its_mode_and_help_leaves_it_open) {
    struct {
        std::vector<int> presses;
        int result, mode;
    } cases[] = {
        {{1}, 1, 0}, {{1330, 1}, 1, 1}, {{1331, 1}, 1, 2}, {{1332, 1}, 1, 3}, {{9, 2}, 2, 0},
    };
    for (const auto& t : cases) {
        std::vector<int> topics;
        overwrite_dlg2<121> dlg(L"The destination database already exists.", 1013, L"Torvane 4.3",
                                udb_mode_overwrite_database, 0,
                                [&](int topic) { topics.push_back(topic); });
        EXPECT_EQ(dlg.windowTitle(), "Torvane 4.3 Warning");
        EXPECT_TRUE(dlg.ctrl<QRadioButton>(1329)->isChecked());
        bool open_after_help = true;
        // The real modal loop, driven by clicks from inside it.
        QTimer::singleShot(0, &dlg, [&] {
            for (int id : t.presses) {
                if (id == 2) open_after_help = dlg.isVisible();
                auto* b = dlg.ctrl<QAbstractButton>(id);
                // Near the left edge: a radio button takes clicks on its box and text only.
                QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
            }
        });
        EXPECT_EQ(dlg.exec(), t.result);
        EXPECT_EQ(dlg.mode(), t.mode);
        EXPECT_TRUE(open_after_help);
        EXPECT_EQ(topics, t.presses[0] == 9 ? std::vector<int>{1013} : std::vector<int>{});
    }
}
