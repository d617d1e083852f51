// Whole quick-launch runs of the wizard against the test server: profile, progress
// page, finish page, Finish; the tables read back by the independent reader.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <filesystem>

#include "GUI2/mvl_main.hpp"
#include "tests/GUI2/gui_support.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

struct quick_launch : ::testing::Test {
    tmp_dir home;
    scripted_modal modal;
    std::string heading, listed;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("LC_ALL", "C", 1);
    }

    std::string profile(const scratch_db& db, int mode, const std::string& tables) {
        const test_server& s = test_server::get();
        const std::string path = home.file("p.mvl");
        write_file_bytes(
            path, "[Generic settings]\nsrc=" + db.name() + "\ndest=" + home.file("out") +
                      "\nmode=" + std::to_string(mode) + "\n[Selected Tables]\n" + tables +
                      "[MySQL settings]\nhost=" + s.host + "\nuser=" + s.user +
                      "\npassword=" + s.password + "\nport=" + std::to_string(s.port) + "\n");
        return path;
    }

    // Runs the program on the profile; the robot notes the finish page and presses Finish.
    int run(const std::string& path, std::vector<int>* pages = nullptr) {
        wizard_robot robot;
        robot.on_page = [this](int id, ui::wizard_sheet& sheet) {
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
    db.exec("CREATE TABLE prices (id INT); INSERT INTO prices VALUES (1),(2)");
    const std::string path = profile(db, 0, "prices\n");
    ASSERT_EQ(run(path), morvale_ok);
    // Merge into a table whose structure no longer matches, plus a table that is gone.
    db.exec("ALTER TABLE prices ADD extra INT");
    const std::string merge = profile(db, 3, "prices\nghost\n");
    struct {
        std::vector<std::vector<int>> answers;
        int code;
        std::string listed;
    } cases[] = {
        {{{2}, {2}},
         morvale_ok,
         "prices: The structure of data source does not conform to the destination table.\n\n"
         "ghost: Table ghost not exists\n"},
        {{{1}},
         morvale_failed,
         "prices: The structure of data source does not conform to the destination table.\n"},
    };
    for (const auto& t : cases) {
        modal.requests.clear();
        modal.dialogs.assign(t.answers.begin(), t.answers.end());
        EXPECT_EQ(run(merge), t.code);
        EXPECT_EQ(heading.rfind("There were some errors", 0), 0u) << heading;
        EXPECT_EQ(listed, t.listed);
        EXPECT_EQ(modal.of("dialog").size(), t.answers.size());
        EXPECT_EQ(read_dbf(home.file("out") + "/prices.dbf").records, 2);
    }
}

TEST_F(quick_launch, an_unknown_database_ends_with_255_before_the_folder_is_touched) {
    scratch_db db("gui_nodb");
    const std::string path = profile(db, 0, "t\n");
    fs::create_directories(home.file("out"));
    write_file_bytes(home.file("out") + "/t.dbf", "keep");
    db.exec("DROP DATABASE " + db.name());
    modal.dialogs.assign({{1}});
    EXPECT_EQ(run(path), morvale_failed);
    EXPECT_EQ(read_file_bytes(home.file("out") + "/t.dbf"), "keep");
}
