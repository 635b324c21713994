#include "tools/sandbox/image_budget.h"

#include <algorithm>
#include <climits>

#include "platform/gdi.h"

namespace image_budget {

namespace {

constexpr std::uint64_t library_byte_limit = INT32_MAX;
constexpr std::uint64_t bgra_bytes = 4;

} // namespace

bool convertible(std::uint64_t width, std::uint64_t height, std::uint64_t depth) {
    if (width == 0 || height == 0 || depth == 0) {
        return false;
    }
    // Divided rather than multiplied, so that no product of three sides can wrap round.
    return width <= library_byte_limit / bgra_bytes / height / depth;
}

bool displayable(std::uint64_t width, std::uint64_t height, std::uint64_t depth) {
    return convertible(width, height, depth) &&
           platform::bitmap::size_possible(static_cast<std::int64_t>(width),
                                           static_cast<std::int64_t>(height));
}

sandbox::limits decode_limits(const sandbox::limits& most, std::uint64_t file_bytes) {
    constexpr std::uint64_t mebibyte = std::uint64_t{1} << 20;
    std::uint64_t per_size = (file_bytes * 2 + mebibyte - 1) / mebibyte;
    sandbox::limits chosen = most;
    chosen.cpu_seconds =
        static_cast<unsigned>(std::min<std::uint64_t>(most.cpu_seconds, 2 + per_size));
    chosen.wall_seconds =
        std::min(most.wall_seconds, chosen.cpu_seconds + chosen.cpu_seconds / 2 + 2);
    return chosen;
}

} // namespace image_budget
