// The connection page and the source and destination page against the test server.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <filesystem>

#include "GUI2/g_selfil.hpp"
#include "GUI2/g_seltab.hpp"
#include "GUI2/g_sqlpg.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/support/server_db.hpp"

namespace fs = std::filesystem;

namespace {

struct server_pages : page_fixture {
    sql_settings_page2<morvale_convertor, 1011, 1016> mysql{L"Step 1 of 4", L"MySQL server"};
    sel_file_page files{L"Step 2 of 4", L"Select databases"};
    void SetUp() override { REQUIRE_TEST_SERVER(); }
    void connect() {
        const test_server& s = test_server::get();
        conv.store_mysql_settings(s.host, s.user, s.password, std::to_string(s.port));
        conv.connect_mysql_server();
    }
    QLineEdit* edit(int id) { return files.ctrl<QLineEdit>(id); }
    QListWidget* databases() { return files.ctrl<QListWidget>(1317); }
    void choose(const std::string& name) {
        const auto found = databases()->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        databases()->setCurrentItem(found[0]);
    }
};

// Drops the databases a test created besides its scratch database.
struct more_databases {
    scratch_db& db;
    std::vector<std::string> names;
    more_databases(scratch_db& db, std::vector<std::string> n) : db(db), names(std::move(n)) {
        for (const auto& name : names) db.exec("CREATE DATABASE `" + name + "`");
    }
    ~more_databases() {
        for (const auto& name : names) db.exec("DROP DATABASE IF EXISTS `" + name + "`");
    }
};

}  // namespace

TEST_F(server_pages, next_connects_or_shows_why_not_and_stays) {
    const test_server& s = test_server::get();
    // The local server, as the client library's option files name its socket (the
    // test's home folder is a temporary one).
    const std::string options = QDir::homePath().toStdString() + "/.my.cnf";
    struct {
        int mode;
        std::string password;
        int result;
        const char* box;
    } cases[] = {
        {1330, "wrong", -1,
         "Access denied. Verify the user name and password are correct, and you have\nthe "
         "necessary privileges to connect to the target MySQL server."},
        {1330, s.password, 0, nullptr},
        {1329, s.password, 0, nullptr},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        mysql.ctrl<QRadioButton>(1330)->click();
        mysql.ctrl<QLineEdit>(1014)->setText(QString::fromStdString(s.host));
        mysql.ctrl<QLineEdit>(1015)->setText(QString::number(s.port));
        mysql.ctrl<QLineEdit>(1012)->setText(QString::fromStdString(s.user));
        mysql.ctrl<QLineEdit>(1013)->setText(QString::fromStdString(t.password));
        mysql.ctrl<QRadioButton>(t.mode)->click();
        if (t.mode == 1329) write_file_bytes(options, "[client]\nsocket=" + s.socket + "\n");
        EXPECT_EQ(mysql.on_next(), t.result) << t.mode << t.password;
        fs::remove(options);
        // The host and the server's own words follow the fixed text.
        ASSERT_EQ(texts("error").size(), t.box ? 1u : 0u);
        if (t.box) {
            EXPECT_EQ(texts("error")[0].rfind(t.box, 0), 0u) << texts("error")[0];
        }
        EXPECT_EQ(conv.engine().is_connected(), t.result == 0);
        EXPECT_EQ(conv.host(), t.mode == 1329 ? "" : s.host);
    }
    EXPECT_TRUE(shell.errors().empty());
}

TEST_F(server_pages, the_saved_database_is_found_by_its_exact_name) {
    connect();
    scratch_db db("selfil");
    const std::string upper = [&] {
        std::string u = db.name();
        for (char& c : u) c = static_cast<char>(toupper(c));
        return u;
    }();
    more_databases others(db, {db.name() + "_archive", upper});
    const std::wstring home = QDir::homePath().toStdWString();
    struct {
        std::string source;
        std::wstring destination, shown;
        std::string selected;
    } cases[] = {
        {db.name(), L"", home + L"/" + std::wstring(db.name().begin(), db.name().end()), db.name()},
        {db.name(), L"/data/keep", L"/data/keep", db.name()},
        {"dropped_" + db.name(), L"/data/keep", L"/data/keep", ""},
    };
    for (const auto& t : cases) {
        conv.set_source(std::wstring(t.source.begin(), t.source.end()));
        conv.set_destination(t.destination);
        edit(1004)->clear();
        ASSERT_TRUE(files.page_init());
        const auto chosen = databases()->selectedItems();
        EXPECT_EQ(chosen.isEmpty() ? "" : chosen[0]->text().toStdString(), t.selected);
        EXPECT_EQ(edit(1004)->text().toStdWString(), t.shown) << t.source;
    }
    // Choosing replaces the destination's last component.
    choose(db.name() + "_archive");
    EXPECT_EQ(edit(1004)->text().toStdString(), "/data/" + db.name() + "_archive");
    save_shot(files, "databases");
}

TEST_F(server_pages, next_prepares_the_destination_or_says_what_is_missing) {
    connect();
    scratch_db db("dest");
    tmp_dir out;
    write_file_bytes(out.file("file"), "keep");
    fs::create_directories(out.file("old"));
    write_file_bytes(out.file("old/keep.dbf"), any_dbf_table());
    const char* dialog_text =
        "The destination database already exists. Select one of the options below. Click "
        "'Help' button for more information.";
    struct {
        bool choose_db;
        std::string destination;
        std::vector<int> answer;  // to the overwrite dialog, when it comes
        int result, mode;
        std::string box;  // kind: text
    } cases[] = {
        {false, out.file("x"), {}, -1, 1, "information: You should select MySQL database"},
        {true, "", {}, -1, 1, "information: You should enter path to DBF database"},
        {true,
         out.file("file"),
         {},
         -1,
         1,
         "error: You should enter path to DBF database, not a file name"},
        {true, out.file("a/b/c"), {}, 0, 1, ""},
        {true, out.file("old"), {2}, -1, 1, "dialog"},
        {true, out.file("old"), {1331, 1}, 0, 2, "dialog"},
        {true, out.file("old"), {1332, 1}, 0, 3, "dialog"},
        // Mode 0 too: the run does the deleting, nothing is deleted at OK.
        {true, out.file("old"), {1329, 1}, 0, 0, "dialog"},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        conv.set_mode(1);
        ASSERT_TRUE(files.page_init());
        databases()->clearSelection();
        if (t.choose_db) choose(db.name());
        edit(1004)->setText(QString::fromStdString(t.destination));
        if (!t.answer.empty()) modal.dialogs = {t.answer};
        EXPECT_EQ(files.on_next(), t.result) << t.destination;
        EXPECT_EQ(conv.mode(), t.mode) << t.destination;
        std::string shown;
        for (const auto& r : modal.requests)
            shown = r.kind == "dialog" ? "dialog" : r.kind + ": " + r.text.toStdString();
        EXPECT_EQ(shown, t.box) << t.destination;
        if (shown == "dialog") {
            EXPECT_EQ(modal.requests[0].caption, "Torvane 4.3 Warning");
            EXPECT_EQ(modal.requests[0].text, dialog_text);
        }
        EXPECT_EQ(read_file_bytes(out.file("old/keep.dbf")), any_dbf_table()) << t.destination;
        EXPECT_EQ(read_file_bytes(out.file("file")), "keep");
    }
    EXPECT_TRUE(fs::is_directory(out.file("a/b/c")));
    EXPECT_EQ(conv.destination(), out.wpath() + L"/old");
    EXPECT_EQ(conv.source(), std::wstring(db.name().begin(), db.name().end()));
    EXPECT_TRUE(shell.errors().empty());
}

TEST_F(server_pages, a_table_list_that_fails_keeps_the_wizard_on_the_page_before) {
    connect();
    struct plain_page : wizard_page<106, 3, page_has_help> {
    } before;
    mvl_sel_tables_page tables{L"", 0, L"Step 3 of 4", L"Select tables to convert"};
    shell.add_page(before);
    shell.add_page(tables);
    ASSERT_TRUE(shell.sheet().start());
    conv.set_source(L"dropped_meanwhile");
    shell.sheet().go_next();
    EXPECT_EQ(shell.sheet().current_page()->id(), 106);
    ASSERT_EQ(texts("error").size(), 1u);
    EXPECT_NE(texts("error")[0].find("dropped_meanwhile"), std::string::npos) << texts("error")[0];
    EXPECT_TRUE(shell.errors().empty());

    scratch_db db("tables");
    db.exec("CREATE TABLE b (a INT); CREATE TABLE a (a INT)");
    conv.set_source(std::wstring(db.name().begin(), db.name().end()));
    shell.sheet().go_next();
    EXPECT_EQ(shell.sheet().current_page()->id(), 127);
    EXPECT_EQ(tables.ctrl<QListWidget>(1317)->count(), 2);
}
