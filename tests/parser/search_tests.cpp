// Token search and checks: where tokens match, where the cursor ends up, and what is reported.
#include <gtest/gtest.h>

#include <cstring>

#include "parser_fixture.h"

using parser_fixture::logged;
using parser_fixture::offset;
using parser_fixture::over;

namespace {

const char* settings = "$resize threshold:\t128\n"
                       "$ZOOM IN:\tup\n"
                       "$osd font height:\t14\n"
                       "   $default layout: top left\n";

} // namespace

TEST(parser_search, key_matches_in_any_letter_case_and_as_a_prefix) {
    auto parser = over(settings);
    EXPECT_TRUE(parser->search_token("$zoom in:"));
    EXPECT_STREQ(parser->rest_of_line(), "\tup");
    parser->rewind_search_cursor();
    EXPECT_TRUE(parser->search_token("$zoom"));
    EXPECT_STREQ(parser->rest_of_line(), " IN:\tup");
}

TEST(parser_search, cursor_stands_directly_behind_the_token) {
    auto parser = over(settings);
    ASSERT_TRUE(parser->search_token("$osd font height:"));
    EXPECT_EQ(*parser->cursor, '\t');
    ASSERT_TRUE(parser->search_token("$default layout:")); // indented line start
    EXPECT_STREQ(parser->rest_of_line(), " top left");
}

TEST(parser_search, token_in_the_middle_of_a_line_is_not_found) {
    auto parser = over("$a: 1 $hidden: 2\n$b: 3\n");
    EXPECT_FALSE(parser->search_token("$hidden:"));
    parser->rewind_search_cursor();
    ASSERT_TRUE(parser->search_token("$a:"));
    parser->cursor += 3; // now on the blank before the token
    EXPECT_TRUE(parser->search_token("$hidden:"));
}

TEST(parser_search, repeated_key_is_found_line_by_line_without_wrapping) {
    logged parser;
    parser.open_text("$k: first\n$other: x\n$k: second\n");
    ASSERT_TRUE(parser->search_token("$k:"));
    EXPECT_STREQ(parser->rest_of_line(), " first");
    ASSERT_TRUE(parser->search_token("$k:"));
    EXPECT_STREQ(parser->rest_of_line(), " second");
    EXPECT_FALSE(parser->search_token("$k:"));
    EXPECT_EQ(*parser->cursor, vorlex_parser::end_mark);
    EXPECT_FALSE(parser->search_token("$other:"));
    const std::vector<std::string> lines = parser.lines();
    EXPECT_EQ(lines[lines.size() - 2], "Searched token not found [$k:] (warning #1)");
    EXPECT_EQ(lines.back(), "Searched token not found [$other:] (warning #2)");
    parser->rewind_search_cursor();
    EXPECT_EQ(parser.lines().back(), "Search cursor rewound");
    EXPECT_TRUE(parser->search_token("$other:"));
    EXPECT_EQ(parser.lines().back(), "Searched token found [$other:]");
}

TEST(parser_search, source_byte_0x80_ends_the_search_and_cannot_be_matched) {
    auto parser = over("$a: 1\n\x80$b: 2\n");
    EXPECT_FALSE(parser->search_token("\x80$b:"));
    EXPECT_EQ(offset(*parser), 6);
    parser->rewind_search_cursor();
    EXPECT_FALSE(parser->search_token("$b:"));
}

TEST(parser_search, token_longer_than_the_text_does_not_match) {
    auto parser = over("$a");
    EXPECT_FALSE(parser->search_token("$abc"));
    EXPECT_EQ(offset(*parser), 2);
}

TEST(parser_search, search_until_stops_at_the_stop_token_or_a_hash_line) {
    auto parser = over("$a: 1\n[next]\n$b: 2\n");
    EXPECT_EQ(parser->search_token_until("$b:", "[next]"), 0);
    EXPECT_STREQ(parser->rest_of_line(), "[next]");
    EXPECT_EQ(parser->search_token_until("$b:", nullptr), 1);

    auto hashed = over("$a: 1\n#section\n$b: 2\n");
    EXPECT_EQ(hashed->search_token_until("$b:", "#section"), -1);
    EXPECT_STREQ(hashed->rest_of_line(), "#section");
    hashed->rewind_search_cursor();
    EXPECT_EQ(hashed->search_token_until("$missing:", nullptr), -1);
    EXPECT_EQ(*hashed->cursor, vorlex_parser::end_mark);
}

TEST(parser_require, token_on_the_fifth_line_is_found_after_four_warnings) {
    logged parser;
    parser.open_text("l1\nl2\nl3\nl4\n$want: 5\n");
    EXPECT_TRUE(parser->require_token("$want:"));
    EXPECT_EQ(parser->warning_count, 4);
    const std::vector<std::string> lines = parser.lines();
    EXPECT_EQ(lines[1], "Required token expected [$want:], found [l1] (warning #1)");
    EXPECT_EQ(lines.back(), "Required token found [$want:]");
    EXPECT_STREQ(parser->rest_of_line(), " 5");
}

TEST(parser_require, token_on_the_sixth_line_costs_six_warnings) {
    logged parser;
    parser.open_text("l1\nl2\nl3\nl4\nl5\n$want: 6\n");
    EXPECT_FALSE(parser->require_token("$want:"));
    EXPECT_EQ(parser->warning_count, 6);
    EXPECT_EQ(parser.lines().back(), "Required token not found [$want:] (warning #6)");
    EXPECT_STREQ(parser->rest_of_line(), "$want: 6");
}

TEST(parser_optional, passes_over_a_present_token_only) {
    logged parser;
    parser.open_text("  = value\n");
    EXPECT_FALSE(parser->optional_token(":"));
    EXPECT_EQ(parser.lines().back(), "Optional token not found [:] (warning #1)");
    EXPECT_EQ(*parser->cursor, '=');
    EXPECT_TRUE(parser->optional_token("="));
    EXPECT_EQ(parser.lines().back(), "Optional token found [=]");
    EXPECT_EQ(*parser->cursor, ' ');
}

TEST(parser_check, single_check_only_looks_ahead) {
    logged parser;
    parser.open_text("\n  $key: 1\n");
    EXPECT_TRUE(parser->check_token("$KEY:"));
    EXPECT_EQ(parser.lines().back(), "Checked token found [$KEY:]");
    EXPECT_EQ(*parser->cursor, '$');
    EXPECT_TRUE(parser->require_token("$key:"));
    EXPECT_EQ(parser->warning_count, 0);
    EXPECT_FALSE(parser->check_token("1x"));
    EXPECT_EQ(parser.lines().back(), "Checked token not found [1x] (warning #1)");
}

TEST(parser_check, two_tokens_first_wins_and_misses_are_information) {
    logged parser;
    parser.open_text("other\n$ab\n");
    EXPECT_EQ(parser->check_token("$a", "$ab"), 1);
    EXPECT_EQ(*parser->cursor, '$');
    EXPECT_EQ(parser->warning_count, 0);
    EXPECT_TRUE(parser.has_line("Checked token expected [$a] or [$ab], found [other]"));
    EXPECT_EQ(parser.lines().back(), "Checked token found [$a]");
    parser->rewind_search_cursor();
    EXPECT_EQ(parser->check_token("$x", "$AB"), 2);
}

TEST(parser_check, two_tokens_give_up_after_five_lines) {
    logged parser;
    parser.open_text("1\n2\n3\n4\n5\n$a\n");
    EXPECT_EQ(parser->check_token("$a", "$b"), -1);
    EXPECT_EQ(parser->warning_count, 1);
    EXPECT_EQ(parser.lines().back(),
              "Unable to find either checked token [$a] or [$b] (warning #1)");
}

TEST(parser_check, three_tokens_return_the_one_that_stands_there) {
    logged parser;
    parser.open_text("x\n$third\n");
    EXPECT_EQ(parser->check_token("$first", "$second", "$third"), 3);
    EXPECT_EQ(*parser->cursor, '$');
    EXPECT_EQ(parser.lines()[1], "Checked token expected [$first], [$second] or [$third], found "
                                 "[x] (warning #1)");
    parser.open_text("1\n2\n3\n4\n5\n$first\n");
    EXPECT_EQ(parser->check_token("$first", "$second", "$third"), -1);
    EXPECT_EQ(parser->warning_count, 5);
    EXPECT_STREQ(parser->rest_of_line(), "$first");
}

TEST(parser_primitives, skips_stop_where_they_should) {
    auto parser = over(" \t \n\tx \"a b\" c\n");
    parser->skip_blanks();
    EXPECT_EQ(*parser->cursor, '\n');
    parser->skip_whitespace();
    EXPECT_EQ(*parser->cursor, 'x');
    parser->cursor += 2;
    parser->skip_white_token(); // quotes keep their blank inside the token
    EXPECT_EQ(offset(*parser), 12);
    parser->skip_to_line_end();
    EXPECT_EQ(*parser->cursor, '\n');
    parser->skip_whitespace();
    EXPECT_EQ(*parser->cursor, vorlex_parser::end_mark);
    parser->skip_white_token();
    parser->skip_to_line_end();
    EXPECT_EQ(*parser->cursor, vorlex_parser::end_mark);
}

TEST(parser_primitives, trims) {
    char both[] = "  a  ";
    EXPECT_STREQ(vorlex_parser::trim(both), "a");
    char blanks[] = " \t\n ";
    EXPECT_STREQ(vorlex_parser::trim(blanks), "");
    char left[] = "\t x y ";
    EXPECT_STREQ(vorlex_parser::trim_left(left), "x y ");
    char right[] = " x y \n";
    EXPECT_STREQ(vorlex_parser::trim_right(right), " x y");
    char empty[] = "";
    EXPECT_STREQ(vorlex_parser::trim_right(empty), "");
}

TEST(parser_primitives, rest_of_line_is_cut_to_255_characters) {
    auto parser = over(std::string(1000, 'r') + "\n");
    EXPECT_EQ(std::strlen(parser->rest_of_line()), 255u);
    EXPECT_EQ(offset(*parser), 0);
}
