#include "viewer/background_count.h"

#include "tools/devil/colour_count.h"

bool background_count::start(const unsigned char* data, std::size_t size, unsigned bpp) {
    forget();
    pixels = data;
    bytes = size;
    pixel_bytes = bpp;
    made = false;
    running = pthread_create(&thread, nullptr, run, this) == 0;
    return running;
}

void* background_count::run(void* self) {
    auto* job = static_cast<background_count*>(self);
    job->made = devil_internal::count_distinct_values(job->pixels, job->bytes, job->pixel_bytes,
                                                      job->counted);
    return nullptr;
}

bool background_count::take(std::uint32_t& count) {
    if (!running) {
        return false;
    }
    pthread_join(thread, nullptr);
    running = false;
    count = counted;
    return made;
}

void background_count::forget() {
    std::uint32_t dropped = 0;
    take(dropped);
}
