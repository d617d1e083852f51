// The wizard sheet, the page template, the bridge between the worker and the GUI
// thread, the progress timer and help.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "GUI2/g_desk.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "platform/ui/ui_bridge.hpp"
#include "tests/GUI2/gui_support.hpp"

namespace {

enum class init { show, skip, fail };

// A page whose activation, Next and Back answer as told, and that counts its help.
struct test_page : wizard_page_base {
    test_page(int id, int buttons, int flags = page_has_help)
        : wizard_page_base(id, buttons, flags, L"Step", L"Sub") {
        add(1204, ui::control_kind::check, "box");
    }
    init how = init::show;
    int next = 0, back = 0, helps = 0;
    bool page_init() override {
        if (how == init::fail) throw tk_exception("cannot show", tk_kind_error);
        return how == init::show;
    }
    int on_next() override { return next; }
    int on_back() override { return back; }
    void on_help() override { ++helps; }
};

struct sheet_fixture : ::testing::Test {
    error_handler handler{error_handler_code_count, error_handler_codes};
    scripted_modal modal;
    wizard_shell shell{L"Torvane 4.3", 501, 311, 312};
    test_page a{1, 2}, b{2, 3}, c{3, 5, page_hide_header};
    int sink_calls = 0;

    void SetUp() override {
        ui::set_exception_sink([this](std::exception_ptr) { ++sink_calls; });
        for (test_page* p : {&a, &b, &c}) shell.add_page(*p);
    }
    void TearDown() override { ui::set_exception_sink(nullptr); }
    int current() { return shell.sheet().current_page()->id(); }
};

}  // namespace

TEST_F(sheet_fixture, buttons_follow_the_page_flags) {
    struct {
        int flags;
        bool back, next_shown, next_on, finish_shown;
    } cases[] = {{2, false, true, true, false},
                 {3, true, true, true, false},
                 {4, false, false, false, true},
                 {0, false, true, false, false}};
    ui::wizard_sheet& s = shell.sheet();
    s.start();
    s.show();
    for (const auto& t : cases) {
        s.set_buttons(t.flags);
        EXPECT_EQ(s.button(ui::id_back)->isEnabled(), t.back) << t.flags;
        EXPECT_EQ(!s.button(ui::id_next)->isHidden(), t.next_shown) << t.flags;
        EXPECT_EQ(s.button(ui::id_next)->isEnabled(), t.next_on) << t.flags;
        EXPECT_EQ(!s.button(ui::id_finish)->isHidden(), t.finish_shown) << t.flags;
        // Back and Next (or Finish) side by side as a pair, then a gap, Cancel, the same
        // gap, Help.
        s.layout()->activate();
        const QRect back = s.button(ui::id_back)->geometry();
        const QRect forward = s.button(t.finish_shown ? ui::id_finish : ui::id_next)->geometry();
        const QRect cancel = s.button(ui::id_cancel)->geometry();
        const QRect help = s.button(ui::id_help)->geometry();
        EXPECT_EQ(forward.left(), back.right() + 1) << t.flags;
        const int gap = cancel.left() - forward.right() - 1;
        EXPECT_GE(gap, 6) << t.flags;
        EXPECT_EQ(help.left() - cancel.right() - 1, gap) << t.flags;
    }
    save_shot(s, "buttons");
}

// A message whose lines its author broke keeps them: the box is as wide as its widest
// line, so that no line wraps again.
TEST(message_boxes, lines_broken_by_hand_do_not_wrap_again) {
    struct {
        ui::box_icon icon;
        const char* text;
    } cases[] = {
        {ui::box_icon::error,
         "Access denied. Verify the user name and password are correct, and you have\nthe "
         "necessary privileges to connect to the target MySQL server."},
        {ui::box_icon::question,
         "Duplicate field values being used for an unique index were found.\nSee "
         "'Troubleshooting' article of the product documentation\nfor solution."},
    };
    int n = 0;
    for (const auto& t : cases) {
        const std::string name = "box-" + std::to_string(++n);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
            save_shot(*box, name);
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            if (label) {
                const int shown = label->width();
                label->setWordWrap(false);
                EXPECT_GE(shown, label->sizeHint().width()) << t.text;
            }
            EXPECT_NE(label, nullptr);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        ui::modal().message_box(nullptr, t.icon, "Torvane 4.3 Error", t.text, false);
    }
}

// A table, folder or host is named as it is: "<b>orders</b>" is a name, never markup,
// in a label, a title and a message box alike.
TEST(message_boxes, names_are_shown_as_they_are_never_as_markup) {
    const QString text = "Table '<b>orders</b>' was left as it was.";
    QWidget parent;
    for (auto kind : {ui::control_kind::label, ui::control_kind::title}) {
        auto* label = qobject_cast<QLabel*>(ui::make_control(&parent, 1, kind, text, {}));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    ui::modal().message_box(nullptr, ui::box_icon::error, "Torvane 4.3 Error", text, false);
}

TEST_F(sheet_fixture, navigation_moves_stays_and_skips_as_the_pages_answer) {
    struct {
        const char* what;
        init b_how;
        int a_next;
        int after_next, after_back;  // after Next from a; after going on, then Back
        int sink;
    } cases[] = {
        {"plain", init::show, 0, 2, 2, 0},
        {"next refused", init::show, -1, 1, 1, 0},
        {"skipped forwards and backwards", init::skip, 0, 3, 1, 0},
        {"activation that throws stays", init::fail, 0, 1, 1, 1},
    };
    for (const auto& t : cases) {
        sink_calls = 0;
        a.next = t.a_next;
        b.how = t.b_how;
        ASSERT_TRUE(shell.sheet().start());
        shell.sheet().go_next();
        EXPECT_EQ(current(), t.after_next) << t.what;
        if (current() == 2) shell.sheet().go_next();
        shell.sheet().go_back();
        EXPECT_EQ(current(), t.after_back) << t.what;
        EXPECT_EQ(sink_calls, t.sink) << t.what;
        b.how = init::show;
    }
    // A failed activation leaves the buttons of the page that stays.
    EXPECT_TRUE(shell.sheet().button(ui::id_next)->isEnabled());
    EXPECT_FALSE(shell.sheet().button(ui::id_back)->isEnabled());
}

TEST_F(sheet_fixture, cancel_asks_with_no_as_default_and_escape_on_the_last_page_finishes) {
    shell.sheet().start();
    shell.sheet().show();
    save_shot(shell.sheet(), "first-page");
    modal.questions = {ui::box_answer::no};
    shell.sheet().cancel();
    ASSERT_EQ(modal.of("question").size(), 1u);
    EXPECT_EQ(modal.of("question")[0].text, "Are you sure you want to exit the wizard?");
    EXPECT_EQ(modal.of("question")[0].caption, "Torvane 4.3 Question");
    EXPECT_TRUE(modal.of("question")[0].default_no);
    EXPECT_TRUE(shell.sheet().isVisible());

    modal.questions = {ui::box_answer::yes};
    shell.sheet().cancel();
    EXPECT_FALSE(shell.sheet().isVisible());
    EXPECT_EQ(shell.sheet().result(), ui::sheet_cancelled);

    // The finish page with Cancel off: Escape means Finish, without a question.
    shell.sheet().show();
    shell.sheet().set_current_by_id(3);
    shell.sheet().enable_button(ui::id_cancel, false);
    save_shot(shell.sheet(), "last-page");
    QTest::keyClick(&shell.sheet(), Qt::Key_Escape);
    EXPECT_EQ(shell.sheet().result(), ui::sheet_finished);
    EXPECT_EQ(modal.of("question").size(), 2u);
}

TEST_F(sheet_fixture, help_and_f1_reach_the_current_page_and_check_boxes_invert) {
    shell.sheet().start();
    shell.sheet().show();
    shell.sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell.sheet()));
    QTest::keyClick(&shell.sheet(), Qt::Key_F1);
    QTest::mouseClick(shell.sheet().button(ui::id_help), Qt::LeftButton);
    EXPECT_EQ(a.helps, 2);

    auto* box = a.ctrl<QCheckBox>(1204);
    a.invert_chbox(1204);
    EXPECT_TRUE(box->isChecked());
    a.invert_chbox(1204);
    EXPECT_FALSE(box->isChecked());
    EXPECT_THROW(a.invert_chbox(1205), tk_mail_assertion);
}

TEST_F(sheet_fixture, boxes_have_the_title_in_their_caption_once_the_wizard_is_up) {
    wizard_shell::error(std::wstring(L"before"));
    shell.sheet().start();
    wizard_shell::error(std::wstring(L"after"));
    wizard_shell::message(L"note");
    const auto& r = modal.requests;
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].caption, "Error");
    EXPECT_FALSE(r[0].owned);
    EXPECT_EQ(r[1].caption, "Torvane 4.3 Error");
    EXPECT_TRUE(r[1].owned);
    EXPECT_EQ(r[2].caption, "Torvane 4.3 Message");
}

TEST_F(sheet_fixture, help_opens_the_file_beside_the_program_at_the_topic) {
    shell.display_help(1013);
    shell.display_help();
    ASSERT_EQ(modal.of("help").size(), 2u);
    EXPECT_EQ(modal.of("help")[0].text, "topic-1013");
    EXPECT_EQ(modal.of("help")[1].text, "");
    EXPECT_TRUE(modal.help_file.endsWith("/gui_ui_tests.html")) << modal.help_file.toStdString();
}

// An installed wizard finds the help file in the data folder of its prefix; one run from
// its build folder keeps the copy beside it. A folder of the file's name is no file.
TEST(help_file, is_found_beside_the_program_else_in_the_installed_data_folder) {
    namespace fs = std::filesystem;
    enum class at { none, file, folder };
    const struct {
        at beside, installed;
        bool takes_installed;
    } cases[] = {
        {at::file, at::file, false}, {at::none, at::file, true},    {at::folder, at::file, true},
        {at::none, at::none, false}, {at::none, at::folder, false},
    };
    for (const auto& t : cases) {
        tmp_dir prefix;
        const fs::path bin = fs::path(prefix.path()) / "bin";
        const fs::path data = (bin / help_installed_folder).lexically_normal();
        fs::create_directories(bin);
        fs::create_directories(data);
        write_file_bytes((bin / "morvale").string(), "");
        for (const auto& [what, folder] :
             {std::pair{t.beside, bin}, std::pair{t.installed, data}}) {
            const fs::path help = folder / "morvale.html";
            if (what == at::file) write_file_bytes(help.string(), "<html></html>");
            if (what == at::folder) fs::create_directory(help);
        }
        const fs::path want = (t.takes_installed ? data : bin) / "morvale.html";
        EXPECT_EQ(help_file_path_of((bin / "morvale").wstring()), want.wstring())
            << int(t.beside) << int(t.installed);
    }
}

TEST_F(sheet_fixture, a_timer_started_on_another_thread_ticks_on_the_gui_thread) {
    struct ticking : test_page {
        using test_page::test_page;
        std::atomic<int> ticks{0};
        bool on_gui = true;
        void on_timer() override {
            on_gui = on_gui && QThread::currentThread() == qApp->thread();
            ++ticks;
        }
    } t{9, 0};
    shell.add_page(t);
    shell.sheet().set_current_by_id(9);
    std::thread([&] { shell.start_timer(20); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.ticks >= 2; }, 2000));
    EXPECT_TRUE(t.on_gui);
    EXPECT_THROW(shell.start_timer(20), tk_mail_assertion);
    shell.stop_timer();
}

TEST(gui_bridge, runs_worker_calls_on_the_gui_thread_and_refuses_them_once_closed) {
    ui::gui_bridge& bridge = ui::gui_bridge::instance();
    bridge.open();
    std::atomic<bool> on_gui{false}, returned{false}, accepted{false};
    std::thread worker([&] {
        accepted = bridge.call([&] { on_gui = QThread::currentThread() == qApp->thread(); });
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 2000));
    worker.join();
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(on_gui);

    // The Cancel deadlock: the GUI thread no longer runs its loop and joins a worker
    // that asks for a Continue/Abort dialog. The refusal counts as Abort.
    error_handler handler(error_handler_code_count, error_handler_codes);
    scripted_modal modal;
    bridge.close();
    const auto start = std::chrono::steady_clock::now();
    bool aborted = false;
    std::thread([&] {
        try {
            handler.handle(tk_exception("row failed", tk_kind_continue), false);
        } catch (const tk_final_exception&) {
            aborted = true;
        }
    }).join();
    EXPECT_TRUE(aborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(modal.requests.empty());
    bridge.open();
}
