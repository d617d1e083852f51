// A row larger than the server's largest packet is refused before anything is sent.
// The test changes a global setting, so it runs alone.
#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "tests/SQL/sql_write_support.hpp"

namespace {

using sql_write_packet = sql_write_test;

}  // namespace

TEST_F(sql_write_packet, a_row_beyond_max_allowed_packet_is_refused_before_it_is_sent) {
    REQUIRE_TEST_SERVER();
    const std::string saved = admin->scalar("SELECT @@GLOBAL.max_allowed_packet");
    admin->exec("SET GLOBAL max_allowed_packet = 2097152");
    struct restore {
        admin_connection& admin;
        std::string value;
        ~restore() { admin.exec("SET GLOBAL max_allowed_packet = " + value); }
    } restore_packet{*admin, saved};
    const auto& s = test_server::get();
    engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
    EXPECT_EQ(engine->get_max_allowed_packet(), 2097152u);

    auto t = dest_table("CREATE TABLE big (id INT, body LONGTEXT)", L"big");
    const long long inserts = session_status(*dest, L"Com_insert");
    try {
        t->append_record(
            *make_record({{L"id", 1}, {L"body", ole_variant(std::wstring(3000000, L'x'))}}));
        ADD_FAILURE() << "a 3 MB row is refused";
    } catch (const tk_exception& e) {
        EXPECT_EQ(std::string(e.what()), "Row size exceeds 'max_allowed_packet'");
        EXPECT_EQ(e.kind(), 0);
    }
    EXPECT_EQ(session_status(*dest, L"Com_insert"), inserts);
    EXPECT_EQ(session_status(*dest, L"Com_stmt_execute"), 0);
    // A long value below the limit still goes, as long data.
    t->append_record(
        *make_record({{L"id", 2}, {L"body", ole_variant(std::wstring(1500000, L'y'))}}));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(CONCAT(id, ':', CHAR_LENGTH(body))) FROM big"),
              "2:1500000");
}
