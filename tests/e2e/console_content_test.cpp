// What TALVORIN writes: every DBF table read back by an independent reader and
// compared with the source rows value by value.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// The reader's values of one record ('|' separates them, '\' escapes).
std::vector<std::string> split_row(const std::string& row) {
    std::vector<std::string> values(1);
    for (size_t i = 0; i < row.size(); ++i) {
        if (row[i] == '\\' && i + 1 < row.size()) {
            char c = row[++i];
            values.back() += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else if (row[i] == '|') {
            values.emplace_back();
        } else {
            values.back() += row[i];
        }
    }
    return values;
}

struct field {
    std::string name;
    char type;
    int length, decimals;
};

std::vector<field> parse_fields(const std::string& text) {
    std::vector<field> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        std::string f = text.substr(pos, end - pos);
        size_t a = f.find(':'), b = f.find(':', a + 1), c = f.find(':', b + 1);
        out.push_back({f.substr(0, a), f[a + 1], std::stoi(f.substr(b + 1, c - b - 1)),
                       std::stoi(f.substr(c + 1))});
        pos = end + 1;
    }
    return out;
}

// UTF-8 text as code page 1252 can hold it, decoded back: what a C field or a memo can
// give back. Characters 1252 lacks are '?'.
std::string as_cp1252(const std::string& utf8) {
    static const char32_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        char32_t cp;
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < n; ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
        bool ok = cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF);
        for (char32_t h : high) ok = ok || (h && h == cp);
        out += ok ? utf8.substr(i, n) : "?";
        i += n;
    }
    return out;
}

// Numbers as the decimal text they stand for: no trailing zeros after the point.
std::string number_text(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    if (s.empty() || s == "-0") s = "0";
    if (s.rfind("-.", 0) == 0) s.insert(1, "0");
    if (s[0] == '.') s.insert(0, "0");
    return s;
}

std::string hex_upper(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "0x";
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// One source value against what the reader gave for it.
void expect_value(const field& f, const std::string& sql_type,
                  const std::optional<std::string>& src, const std::string& dbf, bool blob_as_text,
                  const std::string& where) {
    SCOPED_TRACE(where + " " + f.name + " " + sql_type);
    const bool is_null = !src.has_value();
    switch (f.type) {
        case 'N':
        case 'F':
            if (is_null) {
                // No NULL in a numeric field: an empty value is blank, or zero with the
                // field's decimals.
                EXPECT_TRUE(dbf == "NULL" || number_text(dbf) == "0") << dbf;
            } else if (sql_type == "float") {
                EXPECT_NEAR(std::stod(dbf), std::stod(*src),
                            1e-6 * std::max(1.0, std::fabs(std::stod(*src))));
            } else {
                EXPECT_EQ(number_text(dbf), number_text(*src));
            }
            break;
        case 'B':
            if (is_null)
                EXPECT_EQ(std::stod(dbf), 0.0);
            else
                EXPECT_EQ(std::stod(dbf), std::stod(*src));
            break;
        case 'D':
            EXPECT_EQ(dbf, is_null ? "NULL" : *src);
            break;
        case 'T':
            if (is_null)
                EXPECT_EQ(dbf, "NULL");
            else if (sql_type == "time")
                EXPECT_EQ(dbf.substr(dbf.find('T') + 1), *src);
            else
                EXPECT_EQ(dbf, src->substr(0, 10) + "T" + src->substr(11));
            break;
        case 'L':
            // BIT(1) arrives as one byte, BOOL as a number.
            if (is_null)
                EXPECT_EQ(dbf, "NULL");
            else
                EXPECT_EQ(dbf, !src->empty() && (*src)[0] != '\0' && *src != "0" ? "T" : "F");
            break;
        case 'C': {
            std::string expected = is_null ? "" : as_cp1252(*src);
            expected.erase(expected.find_last_not_of(' ') + 1);
            EXPECT_EQ(dbf, expected);
            break;
        }
        case 'M':
            if (is_null || src->empty())
                EXPECT_EQ(dbf, "NULL");
            else if (sql_type == "blob" && !blob_as_text)
                EXPECT_EQ(dbf, hex_upper(*src));
            else
                EXPECT_EQ(dbf, as_cp1252(*src));
            break;
        default:
            ADD_FAILURE() << "unexpected field type " << f.type;
    }
}

// Every row of the source table against every record of its DBF table, in order.
void expect_table(scratch_db& db, const std::string& table, const std::string& order_by,
                  const std::string& dbf_path, dbf_reader reader = dbf_reader::dbfread) {
    SCOPED_TRACE(table);
    dbf_read t = read_dbf(dbf_path, reader);
    ASSERT_EQ(t.error, "");
    std::vector<sql_row> types = db.rows(
        "SELECT data_type FROM information_schema.columns WHERE table_schema = DATABASE() AND "
        "table_name = '" +
        table + "' ORDER BY ordinal_position");
    std::vector<sql_row> rows = db.rows("SELECT * FROM `" + table + "` ORDER BY " + order_by);
    std::vector<field> fields = parse_fields(t.fields);
    ASSERT_EQ(fields.size(), types.size());
    ASSERT_EQ(t.records, static_cast<long>(rows.size()));
    ASSERT_EQ(t.rows.size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<std::string> values = split_row(t.rows[r]);
        ASSERT_EQ(values.size(), fields.size()) << t.rows[r];
        for (size_t i = 0; i < fields.size(); ++i)
            expect_value(fields[i], *types[i][0], rows[r][i], values[i], false,
                         "row " + std::to_string(r + 1));
    }
}

const char* const types_table =
    "CREATE TABLE types ("
    " id INT NOT NULL PRIMARY KEY,"
    " ti TINYINT, tiu TINYINT UNSIGNED, si SMALLINT, mi MEDIUMINT UNSIGNED,"
    " i INT, iu INT UNSIGNED, bi BIGINT, biu BIGINT UNSIGNED,"
    " dec_a DECIMAL(10,2), dec_b DECIMAL(6,4), fl FLOAT, db DOUBLE,"
    " ch CHAR(12), vc VARCHAR(80), txt TEXT, bl BLOB,"
    " d DATE, dt DATETIME, tm TIME, ts TIMESTAMP NULL, yr YEAR,"
    " en ENUM('red','green','blue'), st SET('a','b','c'), bt BIT(1), bo BOOL)";

const char* const types_rows =
    "INSERT INTO types VALUES"
    " (1, -128, 255, -32768, 16777215, -2147483648, 4294967295, -1234567890123, 1234567890123,"
    "  -12345678.90, 0.0001, 1.5, 3.141592653589793,"
    "  'abc a😀b', 'Zoë Brontë – café ‘€’ a😀b', 'line one\\nline two\\r\\nÄÖÜ äöü ß a😀b',"
    "  'AB\\0\\xff',"
    "  '2024-02-29', '2000-01-01 00:00:01', '23:59:59', '2038-01-19 03:14:07', 2155,"
    "  'blue', 'a,c', b'1', TRUE),"
    " (2, 127, 0, 32767, 0, 2147483647, 0, 0, 0,"
    "  99999999.99, -99.9999, -0.25, -2.5e-300,"
    "  '', 'Ελληνικά and русский', '', '',"
    "  '1000-01-01', '9999-12-31 23:59:59', '00:00:00', '1970-01-02 00:00:00', 1901,"
    "  'red', '', b'0', FALSE),"
    " (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
    "  NULL, NULL, NULL, NULL,"
    "  NULL, NULL, NULL, NULL,"
    "  NULL, NULL, NULL, NULL, NULL,"
    "  NULL, NULL, NULL, NULL),"
    " (4, 0, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5, 1e10, 1e-5,"
    "  'x  ', '  lead and trail  ', REPEAT('memo text ', 2000), REPEAT('bin', 1000),"
    "  '1999-12-31', '1999-12-31 12:00:00', '12:00:00', '1999-12-31 12:00:00', 1999,"
    "  'green', 'b', b'1', 2)";

}  // namespace

struct console_content : ::testing::Test {
    void SetUp() override { REQUIRE_TEST_SERVER(); }
};

TEST_F(console_content, every_common_column_type_reads_back_value_by_value) {
    scratch_db db("e2e_types");
    db.exec(std::string(types_table) + ";" + types_rows +
            ";CREATE TABLE empty_t (id INT PRIMARY KEY, name VARCHAR(10), note TEXT)"
            ";CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(20), amount DECIMAL(9,3))"
            ";INSERT INTO big SELECT seq, CONCAT('row ', seq), seq / 7 FROM seq_1_to_1500"
            ";CREATE VIEW big_v AS SELECT * FROM big");
    tmp_dir d;
    const std::string out = d.file("out");
    run_result r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out}));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    // Server order (base tables only), with the record counts.
    EXPECT_EQ(r.out, "Converting database " + db.name() +
                         "(3 tables)\nConverting table big(1500 records)\nConverting table "
                         "empty_t(0 records)\nConverting table types(4 records)\ntypes: 4 values "
                         "had characters that code page 1252 lacks; they are written as ?\n");

    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(out)) files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"big.dbf", "empty_t.dbf", "empty_t.fpt", "types.dbf",
                                            "types.fpt"}));

    // Both readers, also the one that opens a table only as the format its version byte
    // names: dBASE types alone keep a dBASE or FoxPro table, B and T make it Visual FoxPro.
    for (dbf_reader reader : {dbf_reader::dbfread, dbf_reader::python_dbf}) {
        SCOPED_TRACE(reader == dbf_reader::dbfread ? "python3-dbfread" : "python3-dbf");
        dbf_read big = read_dbf(out + "/big.dbf", reader);
        EXPECT_EQ(big.error, "");
        EXPECT_EQ(big.version, 0x03);
        EXPECT_EQ(big.fields, "id:N:11:0 v:C:21:0 amount:N:11:3");
        dbf_read types = read_dbf(out + "/types.dbf", reader);
        EXPECT_EQ(types.error, "");
        EXPECT_EQ(types.version, 0x30);
        // Text widths are those of three bytes a character, whatever the session's texts.
        EXPECT_EQ(types.fields,
                  "id:N:11:0 ti:N:4:0 tiu:N:6:0 si:N:6:0 mi:N:11:0 i:N:11:0 iu:N:19:5 bi:N:19:5 "
                  "biu:N:19:5 dec_a:N:12:2 dec_b:N:8:4 fl:N:19:5 db:B:8:0 ch:C:37:0 vc:C:81:0 "
                  "txt:M:4:0 bl:M:4:0 d:D:8:0 dt:T:8:0 tm:T:8:0 ts:C:19:0 yr:N:11:0 en:C:16:0 "
                  "st:C:16:0 bt:L:1:0 bo:N:4:0");
        dbf_read empty = read_dbf(out + "/empty_t.dbf", reader);
        EXPECT_EQ(empty.error, "");
        EXPECT_EQ(empty.version, 0xF5);
        EXPECT_EQ(empty.fields, "id:N:11:0 name:C:11:0 note:M:10:0");
        EXPECT_EQ(empty.records, 0);
        EXPECT_TRUE(empty.rows.empty());

        expect_table(db, "types", "id", out + "/types.dbf", reader);
        expect_table(db, "big", "id", out + "/big.dbf", reader);
    }

    // With --blob2memo a BLOB becomes memo text.
    write_file_bytes(d.file("list"), "types\n");
    r = run_talvorin(with_server(
        {"--src=" + db.name(), "--dest=" + out, "--blob2memo", "--tab_file=" + d.file("list")}));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    dbf_read blob_text = read_dbf(out + "/types.dbf");
    ASSERT_EQ(blob_text.error, "");
    ASSERT_EQ(blob_text.rows.size(), 4u);
    std::string bin;
    for (int i = 0; i < 1000; ++i) bin += "bin";
    EXPECT_EQ(split_row(blob_text.rows[3])[16], bin);
}

// On one CPU the rows of a long table are decoded by the reader alone: the tables come
// out as a run on every CPU writes them, byte for byte but for the date of the update.
TEST_F(console_content, a_run_on_one_cpu_writes_what_a_run_on_all_writes) {
    scratch_db db("e2e_one_cpu");
    db.exec(std::string(types_table) + ";" + types_rows +
            ";CREATE TABLE mixed (id INT PRIMARY KEY, qty BIGINT, price DECIMAL(12,2),"
            " ratio DOUBLE, day DATE, stamp DATETIME, name VARCHAR(40), note TEXT)"
            ";INSERT INTO mixed SELECT seq, seq * 37 % 100000, (seq * 7919 % 10000000) / 100,"
            " seq / 7, DATE '2000-01-01' + INTERVAL seq % 9000 DAY,"
            " TIMESTAMP '2010-01-01 00:00:00' + INTERVAL seq * 61 SECOND,"
            " CONCAT('name ', seq, ' Müller'), IF(seq % 10 = 0, NULL, CONCAT('note ', seq))"
            " FROM seq_1_to_3000");
    tmp_dir d;
    run_result r;
    {
        on_cpus pinned(1);
        r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + d.file("one")}));
    }
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    expect_table(db, "mixed", "id", d.file("one/mixed.dbf"));
    expect_table(db, "types", "id", d.file("one/types.dbf"));
    r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + d.file("all")}));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    for (const std::string file : {"mixed.dbf", "mixed.fpt", "types.dbf", "types.fpt"}) {
        SCOPED_TRACE(file);
        std::string one = read_file_bytes(d.file("one/" + file));
        const std::string all = read_file_bytes(d.file("all/" + file));
        ASSERT_EQ(one.size(), all.size());
        ASSERT_GT(one.size(), 4u);
        // The date of the last update may have turned between the runs.
        if (file.ends_with(".dbf")) one.replace(1, 3, all, 1, 3);
        EXPECT_TRUE(one == all) << "the files differ";
    }
}

TEST_F(console_content, table_definitions_only) {
    scratch_db db("e2e_tabdef");
    db.exec("CREATE TABLE t1 (a INT, b TEXT); INSERT INTO t1 VALUES (1, 'x'), (2, 'y')");
    tmp_dir d;
    run_result r =
        run_talvorin(with_server({"--src=" + db.name(), "--dest=" + d.file("out"), "--tab_def"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "Converting database " + db.name() + "(1 tables)\nConverting table t1(2 records)\n");
    dbf_read t = read_dbf(d.file("out/t1.dbf"));
    EXPECT_EQ(t.error, "");
    EXPECT_EQ(t.fields, "a:N:11:0 b:M:10:0");
    EXPECT_EQ(t.records, 0);
}

TEST_F(console_content, table_list_files) {
    scratch_db db("e2e_tabfile");
    db.exec(
        "CREATE TABLE `t1` (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE `t2` (a INT); INSERT INTO t2 VALUES (1),(2);"
        "CREATE TABLE `Müller` (a INT); INSERT INTO `Müller` VALUES (1),(2),(3)");
    tmp_dir d;
    const std::string out = d.file("out");
    const std::string head = "Converting database " + db.name();
    struct row {
        const char* what;
        std::string file;
        std::string out, err;
    };
    const std::string muller = "M\xc3\xbcller";
    const row rows[] = {
        {"BOM, non-ASCII", "\xEF\xBB\xBF" + muller + "\r\nt1\r\n",
         head + "(2 tables)\nConverting table " + muller +
             "(3 records)\nConverting table t1(1 records)\n",
         ""},
        {"no BOM: UTF-8", muller + "\nt2",
         head + "(2 tables)\nConverting table " + muller +
             "(3 records)\nConverting table t2(2 records)\n",
         ""},
        {"empty lines, last line without LF", "\n\r\n\nt2\n\n\nt1",
         head + "(2 tables)\nConverting table t2(2 records)\nConverting table t1(1 records)\n", ""},
        {"trailing blank", "t1 \nt2\n", head + "(2 tables)\nConverting table t2(2 records)\n",
         "Table t1  not exists\n"},
        {"BOM-only first line", "\xEF\xBB\xBF\nt1\n",
         head + "(2 tables)\nConverting table t1(1 records)\n", "Table  not exists\n"},
        {"duplicates once", "t2\nt1\nt2\nt2\n",
         head + "(2 tables)\nConverting table t2(2 records)\nConverting table t1(1 records)\n", ""},
        {"a CR not before LF stays", "t1\r\r\nt2\n",
         head + "(2 tables)\nConverting table t2(2 records)\n", "Table t1\r not exists\n"},
        {"the longest name a table can have", std::string(64, 'x') + "\nt1\n",
         head + "(2 tables)\nConverting table t1(1 records)\n",
         "Table " + std::string(64, 'x') + " not exists\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        write_file_bytes(d.file("list"), r.file);
        fs::remove_all(out);
        run_result res = run_talvorin(
            with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("list")}));
        // A listed table the source lacks is not converted: the run ends saying so.
        const size_t missing = r.err.empty() ? 0 : r.err.find(" not exists");
        const std::string name = missing ? r.err.substr(6, missing - 6) : "";
        EXPECT_EQ(res.code, missing ? 2 : 0);
        EXPECT_EQ(res.out, r.out);
        EXPECT_EQ(res.err, r.err + (missing ? "1 of 2 tables was not converted: " + name + " (" +
                                                  r.err.substr(0, r.err.size() - 1) + ")\n"
                                            : ""));
    }
    // Converted once: mode 0 would otherwise append the rows a second time.
    EXPECT_EQ(dbf_header_records(out + "/t2.dbf"), -1);
    write_file_bytes(d.file("list"), "t2\nt2\n");
    run_talvorin(
        with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("list")}));
    EXPECT_EQ(dbf_header_records(out + "/t2.dbf"), 2);
}

TEST_F(console_content, unusual_table_names_get_distinct_safe_files) {
    scratch_db db("e2e_names");
    const std::string long_name(60, 'n');
    db.exec(
        "CREATE TABLE `order lines` (a INT); INSERT INTO `order lines` VALUES (1);"
        "CREATE TABLE `order.lines` (a INT); INSERT INTO `order.lines` VALUES (1),(2);"
        "CREATE TABLE `order_lines` (a INT); INSERT INTO `order_lines` VALUES (1),(2),(3);"
        "CREATE TABLE `Straße` (a INT); INSERT INTO `Straße` VALUES (1),(2),(3),(4);"
        "CREATE TABLE `" +
        long_name + "` (a INT); INSERT INTO `" + long_name +
        "` SELECT seq FROM seq_1_to_5;"
        // A name that looks quoted is a table of its own, and so is such a column.
        "CREATE TABLE q (a INT); INSERT INTO q SELECT seq FROM seq_1_to_6;"
        "CREATE TABLE ```q``` (```c``` INT, c INT);"
        "INSERT INTO ```q``` SELECT seq, -seq FROM seq_1_to_7");
    tmp_dir d;
    const std::string out = d.file("out");
    run_result r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out}));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    std::multiset<long> counts;
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) {
        names.insert(e.path().filename().string());
        counts.insert(dbf_header_records(e.path().string()));
    }
    EXPECT_EQ(counts, (std::multiset<long>{1, 2, 3, 4, 5, 6, 7}))
        << ::testing::PrintToString(names);
    EXPECT_EQ(dbf_header_records(out + "/order_lines.dbf"), 3);
    EXPECT_EQ(dbf_header_records(out + "/Stra\xc3\x9f"
                                       "e.dbf"),
              4);
    EXPECT_EQ(dbf_header_records(out + "/" + long_name + ".dbf"), 5);
    EXPECT_EQ(read_dbf(out + "/q.dbf").fields, "a:N:11:0");
    dbf_read quoted = read_dbf(out + "/A_q_.dbf");
    EXPECT_EQ(quoted.fields, "A_c_:N:11:0 c:N:11:0");
    ASSERT_EQ(quoted.rows.size(), 7u);
    EXPECT_EQ(quoted.rows[6], "7|-7");
}

// Values the DBF file cannot hold as they are: each is left empty or cut, and each such
// record is reported with the table, the record number, the column and the value.
TEST_F(console_content, values_lost_in_part_are_reported_never_silent) {
    scratch_db db("e2e_lossy");
    db.exec(
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        "CREATE TABLE dates (id INT PRIMARY KEY, d DATE, dt DATETIME, ts TIMESTAMP NULL);"
        "INSERT INTO dates VALUES"
        " (1, '2024-00-15', '2024-05-00 10:00:00', '2020-01-02 00:00:00'),"
        " (2, '0000-01-01', '2024-02-31 08:00:00', '2020-01-02 03:04:05'),"
        " (3, '0000-00-00', '0000-00-00 00:00:00', NULL),"
        " (4, '2024-02-31', '2024-02-29 23:59:59', NULL);"
        "CREATE TABLE texts (id INT PRIMARY KEY, c VARCHAR(10), t TEXT, b BLOB);"
        "INSERT INTO texts VALUES"
        " (1, 'ab\\0cd', '\\0tail', 'plain text'),"
        " (2, 'ok', 'fine', 0x41FF42),"
        " (3, 'x', 'y', 0x610062);"
        // Every digit of a FLOAT's stored value, as short as reads back as that value;
        // also in a table that a geometry column has read through a statement.
        "CREATE TABLE floats (id INT PRIMARY KEY, f FLOAT, p FLOAT(10,2), g POINT);"
        "INSERT INTO floats VALUES (1, 1234567, 1234567.89, POINT(1, 2)), (2, 16777215, 0.1,"
        " NULL), (3, 0.1, 12345.67, NULL), (4, 12345.67, NULL, NULL), (5, -1.5e-7, -1.5, NULL),"
        " (6, 7654321.5, 0, NULL), (7, 3.4e38, 0, NULL)");
    tmp_dir d;
    const std::string out = d.file("out");
    struct {
        const char* what;
        std::vector<std::string> args;
        const char* table;
        std::vector<std::string> rows;
        std::vector<std::string> reports;  // in this order, each a line of its own
    } runs[] = {
        {"dates",
         {},
         "dates",
         {"1|NULL|NULL|2020-01-02 00:00:00", "2|NULL|NULL|2020-01-02 03:04:05", "3|NULL|NULL|",
          "4|NULL|2024-02-29T23:59:59|"},
         {"dates, record #1: The value '2024-00-15' of column 'd' cannot be stored (not a "
          "calendar date); it is left empty.",
          "dates, record #1: The value '2024-05-00 10:00:00' of column 'dt' cannot be stored "
          "(not a calendar date); it is left empty.",
          "dates, record #2: The value '0000-01-01' of column 'd' cannot be stored (not a "
          "calendar date); it is left empty.",
          "dates, record #2: The value '2024-02-31 08:00:00' of column 'dt' cannot be stored "
          "(not a calendar date); it is left empty.",
          "dates, record #4: The value '2024-02-31' of column 'd' cannot be stored (not a "
          "calendar date); it is left empty."}},
        {"text after a NUL, BLOB as hexadecimal text",
         {},
         "texts",
         {"1|ab|NULL|0x706C61696E2074657874", "2|ok|fine|0x41FF42", "3|x|y|0x610062"},
         {"texts, record #1: Value of field 'c' is cut at its NUL character in C(11,0): "
          "ab\\0cd; Value of field 't' is cut at its NUL character in M(10,0): \\0tail"}},
        {"BLOB as text",
         {"--blob2memo"},
         "texts",
         {"1|ab|NULL|plain text", "2|ok|fine|A?B", "3|x|y|a"},
         {"texts, record #1: Value of field 'c' is cut at its NUL character in C(11,0): "
          "ab\\0cd; Value of field 't' is cut at its NUL character in M(10,0): \\0tail",
          "texts, record #2: The value of column 'b' is not UTF-8 text; what cannot be read "
          "as text is stored as '?'.",
          "texts, record #3: Value of field 'b' is cut at its NUL character in M(10,0): "
          "a\\0b"}},
        {"FLOAT values",
         {},
         "floats",
         {"1|1234567.00000|1234567.88|POINT(1 2)", "2|16777215.00000|0.10|NULL",
          "3|0.10000|12345.67|NULL", "4|12345.67000|NULL|NULL", "5|0.00000|-1.50|NULL",
          "6|7654321.50000|0.00|NULL", "7|NULL|0.00|NULL"},
         {"floats, record #7: Value of field 'f' does not fit N(19,5): 3.400000e+38"}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.what);
        write_file_bytes(d.file("list"), std::string(run.table) + "\n");
        std::vector<std::string> args = {"--src=" + db.name(), "--dest=" + out,
                                         "--tab_file=" + d.file("list")};
        args.insert(args.end(), run.args.begin(), run.args.end());
        run_result r = run_talvorin(with_server(args));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        size_t from = 0;
        for (const std::string& line : run.reports) {
            size_t at = r.out.find("\n" + line + "\n", from);
            EXPECT_NE(at, std::string::npos) << line << "\nin:\n" << r.out;
            if (at != std::string::npos) from = at + line.size();
        }
        size_t count = 0;
        for (size_t at = 0; (at = r.out.find("Error:\n", at)) != std::string::npos; ++at) ++count;
        EXPECT_EQ(count, run.reports.size()) << r.out;
        dbf_read t = read_dbf(out + "/" + run.table + ".dbf");
        ASSERT_EQ(t.error, "");
        EXPECT_EQ(t.rows, run.rows);
    }
}

// After each table, one line sums up what its values lost in the ways DBF cannot help
// (characters the code page lacks, fractions of seconds, zero dates), with counts, on
// standard output and in the log; a table that lost nothing has no such line.
TEST_F(console_content, each_table_sums_up_what_its_values_lost) {
    scratch_db db("e2e_losses");
    db.exec(
        "SET SESSION sql_mode = '';"
        "CREATE TABLE a_one (id INT, name VARCHAR(20));"
        "INSERT INTO a_one VALUES (1, '\xD0\x96'), (2, 'plain');"
        "CREATE TABLE b_all (id INT, name VARCHAR(20), note TEXT, at DATETIME(6), d DATE);"
        "INSERT INTO b_all VALUES"
        " (1, '\xD0\x96uk', '\xCE\xA9mega', '2024-01-02 03:04:05.123456', '0000-00-00'),"
        " (2, 'ok', 'ok', '2024-01-02 03:04:05.000001', '2024-01-01'),"
        " (3, '\xC3\xA7"
        "a va', '\xD0\x96', '2024-01-02 03:04:05', '0000-00-00');"
        "CREATE TABLE c_single (id INT, at DATETIME(6), d DATE);"
        "INSERT INTO c_single VALUES (1, '2024-01-01 00:00:00.5', NULL), (2, NULL, '0000-00-00');"
        "CREATE TABLE d_none (id INT, name VARCHAR(20), at DATETIME(6), d DATE);"
        "INSERT INTO d_none VALUES (1, '\xC3\xA7"
        "a va', '2024-01-01 00:00:00.000000', NULL)");
    const std::vector<std::string> losses = {
        "a_one: 1 value had characters that code page 1252 lacks; it is written as ?",
        "b_all: 3 values had characters that code page 1252 lacks; they are written as ?; 2 "
        "values lost fractional seconds, which DBF date-time fields do not keep; 2 zero dates "
        "were written as blank dates",
        "c_single: 1 value lost fractional seconds, which DBF date-time fields do not keep; 1 "
        "zero date was written as a blank date",
    };
    tmp_dir d;
    run_result r = run_talvorin(with_server(
        {"--src=" + db.name(), "--dest=" + d.file("out"), "--logfile=" + d.file("log")}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Converting database " + db.name() + "(4 tables)\nConverting table a_one(2 " +
                         "records)\n" + losses[0] + "\nConverting table b_all(3 records)\n" +
                         losses[1] + "\nConverting table c_single(2 records)\n" + losses[2] +
                         "\nConverting table d_none(1 records)\n");
    const std::string log = read_file_bytes(d.file("log"));
    size_t from = 0;
    for (const std::string& line : losses) {
        const size_t at = log.find("\r\n" + line + "\r\n", from);
        EXPECT_NE(at, std::string::npos) << line << "\nin:\n" << log;
        if (at != std::string::npos) from = at + line.size();
    }
    EXPECT_EQ(log.find("d_none:"), std::string::npos) << log;
}

// Every column of a table becomes a field, invisible ones too (FLOAT and geometry
// among them); a table of more fields than dBASE and FoxPro open is refused, leaving
// no file; and mode 3 appends to every table it wrote, binary columns and Visual FoxPro
// tables included, each keeping its version byte.
TEST_F(console_content, every_column_arrives_and_mode_3_appends_to_its_own_tables) {
    scratch_db db("e2e_columns");
    std::string wide[2];
    for (int n : {255, 256}) {
        std::string& t = wide[n - 255];
        t = "CREATE TABLE w" + std::to_string(n) + " (c0 INT";
        for (int i = 1; i < n; ++i) t += ", c" + std::to_string(i) + " INT";
        t += "); INSERT INTO w" + std::to_string(n) + " (c0) VALUES (7);";
    }
    db.exec(
        "CREATE TABLE bin (id INT PRIMARY KEY, bl BLOB, bn BINARY(2), vb VARBINARY(4),"
        " tb TINYBLOB, lb LONGBLOB);"
        "INSERT INTO bin VALUES (1, 0x00FF, 0x0102, 0xABCD, 'x', 0x41),"
        " (2, NULL, NULL, NULL, NULL, NULL);"
        "CREATE TABLE geo (id INT PRIMARY KEY, g POINT, note VARCHAR(5) INVISIBLE);"
        "INSERT INTO geo (id, g, note) VALUES (1, POINT(1, 2), 'n');"
        "CREATE TABLE inv (id INT PRIMARY KEY, h INT INVISIBLE DEFAULT 5, v VARCHAR(5),"
        " f FLOAT INVISIBLE);"
        "INSERT INTO inv (id, h, v, f) VALUES (1, 2, 'a', 1.5); INSERT INTO inv (id) VALUES (2);"
        "CREATE TABLE vfp (id INT PRIMARY KEY, r DOUBLE, t DATETIME, m TEXT);"
        "INSERT INTO vfp VALUES (1, 2.5, '2024-01-15 10:20:30', 'memo'), (2, NULL, NULL, NULL);" +
        wide[0] + wide[1]);
    struct {
        const char* table;
        int version;
        std::string fields;  // not checked when empty
        std::vector<std::string> rows;
    } tables[] = {
        {"bin",
         0xF5,
         "id:N:11:0 bl:M:10:0 bn:M:10:0 vb:M:10:0 tb:M:10:0 lb:M:10:0",
         {"1|0x00FF|0x0102|0xABCD|0x78|0x41", "2|NULL|NULL|NULL|NULL|NULL"}},
        {"geo", 0xF5, "id:N:11:0 g:M:10:0 note:C:6:0", {"1|POINT(1 2)|n"}},
        {"inv", 0x03, "id:N:11:0 h:N:11:0 v:C:6:0 f:N:19:5", {"1|2|a|1.50000", "2|5||NULL"}},
        {"vfp",
         0x30,
         "id:N:11:0 r:B:8:0 t:T:8:0 m:M:4:0",
         {"1|2.5|2024-01-15T10:20:30|memo", "2|0.0|NULL|NULL"}},
        {"w255", 0x03, "", {"7"}},
    };
    for (int i = 1; i < 255; ++i) tables[4].rows[0] += "|NULL";
    tmp_dir d;
    const std::string out = d.file("out");
    const std::string printed = "Converting database " + db.name() +
                                "(6 tables)\nConverting table bin(2 records)\nConverting table "
                                "geo(1 records)\nConverting table inv(2 records)\nConverting "
                                "table vfp(2 records)\nConverting table w255(1 records)\nError:"
                                "\nw256: Table has too many or too wide fields for DBF\n";
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass == 1 ? "written" : "appended to in mode 3");
        std::vector<std::string> args = {"--src=" + db.name(), "--dest=" + out};
        if (pass == 2) args.push_back("--mode=3");
        run_result r = run_talvorin(with_server(args));
        // The table DBF cannot hold is the one table not converted.
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_EQ(r.out, printed);
        EXPECT_EQ(r.err,
                  "1 of 6 tables was not converted: w256 (Table has too many or too wide fields "
                  "for DBF)\n");
        EXPECT_FALSE(fs::exists(out + "/w256.dbf"));
        for (const auto& t : tables) {
            SCOPED_TRACE(t.table);
            for (dbf_reader reader : {dbf_reader::dbfread, dbf_reader::python_dbf}) {
                dbf_read got = read_dbf(out + "/" + t.table + ".dbf", reader);
                ASSERT_EQ(got.error, "");
                EXPECT_EQ(got.version, t.version);
                if (!t.fields.empty()) {
                    EXPECT_EQ(got.fields, t.fields);
                }
                std::vector<std::string> rows = t.rows;
                if (pass == 2) rows.insert(rows.end(), t.rows.begin(), t.rows.end());
                EXPECT_EQ(got.rows, rows);
            }
        }
    }
}

// A name that reads the same source table as one before it, in another case, is that
// table: converted once. Tables whose names differ in case only stay two.
TEST_F(console_content, a_table_named_in_two_spellings_is_converted_once) {
    scratch_db db("e2e_spellings");
    db.exec(
        "CREATE TABLE t3 (a INT); INSERT INTO t3 VALUES (1),(2),(3);"
        "CREATE TABLE `Ab` (a INT); INSERT INTO `Ab` VALUES (1);"
        "CREATE TABLE `ab` (a INT); INSERT INTO `ab` VALUES (1),(2)");
    const std::string head = "Converting database " + db.name();
    struct {
        const char* what;
        const char* option;
        std::string file;
        std::string out;
        std::multiset<long> records;  // of every table in the folder
    } cases[] = {
        {"table-list file",
         "--tab_file=",
         "t3\nT3\n",
         head + "(1 tables)\nConverting table t3(3 records)\n",
         {3}},
        {"profile",
         "--profile=",
         "[Selected Tables]\nT3\nt3\n",
         head + "(1 tables)\nConverting table T3(3 records)\n",
         {3}},
        {"two tables",
         "--tab_file=",
         "ab\nAB\nAb\n",
         head + "(2 tables)\nConverting table ab(2 records)\nConverting table AB(1 records)\n",
         {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tmp_dir d;
        const std::string out = d.file("out");
        write_file_bytes(d.file("list"), c.file);
        run_result r = run_talvorin(with_server(
            {c.option + d.file("list"), "--src=" + db.name(), "--dest=" + out, "--mode=3"}));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        std::multiset<long> records;
        for (const auto& e : fs::directory_iterator(out))
            records.insert(read_dbf(e.path().string()).records);
        EXPECT_EQ(records, c.records);
    }
}
