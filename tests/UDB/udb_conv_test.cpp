#include "UDB/udb_conv.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"
#include "tests/support/test_support.hpp"

using namespace std::chrono_literals;

namespace {

struct test_converter : udb_converter {
    bool test_query(const std::wstring&) override { return true; }
};

// A run shaped like the conversion: tables of records, checking the stop request between
// records and ending the way an Abort does.
struct stoppable_converter : test_converter {
    void operator()() override {
        try {
            set_table_count(1000);
            for (uint32_t t = 0;; ++t) {
                begin_table(L"t" + std::to_wstring(t));
                set_record_count(1000);
                for (int r = 0; r < 1000; ++r) {
                    if (stop_requested()) throw tk_final_exception();
                    increment_record_index();
                }
                increment_tables_done();
            }
        } catch (const tk_final_exception&) {
            aborted = true;
        }
        set_done(true);
    }
    std::atomic<bool> aborted{false};
};

struct worker : tk_thread {
    explicit worker(udb_converter& c) : tk_thread(false), c(c) {}
    tk_thread_functor* create_functor() override { return &c; }
    udb_converter& c;
};

udb_profile profile_with(std::initializer_list<udb_pair> generic) {
    udb_profile p;
    for (const auto& [k, v] : generic) p.set_value(udb_generic_settings, k, v);
    return p;
}

}  // namespace

TEST(udb_converter, mode_loads_only_from_the_digits_0_to_3) {
    struct {
        std::wstring value;
        bool error;
        int32_t mode;
    } cases[] = {
        {L"2", false, 2}, {L"0", false, 0}, {L"3", false, 3}, {L"", false, 1},
        {L"12", true, 1}, {L"7", true, 1},  {L"x", true, 1},  {L" 2", true, 1},
    };
    for (const auto& c : cases) {
        test_converter conv;
        conv.set_mode(1);
        udb_profile p = profile_with({{L"mode", c.value}, {L"src", L"shop"}});
        p.selected_tables().emplace_back(L"t1", L"");
        if (c.error) {
            try {
                conv.load_profile(p);
                ADD_FAILURE() << pt::utf8_encode(c.value);
            } catch (const tk_exception& e) {
                EXPECT_EQ(e.kind(), tk_kind_error);
                EXPECT_NE(e.message().find("'" + pt::utf8_encode(c.value) + "'"), std::string::npos)
                    << e.message();
            }
            // Nothing of the refused profile was taken.
            EXPECT_TRUE(conv.selected_tables().empty());
            EXPECT_EQ(conv.source(), L"");
        } else {
            EXPECT_TRUE(conv.load_profile(p));
        }
        EXPECT_EQ(conv.mode(), c.mode) << pt::utf8_encode(c.value);
    }
}

TEST(udb_converter, option_keys_set_clear_or_leave_the_options) {
    struct {
        std::wstring value;
        bool start, result;
    } cases[] = {
        {L"yes", false, true}, {L"1", false, true}, {L"0", true, false},
        {L"", true, true},     {L"", false, false}, {L"00", false, true},
    };
    for (const auto& c : cases) {
        test_converter conv;
        conv.set_skip_indexes(c.start);
        conv.set_only_definitions(c.start);
        udb_profile p = profile_with({{L"skip indexes", c.value}, {L"only definitions", c.value}});
        ASSERT_TRUE(conv.load_profile(p));
        EXPECT_EQ(conv.skip_indexes(), c.result) << pt::utf8_encode(c.value);
        EXPECT_EQ(conv.only_definitions(), c.result) << pt::utf8_encode(c.value);
    }
}

TEST(udb_converter, load_takes_selections_and_keeps_what_empty_keys_leave) {
    tmp_dir d;
    write_file_bytes(d.file("p.prf"),
                     "[Selected Tables]\r\nt1\r\nq1=select 1\r\n"
                     "[Selected Views]\r\nv1=\r\n"
                     "[Available Queries]\r\nq1=select 1\r\n"
                     "[Generic settings]\r\nsrc=\r\ndest=/out\r\n");
    test_converter conv;
    conv.set_source(L"kept");
    udb_profile p;
    ASSERT_TRUE(p.load(pt::utf8_decode(d.file("p.prf"))));
    ASSERT_TRUE(conv.load_profile(p));
    EXPECT_EQ(conv.selected_tables(), (udb_pairs{{L"t1", L""}, {L"q1", L"select 1"}}));
    EXPECT_EQ(conv.selected_views(), (udb_pairs{{L"v1", L""}}));
    EXPECT_EQ(conv.available_queries(), (udb_pairs{{L"q1", L"select 1"}}));
    EXPECT_EQ(conv.source(), L"kept");
    EXPECT_EQ(conv.destination(), L"/out");
    // A second load adds to the lists.
    ASSERT_TRUE(conv.load_profile(p));
    EXPECT_EQ(conv.selected_tables().size(), 4u);
}

TEST(udb_converter, store_writes_every_section_and_the_six_generic_keys) {
    tmp_dir d;
    test_converter conv;
    udb_profile p;
    ASSERT_TRUE(conv.store_profile(p));
    p.store(pt::utf8_decode(d.file("empty.prf")));
    EXPECT_EQ(read_file_bytes(d.file("empty.prf")),
              "[Available Queries]\r\n\r\n"
              "[Generic settings]\r\nsrc=\r\ndest=\r\nlogfile=\r\nskip indexes=0\r\n"
              "only definitions=0\r\nmode=0\r\n\r\n"
              "[Selected Tables]\r\n\r\n"
              "[Selected Views]\r\n\r\n");
}

TEST(udb_converter, a_stored_profile_loads_back_into_a_fresh_converter) {
    tmp_dir d;
    tk_logger log(d.file("default.log").c_str(), false, 3, false);
    test_converter conv;
    conv.set_source(L"shop");
    conv.set_destination(L"/data/\u00e4");
    conv.set_logfile(d.file("run \xc3\xa4.log"));
    conv.set_mode(3);
    conv.set_skip_indexes(true);
    conv.selected_tables() = {{L"t1", L""}, {L"q", L"select 1"}};
    conv.selected_views() = {{L"v", L""}};
    conv.available_queries() = {{L"q", L"select 1"}};
    udb_profile out;
    ASSERT_TRUE(conv.store_profile(out));
    out.store(pt::utf8_decode(d.file("p.prf")));

    udb_profile in;
    ASSERT_TRUE(in.load(pt::utf8_decode(d.file("p.prf"))));
    test_converter back;
    ASSERT_TRUE(back.load_profile(in));
    EXPECT_EQ(back.source(), conv.source());
    EXPECT_EQ(back.destination(), conv.destination());
    EXPECT_EQ(back.log_file(), conv.log_file());
    EXPECT_EQ(back.mode(), 3);
    EXPECT_TRUE(back.skip_indexes());
    EXPECT_FALSE(back.only_definitions());
    EXPECT_EQ(back.selected_tables(), conv.selected_tables());
    EXPECT_EQ(back.selected_views(), conv.selected_views());
    EXPECT_EQ(back.available_queries(), conv.available_queries());

    // A bad log file name in a profile is reported, not ignored.
    test_converter bad;
    udb_profile p = profile_with({{L"logfile", pt::utf8_decode(d.path())}});
    EXPECT_THROW(bad.load_profile(p), tk_exception);
}

TEST(udb_converter, a_worker_asked_to_stop_ends_like_an_abort_and_is_joined) {
    stoppable_converter conv;
    {
        worker w(conv);
        w.start();
        while (conv.get_progress().tables_done < 2) std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(conv.aborted);
    EXPECT_TRUE(conv.done());
    udb_progress p = conv.get_progress();
    EXPECT_EQ(p.table_count, 1000u);
    EXPECT_EQ(p.current_table, L"t" + std::to_wstring(p.tables_done));
    EXPECT_LT(p.record_index, 1000u);
}

TEST(udb_converter, progress_snapshots_are_consistent_while_the_run_writes) {
    test_converter conv;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t t = 0; !stop; ++t) {
            conv.begin_table(L"table" + std::to_wstring(t));
            conv.set_record_count(t);
            conv.set_tables_done(t);
            for (uint32_t r = 0; r < t % 50; ++r) conv.increment_record_index();
        }
    });
    for (int i = 0; i < 20000; ++i) {
        udb_progress p = conv.get_progress();
        if (p.current_table.empty()) continue;
        uint32_t t = std::stoul(p.current_table.substr(5));
        // The name, the counts and the index belong to the same table.
        ASSERT_TRUE(p.tables_done == t || p.tables_done + 1 == t) << t << " " << p.tables_done;
        ASSERT_TRUE(p.record_count == t || p.record_count == 0) << t;
        ASSERT_LE(p.record_index, t % 50);
    }
    stop = true;
    writer.join();
}
