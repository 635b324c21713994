#include "tools/devil/pnm_wide.h"

#include <IL/il.h>
#include <climits>
#include <vector>

namespace pnm_wide {

namespace {

struct header {
    std::uint32_t channels = 0, width = 0, height = 0, maxval = 0;
    std::uint32_t data_offset = 0;
};

bool is_space(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next decimal number after blanks and '#' comments; false when there is none or it is
// larger than `most`.
bool read_number(const std::uint8_t* data, std::uint32_t size, std::uint32_t& at,
                 std::uint32_t most, std::uint32_t& value) {
    while (at < size && (is_space(data[at]) || data[at] == '#')) {
        if (data[at] == '#') {
            while (at < size && data[at] != '\n' && data[at] != '\r') {
                ++at;
            }
        } else {
            ++at;
        }
    }
    if (at >= size || data[at] < '0' || data[at] > '9') {
        return false;
    }
    std::uint64_t number = 0;
    while (at < size && data[at] >= '0' && data[at] <= '9') {
        number = number * 10 + (data[at++] - '0');
        if (number > most) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool read_header(const void* bytes, std::uint32_t size, header& out) {
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    if (data == nullptr || size < 3 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) {
        return false;
    }
    out.channels = data[1] == '5' ? 1 : 3;
    std::uint32_t at = 2;
    if (!read_number(data, size, at, UINT32_MAX, out.width) ||
        !read_number(data, size, at, UINT32_MAX, out.height) ||
        !read_number(data, size, at, 65535, out.maxval) || at >= size || !is_space(data[at])) {
        return false;
    }
    out.data_offset = at + 1; // exactly one blank ends the header
    return true;
}

} // namespace

bool is_wide(const void* data, std::uint32_t size) {
    header facts;
    return read_header(data, size, facts) && facts.maxval > 255;
}

bool load(const void* data, std::uint32_t size) {
    header facts;
    if (!read_header(data, size, facts) || facts.maxval <= 255 || facts.width == 0 ||
        facts.height == 0) {
        return false;
    }
    std::uint64_t samples = std::uint64_t{facts.width} * facts.height * facts.channels;
    if (samples * 2 > INT32_MAX || samples * 2 > size - facts.data_offset) {
        return false;
    }
    const auto* stored = static_cast<const std::uint8_t*>(data) + facts.data_offset;
    std::vector<std::uint16_t> wide(samples);
    for (std::uint64_t i = 0; i < samples; ++i) {
        std::uint32_t value = std::uint32_t{stored[2 * i]} << 8 | stored[2 * i + 1];
        value = value > facts.maxval ? facts.maxval : value;
        wide[i] = static_cast<std::uint16_t>((value * 65535ull * 2 + facts.maxval) /
                                             (2ull * facts.maxval));
    }
    if (!ilTexImage(facts.width, facts.height, 1, static_cast<ILubyte>(facts.channels),
                    facts.channels == 1 ? IL_LUMINANCE : IL_RGB, IL_UNSIGNED_SHORT, wide.data())) {
        return false;
    }
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
    return true;
}

} // namespace pnm_wide
