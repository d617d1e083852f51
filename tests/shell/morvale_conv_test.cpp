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
        {"", "BLOB to text=0\r\n", "", "u0", "", "4000", false},
        // Blanks around a value's start belong to it.
        {"host= db1\r\nuser= ann\r\npassword= pw\r\n", "", " db1", " ann", " pw", "4000", false},
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

TEST(morvale_convertor, profile_names_and_values_it_would_misread_are_refused_by_line) {
    const std::string long_name(65, 'n');
    const struct {
        std::string text, error;  // the error after "Profile <path>, line "
    } cases[] = {
        {"[Generic settings]\r\nsrc=shop\r\nmod=2\r\n",
         "3: unknown setting 'mod' in [Generic settings]."},
        {"[Generic settings]\r\nmode 2\r\n", "2: unknown setting 'mode 2' in [Generic settings]."},
        {"[Generic setings]\r\nmode=2\r\n", "1: unknown section [Generic setings]."},
        {"[MySQL settings]\r\nhots=db1\r\n", "2: unknown setting 'hots' in [MySQL settings]."},
        {"[Generic settings]\r\nonly definitions=no\r\n",
         "2: 'only definitions' takes 0 or 1, not 'no'."},
        {"[Generic settings]\r\nskip indexes=yes\r\n",
         "2: 'skip indexes' takes 0 or 1, not 'yes'."},
        {"[Generic settings]\r\nBLOB to text=true\r\n",
         "2: 'BLOB to text' takes 0 or 1, not 'true'."},
        {"[Generic settings]\r\nmode=12\r\n", "2: 'mode' takes 0, 1, 2 or 3, not '12'."},
        // A key given twice would leave the second unread, whatever its spelling.
        {"[Generic settings]\r\nmode=0\r\n\r\n[Generic settings]\r\nMode=2\r\n",
         "5: 'mode' is given a second time; line 2 gives it first."},
        {"[Selected Tables]\r\nt1\r\n" + long_name + "\r\n",
         "3: a name of 65 characters, '" + long_name.substr(0, 64) +
             "\u2026'; the server allows at most 64."},
        {"[Selected Views]\r\n" + long_name + "=\r\n",
         "2: a name of 65 characters, '" + long_name.substr(0, 64) +
             "\u2026'; the server allows at most 64."},
        {"[Generic settings]\r\ndest=/data/caf\xe9\r\n", "2: this line is not UTF-8 text."},
    };
    tmp_dir d;
    for (const auto& c : cases) {
        morvale_convertor conv;
        conv.set_source(L"kept");
        conv.set_mode(1);
        write_file_bytes(d.file("p.mvl"), c.text);
        EXPECT_EQ(
            error_of([&] { conv.load_profile_file(d.wpath() + L"/p.mvl"); }),
            std::pair(int{tk_kind_error}, "Profile " + d.file("p.mvl") + ", line " + c.error));
        // Nothing of the refused profile was taken.
        EXPECT_EQ(conv.source(), L"kept");
        EXPECT_EQ(conv.mode(), 1);
        EXPECT_TRUE(conv.selected_tables().empty());
    }
}

TEST(morvale_convertor, values_written_by_hand_are_read_without_blanks_tabs_and_crs_around_them) {
    // Blanks and tabs for alignment, and the CR of an editor that writes CR CR LF.
    morvale_convertor conv;
    ASSERT_TRUE(load_text(conv,
                          "[Generic settings]\r\n\tsrc\t=\t shop\r\r\ndest = /data/out \t\r\n"
                          "mode =\t2\r\nonly definitions = 1\r\r\nBLOB to text\t=1\t\r\n\t\r\n"
                          "[MySQL settings]\r\nhost= db1\t\r\nuser=\tann\r\npassword= pw\t\r\n"
                          "port = 3307\t\r\n[Selected Tables]\r\n\t \r\n\t t1 \t\r\nt2\r\r\n"));
    EXPECT_EQ(conv.source(), L"shop");
    EXPECT_EQ(conv.destination(), L"/data/out");
    EXPECT_EQ(conv.mode(), 2);
    EXPECT_TRUE(conv.only_definitions());
    EXPECT_TRUE(conv.blob_to_memo());
    EXPECT_EQ(conv.selected_tables(), (udb_pairs{{L"t1", L""}, {L"t2", L""}}));
    // The connection's words keep what follows the "="; the port is a number.
    EXPECT_EQ(conv.host(), " db1\t");
    EXPECT_EQ(conv.user(), "\tann");
    EXPECT_EQ(conv.password(), " pw\t");
    EXPECT_EQ(conv.port(), "3307");

    // A source or folder of blanks alone is none, and a quick launch says so.
    tmp_dir d;
    write_file_bytes(d.file("p.mvl"),
                     "[Generic settings]\r\nsrc= \t\r\ndest=\t\r\n[MySQL settings]\r\nhost=h\r\n");
    morvale_convertor quick;
    EXPECT_EQ(error_of([&] { quick.require_complete_profile(d.wpath() + L"/p.mvl"); }).second,
              "The profile cannot be run: it does not give the source database (src=) and the "
              "destination folder (dest=). Nothing was converted.");
}

TEST(morvale_convertor, known_names_match_in_any_case_and_saved_profiles_load_unchanged) {
    // As the wizard has always saved profiles, byte for byte.
    const std::string saved =
        "[Available Queries]\r\n\r\n"
        "[Generic settings]\r\nsrc=shop\r\ndest=/data/out\r\nlogfile=\r\nskip indexes=0\r\n"
        "only definitions=1\r\nmode=2\r\nBLOB to text=1\r\n\r\n"
        "[MySQL settings]\r\nhost=db1\r\nuser=ann\r\npassword=pw\r\nport=3307\r\n"
        "dump line break=0\r\ndump new version=1\r\ndump add lock to insert=1\r\n"
        "dump insert comments=1\r\ndump create database=0\r\ndump create table=1\r\n\r\n"
        "[Selected Tables]\r\nq1=SELECT 1\r\n" +
        std::string(64, 't') +
        "\r\nt2\r\n\r\n"
        "[Selected Views]\r\n\r\n";
    const std::string any_case =
        "[generic SETTINGS]\r\nSRC=shop\r\nDest=/data/out\r\nMode=2\r\nOnly Definitions=1\r\n"
        "blob to text=1\r\nskip indexes=\r\n"
        "[mysql settings]\r\nHOST=db1\r\nUser=ann\r\nPassword=pw\r\nPort=3307\r\n"
        "[selected tables]\r\nq1=SELECT 1\r\n" +
        std::string(64, 't') + "\r\nt2\r\n";
    for (const std::string& text : {saved, any_case}) {
        morvale_convertor c;
        ASSERT_TRUE(load_text(c, text)) << text;
        EXPECT_EQ(c.source(), L"shop");
        EXPECT_EQ(c.destination(), L"/data/out");
        EXPECT_EQ(c.mode(), 2);
        EXPECT_TRUE(c.only_definitions());
        EXPECT_FALSE(c.skip_indexes());
        EXPECT_TRUE(c.blob_to_memo());
        EXPECT_EQ(c.host(), "db1");
        EXPECT_EQ(c.user(), "ann");
        EXPECT_EQ(c.password(), "pw");
        EXPECT_EQ(c.port(), "3307");
        EXPECT_EQ(c.selected_tables(),
                  (udb_pairs{{L"q1", L"SELECT 1"}, {std::wstring(64, L't'), L""}, {L"t2", L""}}));
    }
}

TEST(morvale_convertor, a_profile_that_cannot_be_written_is_an_error) {
    morvale_convertor c;
    tmp_dir d;
    EXPECT_THROW(c.store_profile_file(d.wpath() + L"/missing/folder/p.ini"), tk_exception);
    EXPECT_FALSE(fs::exists(d.file("missing")));
}

TEST(morvale_convertor, connection_settings_are_kept_as_given_and_ports_must_be_ports) {
    morvale_convertor c;
    // Blanks may belong to a user name or a password; only the port loses them.
    c.store_mysql_settings("  db1 ", " ann", "   ", "");
    EXPECT_EQ(c.host(), "  db1 ");
    EXPECT_EQ(c.user(), " ann");
    EXPECT_EQ(c.password(), "   ");
    EXPECT_EQ(c.port(), "3306");
    c.store_mysql_settings("", "", " pass word ", " 3307 ");
    EXPECT_EQ(c.password(), " pass word ");
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

        // An existing folder is left as it is in every mode: mode 0 empties it when the
        // run starts, so that a run that cannot begin changes nothing.
        const std::string f = d.file("out");
        fs::create_directories(f + "/dir.dbf");
        for (const char* name : {"a.dbf", "ORDERS.DBF"})
            write_file_bytes(f + "/" + name, any_dbf_table());
        for (const char* name : {"ORDERS.FPT", "notes.txt", "x.cdx"})
            write_file_bytes(f + "/" + name, "x");
        fs::create_symlink(d.file("file"), f + "/link.dbf");
        c.set_destination(d.wpath() + L"/out");
        c.check_dest();
        EXPECT_TRUE(fs::exists(f + "/a.dbf"));
        EXPECT_TRUE(fs::exists(f + "/ORDERS.DBF"));
        EXPECT_TRUE(fs::exists(f + "/ORDERS.FPT"));
        EXPECT_TRUE(fs::exists(f + "/notes.txt"));
        EXPECT_TRUE(fs::exists(f + "/x.cdx"));
        EXPECT_TRUE(fs::is_directory(f + "/dir.dbf"));
        EXPECT_EQ(read_file_bytes(d.file("file")), "keep");  // a link's target survives
    }
}
