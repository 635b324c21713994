#include "viewer/background_rescale.h"

namespace {

// The parts of a width x height result around `done`: the rows above and below it whole,
// then the columns beside it.
int parts_around(const resample::area& done, std::uint32_t width, std::uint32_t height,
                 resample::area (&parts)[4]) {
    const resample::area around[] = {
        {0, 0, width, done.y},
        {0, done.y + done.height, width, height - done.y - done.height},
        {0, done.y, done.x, done.height},
        {done.x + done.width, done.y, width - done.x - done.width, done.height},
    };
    int count = 0;
    for (const resample::area& part : around) {
        if (part.width > 0 && part.height > 0) {
            parts[count++] = part;
        }
    }
    return count;
}

} // namespace

bool background_rescale::make_rest() {
    for (int i = 0; i < part_count; ++i) {
        const resample::area& part = parts[i];
        unsigned char* corner =
            to + stride * part.y + std::size_t{part.x} * resample::result_pixel_bytes(what);
        if (!resample::rescale_part(what, part, corner, stride, 2, &cancel)) {
            return false;
        }
    }
    return true;
}

void* background_rescale::run(void* context) {
    auto* self = static_cast<background_rescale*>(context);
    self->whole = self->make_rest();
    return nullptr;
}

void background_rescale::prepare(const resample::job& job, const resample::area& done,
                                 unsigned char* into, std::size_t row_stride) {
    finish(true);
    what = job;
    to = into;
    stride = row_stride;
    part_count = parts_around(done, job.width, job.height, parts);
    cancel.store(false);
    whole = part_count == 0;
    prepared = part_count > 0;
}

bool background_rescale::start() {
    if (!prepared) {
        return whole;
    }
    prepared = false;
    started = pthread_create(&thread, nullptr, run, this) == 0;
    if (!started) {
        whole = make_rest();
    }
    return started || whole;
}

bool background_rescale::finish(bool stop) {
    if (prepared) {
        prepared = false;
        whole = !stop && make_rest();
    }
    if (started) {
        if (stop) {
            cancel.store(true);
        }
        pthread_join(thread, nullptr);
        started = false;
    }
    return whole;
}
