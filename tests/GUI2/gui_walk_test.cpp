// Walks of the wizard as a person makes them, against the test server: the folder dialog
// of the database page, the question for a folder that exists, the connection page,
// the profile dialogs and the tooltips of long table names. CTest runs them at the
// normal scale, at 1.5 and at 1.5 on a 1024 x 600 screen; on every page the window and
// its buttons must lie on the screen. The folder dialog and the boxes are Qt's own,
// shown for real and pictured.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "GUI2/mvl_main.hpp"
#include "common/over_dlg.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/support/relay_proxy.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// Hands the modal window of type T to `act` once it is up.
template <class T>
void when_shown(std::function<void(T&)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(*w);
    });
    timer->start(10);
}

// Scripted answers, given through Qt's own boxes and folder dialog, so that they are seen
// (and pictured) as a user sees them.
struct walk_modal : scripted_modal {
    // Acts on the real folder dialog once it is up.
    std::function<void(QFileDialog&)> on_folder_dialog;
    // Numbers the pictures of the boxes and dialogs, in the order they came.
    int shown = 0;

    template <class F>
    auto for_real(F f) {
        ui::set_modal(nullptr);
        auto result = f();
        ui::set_modal(this);
        return result;
    }

    ui::box_answer message_box(QWidget* owner, ui::box_icon icon, const QString& caption,
                               const QString& text, bool default_no) override {
        const ui::box_answer answer =
            scripted_modal::message_box(owner, icon, caption, text, default_no);
        const std::string name = "box-" + std::to_string(++shown);
        when_shown<QMessageBox>([answer, name](QMessageBox& box) {
            save_shot(box, name);
            box.button(answer == ui::box_answer::yes  ? QMessageBox::Yes
                       : answer == ui::box_answer::no ? QMessageBox::No
                                                      : QMessageBox::Ok)
                ->click();
        });
        return for_real(
            [&] { return ui::modal().message_box(owner, icon, caption, text, default_no); });
    }

    bool choose_file(const ui::file_request& r, QString& path) override {
        if (!r.choose_folder) return scripted_modal::choose_file(r, path);
        requests.push_back({"folder", r.title, r.folder, r.owner != nullptr});
        file_requests.push_back(r);
        const std::string name = "folder-dialog-" + std::to_string(++shown);
        when_shown<QFileDialog>([this, name](QFileDialog& d) {
            save_shot(d, name);
            on_folder_dialog(d);
        });
        return for_real([&] { return ui::modal().choose_file(r, path); });
    }
};

std::string text_of(ui::wizard_sheet& sheet, int id) {
    return static_cast<QLineEdit*>(control(sheet, id))->text().toStdString();
}

std::string rect_text(const QRect& r) {
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" +
           std::to_string(r.x()) + "+" + std::to_string(r.y());
}

// The window and its buttons lie on the screen.
void expect_on_screen(ui::wizard_sheet& sheet) {
    const QRect room = sheet.screen()->availableGeometry();
    EXPECT_TRUE(room.contains(sheet.frameGeometry()))
        << rect_text(sheet.frameGeometry()) << " on " << rect_text(room);
    for (int id : {ui::id_back, ui::id_next, ui::id_finish, ui::id_cancel, ui::id_help}) {
        QPushButton* b = sheet.button(id);
        if (!b->isVisible()) continue;
        const QRect r(b->mapToGlobal(QPoint(0, 0)), b->size());
        EXPECT_TRUE(room.contains(r)) << id << ": " << rect_text(r) << " on " << rect_text(room);
    }
}

struct walk : ::testing::Test {
    tmp_dir home;
    walk_modal modal;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("LC_ALL", "C", 1);
    }
    std::string settings() const {
        return read_file_bytes(home.file("config/Quillmark/Torvane.conf"));
    }
    // Each page is checked on the screen before the test acts on it.
    static void on(wizard_robot& robot, int page, std::function<void(ui::wizard_sheet&)> act) {
        robot.on_enter[page] = [act](ui::wizard_sheet& sheet) {
            expect_on_screen(sheet);
            act(sheet);
        };
    }
    static void connect_remote(wizard_robot& robot) {
        on(robot, 123, [](ui::wizard_sheet& sheet) { connect_to_test_server(sheet); });
    }
    static void choose_database(ui::wizard_sheet& sheet, const scratch_db& db) {
        auto* list = static_cast<QListWidget*>(control(sheet, 1317));
        const auto found = list->findItems(QString::fromStdString(db.name()), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found[0]).center());
    }
    void cancel_wizard(ui::wizard_sheet& sheet) {
        modal.questions = {ui::box_answer::yes};
        click(sheet, ui::id_cancel);
    }
    static int run_wizard(const std::string& profile = {}) {
        std::string a0 = "morvale", a1 = profile;
        char* argv[] = {a0.data(), a1.data(), nullptr};
        return morvale_main(profile.empty() ? 1 : 2, argv);
    }
};

}  // namespace

// Browse starts where the typed path points (its parent for a folder still to be made,
// else the home folder); a folder chosen there becomes the path, Escape leaves the path
// as it was. Its Alt letter is its own on the page, and opens it too.
TEST_F(walk, browse_opens_the_folder_dialog_where_the_path_points) {
    scratch_db db("walk_browse");
    db.exec("CREATE TABLE t (a INT)");
    const std::string out = home.file("out");
    fs::create_directories(out + "/picked");
    const std::string home_folder = QDir::homePath().toStdString();
    struct {
        std::string typed, start;
        bool by_key;         // Alt+R rather than a click
        std::string chosen;  // typed into the dialog; empty: Escape
        std::string after;
    } cases[] = {
        {"", home_folder, false, "", ""},
        {out, out, true, "", out},
        {out + "/db", out, false, "", out + "/db"},
        {"~/no/such/db", home_folder, false, "", "~/no/such/db"},
        {out + "/db", out, true, out + "/picked", out + "/picked"},
    };
    std::vector<std::string> starts, afters;
    std::map<QChar, int> letters;
    wizard_robot robot;
    on(robot, 103, [&](ui::wizard_sheet& sheet) {
        click(sheet, 1115);  // the dialog is cancelled
        click(sheet, ui::id_next);
    });
    connect_remote(robot);
    on(robot, 106, [&](ui::wizard_sheet& sheet) {
        choose_database(sheet, db);
        for (const auto& t : cases) {
            type(sheet, 1004, t.typed);
            modal.on_folder_dialog = [&](QFileDialog& d) {
                starts.push_back(d.directory().absolutePath().toStdString());
                if (t.chosen.empty()) {
                    QTest::keyClick(&d, Qt::Key_Escape);
                    return;
                }
                auto* name = d.findChild<QLineEdit*>("fileNameEdit");
                ASSERT_NE(name, nullptr);
                name->setText(QString::fromStdString(t.chosen));
                QTest::keyClick(name, Qt::Key_Return);
            };
            if (t.by_key) {
                // The key goes to the active window (offscreen, nothing else makes one).
                QApplication::setActiveWindow(&sheet);
                const size_t before = modal.file_requests.size();
                QTest::keyClick(&sheet, Qt::Key_R, Qt::AltModifier);
                // The button clicks itself a moment later, as it shows itself pressed.
                EXPECT_TRUE(QTest::qWaitFor([&] { return modal.file_requests.size() > before; }));
            } else {
                click(sheet, 1005);
            }
            afters.push_back(text_of(sheet, 1004));
        }
        save_shot(sheet, "page-106-browsed");
        // Every Alt letter of the page and of the sheet's buttons.
        for (QWidget* w : sheet.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->window() != &sheet) continue;
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
            if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
            const qsizetype amp = text.indexOf('&');
            if (amp >= 0 && amp + 1 < text.size()) ++letters[text[amp + 1].toLower()];
        }
        cancel_wizard(sheet);
    });
    EXPECT_EQ(run_wizard(), morvale_cancelled);
    EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106}));
    ASSERT_EQ(modal.file_requests.size(), 1u + std::size(cases));
    EXPECT_EQ(modal.file_requests[0].title, "Load Settings");
    std::vector<std::string> expected_starts, expected_afters;
    for (const auto& t : cases) {
        expected_starts.push_back(t.start);
        expected_afters.push_back(t.after);
    }
    EXPECT_EQ(starts, expected_starts);
    EXPECT_EQ(afters, expected_afters);
    EXPECT_EQ(modal.file_requests.back().title, "Select DBF Database Folder");
    EXPECT_EQ(letters[QChar(u'r')], 1);
    EXPECT_TRUE(modal.of("error").empty());
}

// The question for a folder that exists starts from the choice made the last time (kept
// with the settings; none, or one of no meaning: "Overwrite existing tables only"), and
// "Overwrite the entire database" says how many DBF tables of the folder it deletes,
// counted as the run counts them. Long table names show whole in their tooltips.
TEST_F(walk, the_question_for_an_existing_folder_starts_from_the_last_choice) {
    const std::string long_name = "customer_addresses_<archive>_from_2019_to_2024_with_notes";
    scratch_db db("walk_exists");
    db.exec(
        "CREATE TABLE t (a INT); INSERT INTO t VALUES (1);"
        "CREATE TABLE `" +
        long_name + "` (a INT)");
    const std::string out = home.file("out");
    fs::create_directories(out + "/d.dbf");  // a folder: no table
    for (const char* table : {"a.dbf", "B.DBF", "c.dbf"})
        write_file_bytes(out + "/" + table, any_dbf_table());
    write_file_bytes(out + "/fake.dbf", "text, no table");
    write_file_bytes(out + "/notes.txt", "keep");
    // The first run adds its two tables to the folder.
    auto note = [](int tables) {
        return "The folder's " + std::to_string(tables) +
               " DBF tables are deleted when the run starts, except those the run writes, which "
               "are replaced once each is complete.";
    };
    struct {
        const char* what;
        std::string kept;  // the settings store's value before the run; empty: none
        int selected;      // the radio button selected when the question comes
        int tables;        // that "Overwrite the entire database" says it deletes
        std::vector<int> answer;
        int code;
    } cases[] = {
        {"nothing kept", "", 1330, 3, {1332, 1}, morvale_ok},
        {"Merge kept", "overwrite=dword:3", 1332, 5, {2}, morvale_cancelled},
        {"a mode of no meaning", "overwrite=dword:7", 1330, 5, {2}, morvale_cancelled},
        {"not a number", "overwrite=text:0", 1330, 5, {2}, morvale_cancelled},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        if (!t.kept.empty()) {
            std::string conf = settings();
            const size_t at = conf.find("overwrite=");
            ASSERT_NE(at, std::string::npos) << conf;
            conf.replace(at, conf.find('\n', at) - at, t.kept);
            write_file_bytes(home.file("config/Quillmark/Torvane.conf"), conf);
        }
        modal.requests.clear();
        modal.dialogs = {t.answer};
        int selected = 0;
        std::string said;
        modal.on_shown = [&] {
            auto* dlg = wizard_shell::get_instance().sheet().findChild<overwrite_dlg*>();
            if (!dlg) return;
            for (int id : {1329, 1330, 1331, 1332})
                if (dlg->ctrl<QRadioButton>(id)->isChecked()) selected = id;
            said = dlg->ctrl<QLabel>(1333)->text().toStdString();
        };
        std::vector<bool> tips;
        wizard_robot robot;
        on(robot, 103, [](ui::wizard_sheet& sheet) { click(sheet, ui::id_next); });
        connect_remote(robot);
        on(robot, 106, [&](ui::wizard_sheet& sheet) {
            choose_database(sheet, db);
            type(sheet, 1004, out);
            click(sheet, ui::id_next);
            if (sheet.current_page()->id() == 106) cancel_wizard(sheet);
        });
        on(robot, 127, [&](ui::wizard_sheet& sheet) {
            click(sheet, 1102);
            auto* list = static_cast<QListWidget*>(control(sheet, 1318));
            // The short name first: no tooltip has been shown yet.
            for (const std::string& name : {std::string("t"), long_name}) {
                const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
                ASSERT_EQ(found.size(), 1);
                const QPoint at = list->visualItemRect(found[0]).center();
                QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
                QApplication::sendEvent(list->viewport(), &help);
                tips.push_back(
                    QToolTip::isVisible() &&
                    QToolTip::text().contains(QString::fromStdString(name).toHtmlEscaped()));
            }
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->inherits("QTipLabel") && w->isVisible()) save_shot(*w, "tooltip");
            QToolTip::hideText();
            click(sheet, ui::id_next);
        });
        on(robot, 107, [](ui::wizard_sheet&) {});
        on(robot, 116, [](ui::wizard_sheet&) {});
        EXPECT_EQ(run_wizard(), t.code);
        EXPECT_EQ(selected, t.selected);
        EXPECT_EQ(said, note(t.tables));
        if (t.code == morvale_ok) {
            EXPECT_EQ(tips, (std::vector<bool>{false, true}));
            EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106, 127, 107, 116}));
            EXPECT_NE(settings().find("\noverwrite=dword:3\n"), std::string::npos) << settings();
        } else {
            EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106}));
        }
        // Merge kept every table, and nothing else touched the folder.
        for (const char* table : {"a.dbf", "B.DBF", "c.dbf"})
            EXPECT_EQ(read_file_bytes(out + "/" + table), any_dbf_table()) << table;
        EXPECT_EQ(read_file_bytes(out + "/fake.dbf"), "text, no table");
        EXPECT_TRUE(fs::is_directory(out + "/d.dbf"));
    }
    EXPECT_TRUE(fs::exists(out + "/t.dbf"));
}

// Remote with no host stays on the page and says why. A connection that fails keeps the
// fixed text of its code and names the host and the cause below it. Choosing Local keeps
// Remote's host and port, also for the next start.
TEST_F(walk, the_connection_page_names_the_host_of_a_failure_and_keeps_remote_for_later) {
    const test_server& s = test_server::get();
    const std::string options = QDir::homePath().toStdString() + "/.my.cnf";
    relay_proxy silent(s.port);
    silent.freeze(std::chrono::milliseconds(1000));
    const std::string port = std::to_string(s.port), relay = std::to_string(silent.port());
    const std::string cannot_connect =
        "Cannot connect to the MySQL server. Check to verify that MySQL server\nis launched and "
        "the correct host/port values were given.\n\n";
    struct {
        bool remote;
        std::string host, port, password;
        std::string kind, begins, then;  // the box: its kind, beginning, and what follows
    } cases[] = {
        {true, "", "", s.password, "information",
         "Remote needs a host: enter the network name or IP address of the MySQL server, or "
         "choose Local.",
         ""},
        {true, "no-such-host.invalid", "3306", s.password, "error", cannot_connect,
         "Host: no-such-host.invalid, port 3306\nUnknown server host 'no-such-host.invalid'"},
        {true, "127.0.0.1", relay, s.password, "error", cannot_connect,
         "Host: 127.0.0.1, port " + relay + "\nLost connection to server at 'handshake"},
        {true, s.host, port, "wrong", "error",
         "Access denied. Verify the user name and password are correct, and you have\nthe "
         "necessary privileges to connect to the target MySQL server.\n\n",
         "Host: " + s.host + ", port " + port + "\nAccess denied for user '" + s.user + "'"},
        // The client library's option files name a socket where no server is.
        {false, "", "", s.password, "error", cannot_connect,
         "Host: localhost, through the local server's socket\nCan't connect to local server "
         "through socket '" +
             home.file("none.sock") + "'"},
    };
    std::vector<std::string> boxes;
    std::vector<int> stayed;
    bool enabled_while_local = true;
    std::string host_while_local, port_while_local;
    wizard_robot robot;
    on(robot, 103, [](ui::wizard_sheet& sheet) { click(sheet, ui::id_next); });
    on(robot, 123, [&](ui::wizard_sheet& sheet) {
        type(sheet, 1012, s.user);
        write_file_bytes(options, "[client]\nsocket=" + home.file("none.sock") + "\n");
        for (const auto& t : cases) {
            modal.requests.clear();
            click(sheet, t.remote ? 1330 : 1329);
            if (t.remote) {
                type(sheet, 1014, t.host);
                type(sheet, 1015, t.port);
            }
            type(sheet, 1013, t.password);
            click(sheet, ui::id_next);
            stayed.push_back(sheet.current_page()->id());
            const auto shown = modal.of(t.kind);
            boxes.push_back(shown.size() == 1 ? shown[0].text.toStdString() : "");
        }
        // Remote to the server, then back again for Local.
        click(sheet, 1330);
        type(sheet, 1014, s.host);
        type(sheet, 1015, port);
        click(sheet, ui::id_next);
    });
    // Back from the database page, for Local; the second time there, Cancel.
    int on_database_page = 0;
    on(robot, 106, [&](ui::wizard_sheet& sheet) {
        if (on_database_page++ > 0) return cancel_wizard(sheet);
        robot.on_enter[123] = [&](ui::wizard_sheet& back) {
            write_file_bytes(options, "[client]\nsocket=" + s.socket + "\n");
            click(back, 1329);
            enabled_while_local = control(back, 1014)->isEnabled();
            click(back, ui::id_next);
        };
        click(sheet, ui::id_back);
    });
    EXPECT_EQ(run_wizard(), morvale_cancelled);
    fs::remove(options);
    EXPECT_EQ(robot.seen, (std::vector<int>{103, 123, 106, 123, 106}));
    EXPECT_EQ(stayed, std::vector<int>(std::size(cases), 123));
    ASSERT_EQ(boxes.size(), std::size(cases));
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].rfind(cases[i].begins, 0), 0u) << boxes[i];
        EXPECT_EQ(boxes[i].substr(std::min(boxes[i].size(), cases[i].begins.size()),
                                  cases[i].then.size()),
                  cases[i].then)
            << boxes[i];
    }
    EXPECT_FALSE(enabled_while_local);
    const std::string conf = settings();
    for (const std::string& line :
         {std::string("host=text:"), "remote_host=text:" + s.host, "remote_port=text:" + port})
        EXPECT_NE(conf.find("\n" + line + "\n"), std::string::npos) << line << "\n" << conf;

    // The next start: Local, with Remote's host and port ready for it.
    robot.seen.clear();
    robot.on_enter.clear();
    on(robot, 103, [](ui::wizard_sheet& sheet) { click(sheet, ui::id_next); });
    bool local = false;
    on(robot, 123, [&](ui::wizard_sheet& sheet) {
        local = static_cast<QRadioButton*>(control(sheet, 1329))->isChecked();
        enabled_while_local = control(sheet, 1014)->isEnabled();
        click(sheet, 1330);
        host_while_local = text_of(sheet, 1014);
        port_while_local = text_of(sheet, 1015);
        EXPECT_TRUE(control(sheet, 1014)->isEnabled());
        save_shot(sheet, "page-123-remote-again");
        cancel_wizard(sheet);
    });
    EXPECT_EQ(run_wizard(), morvale_cancelled);
    EXPECT_TRUE(local);
    EXPECT_FALSE(enabled_while_local);
    EXPECT_EQ(host_while_local, s.host);
    EXPECT_EQ(port_while_local, port);
}

// "Save Settings..." over a file that exists asks first; No brings the dialog back for
// another name. Both dialogs are titled for what they do.
TEST_F(walk, save_settings_asks_before_it_replaces_a_file) {
    const test_server& s = test_server::get();
    scratch_db db("walk_save");
    db.exec("CREATE TABLE t (a INT); INSERT INTO t VALUES (1)");
    const std::string profile = home.file("p.mvl");
    const std::string written =
        "[Generic settings]\nsrc=" + db.name() + "\ndest=" + home.file("out") +
        "\nmode=1\n[Selected Tables]\nt\n[MySQL settings]\nhost=" + s.host + "\nuser=" + s.user +
        "\npassword=" + s.password + "\nport=" + std::to_string(s.port) + "\n";
    write_file_bytes(profile, written);
    std::string after_no, after_yes;
    wizard_robot robot;
    on(robot, 116, [&](ui::wizard_sheet& sheet) {
        // Under the name without its extension, which the dialog appends.
        modal.files = {QString::fromStdString(home.file("p")),
                       QString::fromStdString(home.file("q"))};
        modal.questions = {ui::box_answer::no};
        click(sheet, 1116);
        after_no = read_file_bytes(profile);
        modal.files = {QString::fromStdString(profile)};
        modal.questions = {ui::box_answer::yes};
        click(sheet, 1116);
        after_yes = read_file_bytes(profile);
    });
    EXPECT_EQ(run_wizard(profile), morvale_ok);
    const std::string question = "The file " + profile + " exists already. Replace it?";
    std::vector<std::string> questions;
    for (const auto& q : modal.of("question")) {
        questions.push_back(q.text.toStdString());
        EXPECT_TRUE(q.default_no);
    }
    EXPECT_EQ(questions, (std::vector<std::string>{question, question}));
    EXPECT_EQ(after_no, written);
    EXPECT_TRUE(fs::exists(home.file("q.mvl")));
    EXPECT_NE(after_yes, written);
    EXPECT_NE(after_yes.find("[Available Queries]"), std::string::npos) << after_yes;
    ASSERT_EQ(modal.file_requests.size(), 3u);
    for (const auto& r : modal.file_requests) EXPECT_EQ(r.title, "Save Settings");
    // After No, the dialog comes back where the name was chosen.
    EXPECT_EQ(modal.file_requests[1].folder.toStdString(), home.path());
    EXPECT_TRUE(modal.of("error").empty());
}
