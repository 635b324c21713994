#include "parser_fixture.h"

#include <cstring>
#include <sstream>
#include <zip.h>

namespace parser_fixture {

std::unique_ptr<vorlex_parser> over(const std::string& source) {
    auto parser = std::make_unique<vorlex_parser>(false, "vorlex.log");
    parser->open_from_memory("memory.txt", source.data(), source.size());
    return parser;
}

std::string prepared(const vorlex_parser& parser) {
    const char* end = static_cast<const char*>(
        std::memchr(parser.text, vorlex_parser::end_mark, vorlex_parser::text_size));
    return end != nullptr ? std::string(parser.text, end) : std::string("<no end_mark>");
}

bool has_shape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == '#' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

long offset(const vorlex_parser& parser) {
    return static_cast<long>(parser.cursor - parser.text);
}

logged::logged() {
    vorlex_parser::log_state = 0;
    parser = std::make_unique<vorlex_parser>(true, log_path().c_str());
}

void logged::open_text(const std::string& source) {
    parser->open_from_memory("memory.txt", source.data(), source.size());
}

std::vector<std::string> logged::lines() const {
    std::istringstream log(test_support::read_file(log_path()));
    std::vector<std::string> result;
    std::string line;
    while (std::getline(log, line)) {
        const std::size_t stamp = std::strlen(stamp_shape);
        if (line.size() >= stamp && has_shape(line.substr(0, stamp), stamp_shape)) {
            result.push_back(line.substr(stamp));
        }
    }
    return result;
}

std::vector<std::string> logged::fresh_lines() {
    std::vector<std::string> all = lines();
    std::vector<std::string> result(all.begin() + static_cast<long>(std::min(seen, all.size())),
                                    all.end());
    seen = all.size();
    return result;
}

bool logged::has_line(const std::string& wanted) const {
    for (const std::string& line : lines()) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

bool make_zip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const auto& [name, content] : members) {
        zip_fileinfo info{};
        ok = ok && zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, content.data(),
                                       static_cast<unsigned>(content.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

} // namespace parser_fixture
