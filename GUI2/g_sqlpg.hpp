// The MySQL connection page: Local or Remote, user, password, host and port. Next
// connects, and the wizard goes on only once the server took the connection.
#pragma once

#include <functional>
#include <string>

#include "GUI2/g_wiz_pg.hpp"

class mysql_converter_impl;
class sql_exception;

// What the connection page says of a connection that failed: the fixed text for its
// code (a failure of the client library's own, which has none, gets the text for a
// server that cannot be reached), then the host and port it went to and the message
// of the client library or the server.
std::wstring connection_failure_text(const sql_exception& e, const std::string& host,
                                     const std::string& port);

// Connects with the converter's settings off the window's thread, while a small window
// over `owner` (none: on its own) says so with Cancel, and then runs `then` there too
// (the quick launch checks its source database). False when Cancel, closing the small
// window or the program's end stopped the wait; the connection is then of no use. A
// failure of either is raised here.
bool connect_while_waiting(mysql_converter_impl& conv, QWidget* owner,
                           const std::function<void()>& then = {});
// The same for other work on the server (listing its databases or tables), saying
// `text`; after a wait that was cancelled the connection is made again first. False
// when the wait was cancelled.
bool wait_on_server(mysql_converter_impl& conv, QWidget* owner, const char* text,
                    const std::function<void()>& work, bool connect = false);

class sql_settings_page : public wizard_page<123, 3, page_has_help> {
  public:
    sql_settings_page(const std::wstring& title, const std::wstring& subtitle, int help_topic,
                      int auth_topic);

    bool page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;
    // Local mode stores an empty host and port 3306, whatever the edits hold.
    void store_settings();

  protected:
    void on_command(int id) override;
    // The converter's connection settings (a missing converter is an internal error,
    // at the line that activation and the other steps each report).
    virtual mysql_converter_impl& settings(bool at_init) = 0;

  private:
    void enable_remote(bool on);
    bool remote() const;
    int help_topic_, auth_topic_;
};

template <class Converter, int HelpTopic, int AuthTopic>
class sql_settings_page2 : public sql_settings_page {
  public:
    sql_settings_page2(const std::wstring& title, const std::wstring& subtitle)
        : sql_settings_page(title, subtitle, HelpTopic, AuthTopic) {}

  protected:
    mysql_converter_impl& settings(bool at_init) override {
        return at_init ? Converter::instance() : Converter::get_instance();
    }
};
