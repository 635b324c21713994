// Shared by the parser tests: parsers over a text, a log read back without its time stamps, and
// zip archives made on the spot.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "parser/vorlex_parser.h"
#include "test_support.h"

namespace parser_fixture {

// A parser with its log off, over the given source text.
std::unique_ptr<vorlex_parser> over(const std::string& source);

// The prepared text up to (not including) its end_mark.
std::string prepared(const vorlex_parser& parser);

// True when text has the shape: every '#' of the shape stands for one digit, every other
// character for itself. Time stamps are checked this way, never their values.
bool has_shape(const std::string& text, const std::string& shape);

// The time stamp that begins every log line.
constexpr const char* stamp_shape = "[##/##/## ##:##:##]   ";

// The cursor's offset in the prepared text.
long offset(const vorlex_parser& parser);

// A parser that logs into a fresh scratch folder; the process-wide log state starts afresh.
class logged {
  public:
    logged();
    vorlex_parser& operator*() { return *parser; }
    vorlex_parser* operator->() { return parser.get(); }
    void open_text(const std::string& source);
    // The log's report lines with their time stamps removed, in order; every stamp is checked
    // against the pattern [MM/DD/YY hh:mm:ss] and three blanks.
    std::vector<std::string> lines() const;
    // Report lines written since the last call of fresh_lines().
    std::vector<std::string> fresh_lines();
    bool has_line(const std::string& line) const;
    std::string log_path() const { return dir.file("vorlex.log"); }
    void destroy() { parser.reset(); }

    test_support::scratch_dir dir;
    std::unique_ptr<vorlex_parser> parser;

  private:
    std::size_t seen = 0;
};

// Writes a zip archive holding the given (name, content) members; false on failure.
bool make_zip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members);

} // namespace parser_fixture
