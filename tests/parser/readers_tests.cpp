// Value readers and lists: stored values, cursor positions, fallbacks and reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "parser_fixture.h"

using parser_fixture::logged;
using parser_fixture::offset;
using parser_fixture::over;

TEST(parser_strings, single_line_value_keeps_inner_blanks) {
    auto parser = over("$default layout:\tbottom right\t; the corner\n$next: 1\n");
    ASSERT_TRUE(parser->search_token("$default layout:"));
    char value[vorlex_parser::value_size];
    parser->stuff_string(value, 0);
    EXPECT_STREQ(value, "bottom right");
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_strings, empty_value_stays_on_its_line) {
    logged parser;
    parser.open_text("$font name:\n$other: x\n");
    ASSERT_TRUE(parser->search_token("$font name:"));
    char value[vorlex_parser::value_size] = "old";
    parser->stuff_string(value, 0);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(offset(*parser), 11);
    EXPECT_EQ(parser.lines().back(), "> String stuffed []");
}

// A value that fills the limit arrives whole and is still reported; the report gives the
// length of the rest of the cursor's line.
TEST(parser_strings, value_of_exactly_256_arrives_whole_and_is_reported) {
    const std::string v256(256, 'v');
    const struct {
        std::string line;
        bool white;
        int length;
    } cases[] = {{v256, false, 256},
                 {v256 + " tail", true, 261},
                 {"\"" + v256 + "\"", true, 258},
                 {v256.substr(1), false, 0}};
    for (const auto& c : cases) {
        logged parser;
        parser.open_text("$k: " + c.line + "\n");
        ASSERT_TRUE(parser->search_token("$k:"));
        char value[vorlex_parser::value_size];
        c.white ? parser->stuff_white_string(value) : parser->stuff_string(value, 0);
        EXPECT_EQ(std::string(value), v256.substr(0, c.length == 0 ? 255 : 256)) << c.line;
        EXPECT_EQ(parser->error_count, c.length == 0 ? 0 : 1);
        EXPECT_EQ(parser.has_line("Token too long [" + c.line.substr(0, 255) + "]. Length = " +
                                  std::to_string(c.length) + ". Max is 256 (error #1)"),
                  c.length != 0)
            << c.line;
    }
}

TEST(parser_strings, longer_value_is_cut_to_256_and_reported) {
    logged parser;
    parser.open_text("$k: " + std::string(300, 'v') + "\n$n: 1\n");
    ASSERT_TRUE(parser->search_token("$k:"));
    char value[vorlex_parser::value_size];
    parser->stuff_string(value, 0);
    EXPECT_EQ(std::string(value), std::string(256, 'v'));
    EXPECT_EQ(parser->error_count, 1);
    EXPECT_TRUE(parser.has_line("Token too long [" + std::string(255, 'v') +
                                "]. Length = 300. Max is 256 (error #1)"));
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_strings, small_destination_is_never_overrun) {
    logged parser;
    parser.open_text("$filter: a-very-long-filter-name-that-does-not-fit\n");
    ASSERT_TRUE(parser->search_token("$filter:"));
    char field[8 + 8];
    std::memset(field, '#', sizeof(field));
    parser->stuff_string(field, 0, 8);
    EXPECT_STREQ(field, "a-very-");
    EXPECT_EQ(field[8], '#');
    EXPECT_EQ(parser->error_count, 1);
}

TEST(parser_strings, multiline_value_runs_to_the_closing_token) {
    logged parser;
    parser.open_text("$text:\n  first line\n  second line\n$Eot\n$after: 1\n");
    ASSERT_TRUE(parser->search_token("$text:"));
    char value[vorlex_parser::value_size];
    parser->stuff_string(value, 1);
    EXPECT_STREQ(value, "first line\n  second line");
    EXPECT_EQ(parser->warning_count, 0);
    EXPECT_TRUE(parser->search_token("$after:"));
}

TEST(parser_strings, multiline_value_without_room_or_closing_token_is_empty) {
    logged parser;
    parser.open_text("$text: " + std::string(300, 'm') + "\n$Eot\n");
    ASSERT_TRUE(parser->search_token("$text:"));
    char value[vorlex_parser::value_size] = "old";
    parser->stuff_string(value, 1);
    EXPECT_STREQ(value, "");
    EXPECT_TRUE(parser.has_line("Too much text (305 chars, 256 allowed) before $Eot (error #1)"));

    parser.open_text("$text: never closed\n");
    ASSERT_TRUE(parser->search_token("$text:"));
    parser->stuff_string(value, 1);
    EXPECT_STREQ(value, "");
    EXPECT_TRUE(parser.has_line("Looking for [$Eot], but never found it :( (error #1)"));
    EXPECT_EQ(parser->warning_count, 6); // require_token looked on five lines
}

TEST(parser_strings, unknown_mode_stores_the_empty_string) {
    auto parser = over("$k: value\n");
    ASSERT_TRUE(parser->search_token("$k:"));
    char value[vorlex_parser::value_size] = "old";
    parser->stuff_string(value, 7);
    EXPECT_STREQ(value, "");
}

TEST(parser_strings, white_strings_are_read_one_token_at_a_time) {
    auto parser = over("$names: \"two words\" single\tthird\n");
    ASSERT_TRUE(parser->search_token("$names:"));
    char value[vorlex_parser::value_size];
    parser->stuff_white_string(value);
    EXPECT_STREQ(value, "two words");
    parser->stuff_white_string(value);
    EXPECT_STREQ(value, "single");
    EXPECT_EQ(*parser->cursor, '\t');
    parser->stuff_white_string(value);
    EXPECT_STREQ(value, "third");
}

TEST(parser_strings, white_token_stops_at_an_accented_letter_but_the_cursor_does_not) {
    auto parser = over("caf\xe9s next\n");
    char value[vorlex_parser::value_size];
    parser->stuff_white_string(value);
    EXPECT_STREQ(value, "caf");
    EXPECT_EQ(offset(*parser), 5);
}

TEST(parser_numbers, integers_floats_and_where_they_stop) {
    auto parser = over("14 +7 12.7 1.5e3\n");
    std::int32_t number = 0;
    parser->stuff_integer(&number);
    EXPECT_EQ(number, 14);
    parser->stuff_integer(&number);
    EXPECT_EQ(number, 7);
    parser->stuff_integer(&number);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(*parser->cursor, '.');
    float real = 0;
    parser->stuff_float(&real);
    EXPECT_FLOAT_EQ(real, 0.7f);
    parser->stuff_float(&real);
    EXPECT_FLOAT_EQ(real, 1500.0f);
    EXPECT_STREQ(parser->rest_of_line(), "e3");
}

TEST(parser_numbers, missing_value_reads_the_next_line_and_fails) {
    logged parser;
    parser.open_text("$resize threshold:\n$resize filter: box\n");
    ASSERT_TRUE(parser->search_token("$resize threshold:"));
    std::int32_t number = 5;
    parser->stuff_integer(&number);
    EXPECT_EQ(number, -1);
    EXPECT_TRUE(parser->conversion_failed);
    const std::vector<std::string> lines = parser.lines();
    EXPECT_EQ(lines[lines.size() - 2],
              "Conversion failed. Expecting an integer, found [$resize filter: box] (error #1)");
    EXPECT_EQ(lines.back(), "> Integer stuffed [-1]");
    EXPECT_STREQ(parser->rest_of_line(), " filter: box");
}

TEST(parser_numbers, one_comma_directly_behind_a_number_separates) {
    auto parser = over("1,2 ,3\n");
    std::int32_t a = 0, b = 0, c = 0;
    parser->stuff_integer(&a);
    parser->stuff_integer(&b);
    parser->stuff_integer(&c);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, -1); // the comma after a blank is a bad value
    EXPECT_STREQ(parser->rest_of_line(), "");
}

TEST(parser_numbers, bytes_keep_the_low_eight_bits) {
    auto parser = over("300 x\n");
    std::uint8_t byte = 0;
    parser->stuff_byte(&byte);
    EXPECT_EQ(byte, 44);
    parser->stuff_byte(&byte);
    EXPECT_EQ(byte, 255);
}

TEST(parser_numbers, huge_numbers_saturate_and_long_digit_runs_stay_exact) {
    auto parser = over("99999999999 -99999999999 " + std::string(500, '0') + "42 1" +
                       std::string(80, '0') + "e-78\n");
    std::int32_t number = 0;
    parser->stuff_integer(&number);
    EXPECT_EQ(number, INT32_MAX);
    parser->stuff_integer(&number);
    EXPECT_EQ(number, INT32_MIN);
    parser->stuff_integer(&number);
    EXPECT_EQ(number, 42);
    float real = 0;
    parser->stuff_float(&real);
    EXPECT_FLOAT_EQ(real, 100.0f);
}

TEST(parser_numbers, float_takes_no_hexadecimal_or_infinity) {
    auto parser = over("0x10 +inf\n");
    float real = 5;
    parser->stuff_float(&real);
    EXPECT_EQ(real, 0.0f);
    EXPECT_STREQ(parser->rest_of_line(), "x10 +inf");
}

TEST(parser_vectors, parenthesized_vector_and_its_five_lines) {
    logged parser;
    parser.open_text("$osd font color:\t(217 239 161)\n");
    parser.fresh_lines();
    ASSERT_TRUE(parser->search_token("$osd font color:"));
    vector3 v{};
    EXPECT_TRUE(parser->stuff_parenthesized_vector(&v));
    EXPECT_FLOAT_EQ(v.x, 217);
    EXPECT_FLOAT_EQ(v.y, 239);
    EXPECT_FLOAT_EQ(v.z, 161);
    const std::vector<std::string> expected = {
        "Searched token found [$osd font color:]",
        "> Float stuffed [217.000000]",
        "> Float stuffed [239.000000]",
        "> Float stuffed [161.000000]",
        "> Vector stuffed [(217.000000, 239.000000, 161.000000)]",
        ">> Parenthesized vector stuffed [(217.000000, 239.000000, 161.000000)]"};
    EXPECT_EQ(parser.fresh_lines(), expected);
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_vectors, commas_behind_numbers_read_and_missing_parenthesis_fails) {
    auto parser = over("(1,2, 3) 255 0 0\n");
    vector3 v{};
    EXPECT_TRUE(parser->stuff_parenthesized_vector(&v));
    EXPECT_FLOAT_EQ(v.y, 2);
    EXPECT_FLOAT_EQ(v.z, 3);
    vector3 untouched{9, 9, 9};
    const long before = offset(*parser);
    EXPECT_FALSE(parser->stuff_parenthesized_vector(&untouched));
    EXPECT_FLOAT_EQ(untouched.x, 9);
    EXPECT_EQ(offset(*parser), before + 1); // only the blank was skipped
}

TEST(parser_vectors, missing_closing_parenthesis_is_reported_and_one_character_passed) {
    logged parser;
    parser.open_text("(1 2 3 x\n");
    vector3 v{};
    EXPECT_TRUE(parser->stuff_parenthesized_vector(&v));
    EXPECT_TRUE(
        parser.has_line("Reading parenthesized vector. Expecting ')', found [x] (error #1)"));
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_booleans, words_digits_and_unknown_words) {
    struct sample {
        const char* text;
        bool before;
        bool after;
    };
    const sample samples[] = {{"yes", false, true}, {"TRUE", false, true},  {"1", false, true},
                              {"No", true, false},  {"false", true, false}, {"0", true, false},
                              {"00", true, false},  {"5", false, true},     {"on", true, true},
                              {"on", false, false}, {"maybe", false, false}};
    for (const sample& s : samples) {
        auto parser = over(std::string("$b: ") + s.text + " \n");
        ASSERT_TRUE(parser->search_token("$b:"));
        bool value = s.before;
        parser->stuff_boolean(&value);
        EXPECT_EQ(value, s.after) << s.text;
        EXPECT_EQ(*parser->cursor, '\n');
    }
}

TEST(parser_booleans, unknown_word_reports_the_old_value) {
    logged parser;
    parser.open_text("on\n");
    bool value = true;
    parser->stuff_boolean(&value);
    EXPECT_EQ(parser.lines().back(), "> Boolean stuffed [true]");
}

TEST(parser_lists, integer_list_short_long_and_unclosed) {
    logged parser;
    parser.open_text("(1 2)\n");
    std::int32_t values[3] = {0, 0, 0};
    EXPECT_EQ(parser->stuff_integer_list(values, 3), 2);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(parser.lines().back(),
              ">> Parenthesized integer list incompletely stuffed. Expected [3], done [2] "
              "(warning #1)");

    parser.open_text("(1 2)\n");
    std::int32_t one = 0;
    EXPECT_EQ(parser->stuff_integer_list(&one, 1), 1);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(*parser->cursor, ')');
    EXPECT_EQ(parser.lines().back(),
              ">> Parenthesized integer list stuffed. Look at the 1 preceeding lines ;)");

    // At the end of the text the list stops: no made-up values, no success.
    parser.open_text("(4 5");
    std::int32_t many[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(parser->stuff_integer_list(many, 5), 2);
    EXPECT_EQ(many[2], 0);
    EXPECT_EQ(parser->warning_count, 1);
}

TEST(parser_lists, integer_list_without_parenthesis_is_refused) {
    logged parser;
    parser.open_text("1 2\n");
    std::int32_t values[2] = {7, 7};
    EXPECT_EQ(parser->stuff_integer_list(values, 2), 0);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(parser.lines().back(), "Reading integer list. Expected '(', found [1] (error #1)");
}

TEST(parser_lists, vector_list_reads_vectors_and_stops_at_anything_else) {
    logged parser;
    parser.open_text("((1 2 3) (4 5 6))\n");
    vector3 vectors[2] = {};
    EXPECT_EQ(parser->stuff_vector_list(vectors, 2), 2);
    EXPECT_FLOAT_EQ(vectors[1].z, 6);
    EXPECT_EQ(parser.lines().back(), ">> Parenthesized vector list stuffed. 2 vectors were stored");
    EXPECT_EQ(*parser->cursor, '\n');

    parser.open_text("((1 2 3) 7 8)\n");
    EXPECT_EQ(parser->stuff_vector_list(vectors, 2), 1);
    EXPECT_EQ(parser.lines().back(),
              ">> Parenthesized vector list incompletely stuffed. Expected [2], done [1] "
              "(warning #1)");
}

TEST(parser_lists, string_list_checks_its_quote_count) {
    logged parser;
    parser.open_text("(\"nearest\", \"box\", \"lanczos\")\n");
    string_slot slots[4] = {};
    EXPECT_EQ(parser->stuff_string_list(slots, 2), 0);
    EXPECT_EQ(parser.lines().back(), "Reading string list. Expected [4] '\"' between '(' and ')', "
                                     "found [6] (error #1)");
    EXPECT_EQ(*parser->cursor, ')');

    parser.open_text("(\"nearest\", \"box\", \"lanczos\")\n");
    EXPECT_EQ(parser->stuff_string_list(slots, 3), 3);
    EXPECT_STREQ(slots[0], "nearest");
    EXPECT_STREQ(slots[2], "lanczos");
    EXPECT_TRUE(parser.has_line("> String stuffed [box] (2/3)"));
    EXPECT_EQ(parser.lines().back(),
              ">> Parenthesized string list stuffed. Look at the 3 preceeding lines ;)");
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_lists, string_list_needs_parenthesis_and_quote) {
    logged parser;
    parser.open_text("( nearest )\n");
    string_slot slots[1] = {};
    EXPECT_EQ(parser->stuff_string_list(slots, 1), 0);
    EXPECT_EQ(parser.lines().back(),
              "Reading string list. Expected '\"' after '(', found [n] (error #1)");
}

TEST(parser_lists, long_list_string_is_cut_to_its_slot) {
    logged parser;
    parser.open_text("(\"" + std::string(3000, 's') + "\")\n");
    string_slot slots[1] = {};
    EXPECT_EQ(parser->stuff_string_list(slots, 1), 1);
    EXPECT_EQ(std::strlen(slots[0]), sizeof(string_slot) - 1);
    EXPECT_EQ(parser->error_count, 1);
    EXPECT_EQ(*parser->cursor, '\n');
}

TEST(parser_lists, find_in_string_list_ignores_letter_case) {
    logged parser;
    string_slot slots[3] = {"lanczos", "box", ""};
    EXPECT_EQ(parser->find_in_string_list("LANCZOS", slots, "filters"), 0);
    EXPECT_EQ(parser.lines().back(),
              "Requested string [LANCZOS] found at index 0 in the list (filters)");
    EXPECT_EQ(parser->find_in_string_list("Box", slots, nullptr), 1);
    EXPECT_EQ(parser.lines().back(), "Requested string [Box] found at index 1 in the list");
    EXPECT_EQ(parser->find_in_string_list("bell", slots, nullptr), -1);
    EXPECT_EQ(parser.lines().back(), "Requested string [bell] not found in the list (warning #1)");
    string_slot none[1] = {""};
    EXPECT_EQ(parser->find_in_string_list("lanczos", none, "empty"), -1);
    EXPECT_EQ(parser.lines().back(),
              "Requested string [lanczos] not found in the list (empty) (warning #2)");
    string_slot full[2] = {"a", "b"};
    EXPECT_EQ(parser->find_in_string_list("b", full, nullptr, 1), -1);
}

TEST(parser_copies, copy_primitives_leave_the_cursor_alone) {
    auto parser = over("abc def\nnext $Eot\n");
    char out[vorlex_parser::value_size];
    EXPECT_EQ(parser->copy_line_token(out, parser->cursor, 0), 7);
    EXPECT_STREQ(out, "abc def");
    EXPECT_EQ(parser->copy_line_token(out, parser->cursor, 2), 2);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(parser->copy_white_token(out, parser->cursor, 0), 3);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(parser->copy_until_token(out, parser->cursor, "$Eot", 0), 13);
    EXPECT_STREQ(out, "abc def\nnext ");
    EXPECT_EQ(parser->copy_until_token(out, parser->cursor, "$eot", 0), -1); // case matters
    EXPECT_EQ(offset(*parser), 0);
}
