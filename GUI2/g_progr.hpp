// The page that runs the conversion on a worker thread and shows its progress.
#pragma once

#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_threa.hpp"
#include "UDB/udb_conv.hpp"

// The bar's value: the finished tables' share plus the current table's share of one
// table, 0 to 100.
unsigned progress_percent(const udb_progress& p);

// "Processing table '%s'", or empty before the first table.
std::wstring progress_status(const udb_progress& p);

// The records of the table in work: "82,432 of 200,000 records", or the records so far
// while the table's count is not known; empty before the first table and before its
// first record.
std::wstring progress_records(const udb_progress& p);

class progress_page : public wizard_page<107, 3, page_has_help>, public tk_thread {
  public:
    progress_page(const std::wstring& title, const std::wstring& subtitle);
    ~progress_page() override;

    bool page_init() override;
    void on_timer() override;
    void on_help() override;
    // Yes stops the run, unless the run ended while the question was open.
    bool on_cancel() override;

  protected:
    tk_thread_functor* create_functor() override;

  private:
    void report_worker_end();
    // The records beside the bar, with room for the widest text of the table.
    void show_records(const QString& text, const QString& widest);
};
