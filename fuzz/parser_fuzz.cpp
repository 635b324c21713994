// Feeds arbitrary bytes to the parser as a source (from memory, from a disk file or as a zip
// archive) and runs every search, check, reader and list reader over the result.
//
// The first byte chooses how: bits 0 and 6 both set log on, bit 1 through a disk file, bit 2 the
// bytes are a zip archive, bits 4-5 the closing token. The one value 0xc8 repeats the bytes past
// the text buffer instead (rare on purpose: every scan of half a megabyte costs).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "parser/vorlex_parser.h"

namespace {

struct scratch {
    std::string folder;
    scratch() {
        // Memory-backed when the system has it: every input is written to a file.
        char shared[] = "/dev/shm/vorlex-fuzz-XXXXXX";
        char temporary[] = "/tmp/vorlex-fuzz-XXXXXX";
        folder = mkdtemp(shared) != nullptr      ? shared
                 : mkdtemp(temporary) != nullptr ? temporary
                                                 : "/tmp";
    }
    ~scratch() {
        for (const char* name : {"/source.txt", "/source.zip", "/vorlex.log"}) {
            unlink((folder + name).c_str());
        }
        rmdir(folder.c_str());
    }
    std::string file(const char* name) const { return folder + name; }
};

scratch& work() {
    static scratch folder;
    return folder;
}

bool write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

const char* const keys[] = {"$resize threshold:",
                            "$resize filter:",
                            "$default layout:",
                            "$show caption bar:",
                            "$osd font color:",
                            "$zoom",
                            "(",
                            "\"",
                            "$Eot",
                            "#",
                            "",
                            "\x80"};
constexpr int key_count = sizeof(keys) / sizeof(keys[0]);

// One value reader, chosen by number, at the cursor.
void read_value(vorlex_parser& parser, int which) {
    char value[vorlex_parser::value_size];
    char small[8];
    std::int32_t integers[4] = {};
    vector3 vectors[3] = {};
    static string_slot slots[4];
    switch (which % 14) {
    case 0:
        parser.stuff_string(value, 0);
        break;
    case 1:
        parser.stuff_string(value, 1);
        break;
    case 2:
        parser.stuff_white_string(small, sizeof(small));
        break;
    case 3: {
        float f;
        parser.stuff_float(&f);
        break;
    }
    case 4: {
        std::int32_t i;
        parser.stuff_integer(&i);
        break;
    }
    case 5: {
        std::uint8_t b;
        parser.stuff_byte(&b);
        break;
    }
    case 6: {
        vector3 v;
        parser.stuff_vector(&v);
        break;
    }
    case 7: {
        vector3 v;
        parser.stuff_parenthesized_vector(&v);
        break;
    }
    case 8: {
        bool b = false;
        parser.stuff_boolean(&b);
        break;
    }
    case 9:
        parser.stuff_integer_list(integers, 1 + which % 4);
        break;
    case 10:
        parser.stuff_vector_list(vectors, 1 + which % 3);
        break;
    case 11: {
        std::memset(slots, 0, sizeof(slots));
        const int count = 1 + which % 3;
        parser.stuff_string_list(slots, count);
        parser.find_in_string_list("lanczos", slots, nullptr, 4);
        parser.find_in_string_list(slots[0], slots, "list", 4);
        break;
    }
    case 12:
        parser.copy_line_token(value, parser.cursor, 0);
        parser.copy_white_token(value, parser.cursor, 0);
        parser.copy_until_token(value, parser.cursor, "$Eot", 0);
        parser.copy_until_token(value, parser.cursor, ")", 40);
        break;
    default:
        parser.to_float();
        parser.to_integer();
        parser.skip_bad_value();
        break;
    }
}

void exercise(vorlex_parser& parser, int walk_steps, int keys_tried) {
    for (int k = 0; k < keys_tried; ++k) {
        if (parser.search_token(keys[k])) {
            read_value(parser, k);
            read_value(parser, k + 7);
        }
        parser.current_line();
        parser.rewind_search_cursor();
    }
    parser.search_token_until("$zoom", "#");
    parser.search_token_until("(", nullptr);
    parser.rewind_search_cursor();
    parser.require_token("$");
    parser.optional_token("(");
    parser.check_token("$");
    parser.check_token("(", "\"");
    parser.check_token("#", ";", "$Eot");
    parser.rewind_search_cursor();

    // Walk the whole text with every reader in turn; each step either moves or skips a line.
    for (int step = 0; step < walk_steps && *parser.cursor != vorlex_parser::end_mark; ++step) {
        const char* before = parser.cursor;
        read_value(parser, step);
        parser.rest_of_line();
        parser.current_line();
        if (parser.cursor == before) {
            parser.skip_to_line_end();
            parser.skip_whitespace();
            parser.skip_white_token();
            parser.skip_blanks();
            if (parser.cursor == before) {
                break;
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool big = mode == 0xc8;
    if (big && size > 0) {
        while (bytes.size() <= vorlex_parser::text_size) {
            bytes.append(reinterpret_cast<const char*>(data), size);
        }
    }

    // Two long-lived parsers, log off and on: a fresh three-megabyte object per input would
    // cost more than the parse. reset() at the end of each input leaves no state behind.
    vorlex_parser::log_state = 0;
    static const std::string log = work().file("/vorlex.log");
    static vorlex_parser* const quiet = new vorlex_parser(false, log.c_str());
    static vorlex_parser* const logging = new vorlex_parser(true, log.c_str());
    const bool logged = (mode & 0x41) == 0x41;
    vorlex_parser* const parser = logged ? logging : quiet;
    const char* tokens[] = {"$Eot", "$End", "", "12345678901234567"};
    parser->set_closing_token(tokens[(mode >> 4) & 3]);

    if ((mode & 4) != 0) {
        const std::string zip = work().file("/source.zip");
        if (!write_bytes(zip, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) {
            return 0;
        }
        parser->set_archive(zip.c_str());
        parser->source_exists("dir/source.txt");
        parser->open_file((mode & 2) != 0 ? "DIR/SOURCE.TXT" : "dir/source.txt");
    } else if ((mode & 2) != 0) {
        const std::string file = work().file("/source.txt");
        if (!write_bytes(file, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) {
            return 0;
        }
        parser->open_file(file.c_str());
    } else {
        parser->open_from_memory("memory.txt", bytes.data(), bytes.size());
    }
    // Every log line opens and closes the file: a logged walk is kept short.
    exercise(*parser, big ? 20 : logged ? 200 : 4000, big ? 2 : key_count);
    parser->reset();
    exercise(*parser, 10, 2);
    return 0;
}
