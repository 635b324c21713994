// Value readers: strings, numbers, vectors, booleans and parenthesized lists, and the copy
// primitives under them. Values pass through fixed local buffers; nothing is allocated.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "parser/parser_text.h"
#include "parser/vorlex_parser.h"

namespace {

constexpr const char* float_characters = "+-0123456789.";
constexpr const char* integer_characters = "+-0123456789";

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Sign and digits, as the C conversion reads them; saturates at the 32-bit limits.
std::int32_t decimal_integer(const char* at) {
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at++ == '-';
    }
    std::int64_t value = 0;
    for (; is_digit(*at); ++at) {
        value = value * 10 + (*at - '0');
        if (value > INT32_MAX + std::int64_t{1}) {
            value = INT32_MAX + std::int64_t{1};
        }
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

// Sign, digits, decimal point and exponent only (no hexadecimal, no inf or nan). The number is
// rewritten into a short lexeme first, so the conversion never reads the text past the number:
// leading zeros are dropped and integer digits beyond 60 move into the exponent.
float decimal_float(const char* at) {
    constexpr int kept_digits = 60;
    char lexeme[200];
    std::size_t length = 0;
    auto put = [&](char c) {
        if (length < sizeof(lexeme) - 1) {
            lexeme[length++] = c;
        }
    };
    if (*at == '+' || *at == '-') {
        put(*at++);
    }
    while (*at == '0' && is_digit(at[1])) {
        ++at;
    }
    long exponent_shift = 0;
    int digits = 0;
    for (; is_digit(*at); ++at, ++digits) {
        if (digits < kept_digits) {
            put(*at);
        } else if (exponent_shift < 100000) {
            ++exponent_shift;
        }
    }
    if (*at == '.') {
        ++at;
        if (exponent_shift == 0) {
            put('.');
        }
        for (int fraction = 0; is_digit(*at); ++at, ++fraction) {
            if (fraction < kept_digits && exponent_shift == 0) {
                put(*at);
            }
        }
    }
    long exponent = 0;
    if (*at == 'e' || *at == 'E') {
        const char* mark = at + 1;
        bool negative = false;
        if (*mark == '+' || *mark == '-') {
            negative = *mark++ == '-';
        }
        for (; is_digit(*mark); ++mark) {
            if (exponent < 100000) {
                exponent = exponent * 10 + (*mark - '0');
            }
        }
        exponent = negative ? -exponent : exponent;
    }
    lexeme[length] = '\0';
    float value = std::strtof(lexeme, nullptr);
    const long scale = exponent + exponent_shift;
    if (scale != 0 && value != 0.0f) {
        char scaled[sizeof(lexeme) + 16];
        std::snprintf(scaled, sizeof(scaled), "%se%ld", lexeme, scale);
        value = std::strtof(scaled, nullptr);
    }
    return value;
}

} // namespace

void vorlex_parser::advance_over(const char* set) {
    while (!is_end(*cursor) && std::strchr(set, *cursor) != nullptr) {
        ++cursor;
    }
}

// Shows the rest of the cursor's line (cut to the excerpt) with its full length.
void vorlex_parser::report_too_long(int limit) {
    int length = 0;
    while (!is_end(cursor[length]) && cursor[length] != '\n') {
        ++length;
    }
    report(error, "Token too long [%s]. Length = %i. Max is %i", rest_of_line(), length, limit);
}

// Stores a value into the caller's buffer, cut to its size.
void vorlex_parser::store_text(char* destination, std::size_t destination_size, const char* value) {
    if (destination == nullptr || destination_size == 0) {
        return;
    }
    if (!parser_text::copy_bounded(destination, destination_size, value)) {
        report(error, "Token too long [%s]. Length = %i. Max is %i", value,
               static_cast<int>(std::strlen(value)), static_cast<int>(destination_size - 1));
    }
}

int vorlex_parser::copy_line_token(char* destination, const char* source, int limit) {
    if (destination == nullptr) {
        return -1;
    }
    limit = limit > 0 ? limit : value_limit;
    int stored = 0;
    while (source != nullptr && stored < limit && !is_end(source[stored]) &&
           source[stored] != '\n') {
        destination[stored] = source[stored];
        ++stored;
    }
    destination[stored] = '\0';
    // A value that fills the limit exactly is reported too: nothing tells it from a longer one.
    if (stored == limit) {
        report_too_long(limit);
    }
    return stored;
}

int vorlex_parser::copy_white_token(char* destination, const char* source, int limit) {
    if (destination == nullptr) {
        return -1;
    }
    limit = limit > 0 ? limit : value_limit;
    bool in_quotes = false;
    int stored = 0;
    for (const char* at = source; at != nullptr && stored < limit; ++at) {
        const char c = *at;
        if (c == '\0' || static_cast<unsigned char>(c) >= 128 || c == '\n') {
            break;
        }
        if (c == '"') {
            in_quotes = !in_quotes;
            continue;
        }
        if (!in_quotes && is_whitespace(c)) {
            break;
        }
        destination[stored++] = c;
    }
    destination[stored] = '\0';
    if (stored == limit) {
        report_too_long(limit);
    }
    return stored;
}

int vorlex_parser::copy_until_token(char* destination, const char* source, const char* token,
                                    int limit) {
    if (destination == nullptr || source == nullptr || token == nullptr) {
        return -1;
    }
    limit = limit > 0 ? limit : value_limit;
    const std::size_t token_length = std::strlen(token);
    const char* at = source;
    for (;; ++at) {
        std::size_t i = 0;
        while (i < token_length && !is_end(at[i]) && at[i] == token[i]) {
            ++i;
        }
        if (i == token_length || is_end(*at)) {
            break;
        }
    }
    if (token_length > 0 && is_end(*at)) {
        report(error, "Looking for [%s], but never found it :(", token);
        return -1;
    }
    const std::size_t before = static_cast<std::size_t>(at - source);
    // The limit covers the value and its closing token; the report shows both together.
    if (before + token_length >= static_cast<std::size_t>(limit)) {
        report(error, "Too much text (%i chars, %i allowed) before %s",
               static_cast<int>(before + token_length), limit, token);
        return -1;
    }
    std::memcpy(destination, source, before);
    destination[before] = '\0';
    return static_cast<int>(before);
}

void vorlex_parser::stuff_string(char* destination, int mode, std::size_t destination_size) {
    char buffer[piece_size] = {};
    if (mode == 0) {
        skip_blanks();
        copy_line_token(buffer, cursor, value_limit);
        trim_right(buffer);
        skip_to_line_end();
    } else if (mode == 1) {
        skip_whitespace();
        const int copied = copy_until_token(buffer, cursor, closing_token, value_limit);
        if (copied > 0) {
            advance(static_cast<std::size_t>(copied));
        }
        trim_right(buffer);
        require_token(closing_token);
    }
    store_text(destination, destination_size, buffer);
    report(info, "> String stuffed [%s]", destination != nullptr ? destination : buffer);
}

void vorlex_parser::stuff_white_string(char* destination, std::size_t destination_size) {
    char buffer[piece_size] = {};
    skip_whitespace();
    copy_white_token(buffer, cursor, value_limit);
    skip_white_token();
    store_text(destination, destination_size, buffer);
    report(info, "> \"White\" string stuffed [%s]", destination != nullptr ? destination : buffer);
}

float vorlex_parser::to_float() {
    conversion_failed = false;
    skip_whitespace();
    const char c = *cursor;
    if (c == '+' || c == '-' || c == '.' || is_digit(c)) {
        return decimal_float(cursor);
    }
    report(error, "Conversion failed. Expecting float, found [%s]", rest_of_line());
    conversion_failed = true;
    return -1.0f;
}

std::int32_t vorlex_parser::to_integer() {
    conversion_failed = false;
    skip_whitespace();
    const char c = *cursor;
    if (c == '+' || c == '-' || is_digit(c)) {
        return decimal_integer(cursor);
    }
    report(error, "Conversion failed. Expecting an integer, found [%s]", rest_of_line());
    conversion_failed = true;
    return -1;
}

void vorlex_parser::skip_bad_value() {
    skip_whitespace();
    while (!is_end(*cursor) && !is_whitespace(*cursor)) {
        ++cursor;
    }
}

// Moves past the number just read, or the bad value in its place, and one comma behind it.
void vorlex_parser::pass_number(const char* number_characters) {
    if (conversion_failed) {
        skip_bad_value();
    } else {
        advance_over(number_characters);
    }
    if (*cursor == ',') {
        ++cursor;
    }
}

void vorlex_parser::stuff_float(float* destination) {
    const float value = to_float();
    if (destination != nullptr) {
        *destination = value;
    }
    pass_number(float_characters);
    report(info, "> Float stuffed [%f]", static_cast<double>(value));
}

void vorlex_parser::stuff_integer(std::int32_t* destination) {
    const std::int32_t value = to_integer();
    if (destination != nullptr) {
        *destination = value;
    }
    pass_number(integer_characters);
    report(info, "> Integer stuffed [%i]", value);
}

void vorlex_parser::stuff_byte(std::uint8_t* destination) {
    const auto value = static_cast<std::uint8_t>(to_integer());
    if (destination != nullptr) {
        *destination = value;
    }
    pass_number(integer_characters);
    report(info, "> Byte stuffed [%i]", static_cast<int>(value));
}

void vorlex_parser::stuff_vector(vector3* destination) {
    vector3 local{};
    vector3& v = destination != nullptr ? *destination : local;
    stuff_float(&v.x);
    stuff_float(&v.y);
    stuff_float(&v.z);
    report(info, "> Vector stuffed [(%f, %f, %f)]", static_cast<double>(v.x),
           static_cast<double>(v.y), static_cast<double>(v.z));
}

bool vorlex_parser::stuff_parenthesized_vector(vector3* destination) {
    skip_whitespace();
    if (*cursor != '(') {
        report(error, "Reading parenthesized vector. Expecting '(', found [%c]", *cursor);
        return false;
    }
    ++cursor;
    vector3 local{};
    vector3& v = destination != nullptr ? *destination : local;
    stuff_vector(&v);
    skip_whitespace();
    if (*cursor != ')') {
        report(error, "Reading parenthesized vector. Expecting ')', found [%c]", *cursor);
    }
    advance(1);
    report(info, ">> Parenthesized vector stuffed [(%f, %f, %f)]", static_cast<double>(v.x),
           static_cast<double>(v.y), static_cast<double>(v.z));
    return true;
}

void vorlex_parser::stuff_boolean(bool* destination) {
    char buffer[piece_size] = {};
    skip_whitespace();
    copy_line_token(buffer, cursor, value_limit);
    trim_right(buffer);
    skip_to_line_end();
    bool value = destination != nullptr && *destination;
    if (is_digit(buffer[0])) {
        value = decimal_integer(buffer) != 0;
    } else if (parser_text::equal_no_case(buffer, "yes", 4) ||
               parser_text::equal_no_case(buffer, "true", 5) ||
               parser_text::equal_no_case(buffer, "1", 2)) {
        value = true;
    } else if (parser_text::equal_no_case(buffer, "no", 3) ||
               parser_text::equal_no_case(buffer, "false", 6) ||
               parser_text::equal_no_case(buffer, "0", 2)) {
        value = false;
    }
    if (destination != nullptr) {
        *destination = value;
    }
    report(info, "> Boolean stuffed [%s]", value ? "true" : "false");
}

// Passes the '(' that opens a list and the whitespace behind it; false when no '(' stands there.
bool vorlex_parser::enter_list(const char* kind) {
    skip_whitespace();
    if (*cursor != '(') {
        report(error, "Reading %s list. Expected '(', found [%c]", kind, *cursor);
        return false;
    }
    ++cursor;
    skip_whitespace();
    return true;
}

int vorlex_parser::stuff_integer_list(std::int32_t* array, int count) {
    if (!enter_list("integer")) {
        return 0;
    }
    int read = 0;
    // An unclosed list ends at the end of the text, not with count made-up values.
    while (*cursor != ')' && read < count && !is_end(*cursor)) {
        std::int32_t ignored = 0;
        stuff_integer(array != nullptr ? &array[read] : &ignored);
        ++read;
        skip_whitespace();
    }
    advance(1);
    if (read == count) {
        report(info, ">> Parenthesized integer list stuffed. Look at the %d preceeding lines ;)",
               read);
    } else {
        report(warning,
               ">> Parenthesized integer list incompletely stuffed. Expected [%d], done [%d]",
               count, read);
    }
    return read;
}

int vorlex_parser::stuff_vector_list(vector3* array, int count) {
    if (!enter_list("vector")) {
        return 0;
    }
    int read = 0;
    while (*cursor != ')' && read < count && !is_end(*cursor)) {
        vector3 ignored{};
        // An element that is no vector stores nothing, so it ends the list instead of counting.
        if (!stuff_parenthesized_vector(array != nullptr ? &array[read] : &ignored)) {
            break;
        }
        ++read;
        skip_whitespace();
    }
    advance(1);
    if (read == count) {
        report(info, ">> Parenthesized vector list stuffed. %d vectors were stored", read);
    } else {
        report(warning,
               ">> Parenthesized vector list incompletely stuffed. Expected [%d], done [%d]", count,
               read);
    }
    return read;
}

int vorlex_parser::stuff_string_list(string_slot* slots, int count) {
    if (!enter_list("string")) {
        return 0;
    }
    if (*cursor != '"') {
        report(error, "Reading string list. Expected '\"' after '(', found [%c]", *cursor);
        return 0;
    }
    char* first_quote = cursor;
    long long quotes = 0;
    while (!is_end(*cursor) && *cursor != ')') {
        quotes += *cursor == '"' ? 1 : 0;
        ++cursor;
    }
    if (quotes / 2 != count) {
        report(error, "Reading string list. Expected [%lld] '\"' between '(' and ')', found [%lld]",
               2LL * count, quotes);
        return 0;
    }
    cursor = first_quote;
    int read = 0;
    while (!is_end(*cursor) && *cursor != ')' && read < count) {
        if (*cursor != '"') {
            ++cursor; // a separator
            continue;
        }
        const char* start = ++cursor;
        while (!is_end(*cursor) && *cursor != '"') {
            ++cursor;
        }
        const std::size_t length = static_cast<std::size_t>(cursor - start);
        const std::size_t kept = length < sizeof(string_slot) ? length : sizeof(string_slot) - 1;
        char* slot = slots != nullptr ? slots[read] : nullptr;
        if (slot != nullptr) {
            std::memcpy(slot, start, kept);
            slot[kept] = '\0';
        }
        if (length > kept) {
            report(error, "Token too long [%.*s]. Length = %i. Max is %i",
                   static_cast<int>(excerpt_size - 1), start, static_cast<int>(length),
                   static_cast<int>(kept));
        }
        advance(1); // the closing quote
        skip_whitespace();
        ++read;
        report(info, "> String stuffed [%s] (%d/%d)", slot != nullptr ? slot : "", read, count);
    }
    advance(1);
    if (read == count) {
        report(info, ">> Parenthesized string list stuffed. Look at the %d preceeding lines ;)",
               read);
    } else {
        report(warning,
               ">> Parenthesized string list incompletely stuffed. Expected [%d], done [%d]", count,
               read);
    }
    return read;
}

int vorlex_parser::find_in_string_list(const char* text, const string_slot* slots,
                                       const char* list_name, int slot_count) {
    const char* shown = text != nullptr ? text : "";
    for (int i = 0; text != nullptr && slots != nullptr && (slot_count < 0 || i < slot_count) &&
                    slots[i][0] != '\0';
         ++i) {
        if (parser_text::equal_no_case(slots[i], text, sizeof(string_slot))) {
            if (list_name != nullptr) {
                report(info, "Requested string [%s] found at index %d in the list (%s)", shown, i,
                       list_name);
            } else {
                report(info, "Requested string [%s] found at index %d in the list", shown, i);
            }
            return i;
        }
    }
    if (list_name != nullptr) {
        report(warning, "Requested string [%s] not found in the list (%s)", shown, list_name);
    } else {
        report(warning, "Requested string [%s] not found in the list", shown);
    }
    return -1;
}
