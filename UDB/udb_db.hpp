// One open database of an engine, and the engine that opens databases.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UDB/udb_idx.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_rs.hpp"

// Open modes, one bit set shared by both engines and the driver.
constexpr int32_t udb_open_read = 0x01;
constexpr int32_t udb_open_overwrite_db = 0x04;  // the DBF destination in mode 0
constexpr int32_t udb_open_append = 0x08;        // an existing DBF table opened for appending
constexpr int32_t udb_open_no_keys = 0x20;
constexpr int32_t udb_open_no_indexes = 0x40;
constexpr int32_t udb_open_no_views = 0x80;
constexpr int32_t udb_open_replace_rows = 0x100;

// Selects the form of `query` that runs a statement without a result set.
struct udb_no_result_t {};
inline constexpr udb_no_result_t udb_no_result{};

using udb_view_list = std::vector<std::pair<std::wstring, std::wstring>>;

class udb_database {
  public:
    udb_database(const std::wstring& name, int32_t open_mode, int32_t case_sensitive);
    virtual ~udb_database();
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    // Not supported by any engine here.
    virtual void create_table(const std::wstring& name, const std::wstring& partition);
    // The new table (or the existing one, opened for appending), owned by the caller.
    virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                        const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    virtual void create_indexes(const std::wstring& table, int32_t argument,
                                const udb_indexes& indexes);
    virtual void create_views(const udb_view_list& views) { (void)views; }
    // Removes the first matching name from the table list; the engines delete the table.
    virtual bool delete_tab(const std::wstring& name);
    virtual void empty_table(const std::wstring& name);
    virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                                     const std::wstring& query) = 0;
    virtual void clear_name_list(std::vector<std::wstring>& names) { names.clear(); }
    virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int32_t mode) = 0;
    // A statement with a result set; unsupported in the base (internal error).
    virtual std::unique_ptr<udb_recordset> query(const std::wstring& text);
    // A statement without a result set: true when it was accepted.
    virtual bool query(const std::wstring& text, udb_no_result_t) = 0;
    virtual void create_relationships(const std::vector<udb_relationship>& relationships) {
        (void)relationships;
    }
    virtual std::vector<std::wstring>& get_table_names() { return table_names_; }
    virtual bool is_table_exist(const std::wstring& name);

    const std::wstring& get_name() const { return name_; }
    int32_t get_open_mode() const { return open_mode_; }
    int32_t get_case_sensitive() const { return case_sensitive_; }
    udb_view_list& get_views() { return views_; }
    udb_names_map& get_names_map() { return names_map_; }
    std::vector<udb_relationship>& get_relationships() { return relationships_; }

  protected:
    // Table names compare without regard to case unless the database says otherwise.
    bool same_table_name(const std::wstring& a, const std::wstring& b) const;
    // What create_indexes asks for each index; no engine creates indexes this way.
    virtual void create_index(const std::wstring& table, int32_t argument, const udb_index& index) {
        (void)table, (void)argument, (void)index;
    }

    int32_t open_mode_;
    std::wstring name_;
    int32_t case_sensitive_;
    udb_view_list views_;
    std::vector<std::wstring> table_names_;
    udb_names_map names_map_;
    std::vector<udb_relationship> relationships_;
};

class udb_engine {
  public:
    udb_engine() = default;
    virtual ~udb_engine() = default;
    udb_engine(const udb_engine&) = delete;
    udb_engine& operator=(const udb_engine&) = delete;

    // The new database, owned by the caller.
    virtual std::unique_ptr<udb_database> create_db(const std::wstring& name) = 0;
    virtual std::unique_ptr<udb_database> open_db(const std::wstring& name, int32_t open_mode,
                                                  const std::wstring& text) = 0;
    // The base deletes a file of that name.
    virtual void db_delete(const std::wstring& name);
    virtual bool is_db_exist(const std::wstring& name);
    virtual void set_properties(void* properties) { properties_ = properties; }

  protected:
    void* properties_ = nullptr;
};
