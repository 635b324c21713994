#include <gtest/gtest.h>

#include <string>

#include "config/key_names.h"

namespace {

std::int32_t code_of(std::string name, std::int32_t fallback = -7) {
    std::int32_t code = 0;
    key_code_from_name(name.data(), &code, fallback);
    return code;
}

} // namespace

TEST(key_code_from_name, knows_every_letter_function_and_numpad_key) {
    for (char c = 'a'; c <= 'z'; ++c) {
        EXPECT_EQ(code_of(std::string(1, c)), 'A' + (c - 'a')) << c;
    }
    for (int n = 1; n <= 24; ++n) {
        EXPECT_EQ(code_of(std::string("f").append(std::to_string(n))), 111 + n) << n;
    }
    for (int n = 0; n <= 9; ++n) {
        EXPECT_EQ(code_of(std::string("numpad").append(std::to_string(n))), 96 + n) << n;
    }
}

TEST(key_code_from_name, knows_the_named_keys) {
    const std::pair<const char*, int> named[] = {
        {"mutiply", 106}, {"add", 107},  {"separator", 108}, {"subtract", 109}, {"decimal", 110},
        {"divide", 111},  {"tab", 9},    {"escape", 27},     {"space", 32},     {"end", 35},
        {"home", 36},     {"left", 37},  {"up", 38},         {"right", 39},     {"down", 40},
        {"insert", 45},   {"delete", 46}};
    for (const auto& [name, code] : named) {
        EXPECT_EQ(code_of(name), code) << name;
    }
}

TEST(key_code_from_name, lower_cases_the_name_in_place) {
    char name[16] = "F11";
    std::int32_t code = 0;
    key_code_from_name(name, &code, 38);
    EXPECT_EQ(code, 122);
    EXPECT_STREQ(name, "f11");

    char letter[16] = "Q";
    key_code_from_name(letter, &code, 38);
    EXPECT_EQ(code, 81);
    EXPECT_STREQ(letter, "q");
}

TEST(key_code_from_name, gives_the_fallback_and_keeps_unknown_names) {
    char name[16] = "PageUp";
    std::int32_t code = 0;
    key_code_from_name(name, &code, 38);
    EXPECT_EQ(code, 38);
    EXPECT_STREQ(name, "pageup");

    EXPECT_EQ(code_of("5", 38), 38); // main-keyboard digits have no name
    EXPECT_EQ(code_of("", 40), 40);
    EXPECT_EQ(code_of("multiply", 1), 1); // only the table's own spelling
    EXPECT_EQ(code_of("f25", 2), 2);
    EXPECT_EQ(code_of("f01", 3), 3);
    EXPECT_EQ(code_of(" up", 4), 4); // no trimming
    EXPECT_EQ(code_of("upx", 5), 5); // no prefix matching
}
