#include "TK/tk_singl.hpp"

#include <gtest/gtest.h>

namespace {

struct thing : tk_singleton<thing> {
    int id;
    explicit thing(int i) : id(i) {}
};

}  // namespace

TEST(tk_singleton, first_object_wins_and_a_second_one_cannot_unregister_it) {
    EXPECT_FALSE(thing::exists());
    try {
        thing::instance();
        FAIL();
    } catch (const tk_mail_assertion& a) {
        EXPECT_EQ(std::string(a.what()), make_err_meggase("../..\\TK/tk_singl.hpp", 71));
    }
    try {
        thing::get_instance();
        FAIL();
    } catch (const tk_mail_assertion& a) {
        EXPECT_EQ(std::string(a.what()), make_err_meggase("../..\\TK/tk_singl.hpp", 64));
    }
    {
        thing first(1);
        {
            thing second(2);
            EXPECT_EQ(thing::instance().id, 1);
        }
        // The short-lived second object leaves the live instance registered.
        ASSERT_TRUE(thing::exists());
        EXPECT_EQ(thing::get_instance().id, 1);
    }
    EXPECT_FALSE(thing::exists());
    EXPECT_EQ(thing::find(), nullptr);
    thing third(3);
    EXPECT_EQ(thing::instance().id, 3);
}
