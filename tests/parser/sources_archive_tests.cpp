// Sources: preparation rules, disk files, zip archives, mirror directories, generated files and
// the path helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "parser_fixture.h"
#include "platform/backends/headless/headless.h"
#include "platform/system.h"

using parser_fixture::logged;
using parser_fixture::make_zip;
using parser_fixture::over;
using parser_fixture::prepared;
using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

// Points the program's directory at a scratch folder for one test.
class program_in {
  public:
    explicit program_in(const std::string& folder) {
        headless::set_module_path(folder + "/glintview");
        platform::get_working_directory(saved, sizeof(saved));
    }
    ~program_in() {
        headless::set_module_path("");
        platform::set_working_directory(saved);
    }

  private:
    char saved[vorlex_parser::path_size] = {};
};

} // namespace

TEST(parser_preparation, crlf_and_lf_prepare_alike) {
    const std::string lf = "$a:\t1\n$b: two words\n\n$c: (1 2 3)\n";
    const std::string crlf = "$a:\t1\r\n$b: two words\r\n\r\n$c: (1 2 3)\r\n";
    EXPECT_EQ(prepared(*over(lf)), lf);
    EXPECT_EQ(prepared(*over(crlf)), lf);
}

TEST(parser_preparation, comment_becomes_a_line_feed) {
    EXPECT_EQ(prepared(*over("$osd font name:\t\tTahoma ; the panel font\r\nnext\n")),
              "$osd font name:\t\tTahoma \nnext\n");
    EXPECT_EQ(prepared(*over("; whole line\n$a: 1\n")), "\n$a: 1\n");
}

TEST(parser_preparation, semicolon_inside_quotes_still_cuts) {
    EXPECT_EQ(prepared(*over("$name: \"a;b\"\n")), "$name: \"a\n");
}

TEST(parser_preparation, upper_end_marker_wins_over_lower) {
    const std::string source = "l1\nl2\nl3 #eof here\nl4\nl5\nl6\nl7\nl8\n#Eof\nl10\n";
    EXPECT_EQ(prepared(*over(source)), "l1\nl2\nl3 #eof here\nl4\nl5\nl6\nl7\nl8\n");
    EXPECT_EQ(prepared(*over("a\nb #eof c\nd\n")), "a\nb ");
    EXPECT_EQ(prepared(*over("a\n#EOF\nb\n")), "a\n#EOF\nb\n");
}

TEST(parser_preparation, source_starting_with_the_marker_is_empty_but_ok) {
    logged parser;
    parser.open_text("#Eof\n$a: 1\n");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser.lines().back(), "File parse OK [memory.txt]");
    EXPECT_FALSE(parser->search_token("$a:"));
}

TEST(parser_preparation, long_line_arrives_in_pieces_each_with_its_own_comment_rule) {
    std::string line(3000, 'x');
    line[100] = ';';
    std::string source = line + "\nnext\n";
    // The first piece (2047 characters) is cut at its ';'; the second piece is text again.
    const std::string expected = std::string(100, 'x') + "\n" + std::string(953, 'x') + "\nnext\n";
    EXPECT_EQ(prepared(*over(source)), expected);

    auto parser = over(std::string(3000, 'y') + "\n");
    EXPECT_EQ(prepared(*parser), std::string(3000, 'y') + "\n");
}

TEST(parser_preparation, zero_byte_drops_the_rest_of_its_line) {
    const std::string source("ab\0cd\nef\n", 9);
    EXPECT_EQ(prepared(*over(source)), "abef\n");
}

TEST(parser_preparation, source_byte_0x80_acts_as_the_end) {
    auto parser = over("$a: 1\n$b: \x80 2\n$c: 3\n");
    EXPECT_TRUE(parser->search_token("$a:"));
    EXPECT_TRUE(parser->search_token("$b:"));
    EXPECT_FALSE(parser->search_token("$c:"));
    EXPECT_EQ(*parser->cursor, vorlex_parser::end_mark);
}

TEST(parser_preparation, too_long_source_is_cut_to_the_buffer_with_a_warning) {
    logged parser;
    std::string source(vorlex_parser::text_size + 1000, 'a');
    for (std::size_t i = 80; i < source.size(); i += 81) {
        source[i] = '\n';
    }
    parser.open_text(source);
    EXPECT_EQ(parser.lines()[0], "Source too long [memory.txt]. Only the first 511999 characters "
                                 "are read (warning #1)");
    EXPECT_EQ(parser->text[vorlex_parser::text_size - 1], vorlex_parser::end_mark);
    EXPECT_EQ(prepared(*parser), source.substr(0, vorlex_parser::text_size - 1));
    EXPECT_EQ(parser.lines().back(), "File parse OK [memory.txt]");

    // Read from disk the same way.
    const std::string file = parser.dir.file("big.txt");
    ASSERT_TRUE(write_file(file, source));
    parser->open_file(file.c_str());
    EXPECT_EQ(prepared(*parser), source.substr(0, vorlex_parser::text_size - 1));
    EXPECT_EQ(parser->warning_count, 1);
}

TEST(parser_preparation, source_of_exactly_the_room_fits_without_warning) {
    logged parser;
    std::string source(vorlex_parser::text_size - 1, 'b');
    parser.open_text(source);
    EXPECT_EQ(parser->warning_count, 0);
    EXPECT_EQ(prepared(*parser).size(), vorlex_parser::text_size - 1);
}

TEST(parser_sources, missing_file_fails_with_an_empty_text) {
    logged parser;
    const std::string missing = parser.dir.file("missing.ini");
    parser->open_file(missing.c_str());
    EXPECT_EQ(parser.lines().back(), "File parse failed [" + missing + "] (error #1)");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser->cursor, parser->text);
    EXPECT_FALSE(parser->search_token("$a:"));
}

TEST(parser_sources, empty_file_and_leading_zero_fail) {
    logged parser;
    const std::string empty = parser.dir.file("empty.ini");
    ASSERT_TRUE(write_file(empty, ""));
    parser->open_file(empty.c_str());
    EXPECT_EQ(parser.lines().back(), "File parse failed [" + empty + "] (error #1)");
    parser.open_text(std::string("\0abc\n", 5));
    EXPECT_EQ(parser.lines().back(), "File parse failed [memory.txt] (error #1)");
}

TEST(parser_sources, disk_file_reads_and_reports_ok) {
    logged parser;
    const std::string path = parser.dir.file("Glintview.ini");
    ASSERT_TRUE(write_file(path, "$resize threshold:\t128\r\n#eof\n"));
    parser->open_file(path.c_str());
    EXPECT_STREQ(parser->file_path, path.c_str());
    EXPECT_EQ(prepared(*parser), "$resize threshold:\t128\n");
    EXPECT_EQ(parser.lines().back(), "File parse OK [" + path + "]");
}

TEST(parser_sources, path_that_does_not_fit_is_refused) {
    logged parser;
    const std::string path = parser.dir.file(std::string(platform::max_path + 40, 'p'));
    parser->open_file(path.c_str());
    EXPECT_STREQ(parser->file_path, "");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser->error_count, 2);
}

TEST(parser_sources, read_source_line_skips_carriage_returns_and_stops_after_line_feed) {
    auto parser = over("");
    char line[vorlex_parser::piece_size];
    const char source[] = "ab\r\ncd";
    EXPECT_EQ(parser->read_source_line(line, source, 6, 0), 4);
    EXPECT_STREQ(line, "ab\n");
    EXPECT_EQ(parser->read_source_line(line, source, 6, 4), 2);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(parser->read_source_line(line, source, 6, 6), 0);
    EXPECT_EQ(parser->read_source_line(line, "\r\r", 2, 0), 0);
    const std::string longer(5000, 'z');
    EXPECT_EQ(parser->read_source_line(line, longer.data(), 5000, 0), 2047);
    EXPECT_EQ(std::strlen(line), 2047u);
}

TEST(parser_sources, text_file_length_counts_characters) {
    scratch_dir dir;
    auto parser = over("");
    ASSERT_TRUE(write_file(dir.file("a.txt"), "abc\r\nd"));
    EXPECT_EQ(parser->text_file_length(dir.file("a.txt").c_str()), 6);
    EXPECT_EQ(parser->text_file_length(dir.file("none.txt").c_str()), -1);
}

TEST(parser_paths, source_file_name_splits_at_the_chosen_separator) {
    auto parser = over("");
    parser->open_from_memory("dir/sub/name.txt", "x", 1);
    EXPECT_STREQ(parser->source_file_name(true), "name.txt");
    EXPECT_STREQ(parser->source_file_name(false), "dir/sub/name.txt");
    parser->open_from_memory("C:\\dir\\win.txt", "x", 1);
    EXPECT_STREQ(parser->source_file_name(false), "win.txt");
}

TEST(parser_paths, split_source_directories_lists_the_parts_before_the_name) {
    auto parser = over("");
    parser->open_from_memory("dir/sub/name.txt", "x", 1);
    ASSERT_EQ(parser->split_source_directories(), 2);
    EXPECT_STREQ(parser->directories[0], "dir");
    EXPECT_STREQ(parser->directories[1], "sub");
    parser->open_from_memory("plain.txt", "x", 1);
    EXPECT_EQ(parser->split_source_directories(), 0);
}

TEST(parser_paths, more_than_sixty_four_directories_are_refused) {
    logged parser;
    std::string sixty_four;
    for (int i = 0; i < 64; ++i) {
        sixty_four += "d/";
    }
    parser->open_from_memory((sixty_four + "n.txt").c_str(), "x", 1);
    EXPECT_EQ(parser->split_source_directories(), 64);
    parser->open_from_memory((sixty_four + "e/n.txt").c_str(), "x", 1);
    EXPECT_EQ(parser->split_source_directories(), -1);
    EXPECT_EQ(parser->directories[0][0], '\0');
    EXPECT_EQ(parser.lines().back(),
              "Too many directories in [" + sixty_four + "e/n.txt]. Max is 64 (error #1)");
}

TEST(parser_archive, member_is_found_whatever_its_letter_case) {
    logged parser;
    const std::string zip = parser.dir.file("data.zip");
    ASSERT_TRUE(make_zip(zip, {{"Dir/Sub/Name.TXT", "$a:\t5 ; note\r\n"}, {"other.txt", "x"}}));
    parser->set_archive(zip.c_str());
    EXPECT_EQ(parser.lines().back(), "Zip archive set [" + zip + "]");
    parser->open_file("dir/sub/name.txt");
    EXPECT_EQ(prepared(*parser), "$a:\t5 \n");
    EXPECT_EQ(parser.lines().back(), "File parse OK [dir/sub/name.txt]");
    EXPECT_TRUE(parser->archive_mode);
    EXPECT_EQ(parser->archive_handle, nullptr);
}

TEST(parser_archive, missing_member_or_archive_fails_with_an_empty_text) {
    logged parser;
    const std::string zip = parser.dir.file("data.zip");
    ASSERT_TRUE(make_zip(zip, {{"a.txt", "$a: 1\n"}}));
    parser->set_archive(zip.c_str());
    parser->open_file("b.txt");
    EXPECT_EQ(parser.lines().back(), "File parse failed [b.txt] (error #1)");
    EXPECT_EQ(prepared(*parser), "");

    parser->set_archive(parser.dir.file("none.zip").c_str());
    parser->open_file("a.txt");
    EXPECT_EQ(parser.lines().back(), "File parse failed [a.txt] (error #1)");
}

TEST(parser_archive, damaged_archives_give_an_empty_text) {
    logged parser;
    const std::string good = parser.dir.file("good.zip");
    const std::string content(4000, 'k');
    ASSERT_TRUE(make_zip(good, {{"a.txt", content}}));
    const std::string bytes = read_file(good);

    const std::string garbage = parser.dir.file("garbage.zip");
    ASSERT_TRUE(write_file(garbage, "PK\x03\x04 this is not an archive at all"));
    parser->set_archive(garbage.c_str());
    parser->open_file("a.txt");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser.lines().back(), "File parse failed [a.txt] (error #1)");

    // Cut in the middle: the directory at the end is gone.
    const std::string cut = parser.dir.file("cut.zip");
    ASSERT_TRUE(write_file(cut, bytes.substr(0, bytes.size() / 2)));
    parser->set_archive(cut.c_str());
    parser->open_file("a.txt");
    EXPECT_EQ(prepared(*parser), "");

    // Compressed data scrambled: the read or its check fails.
    std::string scrambled = bytes;
    for (std::size_t i = 40; i < 60 && i < scrambled.size(); ++i) {
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5a);
    }
    const std::string broken = parser.dir.file("broken.zip");
    ASSERT_TRUE(write_file(broken, scrambled));
    parser->set_archive(broken.c_str());
    parser->open_file("a.txt");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser.lines().back(), "File parse failed [a.txt] (error #1)");
}

namespace {

// Rewrites the uncompressed size that every header of the archive claims (local header offset
// 22, central directory offset 24).
void claim_size(std::string& bytes, std::uint32_t size) {
    for (std::size_t at = 0; at + 28 <= bytes.size(); ++at) {
        const std::size_t field = bytes.compare(at, 4, "PK\x03\x04") == 0   ? at + 22
                                  : bytes.compare(at, 4, "PK\x01\x02") == 0 ? at + 24
                                                                            : 0;
        for (int i = 0; field != 0 && i < 4; ++i) {
            bytes[field + i] = static_cast<char>((size >> (8 * i)) & 0xff);
        }
    }
}

} // namespace

TEST(parser_archive, header_claiming_any_size_reads_no_more_than_the_member_holds) {
    logged parser;
    const std::string zip = parser.dir.file("claims.zip");
    ASSERT_TRUE(make_zip(zip, {{"a.txt", "$a: 1\n"}}));
    const std::string bytes = read_file(zip);
    parser->set_archive(zip.c_str());

    // Claiming far more: the data ends where it ends, nothing is allocated for the claim.
    for (std::uint32_t claim : {0xfffffff0u, 0xffffffffu, 600000u}) {
        std::string claimed = bytes;
        claim_size(claimed, claim);
        ASSERT_TRUE(write_file(zip, claimed));
        parser->open_file("a.txt");
        EXPECT_EQ(prepared(*parser), "$a: 1\n") << claim;
    }
    // Claiming less: the member's check fails and nothing is taken.
    std::string claimed = bytes;
    claim_size(claimed, 3);
    ASSERT_TRUE(write_file(zip, claimed));
    parser->open_file("a.txt");
    EXPECT_EQ(prepared(*parser), "");
    EXPECT_EQ(parser.lines().back(), "File parse failed [a.txt] (error #1)");
}

TEST(parser_archive, member_larger_than_the_buffer_is_cut) {
    logged parser;
    const std::string zip = parser.dir.file("big.zip");
    std::string content(vorlex_parser::text_size + 5000, 'q');
    for (std::size_t i = 99; i < content.size(); i += 100) {
        content[i] = '\n';
    }
    ASSERT_TRUE(make_zip(zip, {{"big.txt", content}}));
    parser->set_archive(zip.c_str());
    parser->open_file("big.txt");
    EXPECT_EQ(prepared(*parser), content.substr(0, vorlex_parser::text_size - 1));
    EXPECT_EQ(parser.lines().front(), "Zip archive set [" + zip + "]");
    EXPECT_TRUE(parser.has_line(
        "Source too long [big.txt]. Only the first 511999 characters are read (warning #1)"));
}

TEST(parser_archive, mirror_file_overrides_the_member_and_ends_archive_mode) {
    logged parser;
    program_in program(parser.dir.path());
    const std::string zip = parser.dir.file("data.zip");
    ASSERT_TRUE(make_zip(zip, {{"dir/sub/name.txt", "$from: archive\n"}}));
    ASSERT_TRUE(platform::make_directory(parser.dir.file("dir").c_str()));
    ASSERT_TRUE(platform::make_directory(parser.dir.file("dir/sub").c_str()));
    ASSERT_TRUE(write_file(parser.dir.file("dir/sub/name.txt"), "$from: mirror\n"));
    parser->set_archive(zip.c_str());
    parser->open_file("dir/sub/name.txt");
    EXPECT_EQ(prepared(*parser), "$from: mirror\n");
    EXPECT_TRUE(parser.has_line("File [name.txt] is mirrored in [" + parser.dir.file("dir/sub") +
                                "] -> it will be opened from there"));
    EXPECT_FALSE(parser->archive_mode);
}

TEST(parser_archive, source_exists_in_both_modes) {
    logged parser;
    const std::string disk = parser.dir.file("here.txt");
    ASSERT_TRUE(write_file(disk, "x"));
    EXPECT_TRUE(parser->source_exists(disk.c_str()));
    EXPECT_EQ(parser.fresh_lines().back(), "Specified file found [" + disk + "]");
    EXPECT_FALSE(parser->source_exists(parser.dir.file("gone.txt").c_str()));
    EXPECT_TRUE(parser.fresh_lines().empty());

    const std::string zip = parser.dir.file("data.zip");
    ASSERT_TRUE(make_zip(zip, {{"In/Zip.txt", "x"}}));
    parser->set_archive(zip.c_str());
    parser.fresh_lines();
    EXPECT_TRUE(parser->source_exists("in/zip.TXT"));
    EXPECT_EQ(parser.fresh_lines().back(), "Specified file found [in/zip.TXT]");
    EXPECT_FALSE(parser->source_exists("missing.txt"));
    EXPECT_EQ(parser.fresh_lines().back(), "Specified file not found [missing.txt] (warning #1)");

    const std::string none = parser.dir.file("none.zip");
    parser->set_archive(none.c_str());
    parser.fresh_lines();
    EXPECT_FALSE(parser->source_exists("a.txt"));
    EXPECT_EQ(parser.fresh_lines().back(),
              "Cannot open [" + none + "] => Specified file not found [a.txt] (warning #2)");
}

TEST(parser_archive, archive_path_that_does_not_fit_is_refused) {
    logged parser;
    parser->set_archive(std::string(platform::max_path + 100, 'z').c_str());
    EXPECT_TRUE(parser->archive_mode);
    EXPECT_STREQ(parser->archive_path, "");
    EXPECT_EQ(parser->error_count, 1);
    parser->open_file("a.txt");
    EXPECT_EQ(prepared(*parser), "");
}

TEST(parser_generated, disk_file_gets_header_texts_and_trailer) {
    logged parser;
    const std::string path = parser.dir.file("made.ini");
    parser->open_file(path.c_str());
    EXPECT_EQ(parser.lines().back(), "File parse failed [" + path + "] (error #1)");
    parser->write_generated("$a:\t%d\n", 1);
    parser->write_generated("$b:\t%s\n", "two");
    EXPECT_TRUE(parser->generating);
    parser.destroy();
    const std::string content = read_file(path);
    const std::string header = "; this file [made.ini] was generated by Vorlex on ";
    ASSERT_EQ(content.substr(0, header.size()), header);
    EXPECT_TRUE(
        parser_fixture::has_shape(content.substr(header.size(), 22), "##/##/## at ##:##:##\n\n"));
    EXPECT_EQ(content.substr(header.size() + 22),
              "$a:\t1\n$b:\ttwo\n\n\n; everything beyond this token (or \"#eof\") will be "
              "skipped\n#Eof\n");
    // Read back, the trailer's marker ends the text.
    auto again = over(content);
    EXPECT_EQ(prepared(*again), "\n\n$a:\t1\n$b:\ttwo\n\n\n\n");
}

TEST(parser_generated, archive_mode_creates_the_mirror_directories) {
    logged parser;
    program_in program(parser.dir.path());
    parser->set_archive(parser.dir.file("none.zip").c_str());
    parser->open_file("made/deeper/out.txt");
    parser->write_generated("$x: %d\n", 3);
    EXPECT_TRUE(parser.has_line("Directory [made] was created in [" + parser.dir.path() + "]"));
    EXPECT_TRUE(
        parser.has_line("Directory [deeper] was created in [" + parser.dir.file("made") + "]"));
    parser->write_generated("$y: %d\n", 4);
    // Leave the mirror directory somewhere else; destruction goes back to the program's.
    ASSERT_TRUE(platform::set_working_directory(parser.dir.file("made/deeper").c_str()));
    parser.destroy();
    char here[vorlex_parser::path_size];
    ASSERT_TRUE(platform::get_working_directory(here, sizeof(here)));
    EXPECT_EQ(std::string(here), parser.dir.path());
    const std::string content = read_file(parser.dir.file("made/deeper/out.txt"));
    EXPECT_EQ(content.rfind("; this file [made/deeper/out.txt] was generated by Vorlex on ", 0), 0u)
        << content;
    EXPECT_NE(content.find("\n\n$x: 3\n$y: 4\n\n\n; everything beyond"), std::string::npos);
}

TEST(parser_generated, opening_another_source_never_writes_into_it) {
    logged parser;
    const std::string made = parser.dir.file("made.ini");
    const std::string other = parser.dir.file("other.ini");
    ASSERT_TRUE(write_file(other, "$keep: 1\n"));
    parser->open_file(made.c_str());
    parser->write_generated("first\n");
    parser->open_file(other.c_str());
    parser->write_generated("second\n");
    parser.destroy();
    EXPECT_EQ(read_file(other), "$keep: 1\n");
    const std::string content = read_file(made);
    EXPECT_NE(content.find("\n\nfirst\nsecond\n\n\n; everything beyond"), std::string::npos)
        << content;
}

TEST(parser_generated, uncreatable_file_is_not_written_and_gets_no_trailer) {
    logged parser;
    const std::string path = parser.dir.file("no-folder/out.ini");
    parser->open_file(path.c_str());
    parser->write_generated("text");
    EXPECT_FALSE(parser->generating);
    parser.destroy();
    EXPECT_FALSE(test_support::exists(path));
}

TEST(parser_lines, current_line_is_the_true_source_line) {
    std::string source = "; comment line\r\n"       // 1
                         "$a: 1 ; note\r\n"         // 2
                         "\r\n"                     // 3
                         + std::string(3000, 'w') + // 4, two pieces
                         "\n$b: 2\n";               // 5
    auto parser = over(source);
    EXPECT_EQ(parser->current_line(), 1);
    ASSERT_TRUE(parser->search_token("$a:"));
    EXPECT_EQ(parser->current_line(), 2);
    ASSERT_TRUE(parser->search_token("$b:"));
    EXPECT_EQ(parser->current_line(), 5);
    parser->skip_to_line_end();
    parser->skip_whitespace();
    EXPECT_EQ(parser->current_line(), 6);

    auto zeros = over(std::string("one\0gone\ntwo\nthree\n", 19));
    ASSERT_TRUE(zeros->search_token("three"));
    EXPECT_EQ(zeros->current_line(), 3);
}
