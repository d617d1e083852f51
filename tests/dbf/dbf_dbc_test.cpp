// Long field names from a Visual FoxPro database container.
#include <gtest/gtest.h>

#include "dbf/dbf_dbc.hpp"
#include "tests/dbf/dbf_test_util.hpp"

namespace {

std::string row(bool deleted, uint32_t id, uint32_t parent, const std::string& type,
                const std::string& name) {
    std::string r(deleted ? "*" : " ");
    r += le32s(id) + le32s(parent);
    r += type + std::string(10 - type.size(), ' ');
    r += name + std::string(128 - name.size(), ' ');
    return r;
}

std::string back_link(const std::string& path) {
    return path + std::string(263 - path.size(), '\0');
}

const std::vector<raw_field> container_fields = {
    {"OBJECTID", 'I', 4}, {"PARENTID", 'I', 4}, {"OBJECTTYPE", 'C', 10}, {"OBJECTNAME", 'C', 128}};

std::vector<std::wstring> names_of(const udb_recordset& t) {
    std::vector<std::wstring> names;
    for (size_t i = 0; i < t.get_schema().size(); ++i) names.push_back(t.get_schema()[i].name);
    return names;
}

}  // namespace

TEST(dbf_container, long_field_names_come_from_the_container) {
    dbf_folder f;
    write_file_bytes(
        f.file("Shop.DBC"),
        build_dbf(0x30, container_fields,
                  {row(false, 1, 1, "Database", "shop"), row(false, 5, 1, "Table", "orders"),
                   // Deleted objects stay until the container is packed.
                   row(true, 6, 5, "Field", "customer_nonsense"),
                   row(false, 7, 5, "Field", "customer_number"),
                   row(false, 8, 5, "Field", "customer_name"),
                   row(false, 9, 5, "field", "CUSTOMER_NUMBER"),
                   row(false, 10, 99, "Field", "orphan_field_name")},
                  0x07, 0, back_link("")));
    write_file_bytes(f.file("shop.dct"), empty_fpt());
    std::vector<raw_field> fields = {
        {"CUSTOMER_N", 'C', 5}, {"CUSTOMER_2", 'C', 5}, {"OTHER", 'C', 1}};
    // Only the base name of the back-link counts, found in the table's own folder.
    write_file_bytes(f.file("ORDERS.dbf"),
                     build_dbf(0x30, fields, {}, 0, 0, back_link("..\\..\\elsewhere\\shop.dbc")));
    write_file_bytes(f.file("items.dbf"), build_dbf(0x30, fields, {}, 0, 0, back_link("SHOP.DBC")));

    dbf_database& db = f.open();
    auto orders = db.get_table(L"orders", udb_open_read);
    EXPECT_EQ(names_of(*orders),
              (std::vector<std::wstring>{L"customer_number", L"customer_name", L"OTHER"}));
    dbf_dbc* dbc = db.get_dbc();
    ASSERT_NE(dbc, nullptr);
    auto items = db.get_table(L"items", udb_open_read);
    EXPECT_EQ(db.get_dbc(), dbc);  // read once
    EXPECT_EQ(names_of(*items),
              (std::vector<std::wstring>{L"CUSTOMER_N", L"CUSTOMER_2", L"OTHER"}));
    EXPECT_TRUE(reported_errors().empty());
}

TEST(dbf_container, back_links_are_never_followed_in_a_circle_or_outside_the_folder) {
    dbf_folder f;
    std::vector<raw_field> fields = {{"A", 'C', 1}};
    // A table that names itself as its container, and one that names a folder outside.
    write_file_bytes(f.file("loop.dbf"),
                     build_dbf(0x30, fields, {" x"}, 0, 0, back_link("loop.dbf")));
    tmp_dir outside;
    write_file_bytes(outside.file("far.dbc"),
                     build_dbf(0x30, container_fields, {}, 0x04, 0, back_link("")));
    std::string escape = outside.path() + "/far.dbc";
    write_file_bytes(f.file("esc.dbf"), build_dbf(0x30, fields, {}, 0, 0, back_link(escape)));
    dbf_database& db = f.open();
    auto esc = db.get_table(L"esc", udb_open_read);
    EXPECT_EQ(db.get_dbc(), nullptr);
    auto loop = db.get_table(L"loop", udb_open_read);
    ASSERT_NE(db.get_dbc(), nullptr);
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].kind, 0);
    EXPECT_EQ(reported_errors()[0].message,
              f.file("loop.dbf") + ": Database container has fewer than four columns");
    EXPECT_EQ(names_of(*loop), std::vector<std::wstring>{L"A"});
    // A back-link is read only in Visual FoxPro tables.
    write_file_bytes(f.file("plain.dbf"), build_dbf(0x03, fields, {}, 0, 0, back_link("x.dbc")));
    EXPECT_NO_THROW(db.get_table(L"plain", udb_open_read));
}
