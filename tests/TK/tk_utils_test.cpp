#include "TK/tk_utils.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.hpp"
#include "tests/support/test_support.hpp"

TEST(tk_is_file_exist, modes_tell_files_folders_and_read_only_files_apart) {
    tmp_dir d;
    write_file_bytes(d.file("rw"), "x");
    write_file_bytes(d.file("ro"), "x");
    ::chmod(d.file("ro").c_str(), 0444);
    ::mkdir(d.file("dir").c_str(), 0755);
    struct {
        std::string name;
        bool file, writable, folder;
    } cases[] = {
        {"rw", true, true, false},
        {"ro", true, false, false},  // read-only by its bits, also for root
        {"dir", false, false, true},
        {"missing", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk_is_file_exist1(d.file(c.name), tk_exist_file), c.file) << c.name;
        EXPECT_EQ(tk_is_file_exist2(pt::utf8_decode(d.file(c.name)), tk_exist_writable), c.writable)
            << c.name;
        EXPECT_EQ(tk_is_path_exist(d.file(c.name)), c.folder) << c.name;
    }
    EXPECT_TRUE(tk_is_path_exist(std::string()));
    EXPECT_TRUE(tk_is_path_exist(std::wstring()));
}

TEST(tk_find_files, lists_matching_files_sorted_without_regard_to_case) {
    tmp_dir d;
    for (const char* n : {"b.DBF", "a.dbf", "c.Dbf", "notes.txt", "x.dbf_old", "\xc3\xa4.dbf"})
        write_file_bytes(d.file(n), "");
    ::mkdir(d.file("folder.dbf").c_str(), 0755);
    ::symlink(d.file("a.dbf").c_str(), d.file("link.dbf").c_str());
    ::symlink(d.file("folder.dbf").c_str(), d.file("dirlink.dbf").c_str());
    write_file_bytes(d.file("bad\xff.dbf"), "");  // not UTF-8: skipped
    std::vector<std::wstring> names;
    ASSERT_TRUE(tk_find_files(d.wpath(), L"*.dbf", names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.dbf", L"b.DBF", L"c.Dbf", L"link.dbf",
                                                L"\u00e4.dbf"}));
    ASSERT_TRUE(tk_find_files(d.wpath(), L"?.dbf", names));
    EXPECT_EQ(names.size(), 4u);
    EXPECT_FALSE(tk_find_files(d.wpath(), L"*.fpt", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(tk_find_files(d.wpath() + L"/missing", L"*", names));
}

TEST(tk_find_files, an_empty_folder_with_star_is_found_but_empty) {
    tmp_dir d;
    std::vector<std::wstring> names{L"stale"};
    EXPECT_TRUE(tk_find_files(d.wpath(), L"*", names));
    EXPECT_TRUE(names.empty());
}

TEST(tk_resolve_nocase, finds_companion_files_whatever_their_case) {
    tmp_dir d;
    write_file_bytes(d.file("SHOP.DBF"), "");
    write_file_bytes(d.file("SHOP.FPT"), "");
    write_file_bytes(d.file("\xc3\x84PFEL.dbf"), "");
    struct {
        std::wstring ask;
        std::optional<std::wstring> want;
    } cases[] = {
        {L"shop.fpt", L"SHOP.FPT"},
        {L"SHOP.DBF", L"SHOP.DBF"},
        {L"shop.dbt", std::nullopt},
        {L"\u00e4pfel.DBF", L"\u00c4PFEL.dbf"},
    };
    for (const auto& c : cases) EXPECT_EQ(tk_resolve_nocase(d.wpath(), c.ask), c.want);
    // An exact spelling wins when several exist.
    write_file_bytes(d.file("shop.fpt"), "");
    EXPECT_EQ(tk_resolve_nocase(d.wpath(), L"shop.fpt"), L"shop.fpt");
}

TEST(tk_has_write_access, tells_writable_folders) {
    tmp_dir d;
    EXPECT_TRUE(tk_has_write_access(d.path()));
    EXPECT_FALSE(tk_has_write_access(d.file("missing")));
    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    ::mkdir(d.file("ro").c_str(), 0555);
    EXPECT_FALSE(tk_has_write_access(d.file("ro")));
}

TEST(tk_temp_chdir, a_missing_folder_changes_nothing) {
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    {
        tk_temp_chdir c("/nonexistent-folder-for-test");
        EXPECT_FALSE(c.changed());
    }
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
    tmp_dir d;
    {
        tk_temp_chdir c(d.path());
        EXPECT_TRUE(c.changed());
    }
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}
