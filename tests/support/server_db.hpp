// A uniquely named database on the test server, dropped at the end of the test.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct st_mysql;

using sql_row = std::vector<std::optional<std::string>>;

class scratch_db {
  public:
    // The name is the prefix, the process id and a counter.
    explicit scratch_db(const std::string& prefix);
    ~scratch_db();
    scratch_db(const scratch_db&) = delete;
    scratch_db& operator=(const scratch_db&) = delete;

    const std::string& name() const { return name_; }
    // Runs one or more statements (separated by ';') in the database; throws
    // std::runtime_error with the server's text when one fails.
    void exec(const std::string& statements);
    // The rows of one query, NULL as nullopt.
    std::vector<sql_row> rows(const std::string& query);

  private:
    st_mysql* connection_ = nullptr;
    std::string name_;
};
