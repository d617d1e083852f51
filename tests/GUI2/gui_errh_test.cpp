// The wizard's error reporting: what each kind shows, lists and does, the two error
// dialogs for real, and the bug report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <QtTest/QTest>
#include <thread>

#include "GUI2/g_desk.hpp"
#include "GUI2/g_errdlg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/gui_body.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "tests/GUI2/gui_support.hpp"

namespace {

class coded : public tk_exception {
  public:
    coded(const char* text, int32_t kind, uint32_t code) : tk_exception(text, kind) {
        set_code(code);
    }
};

struct errh_fixture : ::testing::Test {
    error_handler handler{error_handler_code_count, error_handler_codes};
    scripted_modal modal;
    wizard_shell shell{L"Torvane 4.3", 501, 311, 312};
    void SetUp() override {
        gui_reset_ending();
        shell.initialize_if();
    }
    void TearDown() override { gui_reset_ending(); }
};

}  // namespace

TEST_F(errh_fixture, each_kind_is_listed_and_shown_as_its_kind_says) {
    const std::string denied =
        "orders: Access denied. Verify the user name and password are correct, and you have "
        "the necessary privileges to connect to the target MySQL server.";
    struct {
        const char* what;
        int32_t kind;
        uint32_t code;
        const char* context;
        std::vector<int> presses;
        bool outermost;
        const char* shown;  // "dialog", "error"
        std::string listed;
        bool aborts;
    } cases[] = {
        {"kind 0, no context", 0, 0, "", {2}, false, "dialog", "boom", false},
        {"kind 0, coded, in a table", 0, 0x400415, "orders", {2}, false, "dialog", denied, false},
        {"kind 1", 1, 0, "t", {}, false, "error", "t: line1 line2", false},
        {"Abort inside the run", 0, 0, "", {1}, false, "dialog", "boom", true},
        // Nothing can go on at the outermost level: no choice is offered.
        {"kind 0 at the outermost level", 0, 0, "", {}, true, "error", "boom", false},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        modal.dialogs = {t.presses};
        handler.set_context_text(t.context);
        const char* text = t.kind == 1 ? "line1\nline2" : "boom";
        bool aborted = false;
        try {
            handler.handle(coded(text, t.kind, t.code), t.outermost);
        } catch (const tk_final_exception&) {
            aborted = true;
        }
        EXPECT_EQ(aborted, t.aborts) << t.what;
        ASSERT_EQ(modal.requests.size(), 1u) << t.what;
        EXPECT_EQ(modal.requests[0].kind, t.shown) << t.what;
        EXPECT_EQ(modal.requests[0].caption, "Torvane 4.3 Error") << t.what;
        EXPECT_EQ(modal.requests[0].text.toStdString(), t.listed) << t.what;
        EXPECT_EQ(shell.errors().back(), t.listed) << t.what;
    }
    EXPECT_EQ(shell.errors().size(), std::size(cases));
    EXPECT_FALSE(gui_ending());
}

TEST_F(errh_fixture, a_huge_text_is_shown_and_listed_cut_to_a_readable_length) {
    // Megabytes of a table name, with a character of two bytes just before the cut.
    const std::string head = "t: Table " + std::string(390, 'n') + "\xc3\xab";
    const std::string text = "Table " + head.substr(9) + std::string(2'000'000, 'n');
    const std::string shown = head + "\xe2\x80\xa6";
    ASSERT_EQ(QString::fromStdString(head).size(), static_cast<int>(shown_max));
    struct {
        const char* what;
        int32_t kind;  // -1: a message box of the wizard's own
        const char* kind_shown;
    } cases[] = {{"kind 1", 1, "error"}, {"kind 0", 0, "dialog"}, {"message", -1, "information"}};
    for (const auto& t : cases) {
        modal.requests.clear();
        modal.dialogs = {{2}};
        handler.set_context_text("t");
        if (t.kind < 0)
            wizard_shell::message(QString::fromStdString("t: " + text).toStdWString());
        else
            handler.handle(tk_exception(text, t.kind), false);
        ASSERT_EQ(modal.requests.size(), 1u) << t.what;
        EXPECT_EQ(modal.requests[0].kind, t.kind_shown) << t.what;
        // What the label shows may break anywhere.
        EXPECT_EQ(modal.requests[0].text.remove(QChar(0x200B)).toStdString(), shown) << t.what;
        if (t.kind >= 0) {
            EXPECT_EQ(shell.errors().back(), shown) << t.what;
        }
    }
}

TEST_F(errh_fixture, do_not_show_silences_later_errors_but_keeps_listing_them) {
    modal.dialogs = {{1222, 2}};
    handler.handle(tk_exception("first", tk_kind_continue), false);
    handler.handle(tk_exception("second", tk_kind_continue), false);
    handler.handle(tk_exception("third", tk_kind_error), false);
    EXPECT_EQ(modal.requests.size(), 1u);
    EXPECT_EQ(shell.errors(), (std::vector<std::string>{"first", "second", "third"}));
    handler.do_not_show = false;
}

TEST_F(errh_fixture,
       the_list_keeps_twenty_errors_written_by_a_worker_while_read_and_counts_the_rest) {
    std::thread worker([&] {
        for (int i = 0; i < 25; ++i) shell.append_error("e" + std::to_string(i));
    });
    for (int i = 0; i < 100; ++i) EXPECT_LE(shell.errors().size(), wizard_shell::max_errors);
    worker.join();
    ASSERT_EQ(shell.errors().size(), 20u);
    EXPECT_EQ(shell.errors().back(), "e19");
    EXPECT_EQ(shell.errors_not_kept(), 5u);
}

TEST_F(errh_fixture, an_internal_error_ends_the_program_whichever_button_is_pressed) {
    const tk_mail_assertion broken("g_wiz_sh.cpp", 281);
    const QString text = QString::fromStdString(broken.what());
    struct {
        int button;
        const char* clipboard;  // "message", "report" or ""
        size_t urls;
        size_t informations;
    } cases[] = {{1, "", 0, 0}, {1108, "message", 0, 0}, {1112, "report", 1, 1}};
    tmp_dir d;
    // A trace log, as a program that opened one has it.
    tk_logger logger(d.file("trace.log").c_str(), true, 3, false);
    for (const auto& t : cases) {
        gui_reset_ending();
        modal.requests.clear();
        modal.clipboard.clear();
        modal.dialogs = {{t.button}};
        stderr_capture err(d.file("stderr"));
        EXPECT_THROW(handler.handle(broken, false), tk_final_exception) << t.button;
        // The clipboard of a program that ends may go with it: the report is kept where
        // it cannot be lost.
        EXPECT_EQ(err.text(), std::string(broken.what()) + "\n") << t.button;
        EXPECT_NE(read_file_bytes(d.file("trace.log")).find(broken.what()), std::string::npos);
        EXPECT_TRUE(gui_ending()) << t.button;
        EXPECT_EQ(modal.of("dialog").at(0).text, text);
        EXPECT_EQ(modal.of("url").size(), t.urls) << t.button;
        EXPECT_EQ(modal.of("information").size(), t.informations) << t.button;
        const std::string want = t.clipboard == std::string("message") ? broken.what()
                                 : t.clipboard == std::string("report")
                                     ? "Bug report on Torvane 4.3\n\n" + std::string(broken.what())
                                     : "";
        EXPECT_EQ(modal.clipboard.toStdString(), want) << t.button;
    }
    // Nothing of an internal error goes to the list.
    EXPECT_TRUE(shell.errors().empty());
    QCoreApplication::sendPostedEvents();  // the posted end of the loop meets no loop here
}

TEST(gui_desk, a_bug_report_is_a_mailto_with_every_part_encoded) {
    EXPECT_EQ(bug_report_url("Torvane 4.3", "a&b?c=d\nZo\xc3\xab 100%").toStdString(),
              "mailto:?subject=Bug%20report%20on%20Torvane%204.3"
              "&body=a%26b%3Fc%3Dd%0AZo%C3%AB%20100%25");
}

TEST(gui_dialogs, the_real_dialogs_answer_keys_as_their_buttons_say) {
    scripted_modal modal;
    modal.real_dialogs = true;
    struct {
        bool ex;
        Qt::Key key;
        int result;
    } cases[] = {{false, Qt::Key_Escape, 2}, {false, Qt::Key_Return, 2}, {true, Qt::Key_Escape, 1}};
    for (const auto& t : cases) {
        std::unique_ptr<ui::dialog> d;
        if (t.ex)
            d = std::make_unique<dlg_error_ex>(L"internal");
        else
            d = std::make_unique<dlg_error_continue>(L"row failed");
        EXPECT_EQ(d->windowTitle(), "Error");
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            ASSERT_NE(w, nullptr);
            QTest::keyClick(w, t.key);
        });
        EXPECT_EQ(modal.run_dialog(*d), t.result) << t.key;
    }
    // The box keeps its state for the handler.
    dlg_error_continue d(L"row failed");
    d.press(1222);
    d.press(2);
    EXPECT_TRUE(d.do_not_show());
    EXPECT_EQ(d.result(), 2);
}
