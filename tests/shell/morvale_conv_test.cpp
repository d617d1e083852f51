// The converter's settings: profile keys, connection settings, the settings store and
// the destination check. No server needed.
#include "shell/morvale_conv.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "TK/tk_except.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

std::string profile_text(const std::string& mysql_section, const std::string& generic = "") {
    return "[Generic settings]\r\nsrc=shop\r\n" + generic + "\r\n[MySQL settings]\r\n" +
           mysql_section;
}

// Loads a profile text into the converter through a file, as the programs do.
bool load_text(morvale_convertor& c, const std::string& text) {
    tmp_dir d;
    write_file_bytes(d.file("p.ini"), text);
    return c.load_profile_file(d.wpath() + L"/p.ini");
}

}  // namespace

TEST(morvale_convertor, profile_connection_keys_follow_their_loading_rules) {
    struct row {
        const char* mysql_section;
        const char* generic;
        std::string host, user, password, port;
        bool blob;
    };
    // The converter starts each row with host h0, user u0, password p0 and port 4000.
    const row rows[] = {
        {"host=db1\r\nuser=ann\r\npassword=pw\r\nport=3307\r\n", "", "db1", "ann", "pw", "3307",
         false},
        // No user and no port keep what was there; no host and no password empty them.
        {"", "", "", "u0", "", "4000", false},
        {"user=\r\nport=\r\n", "", "", "u0", "", "4000", false},
        {"", "BLOB to text=1\r\n", "", "u0", "", "4000", true},
        {"", "BLOB to text=yes\r\n", "", "u0", "", "4000", false},
    };
    for (const row& r : rows) {
        morvale_convertor c;
        c.store_mysql_settings("h0", "u0", "p0", "4000");
        // Rows with a "BLOB to text" key start from the other value, to see it change.
        c.set_blob_to_memo(r.generic[0] != '\0' && !r.blob);
        ASSERT_TRUE(load_text(c, profile_text(r.mysql_section, r.generic))) << r.mysql_section;
        EXPECT_EQ(c.host(), r.host) << r.mysql_section;
        EXPECT_EQ(c.user(), r.user) << r.mysql_section;
        EXPECT_EQ(c.password(), r.password) << r.mysql_section;
        EXPECT_EQ(c.port(), r.port) << r.mysql_section;
        EXPECT_EQ(c.blob_to_memo(), r.blob) << r.generic;
        EXPECT_EQ(c.source(), L"shop");
    }
}

TEST(morvale_convertor, blob_to_text_absent_leaves_the_setting) {
    morvale_convertor c;
    c.set_blob_to_memo(true);
    ASSERT_TRUE(load_text(c, profile_text("")));
    EXPECT_TRUE(c.blob_to_memo());
}

TEST(morvale_convertor, a_profile_with_text_before_its_first_section_does_not_load) {
    morvale_convertor c;
    EXPECT_FALSE(load_text(c, "src=shop\r\n" + profile_text("")));
    EXPECT_EQ(error_of([&] { c.load_profile_file(L"/nonexistent/profile.ini"); }),
              std::pair(int{tk_kind_error},
                        std::string("Profile does not exist. Please verify the correct "
                                    "path/name was given.")));
}

TEST(morvale_convertor, saving_a_profile_twice_writes_the_same_file_and_changes_nothing) {
    morvale_convertor c;
    c.set_source(L"shop");
    c.store_mysql_settings("db1", "ann", "secret", "");
    c.set_blob_to_memo(true);
    const udb_pairs pairs = {{L"t1", L""}, {L"q1", L"SELECT 1\r\nFROM x\nWHERE\ry"}, {L"t2", L""}};
    c.selected_tables() = pairs;

    tmp_dir d;
    ASSERT_TRUE(c.store_profile_file(d.wpath() + L"/a.ini"));
    EXPECT_EQ(c.selected_tables(), pairs);
    ASSERT_TRUE(c.store_profile_file(d.wpath() + L"/b.ini"));
    const std::string a = read_file_bytes(d.file("a.ini"));
    EXPECT_EQ(a, read_file_bytes(d.file("b.ini")));

    // The query goes first, on one line; the plain tables follow as bare names.
    EXPECT_NE(a.find("[Selected Tables]\r\nq1=SELECT 1 FROM x WHERE y\r\nt1\r\nt2\r\n"),
              std::string::npos)
        << a;
    EXPECT_NE(a.find("BLOB to text=1\r\n"), std::string::npos);
    EXPECT_NE(a.find("[MySQL settings]\r\nhost=db1\r\nuser=ann\r\npassword=secret\r\nport=3306\r\n"
                     "dump line break=0\r\ndump new version=1\r\ndump add lock to insert=1\r\n"
                     "dump insert comments=1\r\ndump create database=0\r\ndump create table=1\r\n"),
              std::string::npos)
        << a;

    // And it loads back into a fresh converter.
    morvale_convertor back;
    ASSERT_TRUE(back.load_profile_file(d.wpath() + L"/a.ini"));
    EXPECT_EQ(back.host(), "db1");
    EXPECT_EQ(back.password(), "secret");
    EXPECT_TRUE(back.blob_to_memo());
    EXPECT_EQ(back.selected_tables(),
              (udb_pairs{{L"q1", L"SELECT 1 FROM x WHERE y"}, {L"t1", L""}, {L"t2", L""}}));
}

TEST(morvale_convertor, a_profile_that_cannot_be_written_is_an_error) {
    morvale_convertor c;
    tmp_dir d;
    EXPECT_THROW(c.store_profile_file(d.wpath() + L"/missing/folder/p.ini"), tk_exception);
    EXPECT_FALSE(fs::exists(d.file("missing")));
}

TEST(morvale_convertor, connection_settings_lose_surrounding_blanks_and_ports_must_be_ports) {
    morvale_convertor c;
    c.store_mysql_settings("  db1 ", " ann", "   ", "");
    EXPECT_EQ(c.host(), "db1");
    EXPECT_EQ(c.user(), "ann");
    EXPECT_EQ(c.password(), "");
    EXPECT_EQ(c.port(), "3306");
    c.store_mysql_settings("", "", " pass word ", " 3307 ");
    EXPECT_EQ(c.password(), "pass word");
    EXPECT_EQ(c.port(), "3307");

    // None of these may reach the server.
    for (const char* port : {"0", "abc", "-1", "65536", "70000", "99999999999999999999999", "00"}) {
        c.store_mysql_settings("127.0.0.1", "nobody", "", port);
        EXPECT_EQ(error_of([&] { c.connect_mysql_server(); }),
                  std::pair(int{tk_kind_error}, std::string("Invalid port number")))
            << port;
    }
}

TEST(morvale_convertor, settings_store_keeps_the_eight_values_between_runs) {
    tmp_dir d;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", d.path().c_str(), 1);

    {
        morvale_convertor first;
        first.set_blob_to_memo(true);
        first.set_only_definitions(true);
        first.store_mysql_settings("db1", "ann", "pw", "3307");
        // Nothing stored yet: defaults, and the load reports the missing values.
        EXPECT_FALSE(first.serialize(false));
        EXPECT_FALSE(first.blob_to_memo());
        EXPECT_FALSE(first.only_definitions());
        EXPECT_EQ(first.port(), "3306");
        EXPECT_EQ(first.host(), "db1");

        first.set_source(L"sh\u00f6p");
        first.set_destination(L"/tmp/out");
        first.set_blob_to_memo(true);
        first.store_mysql_settings("db1", "ann", "pw", "3307");
        EXPECT_TRUE(first.serialize(true));
    }
    morvale_convertor second;
    EXPECT_TRUE(second.serialize(false));
    EXPECT_EQ(second.source(), L"sh\u00f6p");
    EXPECT_EQ(second.destination(), L"/tmp/out");
    EXPECT_TRUE(second.blob_to_memo());
    EXPECT_FALSE(second.only_definitions());
    EXPECT_EQ(second.host(), "db1");
    EXPECT_EQ(second.user(), "ann");
    EXPECT_EQ(second.password(), "pw");
    EXPECT_EQ(second.port(), "3307");

    struct stat st {};
    ASSERT_EQ(::stat((d.path() + "/Quillmark/Torvane.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(morvale_convertor, destination_check_by_mode) {
    for (int32_t mode = 0; mode <= 3; ++mode) {
        SCOPED_TRACE(mode);
        tmp_dir d;
        morvale_convertor c;
        c.set_mode(mode);

        // A missing folder several levels deep is created, in every mode.
        c.set_destination(d.wpath() + L"/a/b/c");
        c.check_dest();
        EXPECT_TRUE(fs::is_directory(d.file("a/b/c")));

        // A file is refused and left as it was.
        write_file_bytes(d.file("file"), "keep");
        c.set_destination(d.wpath() + L"/file");
        EXPECT_EQ(error_of([&] { c.check_dest(); }),
                  std::pair(int{tk_kind_error},
                            std::string("You should enter path to FoxPro/DBase database, not a "
                                        "file name")));
        EXPECT_EQ(read_file_bytes(d.file("file")), "keep");

        // An existing folder: mode 0 deletes the DBF tables and their memo files, and
        // nothing else; the other modes keep everything.
        const std::string f = d.file("out");
        fs::create_directories(f + "/dir.dbf");
        for (const char* name : {"a.dbf", "ORDERS.DBF"})
            write_file_bytes(f + "/" + name, any_dbf_table());
        for (const char* name : {"ORDERS.FPT", "notes.txt", "x.cdx"})
            write_file_bytes(f + "/" + name, "x");
        fs::create_symlink(d.file("file"), f + "/link.dbf");
        c.set_destination(d.wpath() + L"/out");
        c.check_dest();
        const bool emptied = mode == 0;
        EXPECT_EQ(fs::exists(f + "/a.dbf"), !emptied);
        EXPECT_EQ(fs::exists(f + "/ORDERS.DBF"), !emptied);
        EXPECT_EQ(fs::exists(f + "/ORDERS.FPT"), !emptied);
        EXPECT_TRUE(fs::exists(f + "/notes.txt"));
        EXPECT_TRUE(fs::exists(f + "/x.cdx"));
        EXPECT_TRUE(fs::is_directory(f + "/dir.dbf"));
        EXPECT_EQ(read_file_bytes(d.file("file")), "keep");  // a link's target survives
    }
}
