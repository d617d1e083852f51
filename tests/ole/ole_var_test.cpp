// The value's storage: construction, copying, byte and text accessors.
#include <gtest/gtest.h>

#include <functional>

#include "ole/ole_var.hpp"
#include "platform/text.hpp"

namespace {

std::vector<uint8_t> bytes_of(const ole_variant& v) {
    const std::vector<uint8_t>* b = v.get_byte_array();
    return b ? *b : std::vector<uint8_t>();
}

}  // namespace

TEST(ole_variant, constructors_give_their_types) {
    struct {
        ole_variant v;
        VARTYPE vt;
        const char* text;
    } cases[] = {
        {ole_variant(), VT_EMPTY, ""},
        {ole_variant(-5), VT_I4, "-5"},
        {ole_variant(1.5), VT_R8, "1.5000000000000000e+00"},
        {ole_variant(true), VT_BOOL, "1"},
        {ole_variant(false), VT_BOOL, "0"},
        {ole_variant("h\xc3\xa9"), VT_BSTR, "h\xc3\xa9"},
        {ole_variant(std::string("abc")), VT_BSTR, "abc"},
        {ole_variant(L"w\u00e9"), VT_BSTR, "w\xc3\xa9"},
        {ole_variant(std::vector<uint8_t>{0x00, 0xFF, 0x10}), VT_UI1_ARRAY, "0x00FF10"},
        {ole_variant(std::vector<uint8_t>{}), VT_EMPTY, ""},
        {ole_variant(CY{15000}), VT_CY, "1.5"},
        {ole_variant(SYSTEMTIME{2024, 2, 0, 29, 13, 5, 9, 0}), VT_DATE, "2024-02-29 13:05:09"},
        {ole_variant(static_cast<int16_t>(-3)), VT_I2, "-3"},
        {ole_variant(static_cast<int8_t>(-3)), VT_I1, "-3"},
        {ole_variant(static_cast<uint8_t>(200)), VT_UI1, "200"},
        {ole_variant(static_cast<uint16_t>(65535)), VT_UI2, "65535"},
        {ole_variant(static_cast<uint32_t>(4294967295u)), VT_UI4, "4294967295"},
        {ole_variant(static_cast<int64_t>(INT64_MIN)), VT_I8, "-9223372036854775808"},
        {ole_variant(static_cast<uint64_t>(UINT64_MAX)), VT_UI8, "18446744073709551615"},
        {ole_variant(1.5f), VT_R4, "1.500000e+00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.v.get_type(), c.vt) << c.text;
        EXPECT_EQ(c.v.to_string(), c.text);
    }
}

TEST(ole_variant, copies_are_deep_and_keep_what_the_plain_variant_cannot) {
    ole_variant i8(static_cast<int64_t>(5000000000));
    ole_variant c1(i8);
    EXPECT_EQ(c1.get_type(), VT_I8);
    EXPECT_EQ(c1.get_i8(), 5000000000);

    ole_variant date = ole_variant::from_string("2024-02-29 13:05:09.000250", VT_DATE);
    ole_variant c2;
    c2 = date;
    EXPECT_EQ(c2.get_date().get_microseconds(), 250);
    EXPECT_EQ(c2.to_string(), "2024-02-29 13:05:09.000250");

    // A value typed VT_BLOB keeps its bytes when copied.
    ole_variant blob = ole_variant::from_string("0x0102", VT_BLOB);
    ASSERT_EQ(blob.get_type(), VT_BLOB);
    ole_variant c3(blob);
    EXPECT_EQ(c3.get_type(), VT_BLOB);
    EXPECT_EQ(bytes_of(c3), (std::vector<uint8_t>{1, 2}));
    // Nothing is shared.
    (*c3.get_byte_array())[0] = 9;
    EXPECT_EQ(bytes_of(blob)[0], 1);

    // Assigning a value to itself keeps it.
    ole_variant text(L"keep me");
    ole_variant& same = text;
    text = same;
    EXPECT_EQ(text.to_string(), "keep me");
    blob = *&blob;
    EXPECT_EQ(bytes_of(blob), (std::vector<uint8_t>{1, 2}));

    // A move leaves the source empty.
    ole_variant moved(std::move(text));
    EXPECT_EQ(moved.to_string(), "keep me");
    EXPECT_EQ(text.get_type(), VT_EMPTY);  // NOLINT(bugprone-use-after-move)
}

TEST(ole_variant, byte_arrays_are_allocated_resized_or_replaced) {
    ole_variant v(std::vector<uint8_t>{1, 2, 3});
    const uint8_t* before = v.get_byte_array()->data();
    v.allocate_safe_array(3);
    EXPECT_EQ(v.get_byte_array()->data(), before);  // same count: left as it is
    EXPECT_EQ(bytes_of(v), (std::vector<uint8_t>{1, 2, 3}));
    v.allocate_safe_array(5);
    EXPECT_EQ(v.get_safe_array_size(), 5u);
    EXPECT_EQ(v.get_type(), VT_UI1_ARRAY);

    ole_variant blob = ole_variant::from_string("0102", VT_BLOB);
    blob.allocate_safe_array(1);
    EXPECT_EQ(blob.get_type(), VT_BLOB);
    EXPECT_EQ(blob.get_safe_array_size(), 1u);

    ole_variant n(42);
    n.allocate_safe_array(2);
    EXPECT_EQ(n.get_type(), VT_UI1_ARRAY);
    EXPECT_EQ(bytes_of(n), (std::vector<uint8_t>{0, 0}));

    // attach_binary and assignment from bytes: an empty vector changes nothing.
    ole_variant t(L"text");
    t = std::vector<uint8_t>{};
    EXPECT_EQ(t.get_type(), VT_BSTR);
    t = std::vector<uint8_t>{7};
    EXPECT_EQ(t.get_type(), VT_UI1_ARRAY);
    EXPECT_EQ(t.to_string(), "0x07");
    EXPECT_EQ(ole_variant(42).get_safe_array_size(), 0u);
}

TEST(ole_variant, text_attaches_keep_every_character) {
    ole_variant v;
    v.attach_string(
        std::string_view("a\xff"
                         "b",
                         3));  // bad UTF-8 never fails
    EXPECT_EQ(*v.get_bstr(), L"a\uFFFDb");
    v.attach_wstring(std::wstring(L"x\0y", 3));
    EXPECT_EQ(v.get_bstr()->size(), 3u);  // embedded NUL kept
    EXPECT_EQ(v.to_wstring(), L"x");      // text output stops at it
    v.attach_string("");
    EXPECT_EQ(v.get_type(), VT_BSTR);
    EXPECT_EQ(*v.get_bstr(), L"");
    EXPECT_EQ(ole_variant(42).get_bstr(), nullptr);
}

TEST(ole_variant, get_at_hands_out_slices_and_counts_what_it_consumed) {
    ole_variant bytes(std::vector<uint8_t>{0xAB, 0x01, 0xFE});
    std::string out;
    EXPECT_EQ(bytes.get_at(out, 1, 10), 2u);
    EXPECT_EQ(out, "01FE");
    EXPECT_EQ(bytes.get_at(out, 0, 1), 1u);
    EXPECT_EQ(out, "AB");
    EXPECT_EQ(bytes.get_at(out, 3, 1), 0u);
    EXPECT_EQ(out, "");

    // Text: positions and counts are characters, the slice is UTF-8.
    ole_variant text(L"a\u00e9\u20acz");
    EXPECT_EQ(text.get_at(out, 1, 2), 2u);
    EXPECT_EQ(out, "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(text.get_at(out, 3, 100), 1u);
    EXPECT_EQ(out, "z");
    EXPECT_EQ(text.get_at(out, 4, 1), 0u);

    // Walking a text in chunks gives it whole.
    std::string all;
    for (size_t pos = 0, n; (n = text.get_at(out, pos, 1)) != 0; pos += n) all += out;
    EXPECT_EQ(all, text.to_string());
    EXPECT_EQ(ole_variant(5).get_at(out, 0, 5), 0u);
}

TEST(ole_variant, get_bytes_returns_the_number_of_bytes_it_hands_out) {
    const uint8_t* p = nullptr;
    std::string holder;
    ole_variant text(L"\u00e9\u20ac");  // two characters, five bytes
    ASSERT_EQ(text.get_bytes(p, holder), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 5), "\xc3\xa9\xe2\x82\xac");

    ole_variant bytes(std::vector<uint8_t>{1, 2, 3});
    ASSERT_EQ(bytes.get_bytes(p, holder), 3u);
    EXPECT_EQ(p, bytes.get_byte_array()->data());  // points into the value

    EXPECT_EQ(ole_variant().get_bytes(p, holder), 0u);
    EXPECT_EQ(p, nullptr);
    try {
        ole_variant(5).get_bytes(p, holder);
        FAIL() << "no exception";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.kind(), tk_kind_internal);
        EXPECT_EQ(e.message(), make_err_meggase("ole_var.cpp", 1235));
    }
}

TEST(ole_variant, small_accessors) {
    struct {
        VARTYPE vt;
        bool numeric;
    } codes[] = {
        {VT_EMPTY, false}, {VT_NULL, false},        {VT_I2, true},         {VT_I4, true},
        {VT_R4, true},     {VT_R8, true},           {VT_CY, true},         {VT_DATE, false},
        {VT_BSTR, false},  {VT_BOOL, true},         {VT_DECIMAL, true},    {VT_I1, true},
        {VT_UI8, true},    {VT_UINT, true},         {VT_SAFEARRAY, false}, {VT_LPSTR, false},
        {VT_BLOB, false},  {VT_BLOB_OBJECT, false}, {VT_UI1_ARRAY, false}};
    for (const auto& c : codes) EXPECT_EQ(ole_variant::is_numeric_vt(c.vt), c.numeric) << c.vt;

    SYSTEMTIME st{2024, 1, 5, 5, 10, 20, 30, 0};
    EXPECT_EQ(ole_variant(st).to_systemtime(), st);
    EXPECT_EQ(ole_variant(42).to_systemtime(), SYSTEMTIME{});

    std::vector<uint8_t> out{9, 9, 9, 9};
    const char src[] = "ab";
    EXPECT_EQ(ole_variant::convert_to_byte_array(src, 2, out), (std::vector<uint8_t>{'a', 'b'}));
}

// A text made from UTF-8 keeps its bytes, and what they show (no NUL; plain ASCII) spares
// its writer a search: it must be exact, and it must not outlive the text it describes.
// Its wide form is the decoding of the bytes.
TEST(ole_variant, what_utf8_bytes_show_of_a_text_holds_until_the_value_changes) {
    const std::string tail_nul = std::string(33, 'a') + '\0' + "b";  // past the first 16 bytes
    const std::string tail_high = std::string(20, 'a') + "\xc3\xa9";
    const struct {
        std::string bytes;
        bool nul_free;
        bool ascii;
        bool well_formed;
    } texts[] = {
        {"", true, true, true},
        {"plain", true, true, true},
        {std::string("a\0b", 3), false, false, true},
        {tail_nul, false, false, true},
        {"M\xc3\xbcller", true, false, true},
        {tail_high, true, false, true},
        {"\xff", true, false, false},  // ill-formed: U+FFFD, no NUL
        {std::string(40, 'a') + "\xe2\x82", true, false, false},
    };
    for (const auto& t : texts) {
        for (bool view : {false, true}) {
            SCOPED_TRACE(t.bytes + (view ? " viewed" : " copied"));
            ole_variant v;
            ole_variant::refill_storage spare;
            EXPECT_EQ(v.refill_utf8(t.bytes, spare, view), !t.well_formed);
            EXPECT_EQ(v.get_type(), VT_BSTR);
            const std::wstring wide = pt::utf8_decode(t.bytes);
            EXPECT_EQ(v.get_text_length(), wide.size());
            std::string holder;
            EXPECT_EQ(v.get_utf8(holder), pt::utf8_encode(wide));
            EXPECT_EQ(v.to_string(), pt::utf8_encode(wide.substr(0, wide.find(L'\0'))));
            EXPECT_EQ(v.to_wstring(), wide.substr(0, wide.find(L'\0')));
            EXPECT_EQ(*v.get_bstr(), wide);
            EXPECT_EQ(v.known_nul_free(), t.nul_free);
            EXPECT_EQ(v.known_ascii(), t.ascii);
        }
    }

    // Copies keep it; every change of the value forgets it.
    ole_variant::refill_storage spare;
    const std::function<void(ole_variant&)> changes[] = {
        [](ole_variant& v) { v.attach_wstring(std::wstring(L"x\0y", 3)); },
        [](ole_variant& v) { v.attach_string(std::string("x\0y", 3)); },
        [](ole_variant& v) { v.change_type(VT_BSTR); },
        [&](ole_variant& v) { v.refill_utf8(std::string("x\0y", 3), spare, false); },
        [&](ole_variant& v) { v.refill(uint32_t{1}, spare); },
        [&](ole_variant& v) { v.refill_empty(spare); },
        [&](ole_variant& v) { v.refill_bytes(spare).push_back(1); },
        [&](ole_variant& v) {
            v.refill_from_string(std::string("x\0y", 3), VT_BSTR, spare, false);
        },
        [](ole_variant& v) { v = ole_variant(std::wstring(L"x\0y", 3)); },
        [](ole_variant& v) { ole_variant taken(std::move(v)); },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        ole_variant v;
        v.refill_utf8("plain", spare, true);
        const ole_variant copy(v);
        EXPECT_TRUE(copy.known_nul_free());
        EXPECT_TRUE(copy.known_ascii());
        changes[i](v);
        EXPECT_FALSE(v.known_nul_free());
        EXPECT_FALSE(v.known_ascii());
    }
}

// A value that views its text's bytes where its reader keeps them stays that text while
// it is in use; its copies, and values it is moved into, outlive the bytes.
TEST(ole_variant, a_text_viewed_where_its_bytes_are_kept_is_copied_whole) {
    std::string bytes = "M\xc3\xbcller, a text longer than the short string's room";
    const std::wstring text = pt::utf8_decode(bytes);
    ole_variant::refill_storage spare;
    ole_variant viewed;
    viewed.refill_utf8(bytes, spare, true);
    ole_variant copied(viewed), assigned;
    assigned = viewed;
    ole_variant moved(std::move(viewed));
    ole_variant small_copy, small_moved;
    small_copy.refill_utf8("short", spare, false);
    small_moved = std::move(small_copy);  // a text in the short string's room moves too
    std::fill(bytes.begin(), bytes.end(), 'x');
    EXPECT_EQ(*copied.get_bstr(), text);
    EXPECT_EQ(*assigned.get_bstr(), text);
    EXPECT_EQ(small_moved.to_string(), "short");
}

// A number refilled from its decimal text is the value from_string gives, read when first
// asked for; the text is kept only where the type holds it exactly, as MySQL sends it.
TEST(ole_variant, a_number_kept_as_its_text_reads_as_from_string_gives_it) {
    const struct {
        const char* text;
        VARTYPE type;
        bool kept;
    } cases[] = {
        {"12", VT_I4, true},
        {"-12", VT_I4, true},
        {"0012", VT_I4, true},  // ZEROFILL
        {"-12", VT_UI4, false},
        {"123456789", VT_I4, true},
        {"2147483647", VT_I4, false},  // as many digits as could overflow: read at once
        {"99999", VT_I2, false},       // the short type wraps
        {"200", VT_I1, false},
        {"-9", VT_I1, true},
        {"18446744073709551615", VT_UI8, false},
        {"1844674407370955161", VT_UI8, true},
        {"-922337203685477580", VT_I8, true},
        {"79.10", VT_DECIMAL, true},
        {"-0.00", VT_DECIMAL, true},
        {"12", VT_DECIMAL, true},
        {"1234567890123456789012345678", VT_DECIMAL, true},
        {"12345678901234567890123456789", VT_DECIMAL, false},
        {"1,5", VT_DECIMAL, false},
        {".5", VT_DECIMAL, false},
        {"5.", VT_DECIMAL, false},
        {"1e3", VT_I4, false},
        {" 12", VT_I4, false},
        {"", VT_I4, false},
        {"-", VT_I4, false},
        {"12", VT_R8, false},
        {"12", VT_CY, false},
    };
    ole_variant::refill_storage spare;
    for (const auto& c : cases) {
        for (bool view : {true, false}) {
            SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.type));
            ole_variant v;
            v.refill_from_string(c.text, c.type, spare, view);
            EXPECT_EQ(v.get_decimal_text(), c.kept ? c.text : "");
            const ole_variant copy(v);
            const ole_variant made = ole_variant::from_string(c.text, c.type);
            for (const ole_variant* read : std::initializer_list<const ole_variant*>{&v, &copy}) {
                EXPECT_EQ(read->get_type(), made.get_type());
                EXPECT_EQ(read->to_string(), made.to_string());
                EXPECT_EQ(read->to_long(), made.to_long());
                EXPECT_EQ(read->get_i8(), made.get_i8());
                EXPECT_EQ(read->get_ui8(), made.get_ui8());
                if (made.get_type() == VT_DECIMAL) {
                    EXPECT_EQ(read->get_variant().decimal(), made.get_variant().decimal());
                }
            }
            EXPECT_EQ(copy.get_decimal_text(), v.get_decimal_text());
            v.refill_empty(spare);
            EXPECT_EQ(v.get_decimal_text(), "");
        }
    }
}
