// The progress and finish pages, the profile dialogs' rules, and the program's start
// when it cannot run (no server needed).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_finish.hpp"
#include "GUI2/g_progr.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/mvl_main.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "UDB/udb_prof.hpp"
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

struct finish_fixture : ::testing::Test {
    error_handler handler{error_handler_code_count, error_handler_codes};
    scripted_modal modal;
    morvale_convertor conv;
    wizard_shell shell{L"Torvane 4.3", 501, 311, 312};
    gui_finish_page_t<morvale_convertor, 116> page{L"all done", L"some errors", L"mvl"};
    void SetUp() override { shell.add_page(page); }
};

}  // namespace

TEST_F(finish_fixture, shows_the_errors_one_paragraph_each_or_the_heading_for_an_early_end) {
    shell.append_error("t1: first\nsecond");
    shell.append_error("t2: third");
    conv.set_done(true);  // done, but the run did not complete
    shell.sheet().start();
    shell.sheet().show();
    shell.sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell.sheet()));
    save_shot(shell.sheet(), "errors");
    EXPECT_EQ(page.ctrl<QLabel>(1314)->text(), "some errors");
    auto* list = page.ctrl<QPlainTextEdit>(1016);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->toPlainText(), "t1: first second\n\nt2: third\n");
    EXPECT_FALSE(shell.sheet().button(ui::id_cancel)->isEnabled());
    EXPECT_FALSE(shell.sheet().button(ui::id_help)->isEnabled());
    EXPECT_FALSE(shell.sheet().button(ui::id_back)->isEnabled());

    // The first focus on the list goes on to Finish, a second stays.
    list->setFocus();
    EXPECT_TRUE(shell.sheet().button(ui::id_finish)->hasFocus());
    list->setFocus();
    EXPECT_TRUE(list->hasFocus());
}

TEST_F(finish_fixture, saves_the_settings_as_a_profile) {
    tmp_dir out;
    conv.set_source(L"shop");
    conv.set_mode(2);
    conv.selected_tables() = {{L"orders", L""}};
    modal.files = {QString::fromStdString(out.file("p"))};
    page.press(1116);
    ASSERT_TRUE(fs::exists(out.file("p.mvl")));
    conv.set_mode(0);
    conv.selected_tables().clear();
    ASSERT_TRUE(conv.load_profile_file(out.wpath() + L"/p.mvl"));
    EXPECT_EQ(conv.mode(), 2);
    EXPECT_EQ(conv.selected_tables(), (udb_pairs{{L"orders", L""}}));
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
    EXPECT_EQ(page.ctrl<QLabel>(1314)->text(), "some errors");
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
    write_file_bytes(dest + "/t.dbf", "keep");
    {
        error_handler handler(error_handler_code_count, error_handler_codes);
        morvale_convertor seed;
        seed.set_destination(dir.wpath() + L"/dest");
    }
    write_file_bytes(dir.file("bad.mvl"), "host=x\n[MySQL settings]\nport=3306\n");
    struct {
        std::string argument;
        const char* message;
    } cases[] = {
        {dir.file("bad.mvl"), "Profile cannot be loaded: text stands before its first section."},
        {" ", "Profile does not exist. Please verify the correct path/name was given."},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        EXPECT_EQ(run(t.argument), morvale_failed) << t.argument;
        ASSERT_EQ(modal.requests.size(), 1u) << t.argument;
        EXPECT_EQ(modal.requests[0].caption, "Error");
        EXPECT_TRUE(modal.requests[0].text.startsWith(t.message))
            << modal.requests[0].text.toStdString();
        EXPECT_EQ(read_file_bytes(dest + "/t.dbf"), "keep");
    }
    // The settings store survives and still names the folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    struct stat st {};
    ASSERT_EQ(stat((std::string(config) + "/Quillmark/Torvane.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
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
