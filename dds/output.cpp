#include "dds/output.h"

#include <cstring>

namespace dds {

bool byte_sink::pass_on(const void* bytes, std::size_t count) {
    if (count > 0 && !write(bytes, count, context)) {
        refused = true;
        return false;
    }
    total += count;
    return true;
}

bool byte_sink::put(const void* bytes, std::size_t count) {
    if (refused) {
        return false;
    }
    if (used + count <= capacity) {
        std::memcpy(buffer + used, bytes, count);
        used += count;
        return true;
    }
    if (!flush()) {
        return false;
    }
    if (count >= capacity) {
        return pass_on(bytes, count);
    }
    std::memcpy(buffer, bytes, count);
    used = count;
    return true;
}

bool byte_sink::flush() {
    if (refused) {
        return false;
    }
    std::size_t count = used;
    used = 0;
    return pass_on(buffer, count);
}

void progress_meter::advance(std::uint64_t pixels) {
    done += pixels;
    if (!routine) {
        return;
    }
    float share = static_cast<float>(static_cast<double>(done < total ? done : total) / total);
    if (share - reported >= 0.01f) {
        reported = share;
        routine(share, context);
    }
}

void progress_meter::finish() {
    if (routine && reported < 1.0f) {
        reported = 1.0f;
        routine(1.0f, context);
    }
}

} // namespace dds
