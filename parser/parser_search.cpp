// Moving the cursor: skipping, trimming, token search and look-ahead checks. No movement ever
// passes the end_mark.
#include <cstring>

#include "parser/parser_text.h"
#include "parser/vorlex_parser.h"

// A token matches when the text begins with its characters, letter case ignored. The text is
// read only up to the first difference, and never across the end_mark, whatever the token holds.
bool vorlex_parser::matches_at(const char* at, const char* token) const {
    if (token == nullptr) {
        return false;
    }
    for (; *token != '\0'; ++token, ++at) {
        if (is_end(*at) || parser_text::lower(*at) != parser_text::lower(*token)) {
            return false;
        }
    }
    return true;
}

// Moves over count characters, stopping on the end_mark.
void vorlex_parser::advance(std::size_t count) {
    while (count > 0 && !is_end(*cursor)) {
        ++cursor;
        --count;
    }
}

void vorlex_parser::skip_whitespace() {
    while (!is_end(*cursor) && is_whitespace(*cursor)) {
        ++cursor;
    }
}

void vorlex_parser::skip_blanks() {
    while (!is_end(*cursor) && is_blank(*cursor)) {
        ++cursor;
    }
}

void vorlex_parser::skip_to_line_end() {
    while (!is_end(*cursor) && *cursor != '\n') {
        ++cursor;
    }
}

void vorlex_parser::skip_white_token() {
    bool in_quotes = false;
    while (!is_end(*cursor) && *cursor != '\n') {
        if (*cursor == '"') {
            in_quotes = !in_quotes;
        } else if (!in_quotes && is_whitespace(*cursor)) {
            return;
        }
        ++cursor;
    }
}

char* vorlex_parser::trim_right(char* text) {
    if (text == nullptr) {
        return text;
    }
    std::size_t length = std::strlen(text);
    while (length > 0 && is_whitespace(text[length - 1])) {
        --length;
    }
    text[length] = '\0';
    return text;
}

char* vorlex_parser::trim_left(char* text) {
    if (text == nullptr) {
        return text;
    }
    std::size_t skip = 0;
    while (text[skip] != '\0' && is_whitespace(text[skip])) {
        ++skip;
    }
    std::memmove(text, text + skip, std::strlen(text + skip) + 1);
    return text;
}

char* vorlex_parser::trim(char* text) {
    return trim_left(trim_right(text));
}

const char* vorlex_parser::rest_of_line() {
    std::size_t length = 0;
    while (length < excerpt_size - 1 && !is_end(cursor[length]) && cursor[length] != '\n') {
        line_excerpt[length] = cursor[length];
        ++length;
    }
    line_excerpt[length] = '\0';
    return line_excerpt;
}

// Exact: preparation recorded the source line of every character of the text.
int vorlex_parser::current_line() const {
    return static_cast<int>(line_map[cursor - text]);
}

void vorlex_parser::rewind_search_cursor() {
    cursor = text;
    report(info, "Search cursor rewound");
}

bool vorlex_parser::search_token(const char* token) {
    skip_whitespace();
    while (!is_end(*cursor) && !matches_at(cursor, token)) {
        skip_to_line_end();
        skip_whitespace();
    }
    if (is_end(*cursor)) {
        report(warning, "Searched token not found [%s]", token != nullptr ? token : "");
        return false;
    }
    advance(std::strlen(token));
    report(info, "Searched token found [%s]", token);
    return true;
}

int vorlex_parser::search_token_until(const char* token, const char* stop_token) {
    skip_whitespace();
    while (!is_end(*cursor) && !matches_at(cursor, token)) {
        if (stop_token != nullptr && *cursor == '#') {
            return -1;
        }
        if (stop_token != nullptr && matches_at(cursor, stop_token)) {
            return 0;
        }
        skip_to_line_end();
        skip_whitespace();
    }
    if (is_end(*cursor)) {
        return -1;
    }
    advance(std::strlen(token));
    return 1;
}

bool vorlex_parser::require_token(const char* token) {
    const char* shown = token != nullptr ? token : "";
    for (int tries = 0; tries < 5; ++tries) {
        skip_whitespace();
        if (matches_at(cursor, token)) {
            advance(std::strlen(token));
            report(info, "Required token found [%s]", shown);
            return true;
        }
        report(warning, "Required token expected [%s], found [%s]", shown, rest_of_line());
        skip_to_line_end();
    }
    skip_whitespace();
    report(warning, "Required token not found [%s]", shown);
    return false;
}

bool vorlex_parser::optional_token(const char* token) {
    const char* shown = token != nullptr ? token : "";
    skip_whitespace();
    if (matches_at(cursor, token)) {
        advance(std::strlen(token));
        report(info, "Optional token found [%s]", shown);
        return true;
    }
    report(warning, "Optional token not found [%s]", shown);
    return false;
}

bool vorlex_parser::check_token(const char* token) {
    const char* shown = token != nullptr ? token : "";
    skip_whitespace();
    if (matches_at(cursor, token)) {
        report(info, "Checked token found [%s]", shown);
        return true;
    }
    report(warning, "Checked token not found [%s]", shown);
    return false;
}

int vorlex_parser::check_token(const char* first, const char* second) {
    const char* shown_first = first != nullptr ? first : "";
    const char* shown_second = second != nullptr ? second : "";
    skip_whitespace();
    for (int tries = 0; tries < 5; ++tries) {
        if (matches_at(cursor, first)) {
            report(info, "Checked token found [%s]", shown_first);
            return 1;
        }
        if (matches_at(cursor, second)) {
            report(info, "Checked token found [%s]", shown_second);
            return 2;
        }
        report(info, "Checked token expected [%s] or [%s], found [%s]", shown_first, shown_second,
               rest_of_line());
        skip_to_line_end();
        skip_whitespace();
    }
    report(warning, "Unable to find either checked token [%s] or [%s]", shown_first, shown_second);
    return -1;
}

int vorlex_parser::check_token(const char* first, const char* second, const char* third) {
    const char* candidates[3] = {first, second, third};
    for (int tries = 0; tries < 5; ++tries) {
        skip_whitespace();
        for (int i = 0; i < 3; ++i) {
            if (matches_at(cursor, candidates[i])) {
                report(info, "Checked token found [%s]", candidates[i]);
                return i + 1;
            }
        }
        report(warning, "Checked token expected [%s], [%s] or [%s], found [%s]",
               first != nullptr ? first : "", second != nullptr ? second : "",
               third != nullptr ? third : "", rest_of_line());
        skip_to_line_end();
    }
    skip_whitespace();
    return -1;
}
