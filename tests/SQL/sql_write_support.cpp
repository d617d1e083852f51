#include "tests/SQL/sql_write_support.hpp"

#include "platform/text.hpp"

void sql_write_test::SetUp() {
    sql_server_test::SetUp();
    if (!test_server::get().available) return;
    handler = std::make_unique<error_handler>(error_handler_code_count, error_handler_codes);
    reported_errors().clear();
    dst = make_database("dst");
    wdst = pt::utf8_decode(dst);
    auto created = engine->create_db(wdst);
    dest.reset(static_cast<sql_database*>(created.release()));
}

void sql_write_test::TearDown() {
    dest.reset();
    src.reset();
    handler.reset();
    sql_server_test::TearDown();
}

void sql_write_test::in_src(const std::string& statement) {
    admin->exec("USE " + quote_ident(db));
    admin->exec(statement);
}

void sql_write_test::in_dst(const std::string& statement) {
    admin->exec("USE " + quote_ident(dst));
    admin->exec(statement);
}

std::vector<std::unique_ptr<udb_record>> sql_write_test::read_table(sql_database& from,
                                                                    const std::wstring& table) {
    std::vector<std::unique_ptr<udb_record>> rows;
    auto t = from.get_table(table, 1);
    for (t->reset(); !t->is_eof(); t->next()) {
        const udb_record& r = *t->get_item();
        auto copy = std::make_unique<udb_record>();
        for (size_t i = 0; i < r.size(); ++i) copy->push_back(std::make_unique<udb_field>(r[i]));
        rows.push_back(std::move(copy));
    }
    return rows;
}

std::vector<std::unique_ptr<udb_record>> sql_write_test::copy_table(sql_database& from,
                                                                    const std::wstring& table) {
    auto rows = read_table(from, table);
    auto source = from.get_table(table, 1);
    auto target = dest->create_table(table, source->get_schema(), source->get_indexes());
    source.reset();
    for (const auto& r : rows) target->append_record(*r);
    target->flush();
    return rows;
}

long long sql_write_test::differing_rows(const std::string& src_table, const std::string& dst_table,
                                         const column_check& key,
                                         const std::vector<column_check>& columns) {
    const std::string s = quote_ident(db) + "." + quote_ident(src_table);
    const std::string d = quote_ident(dst) + "." + quote_ident(dst_table);
    EXPECT_EQ(admin->scalar("SELECT COUNT(*) FROM " + s),
              admin->scalar("SELECT COUNT(*) FROM " + d))
        << src_table;
    auto expr = [](const std::string& e, const std::string& qualified) {
        std::string out;
        for (char c : e) out += c == '$' ? qualified : std::string(1, c);
        return out;
    };
    std::string where;
    for (const auto& c : columns) {
        if (!where.empty()) where += " OR ";
        where += "NOT (" + expr(c.expr, "s." + quote_ident(c.src)) + " <=> " +
                 expr(c.expr, "d." + quote_ident(c.dst)) + ")";
    }
    return std::stoll(admin->scalar("SELECT COUNT(*) FROM " + s + " s LEFT JOIN " + d + " d ON s." +
                                    quote_ident(key.src) + " <=> d." + quote_ident(key.dst) +
                                    " WHERE " + where));
}

long long sql_write_test::differing_rows(
    const std::string& table, const std::string& key,
    const std::vector<std::pair<std::string, std::string>>& columns) {
    std::vector<column_check> checks;
    for (const auto& [column, e] : columns) checks.push_back({column, column, e});
    return differing_rows(table, table, {key, key, ""}, checks);
}

std::vector<std::string> sql_write_test::columns_of(const std::string& database,
                                                    const std::string& table) {
    std::vector<std::string> out;
    for (const auto& row : admin->rows("SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE "
                                       "TABLE_SCHEMA = " +
                                       quote_literal(database) + " AND TABLE_NAME = " +
                                       quote_literal(table) + " ORDER BY ORDINAL_POSITION"))
        out.push_back(row[0]);
    return out;
}

std::string sql_write_test::scalar_in_dst(const std::string& statement) {
    admin->exec("USE " + quote_ident(dst));
    return admin->scalar(statement);
}

std::unique_ptr<sql_table> sql_write_test::dest_table(const std::string& ddl,
                                                      const std::wstring& name, int32_t mode) {
    admin->exec("USE " + quote_ident(dst));
    admin->exec(ddl);
    auto reopened = engine->open_db(wdst, mode, L"");
    dest.reset(static_cast<sql_database*>(reopened.release()));
    return dest->get_sql_table(name, 2);
}

long long sql_write_test::session_status(sql_database& database, const wchar_t* name) {
    auto rs = database.query_rs(std::wstring(L"SHOW SESSION STATUS LIKE '") + name + L"'");
    long long value = -1;
    if (rs && !rs->is_eof()) value = std::stoll((*rs->get_item())[1].to_string());
    return value;
}

std::unique_ptr<udb_record> make_record(
    const std::vector<std::pair<std::wstring, ole_variant>>& fields) {
    auto r = std::make_unique<udb_record>();
    for (const auto& [name, value] : fields) {
        // A declared size of 0 would mark a value that was not read whole.
        uint32_t size = 1;
        if (const std::wstring* s = value.get_bstr(); s && !s->empty())
            size = static_cast<uint32_t>(s->size());
        r->push_back(std::make_unique<udb_field>(name, size, value));
    }
    return r;
}
