#include "TK/tk_fname.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text.hpp"
#include "tests/support/test_support.hpp"

TEST(tk_file_name, splits_and_joins_absolute_paths) {
    struct {
        std::string in, dir, name, ext, joined;
    } cases[] = {
        {"/data/dbf/shop.dbf", "/data/dbf/", "shop", ".dbf", "/data/dbf/shop.dbf"},
        {"/data/dbf/", "/data/dbf/", "", "", "/data/dbf/"},
        {"/data/a.b/file", "/data/a.b/", "file", "", "/data/a.b/file"},
        {"/data/archive.tar.gz", "/data/", "archive.tar", ".gz", "/data/archive.tar.gz"},
        {"/data/./x/../y.txt", "/data/", "y", ".txt", "/data/y.txt"},
        {"//data//z", "/data/", "z", "", "/data/z"},
        {"/", "/", "", "", "/"},
        {"/../..", "/", "", "", "/"},
        {"/data/C:\\dbf\\x", "/data/", "C:\\dbf\\x", "", "/data/C:\\dbf\\x"},
    };
    for (const auto& c : cases) {
        tk_file_name f(c.in);
        EXPECT_EQ(f.drive, "") << c.in;
        EXPECT_EQ(f.directory, c.dir) << c.in;
        EXPECT_EQ(f.name, c.name) << c.in;
        EXPECT_EQ(f.extension, c.ext) << c.in;
        EXPECT_EQ(f.make_path(), c.joined) << c.in;
        tk_file_wname w(pt::utf8_decode(c.in));
        EXPECT_EQ(w.make_path(), pt::utf8_decode(c.joined)) << c.in;
    }
}

TEST(tk_file_name, relative_paths_are_made_absolute_against_the_current_folder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    tk_file_name f("sub/t.dbf");
    EXPECT_EQ(f.get_drive_dir(), std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "sub/");
}

TEST(tk_file_name, empty_path_stands_for_the_program_with_empty_name) {
    tk_file_wname w(L"");
    std::wstring module = tk_get_module_file_name_w();
    EXPECT_EQ(w.name, L"");
    EXPECT_EQ(w.directory, tk_get_program_wfolder());
    EXPECT_THROW(tk_file_name(static_cast<const char*>(nullptr)), tk_mail_assertion);
}

TEST(tk_file_name, set_extension_adds_the_point) {
    tk_file_wname w(L"/a/b.dbf");
    w.set_extension(L"fpt");
    EXPECT_EQ(w.make_path(), L"/a/b.fpt");
    w.set_extension(L".cdx");
    EXPECT_EQ(w.make_path(), L"/a/b.cdx");
    w.set_extension(L"");
    EXPECT_EQ(w.make_path(), L"/a/b");
}

TEST(tk_make_full_path, replaces_the_folders_last_component) {
    EXPECT_EQ(tk_make_full_path(L"/dbf/", L"shop", L"dbf", false), L"/dbf/shop.dbf");
    EXPECT_EQ(tk_make_full_path(L"/dbf/old", L"shop", L".mvl", false), L"/dbf/shop.mvl");
    EXPECT_EQ(tk_make_full_path(L"/dbf/", L"keep", L"x", true), L"keep");
    EXPECT_EQ(tk_make_full_path(L"", L"shop", L"log", false),
              tk_get_program_wfolder() + L"shop.log");
}

TEST(common_create_path, creates_every_missing_level) {
    tmp_dir d;
    std::wstring base = d.wpath();
    struct {
        std::wstring rel;
        const char* check;
    } cases[] = {
        {L"/a/b/c", "a/b/c"},    {L"/a/b/c/", "a/b/c"},  // exists already: left alone
        {L"/x/y/", "x/y"},                               // trailing separator adds no level
        {L"/x/./z/../w", "x/w"}, {L"/\u00e4\u00f6/\u0416", "\xc3\xa4\xc3\xb6/\xd0\x96"},
    };
    for (const auto& c : cases) {
        common_create_path(base + c.rel);
        EXPECT_TRUE(tk_is_path_exist(d.file(c.check))) << c.check;
    }
    EXPECT_FALSE(tk_is_path_exist(d.file("x/z")));
}

TEST(common_create_path, a_file_in_the_way_is_named_as_no_folder) {
    tmp_dir d;
    write_file_bytes(d.file("f"), "x");
    for (const wchar_t* rel : {L"/f/sub", L"/f/sub/deeper"}) {
        try {
            common_create_path(d.wpath() + rel);
            ADD_FAILURE() << "created below a file";
        } catch (const tk_exception_ex& e) {
            EXPECT_EQ(e.kind(), 1);
            EXPECT_EQ(e.code(), static_cast<uint32_t>(ENOTDIR));
            EXPECT_STREQ(e.what(), (d.file("f") + ": Not a directory").c_str());
        }
    }
    // Folders made before a failure stay.
    common_create_path(d.wpath() + L"/ok");
    EXPECT_TRUE(tk_is_path_exist(d.file("ok")));
}
