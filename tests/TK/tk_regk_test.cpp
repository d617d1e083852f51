#include "TK/tk_regk.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "TK/tk_except.hpp"
#include "platform/settings.hpp"
#include "tests/support/test_support.hpp"

namespace {

// Points an environment variable elsewhere for one test.
class scoped_env {
  public:
    scoped_env(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~scoped_env() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

const char* const key_path = "Software\\Quillmark\\Torvane";

mode_t file_mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

struct settings_fixture : ::testing::Test {
    tmp_dir dir;
    scoped_env xdg{"XDG_CONFIG_HOME", dir.path().c_str()};
    std::string conf = dir.path() + "/Quillmark/Torvane.conf";

    // A serializer whose key is open, as the wizard's converter opens it.
    std::unique_ptr<tk_serializer> open_serializer() {
        auto s = std::make_unique<tk_serializer>(key_path);
        EXPECT_EQ(s->key().create(tk_hkey_current_user, s->key_path().c_str()), tk_reg_ok);
        return s;
    }
};

}  // namespace

TEST(settings_file_for_key, maps_key_paths_into_the_config_folder_and_refuses_escapes) {
    tmp_dir d;
    scoped_env xdg("XDG_CONFIG_HOME", d.path().c_str());
    struct {
        const char* key;
        std::string file;
    } cases[] = {
        {"Software\\Quillmark\\Torvane", d.path() + "/Quillmark/Torvane.conf"},
        {"software\\Quillmark", d.path() + "/Quillmark.conf"},
        {"Quillmark\\Torvane", d.path() + "/Quillmark/Torvane.conf"},
        {"Software", ""},
        {"", ""},
        {"Software\\..\\x", ""},
        {"Software\\.", ""},
        {"Software\\a/b", ""},
        {"Software\\\\x", ""},
        {"\\Software\\x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(pt::settings_file_for_key(c.key), c.file) << c.key;

    // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
    scoped_env rel("XDG_CONFIG_HOME", "relative/dir");
    scoped_env home("HOME", d.path().c_str());
    EXPECT_EQ(pt::settings_file_for_key(key_path), d.path() + "/.config/Quillmark/Torvane.conf");
}

TEST_F(settings_fixture, create_makes_a_private_file_once_and_reports_what_it_found) {
    tk_reg_key key;
    uint32_t disposition = 0;
    ASSERT_EQ(key.create(tk_hkey_current_user, key_path, &disposition), tk_reg_ok);
    EXPECT_EQ(disposition, tk_reg_created_new_key);
    EXPECT_TRUE(key.is_open());
    EXPECT_EQ(file_mode(conf), 0600u);
    EXPECT_EQ(read_file_bytes(conf), "");

    tk_reg_key again;
    ASSERT_EQ(again.create(tk_hkey_current_user, key_path, &disposition), tk_reg_ok);
    EXPECT_EQ(disposition, tk_reg_opened_existing_key);

    // A subkey of an open key lives in a file of its own below the key's folder.
    tk_reg_key sub;
    ASSERT_EQ(sub.create(key.handle(), "Recent", nullptr), tk_reg_ok);
    EXPECT_EQ(file_mode(dir.path() + "/Quillmark/Torvane/Recent.conf"), 0600u);

    // A path that names no file fails and keeps the key held before.
    EXPECT_EQ(again.create(tk_hkey_current_user, "Software\\..\\..\\etc", nullptr),
              tk_reg_invalid_parameter);
    EXPECT_TRUE(again.is_open());
    EXPECT_EQ(again.handle()->path, key_path);

    EXPECT_THROW(key.create(nullptr, key_path), tk_mail_assertion);
    EXPECT_EQ(key.close_key(), tk_reg_ok);
    EXPECT_FALSE(key.is_open());
}

TEST_F(settings_fixture, serializer_follows_the_missing_empty_and_boolean_rules) {
    auto s = open_serializer();
    std::string narrow = "kept";
    std::wstring wide = L"kept";
    bool flag = true;
    // Missing values: false, and the settings stay as they are.
    EXPECT_FALSE(s->serialize(narrow, "host", false));
    EXPECT_FALSE(s->serialize(wide, L"dest", false));
    EXPECT_FALSE(s->serialize(flag, "blob2memo", false));
    EXPECT_EQ(narrow, "kept");
    EXPECT_EQ(wide, L"kept");
    EXPECT_TRUE(flag);

    // Present but empty texts load as empty texts.
    write_file_bytes(conf, "host=text:\nsrc=text:\nblob2memo=dword:7\ntab_def=dword:0\n");
    EXPECT_TRUE(s->serialize(narrow, "host", false));
    EXPECT_EQ(narrow, "");
    EXPECT_TRUE(s->serialize(wide, L"src", false));
    EXPECT_EQ(wide, L"");

    // A Boolean loads as "not 0" and is stored back as 0 or 1.
    flag = false;
    EXPECT_TRUE(s->serialize(flag, "blob2memo", false));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(s->serialize(flag, "tab_def", false));
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_TRUE(s->serialize(flag, "blob2memo", true));
    EXPECT_EQ(read_file_bytes(conf), "host=text:\nsrc=text:\nblob2memo=dword:1\ntab_def=dword:0\n");

    // A value of the other type is no value: false, setting unchanged.
    narrow = "kept";
    flag = true;
    EXPECT_FALSE(s->serialize(narrow, "blob2memo", false));
    EXPECT_FALSE(s->serialize(flag, "host", false));
    EXPECT_EQ(narrow, "kept");
    EXPECT_TRUE(flag);

    // Value names ignore case, as registry names do.
    EXPECT_TRUE(s->serialize(flag, "BLOB2MEMO", false));
}

TEST_F(settings_fixture, texts_survive_a_store_and_load_whatever_they_hold) {
    const std::string password = "p=ss\\word\r\nline two \xc3\xa4";
    const std::wstring folder = L"/data/\u0422\u0430\u0431\u043b\u0438\u0446\u0430 x=y";
    {
        auto s = open_serializer();
        std::string p = password, port = "3307";
        std::wstring f = folder;
        bool b = true;
        EXPECT_TRUE(s->serialize(p, "pswd", true));
        EXPECT_TRUE(s->serialize(port, "port", true));
        EXPECT_TRUE(s->serialize(f, L"dest", true));
        EXPECT_TRUE(s->serialize(b, "blob2memo", true));
        port = "3308";  // an update replaces the value in place
        EXPECT_TRUE(s->serialize(port, "port", true));
    }
    EXPECT_EQ(file_mode(conf), 0600u);
    auto s = open_serializer();
    std::string p, port;
    std::wstring f;
    bool b = false;
    EXPECT_TRUE(s->serialize(p, "pswd", false));
    EXPECT_TRUE(s->serialize(port, "port", false));
    EXPECT_TRUE(s->serialize(f, L"dest", false));
    EXPECT_TRUE(s->serialize(b, "blob2memo", false));
    EXPECT_EQ(p, password);
    EXPECT_EQ(port, "3308");
    EXPECT_EQ(f, folder);
    EXPECT_TRUE(b);
    // One line per value, in the order first written.
    std::string bytes = read_file_bytes(conf);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4);
    EXPECT_EQ(bytes.rfind("pswd=text:p=ss\\\\word\\r\\nline two \xc3\xa4\n", 0), 0u) << bytes;
}

TEST_F(settings_fixture, lines_it_cannot_read_are_kept_and_a_stray_mode_is_tightened) {
    ASSERT_EQ(open_serializer()->key().close_key(), tk_reg_ok);
    write_file_bytes(conf, "# written by hand\nodd line\nport=text:3306\nbad=dword:x\n");
    ::chmod(conf.c_str(), 0644);
    auto s = open_serializer();
    std::string port = "1";
    EXPECT_TRUE(s->serialize(port, "port", false));
    EXPECT_EQ(port, "3306");
    std::string host = "h";
    EXPECT_TRUE(s->serialize(host, "host", true));
    EXPECT_EQ(read_file_bytes(conf),
              "# written by hand\nodd line\nport=text:3306\nbad=dword:x\nhost=text:h\n");
    EXPECT_EQ(file_mode(conf), 0600u);
}

TEST_F(settings_fixture, raw_key_operations_report_sizes_and_refuse_broken_calls) {
    tk_reg_key key;
    ASSERT_EQ(key.create(tk_hkey_current_user, key_path), tk_reg_ok);
    ASSERT_EQ(key.set_value("abc", "host"), tk_reg_ok);
    ASSERT_EQ(key.set_value(L"\u00e4", L"dest"), tk_reg_ok);
    ASSERT_EQ(key.set_value(7u, "n"), tk_reg_ok);

    uint32_t size = 0;
    EXPECT_EQ(key.get_value(static_cast<char*>(nullptr), "host", &size), tk_reg_ok);
    EXPECT_EQ(size, 4u);  // with the terminating zero
    char small[2];
    size = sizeof small;
    EXPECT_EQ(key.get_value(small, "host", &size), tk_reg_more_data);
    EXPECT_EQ(size, 4u);
    char buf[8];
    size = sizeof buf;
    EXPECT_EQ(key.get_value(buf, "host", &size), tk_reg_ok);
    EXPECT_STREQ(buf, "abc");
    wchar_t wbuf[4];
    size = sizeof wbuf;
    EXPECT_EQ(key.get_value(wbuf, L"dest", &size), tk_reg_ok);
    EXPECT_EQ(size, 2 * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(wbuf), L"\u00e4");
    uint32_t n = 0;
    EXPECT_EQ(key.get_value(n, "n"), tk_reg_ok);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(key.get_value(n, "host"), tk_reg_invalid_data);
    EXPECT_EQ(key.get_value(n, "missing"), tk_reg_not_found);

    struct {
        std::function<void()> call;
        int line;
    } broken[] = {
        {[&] { key.get_value(n, nullptr); }, 98},
        {[&] { key.get_value(buf, nullptr, &size); }, 115},
        {[&] { key.get_value(buf, "host", nullptr); }, 116},
        {[&] { key.get_value(wbuf, nullptr, &size); }, 132},
        {[&] { key.get_value(wbuf, L"dest", nullptr); }, 133},
        {[&] { key.set_value(static_cast<const char*>(nullptr), "x"); }, 156},
        {[&] { key.set_value(static_cast<const wchar_t*>(nullptr), L"x"); }, 164},
        {[&] { tk_reg_key().set_value(1u, "x"); }, 149},
        {[&] { tk_reg_key().set_value("t", "x"); }, 157},
        {[&] { tk_reg_key().set_value(L"t", L"x"); }, 165},
    };
    for (const auto& b : broken) {
        try {
            b.call();
            ADD_FAILURE() << "no assertion for line " << b.line;
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.message(), make_err_meggase("tk_regk.cpp", b.line));
        }
    }
    // Reading without an open key is a failure, not a crash.
    EXPECT_EQ(tk_reg_key().get_value(n, "n"), tk_reg_invalid_handle);
}

TEST_F(settings_fixture, without_an_open_key_or_a_usable_folder_nothing_is_loaded_or_stored) {
    tk_serializer closed(key_path);
    bool flag = true;
    std::string text = "t";
    EXPECT_FALSE(closed.serialize(flag, "blob2memo", true));
    EXPECT_FALSE(closed.serialize(text, "host", false));
    EXPECT_FALSE(std::filesystem::exists(conf));  // nothing touched the store

    if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
    ::chmod(dir.path().c_str(), 0500);
    tk_serializer s(key_path);
    EXPECT_EQ(s.key().create(tk_hkey_current_user, key_path), tk_reg_access_denied);
    EXPECT_FALSE(s.serialize(flag, "blob2memo", true));
    ::chmod(dir.path().c_str(), 0700);
}

TEST_F(settings_fixture, a_path_that_is_no_regular_file_is_neither_read_nor_replaced) {
    namespace fs = std::filesystem;
    const struct {
        const char* what;
        std::function<void()> make;
        const char* reason;
    } cases[] = {
        {"a folder", [&] { fs::create_directory(conf); }, "Is a directory"},
        {"a FIFO", [&] { ::mkfifo(conf.c_str(), 0600); },
         "Is a FIFO (named pipe), not a regular file"},
        {"a link to a device", [&] { fs::create_symlink("/dev/null", conf); },
         "Is a link to a device, not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(conf);
        // The key was opened on a settings file that something else then took the place of.
        tk_reg_key key;
        ASSERT_EQ(key.create(tk_hkey_current_user, key_path), tk_reg_ok);
        fs::remove(conf);
        c.make();
        const fs::file_type type = fs::symlink_status(conf).type();
        auto tried = std::async(std::launch::async, [&key] {
            uint32_t n = 0;
            return std::pair(key.get_value(n, "n"), key.set_value(1u, "n"));
        });
        if (tried.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the settings waited on the FIFO";
            // A writer lets each waiting open go on.
            while (tried.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
                ::close(::open(conf.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_EQ(tried.get(), std::pair(long{tk_reg_io_error}, long{tk_reg_io_error}));
        EXPECT_EQ(key.error(), EISDIR);
        EXPECT_EQ(fs::symlink_status(conf).type(), type);  // not replaced by a file
        EXPECT_EQ(key.create(tk_hkey_current_user, key_path), tk_reg_io_error);
        EXPECT_EQ(pt::settings_error_text(conf, key.error()), c.reason);
    }
    EXPECT_EQ(pt::settings_error_text(conf, EACCES), "Permission denied");
}
