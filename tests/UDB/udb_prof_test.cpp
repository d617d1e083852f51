#include "UDB/udb_prof.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "platform/text.hpp"
#include "tests/support/file_faults.hpp"
#include "tests/support/test_support.hpp"

namespace {

std::wstring wide(const std::string& s) {
    return pt::utf8_decode(s);
}

udb_pairs pairs_of(const udb_profile& p, const std::wstring& section) {
    auto it = p.sections().find(section);
    return it == p.sections().end() ? udb_pairs{} : it->second;
}

}  // namespace

TEST(udb_profile, store_writes_the_documented_bytes_privately) {
    tmp_dir d;
    udb_profile p;
    p.set_value(udb_generic_settings, L"src", L"shop");
    p.selected_tables().emplace_back(L"t1", L"");
    p.store(wide(d.file("a.prf")));
    EXPECT_EQ(read_file_bytes(d.file("a.prf")),
              "[Available Queries]\r\n\r\n"
              "[Generic settings]\r\nsrc=shop\r\n\r\n"
              "[Selected Tables]\r\nt1\r\n\r\n"
              "[Selected Views]\r\n\r\n");
    struct stat st;
    ASSERT_EQ(::stat(d.file("a.prf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);  // it holds the password

    // Empty values elsewhere keep their "="; a query in Selected Tables keeps its text;
    // bare lines follow the pair sections.
    udb_profile q;
    q.set_value(L"MySQL settings", L"password", L"");
    q.selected_tables().emplace_back(L"q1", L"select 1");
    q.selected_views().emplace_back(L"v", L"");
    q.set_value(L"Generic settings", L"dest", L"/d/\u00e4");
    write_file_bytes(d.file("bare.prf"), "[Selected Tables]\nt2\n");
    ASSERT_TRUE(q.load(wide(d.file("bare.prf"))));
    q.store(wide(d.file("b.prf")));
    EXPECT_EQ(read_file_bytes(d.file("b.prf")),
              "[Available Queries]\r\n\r\n"
              "[Generic settings]\r\ndest=/d/\xc3\xa4\r\n\r\n"
              "[MySQL settings]\r\npassword=\r\n\r\n"
              "[Selected Tables]\r\nq1=select 1\r\nt2\r\n\r\n"
              "[Selected Views]\r\nv=\r\n\r\n"
              "[Selected Tables]\r\nt2\r\n");
}

TEST(udb_profile, load_parses_sections_pairs_and_bare_lines) {
    tmp_dir d;
    write_file_bytes(d.file("p.prf"),
                     "\r\n"
                     "[Generic settings]\r\n"
                     " key = a=b \r\n"
                     "src=shop\n"
                     "src=second\n"
                     "  \n"
                     "[ Tables ]\r\n"
                     "x=1\r\n"
                     "[Selected Tables]\n"
                     "  t2  \n"
                     "q=select * from t where a = 'x'\n"
                     "[Generic settings]\n"
                     "mode=2");  // last line without a line end
    udb_profile p;
    ASSERT_TRUE(p.load(wide(d.file("p.prf"))));
    EXPECT_EQ(
        pairs_of(p, udb_generic_settings),
        (udb_pairs{{L"key", L" a=b"}, {L"src", L"shop"}, {L"src", L"second"}, {L"mode", L"2"}}));
    EXPECT_EQ(p.get_value(udb_generic_settings, L"src"), L"shop");  // the first one
    EXPECT_EQ(p.get_value(udb_generic_settings, L"SRC"), L"");      // keys match exactly
    EXPECT_EQ(p.get_value(L"No such", L"src"), L"");
    EXPECT_EQ(pairs_of(p, L" Tables "), (udb_pairs{{L"x", L"1"}}));
    EXPECT_EQ(p.selected_tables(),
              (udb_pairs{{L"t2", L""}, {L"q", L"select * from t where a = 'x'"}}));
    ASSERT_EQ(p.bare_lines().size(), 1u);
    EXPECT_EQ(p.bare_lines().at(udb_selected_tables), std::vector<std::wstring>{L"  t2  "});
}

TEST(udb_profile, load_answers_false_for_content_before_the_first_section) {
    tmp_dir d;
    struct {
        const char* bytes;
        bool loaded;
        udb_pairs generic;  // what was read before a stop stays
    } cases[] = {
        {"x=1\n[Generic settings]\nsrc=a\n", false, {}},
        {"\n\nbare\n[Generic settings]\nsrc=a\n", false, {}},
        {"[Generic settings]\nsrc=a\n", true, {{L"src", L"a"}}},
        // A leading byte-order mark is skipped; anywhere else it is content.
        {"\xef\xbb\xbf[Generic settings]\nsrc=a\n", true, {{L"src", L"a"}}},
        {"\xef\xbb\xbf\r\n[Generic settings]\nsrc=a\n", true, {{L"src", L"a"}}},
        {"\xef\xbb\xbfx=1\n[Generic settings]\nsrc=a\n", false, {}},
        {"\n\xef\xbb\xbf[Generic settings]\nsrc=a\n", false, {}},
    };
    for (const auto& c : cases) {
        write_file_bytes(d.file("p.prf"), c.bytes);
        udb_profile p;
        EXPECT_EQ(p.load(wide(d.file("p.prf"))), c.loaded) << c.bytes;
        EXPECT_EQ(pairs_of(p, udb_generic_settings), c.generic) << c.bytes;
    }
}

TEST(udb_profile, lines_of_any_length_are_read) {
    tmp_dir d;
    const std::string query(200000, 'q');
    const std::string table(70000, 't');
    write_file_bytes(d.file("long.prf"), "[Selected Tables]\r\nlong=" + query + "\r\n" + table +
                                             "\r\n[Generic settings]\r\nsrc=s\r\n");
    udb_profile p;
    ASSERT_TRUE(p.load(wide(d.file("long.prf"))));
    EXPECT_EQ(p.selected_tables(), (udb_pairs{{L"long", wide(query)}, {wide(table), L""}}));
    EXPECT_EQ(p.get_value(udb_generic_settings, L"src"), L"s");
}

TEST(udb_profile, store_then_load_gives_back_the_same_sections_and_pairs) {
    tmp_dir d;
    udb_profile p;
    p.set_value(udb_generic_settings, L"src", L"shop");
    p.set_value(udb_generic_settings, L"dest", L"/data/\u0422\u0430\u0431 x");
    p.set_value(udb_generic_settings, L"logfile", L"");
    p.set_value(L"MySQL settings", L"password", L"  p=w ");
    p.selected_tables().emplace_back(L"t1", L"");
    p.selected_tables().emplace_back(L"q", L"select 1");
    p.available_queries().emplace_back(L"q", L"select 1");
    p.add_section(L"Empty");
    p.store(wide(d.file("r.prf")));
    udb_profile back;
    ASSERT_TRUE(back.load(wide(d.file("r.prf"))));
    // Leading blanks of a value stay; trailing ones do not survive a line's trim.
    auto expected = p.sections();
    expected[L"MySQL settings"] = {{L"password", L"  p=w"}};
    EXPECT_EQ(back.sections(), expected);
}

TEST(udb_profile, a_profile_that_cannot_be_read_is_an_error) {
    tmp_dir d;
    ::mkdir(d.file("folder.prf").c_str(), 0755);
    write_file_bytes(d.file("big.prf"), "[Generic settings]\n" + std::string(8 << 20, '\n'));
    const struct {
        std::string name, message;
    } cases[] = {
        {"missing.prf", "Profile does not exist. Please verify the correct path/name was given."},
        {"folder.prf", "Profile " + d.file("folder.prf") +
                           " is a folder, not a file.\nPlease verify the correct path/name was "
                           "given."},
        {"big.prf",
         "Profile " + d.file("big.prf") + " is too large: a profile holds at most 8 MB."},
    };
    for (const auto& c : cases) {
        udb_profile p;
        EXPECT_EQ(error_of([&] { p.load(wide(d.file(c.name))); }),
                  std::pair(int{tk_kind_error}, c.message));
    }
    if (geteuid() == 0) GTEST_SKIP() << "root may read anything";
    write_file_bytes(d.file("locked.prf"), "[Generic settings]\nsrc=a\n");
    ::chmod(d.file("locked.prf").c_str(), 0);
    udb_profile p;
    try {
        p.load(wide(d.file("locked.prf")));
        ADD_FAILURE() << "an unreadable profile loaded";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.kind(), tk_kind_error);
        EXPECT_EQ(e.message(),
                  "Cannot open profile " + d.file("locked.prf") + ": Permission denied");
    }
}

TEST(udb_profile, a_failed_store_is_an_error_and_leaves_the_old_profile_whole) {
    tmp_dir d;
    const std::string old = "[Generic settings]\r\nsrc=old\r\n\r\n";
    write_file_bytes(d.file("p.prf"), old);
    udb_profile big;
    big.set_value(udb_generic_settings, L"src", std::wstring(5000, L's'));

    std::string message;
    int32_t kind = -1;
    try {
        // The disk fills up part way through the write.
        file_fault_scope faults({.write_budget = 1000});
        big.store(wide(d.file("p.prf")));
    } catch (const tk_exception& e) {
        message = e.message();
        kind = e.kind();
    }
    EXPECT_EQ(kind, tk_kind_error);
    // What failed, then why, set apart.
    EXPECT_EQ(message, "Cannot write profile " + d.file("p.prf") + ": No space left on device");
    EXPECT_EQ(read_file_bytes(d.file("p.prf")), old);

    udb_profile p;
    EXPECT_THROW(p.store(wide(d.file("no/such/folder.prf"))), tk_exception);
}
