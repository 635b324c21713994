#include "tools/sandbox/decode_child.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/pixel_memory.h"

#include "tools/sandbox/image_budget.h"
#include "tools/sandbox/image_transfer.h"

decode_options& decode_child::options() {
    static decode_options current;
    return current;
}

// The state of the file on disk, or of the archive holding the member.
decode_child::file_state decode_child::state_of(const char* name, const char* archive) {
    file_state state;
    struct stat facts {};
    if (stat(archive != nullptr ? archive : name, &facts) != 0) {
        return state;
    }
    state.name = name;
    state.archive = archive != nullptr ? archive : "";
    state.device = facts.st_dev;
    state.inode = facts.st_ino;
    state.size = static_cast<std::uint64_t>(facts.st_size);
    state.modified_ns = std::int64_t{facts.st_mtim.tv_sec} * 1000000000 + facts.st_mtim.tv_nsec;
    state.known = true;
    return state;
}

bool decode_child::reuse(const char* name, const char* archive) {
    decode_child* self = this;
    if (options().in_process) {
        return false;
    }
    self->noted = state_of(name, archive);
    self->take_early(self->noted);
    if (!self->noted.known || self->kept.data() == nullptr || !(self->noted == self->kept_state)) {
        return false;
    }
    auto image = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    // A result too large to keep gives its pages to the image; so does an early decode's plain
    // image, which its caller rescales itself instead of reloading it.
    const bool dropped = self->kept.size() > options().most_kept_bytes ||
                         (self->kept_early && image_transfer::holds_one_plain_image(
                                                  self->kept.data(), self->kept.size()));
    bool rebuilt =
        image_transfer::rebuild_image(image, self->kept.data(), self->kept.size(), dropped);
    if (dropped) {
        self->forget(); // its pages are the image's now, or it is too large to keep
    }
    return rebuilt;
}

// In the child: the wrapper's decode, guards and all, then the image goes into the result.
bool decode_child::decode_and_pack(void* context, sandbox::result_writer& out) {
    auto* work = static_cast<job*>(context);
    work->how->enter_child();
    return work->how->decode(work->library, work->data, work->size, work->type) &&
           image_transfer::pack_image(work->image, out);
}

bool decode_child::decode(const void* data, std::uint32_t size, ILenum type) {
    decode_child* self = this;
    if (options().in_process) {
        return how.decode(library, data, size, type);
    }
    if (self->noted.known && self->noted == self->failed_state) {
        self->noted = file_state{}; // the early decode of these very bytes failed
        return false;
    }
    auto image = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    self->forget(); // another file state's, or reuse would have served
    job work{&how, library, data, size, type, image};
    sandbox::result reply;
    bool done = sandbox::run(image_budget::decode_limits(options().limits, size), decode_and_pack,
                             &work, reply) == sandbox::outcome::done;
    const bool kept_after = self->noted.known && reply.size() <= options().most_kept_bytes;
    bool loaded =
        done && image_transfer::rebuild_image(image, reply.data(), reply.size(), !kept_after);
    if (loaded && kept_after) {
        self->kept = std::move(reply);
        self->kept_state = self->noted;
    }
    self->noted = file_state{};
    return loaded;
}

std::unique_ptr<decode_child::early_run>& decode_child::early() {
    static std::unique_ptr<early_run> pending;
    return pending;
}

// In the child, which has no wrapper of its own yet, before its walls go up: the library
// started as a load finds it.
bool decode_child::start_library(void* context) {
    auto* work = static_cast<early_job*>(context);
    work->library = work->how->start();
    return work->library != nullptr;
}

namespace {

// The file handed over, as the page cache holds it: no fresh memory to fill. The child's end
// unmaps it. Null when it cannot be mapped.
const unsigned char* map_input(std::uint32_t size) {
    void* mapped =
        mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, sandbox::child_input_fd, 0);
    return mapped != MAP_FAILED ? static_cast<const unsigned char*>(mapped) : nullptr;
}

} // namespace

// Then the file from the descriptor handed over, mapped or else read, and the same decode as
// any other.
bool decode_child::decode_early(void* context, sandbox::result_writer& out) {
    auto* work = static_cast<early_job*>(context);
    work->how->enter_child();
    const unsigned char* input = map_input(work->size);
    std::unique_ptr<unsigned char[], platform::pixel_deleter> bytes;
    if (input == nullptr) {
        bytes.reset(static_cast<unsigned char*>(platform::allocate_pixels(work->size)));
        if (bytes == nullptr ||
            !sandbox::read_exactly(sandbox::child_input_fd, bytes.get(), work->size)) {
            work->how->end(work->library);
            return false;
        }
        input = bytes.get();
    }
    auto image = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    bool packed = work->how->decode(work->library, input, work->size, ilTypeFromExt(work->name)) &&
                  image_transfer::pack_image(image, out);
    work->how->end(work->library);
    return packed;
}

// The child reads the file itself, so that start-up goes on at once.
void decode_child::start_early(const char* name, const child_decoder& how) {
    if (options().in_process || name == nullptr) {
        return;
    }
    int file = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        return;
    }
    auto run = std::make_unique<early_run>();
    run->state = state_of(name, nullptr);
    struct stat facts {};
    bool readable = fstat(file, &facts) == 0 && S_ISREG(facts.st_mode) && facts.st_size > 0 &&
                    static_cast<std::uint64_t>(facts.st_size) <= image_budget::most_file_bytes &&
                    run->state.known &&
                    run->state.size == static_cast<std::uint64_t>(facts.st_size);
    early_job work{name, static_cast<std::uint32_t>(facts.st_size), &how, nullptr};
    if (readable && sandbox::start(image_budget::decode_limits(options().limits, work.size),
                                   decode_early, &work, run->run, file, start_library)) {
        early() = std::move(run);
    }
    close(file);
}

void decode_child::take_early(const file_state& state) {
    std::unique_ptr<early_run> run = std::move(early()); // dropped unfinished, its child ends
    if (run == nullptr || !state.known || !(run->state == state)) {
        return;
    }
    sandbox::result reply;
    sandbox::outcome how = sandbox::finish(run->run, reply);
    if (how == sandbox::outcome::done) {
        kept = std::move(reply);
        kept_state = state;
        kept_early = true;
    } else if (how == sandbox::outcome::timed_out || how == sandbox::outcome::refused) {
        failed_state = state;
    }
}
