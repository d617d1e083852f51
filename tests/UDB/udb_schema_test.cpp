#include <gtest/gtest.h>

#include "UDB/udb_db.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_rs.hpp"
#include "UDB/udb_rule.hpp"

namespace {

t_ftd col(VARTYPE vt, int32_t size, const wchar_t* name = L"c") {
    return t_ftd(size, name, vt, false, false);
}

// A recordset over a given schema, for the base operations.
class test_rs : public udb_recordset {
  public:
    test_rs() : udb_recordset(nullptr, L"t", true) {}
    void append_record(const udb_record&) override {}
};

class test_db : public udb_database {
  public:
    explicit test_db(int32_t case_sensitive) : udb_database(L"db", 1, case_sensitive) {}
    std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                                const udb_indexes&) override {
        return nullptr;
    }
    using udb_database::create_table;
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&) override {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring&, int32_t) override {
        return nullptr;
    }
    using udb_database::query;
    bool query(const std::wstring&, udb_no_result_t) override { return false; }
};

}  // namespace

TEST(t_ftd, conformance_of_source_to_destination_columns) {
    struct {
        t_ftd src, dest;
        bool want;
    } cases[] = {
        {col(VT_DECIMAL, 10), col(VT_CY, 8), true},
        {col(VT_CY, 8), col(VT_DECIMAL, 10), true},
        {col(VT_BSTR, 19), col(VT_DATE, 8), true},
        {col(VT_BSTR, 20), col(VT_DATE, 8), false},
        {col(VT_DATE, 8), col(VT_DATE, 8), true},
        {col(VT_BSTR, 100), col(VT_BSTR, 50), false},
        {col(VT_BSTR, 100), col(VT_BSTR, 0), true},
        {col(VT_BSTR, 100), col(VT_BSTR, 65535), true},
        {col(VT_BSTR, 50), col(VT_BSTR, 100), true},
        {col(VT_INT, 4), col(VT_I4, 4), false},
        {col(VT_UI8, 8), col(VT_I4, 4), true},
        {col(VT_BOOL, 1), col(VT_R8, 8), true},
        {col(VT_BSTR, 5), col(VT_I4, 4), false},
        {col(VT_UI1_ARRAY, 10), col(VT_BSTR, 100), false},
        {col(VT_I4, 4), col(VT_UI1_ARRAY, 10), true},
        {col(VT_BSTR, 20), col(VT_UI1_ARRAY, 10), false},
        {col(VT_BLOB, 10), col(VT_UI1_ARRAY, 0), true},
        {col(VT_I4, 4), col(VT_BSTR, 10), true},
        {col(VT_I4, 4), col(VT_EMPTY, 0), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.src.conform_to(c.dest), c.want)
            << c.src.vartype << "/" << c.src.size << " -> " << c.dest.vartype << "/" << c.dest.size;
}

TEST(udb_schema, conformance_by_position_and_by_name) {
    udb_schema src, dest, other_len, renamed;
    src.push_back(col(VT_I4, 4, L"id"));
    src.push_back(col(VT_BSTR, 30, L"name"));
    dest.push_back(col(VT_I4, 4, L"ID"));
    dest.push_back(col(VT_BSTR, 40, L"Name"));
    other_len.push_back(col(VT_I4, 4, L"id"));
    renamed.push_back(col(VT_BSTR, 40, L"name"));
    renamed.push_back(col(VT_I4, 4, L"other"));
    EXPECT_TRUE(src.conform_to(dest, false));
    EXPECT_TRUE(src.conform_to(dest, true));
    EXPECT_FALSE(src.conform_to(other_len, false));
    EXPECT_FALSE(src.conform_to(renamed, true));   // "id" is missing
    EXPECT_FALSE(src.conform_to(renamed, false));  // numeric into text of 40: ok; text into I4: no
}

TEST(udb_schema, lookups_ignore_case_and_missing_names_give_defaults) {
    udb_schema s;
    s.push_back(col(VT_I4, 4, L"id"));
    s.push_back(col(VT_BSTR, 30, L"\u00c4rger"));
    EXPECT_TRUE(s.find_field(L"ID"));
    EXPECT_TRUE(s.find_field(L"\u00e4RGER"));
    EXPECT_EQ(s.get_field2(L"Id").size, 4);
    EXPECT_EQ(s.get_field_size(L"\u00e4rger"), 30u);
    EXPECT_FALSE(s.find_field(L"missing"));
    EXPECT_EQ(s.get_field1(L"missing").vartype, VT_EMPTY);
    EXPECT_EQ(s.get_field1(L"missing").name, L"");
    EXPECT_EQ(s.get_field_size(L"missing"), 0xFFFFFFFFu);
    EXPECT_EQ(s.get_field_type(L"missing"), VT_NULL);
}

TEST(udb_record, lengths_totals_and_lookups) {
    udb_record r;
    r.push_back(std::make_unique<udb_field>(L"bin", 100, ole_variant(std::vector<uint8_t>(10, 7))));
    r.push_back(std::make_unique<udb_field>(L"txt", 50, ole_variant(L"abc")));
    r.push_back(std::make_unique<udb_field>(L"num", 11, ole_variant(int32_t{5})));
    r.push_back(std::make_unique<udb_field>(L"nul", 40, ole_variant()));
    EXPECT_EQ(r[0].get_length(), 10u);
    EXPECT_EQ(r[1].get_length(), 3u);
    EXPECT_EQ(r[2].get_length(), 11u);
    EXPECT_EQ(r.get_total_size(), 24u);  // the empty field adds nothing
    EXPECT_TRUE(r.find_field(L"TXT"));
    EXPECT_EQ(r.get_field(L"Num").to_long(), 5);
    const udb_field& none = r.get_field(L"missing");
    EXPECT_EQ(none.get_type(), VT_EMPTY);
    EXPECT_EQ(none.get_name(), L"");
    EXPECT_EQ(none.get_size(), 0u);
    udb_record empties;
    empties.push_back(std::make_unique<udb_field>());
    EXPECT_EQ(empties.get_total_size(), 0u);
}

TEST(udb_recordset, key_is_the_primary_key_else_the_first_unique_index) {
    {
        test_rs rs;
        rs.add_index(udb_index(L"u1", true, false, {L"a"}));
        rs.add_index(udb_index(L"PRIMARY", true, true, {L"id"}));
        EXPECT_EQ(rs.get_key_index(), 1);
    }
    {
        test_rs rs;
        rs.add_index(udb_index(L"plain", false, false, {L"x"}));
        rs.add_index(udb_index(L"u1", true, false, {L"a"}));
        rs.add_index(udb_index(L"u2", true, false, {L"b"}));
        EXPECT_EQ(rs.get_key_index(), 1);
        rs.add_index(udb_index(L"U1", true, true, {L"z"}));  // same name: ignored
        EXPECT_EQ(rs.get_indexes().size(), 3u);
        EXPECT_EQ(rs.get_key_index(), 1);
    }
}

TEST(udb_recordset, get_key_copies_the_key_fields) {
    test_rs rs;
    udb_record r;
    r.push_back(std::make_unique<udb_field>(L"id", 4, ole_variant(int32_t{42})));
    r.push_back(std::make_unique<udb_field>(L"name", 9, ole_variant(L"x")));
    EXPECT_THROW(rs.get_key(r), tk_exception);
    rs.add_index(udb_index(L"PRIMARY", true, true, {L"ID"}));
    auto key = rs.get_key(r);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->size(), 1u);
    EXPECT_EQ((*key)[0].to_long(), 42);
    udb_record lacking;
    lacking.push_back(std::make_unique<udb_field>(L"name", 9, ole_variant(L"x")));
    EXPECT_EQ(rs.get_key(lacking), nullptr);
}

TEST(udb_recordset, filter_subquery_quotes_what_it_must) {
    test_rs rs;
    rs.get_schema().push_back(col(VT_I4, 4, L"id"));
    rs.get_schema().push_back(col(VT_BSTR, 20, L"name"));
    struct {
        std::wstring in, out;
    } cases[] = {
        {L"", L""},
        {L"<id>5</id>", L"\"id\"=5"},
        {L"<ID>5</ID><name>a&amp;b</name>", L"\"id\"=5 and \"name\"='a&b' "},
        {L"<name>it's</name>", L"\"name\"='it''s' "},
        {L"<name>a\\b</name>", L"\"name\"='a\\\\b' "},
        {L"<id>1 or 1=1</id>", L"\"id\"='1 or 1=1'"},
        {L"<id>-1.5e3</id>", L"\"id\"=-1.5e3"},
    };
    for (const auto& c : cases) EXPECT_EQ(rs.get_filter_subquery(c.in), c.out) << c.in;
    try {
        rs.get_filter_subquery(L"<nope>1</nope>");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.kind(), 0);
        EXPECT_STREQ(e.what(),
                     "The structure of data source does not conform to the destination table.");
    }
}

TEST(udb_database, table_names_by_case_rule) {
    test_db ci(0), cs(1);
    for (auto* db : {&ci, &cs}) db->get_table_names() = {L"Orders", L"items", L"Orders"};
    EXPECT_TRUE(ci.is_table_exist(L"ORDERS"));
    EXPECT_FALSE(cs.is_table_exist(L"ORDERS"));
    EXPECT_TRUE(cs.is_table_exist(L"Orders"));
    EXPECT_TRUE(ci.delete_tab(L"orders"));
    EXPECT_EQ(ci.get_table_names(), (std::vector<std::wstring>{L"items", L"Orders"}));
    EXPECT_FALSE(ci.delete_tab(L"missing"));
    test_db empty(0);
    EXPECT_FALSE(empty.is_table_exist(L"x"));
    EXPECT_THROW(empty.empty_table(L"t1"), tk_mail_assertion);
    EXPECT_THROW(empty.create_table(L"t", L"partition"), tk_mail_assertion);
}

TEST(udb_custom_conversion, is_inert_without_rules) {
    t_ftd c = col(VT_I4, 4);
    udb_field f(L"x", 4, ole_variant(int32_t{1}));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(c));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(f));
    EXPECT_EQ(udb_custom_conversion::handle1(c), L"");
    EXPECT_EQ(udb_custom_conversion::handle2(f), L"");
}
