// Vorlex 1.1, the text-parser middleware: one source text in memory, a read cursor over it, the
// grammar settings and a time-stamped log.
//
// The object is about three megabytes of fixed buffers; always create it with new. It never
// throws and never allocates while parsing. Every operation reports through report() at level 0
// (information), 1 (warning) or 2 (error); results come back as bool, counts or -1.
//
// Bounds kept whatever the source holds:
// - the prepared text ends with end_mark (0x80); a 0x80 byte of the source ends it too, and no
//   cursor movement or scan ever passes it;
// - sources are cut to text_size - 1 characters (warning), paths of path_size characters or more
//   are refused (error), source paths with more than max_directories directory parts get no
//   directory list (error);
// - every text written into a buffer of the object or of a reader is cut to that buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/system.h"

// Three 32-bit floats, as a vector value or an entry of a vector list.
struct vector3 {
    float x;
    float y;
    float z;
};

// One entry of a string list; a list ends at its first empty slot.
using string_slot = char[2048];

class vorlex_parser {
  public:
    static constexpr float version = 1.1f;
    static constexpr std::size_t path_size = platform::max_path;
    static constexpr std::size_t message_size = 512;
    static constexpr std::size_t excerpt_size = 256;
    static constexpr std::size_t debug_size = 1024;
    static constexpr std::size_t text_size = 512000;
    static constexpr std::size_t token_size = 17; // closing token: 16 characters and a zero
    static constexpr std::size_t max_directories = 64;
    static constexpr std::size_t piece_size = 2048; // a source line is read in 2047-char pieces
    static constexpr std::size_t generated_size = 2048;
    static constexpr int value_limit = 256;        // default limit of the copy primitives
    static constexpr std::size_t value_size = 257; // a single-value destination
    static constexpr char end_mark = '\x80';
    static constexpr int info = 0;
    static constexpr int warning = 1;
    static constexpr int error = 2;

    // 0: the log file was not cleared yet in this process; 1: cleared, banner still to write;
    // 2: banner written. Shared by every parser object.
    static int log_state;

    // With log_enabled false nothing is ever written or counted. A log name of path_size
    // characters or more switches the log off.
    vorlex_parser(bool log_enabled, const char* log_file_name);
    // Writes the summary, the trailer of a generated file, and in archive mode goes back to the
    // program's directory.
    ~vorlex_parser();
    vorlex_parser(const vorlex_parser&) = delete;
    // The object holds megabytes of text buffers, of which a source uses a few pages: it lives
    // in a mapping of its own, which comes zeroed and is backed only where it is written. The
    // constructor counts on those zeros.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* object, std::size_t size) noexcept;
    vorlex_parser& operator=(const vorlex_parser&) = delete;

    // --- Object and log ---
    void reset();
    void set_closing_token(const char* token);
    // One log line; level 1 and 2 lines get a numbered suffix and are counted. Lines are cut to
    // the message buffer, always keeping the suffix.
    void report(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void write_summary();
    // Shows the formatted text (cut to debug_size - 1) in a message box; returns its result.
    int debug_box(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // --- Sources, archives and mirrors ---
    void set_archive(const char* zip_path);
    bool source_exists(const char* path);
    // Loads and prepares a source from disk, the archive or a mirror directory. The outcome is
    // reported only ("File parse OK" or "File parse failed"); the text is empty on failure.
    void open_file(const char* path);
    // Prepares the given bytes as if they had been read from the source `path` on disk.
    void open_from_memory(const char* path, const void* bytes, std::size_t size);
    // The first call creates the file named by the current source (mirror directories made in
    // archive mode) with its header; later calls append to that same file.
    void write_generated(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const char* program_directory();
    // The part of file_path after its last '/' (at_slash) or backslash; file_path without one.
    const char* source_file_name(bool at_slash);
    // Fills directories from file_path; the number of parts, 0 without a '/', -1 (and an empty
    // list) for more than max_directories parts.
    int split_source_directories();
    // Characters a text read of the file delivers; -1 when it cannot be opened or read.
    long text_file_length(const char* path);
    // One piece of a line into `line` (piece_size characters): carriage returns skipped, at most
    // piece_size - 1 stored, a line feed ends it and is kept. Returns the characters consumed,
    // 0 at the end of the source.
    int read_source_line(char* line, const char* start, int size, int position);
    void strip_comment(char* line);

    // --- Token search and checks ---
    static bool is_whitespace(char c) { return c == '\t' || c == '\n' || c == ' '; }
    static bool is_blank(char c) { return c == '\t' || c == ' '; }
    void skip_whitespace();
    void skip_blanks();
    void skip_to_line_end();
    void skip_white_token();
    static char* trim_right(char* text);
    static char* trim_left(char* text);
    static char* trim(char* text);
    const char* rest_of_line();
    // The 1-based line of the source the cursor stands on.
    int current_line() const;
    void rewind_search_cursor();
    bool search_token(const char* token);
    // 1 found, 0 stop token reached, -1 not found or a line starting with '#' reached first.
    int search_token_until(const char* token, const char* stop_token);
    bool require_token(const char* token);
    bool optional_token(const char* token);
    bool check_token(const char* token);
    int check_token(const char* first, const char* second);
    int check_token(const char* first, const char* second, const char* third);

    // --- Value readers and lists ---
    // Mode 0: the rest of the line; mode 1: the text up to closing_token. At most 256
    // characters arrive; destination_size bounds the store (a longer value is cut, error).
    void stuff_string(char* destination, int mode, std::size_t destination_size = value_size);
    void stuff_white_string(char* destination, std::size_t destination_size = value_size);
    void stuff_float(float* destination);
    void stuff_integer(std::int32_t* destination);
    void stuff_byte(std::uint8_t* destination);
    void stuff_vector(vector3* destination);
    // False when no '(' stands at the cursor (nothing stored, cursor unmoved).
    bool stuff_parenthesized_vector(vector3* destination);
    void stuff_boolean(bool* destination);
    // The list readers return how many elements they stored.
    int stuff_integer_list(std::int32_t* array, int count);
    int stuff_vector_list(vector3* array, int count);
    int stuff_string_list(string_slot* slots, int count);
    // Index of the first slot equal to text (letter case ignored), -1 when none. The walk stops
    // at the first empty slot, or after slot_count slots when slot_count is not negative.
    int find_in_string_list(const char* text, const string_slot* slots, const char* list_name,
                            int slot_count = -1);
    // The copy primitives leave the cursor alone; destination holds limit + 1 characters
    // (limit 0 means 256). They return the characters stored, -1 when nothing was stored.
    // Filling the limit is reported as too long, with the rest of the cursor's line.
    int copy_line_token(char* destination, const char* source, int limit);
    int copy_until_token(char* destination, const char* source, const char* token, int limit);
    int copy_white_token(char* destination, const char* source, int limit);
    float to_float();
    std::int32_t to_integer();
    void skip_bad_value();

    // --- Fields, in declaration order ---
    char file_path[path_size];
    char file_name[path_size];
    char* cursor;
    bool conversion_failed;
    bool log_enabled;
    char log_path[path_size];
    char message[message_size];
    char directory[path_size];
    std::int32_t warning_count;
    std::int32_t error_count;
    char line_excerpt[excerpt_size];
    char debug_text[debug_size];
    char text[text_size];
    char raw_text[text_size];
    char closing_token[token_size];
    bool generating;
    char archive_path[path_size];
    void* archive_handle;
    bool archive_mode;
    char directories[max_directories][path_size];
    char comment_char;

  private:
    // Source line of every character of text (end_mark included), kept by the preparation.
    std::uint32_t line_map[text_size];
    std::size_t raw_size;
    char generated_path[path_size]; // the file write_generated created

    void empty_text();
    bool begin_source(const char* path);
    bool read_disk_source(const char* path);
    bool read_archive_source(const char* member);
    bool mirror_path(char* out, std::size_t size);
    void prepare_source();
    bool enter_mirror_directories();
    bool remember_generated_path();
    bool matches_at(const char* at, const char* token) const;
    void advance(std::size_t count);
    void advance_over(const char* set);
    void pass_number(const char* number_characters);
    bool enter_list(const char* kind);
    void store_text(char* destination, std::size_t destination_size, const char* value);
    void report_too_long(int limit);
    bool is_end(char c) const { return c == end_mark || c == '\0'; }
};
