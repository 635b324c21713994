#include "tools/decode_child.h"

#include <sys/stat.h>

#include "tools/devil.h"
#include "tools/image_transfer.h"

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

bool decode_child::reuse(devil& lib, const char* name, const char* archive) {
    decode_child* self = lib.child.get();
    if (self == nullptr || options().in_process) {
        return false;
    }
    self->noted = state_of(name, archive);
    self->take_early(self->noted);
    if (!self->noted.known || self->kept.data() == nullptr || !(self->noted == self->kept_state)) {
        return false;
    }
    auto image = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    bool rebuilt = image_transfer::rebuild_image(image, self->kept.data(), self->kept.size());
    if (self->kept.size() > options().most_kept_bytes) {
        self->kept = sandbox::result{}; // an early decode's result, too large to keep
    }
    if (!rebuilt) {
        return false;
    }
    lib.image_info = lib.get_image_info();
    return true;
}

// In the child: the wrapper's decode, guards and all, then the image goes into the result.
bool decode_child::decode_and_pack(void* context, sandbox::result_writer& out) {
    auto* work = static_cast<job*>(context);
    return work->lib->decode(work->data, work->size, work->type) &&
           image_transfer::pack_image(work->image, out);
}

bool decode_child::decode(devil& lib, const void* data, std::uint32_t size, ILenum type) {
    decode_child* self = lib.child.get();
    if (self != nullptr && options().in_process) {
        return lib.decode(data, size, type);
    }
    if (self == nullptr) {
        return false;
    }
    auto image = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    self->kept = sandbox::result{}; // another file state's, or reuse would have served
    job work{&lib, data, size, type, image};
    sandbox::result reply;
    bool loaded =
        sandbox::run(options().limits, decode_and_pack, &work, reply) == sandbox::outcome::done &&
        image_transfer::rebuild_image(image, reply.data(), reply.size());
    if (loaded && self->noted.known && reply.size() <= options().most_kept_bytes) {
        self->kept = std::move(reply);
        self->kept_state = self->noted;
    }
    self->noted = file_state{};
    lib.image_info = lib.get_image_info();
    return loaded;
}

std::unique_ptr<decode_child::early_run>& decode_child::early() {
    static std::unique_ptr<early_run> pending;
    return pending;
}

// In the child, which has no wrapper of its own yet: the library started and the image bound
// as a load finds them, then the same decode as any other.
bool decode_child::decode_early(void* context, sandbox::result_writer& out) {
    auto* work = static_cast<early_job*>(context);
    devil lib;
    ILuint image = lib.create_image();
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    return lib.decode(work->data, work->size, ilTypeFromExt(work->name)) &&
           image_transfer::pack_image(image, out);
}

void decode_child::start_early(const char* name, const void* data, std::uint32_t size) {
    if (options().in_process) {
        return;
    }
    auto run = std::make_unique<early_run>();
    run->state = state_of(name, nullptr);
    early_job work{name, data, size};
    if (run->state.known && sandbox::start(options().limits, decode_early, &work, run->run)) {
        early() = std::move(run);
    }
}

void decode_child::take_early(const file_state& state) {
    std::unique_ptr<early_run> run = std::move(early()); // dropped unfinished, its child ends
    sandbox::result reply;
    if (run != nullptr && state.known && run->state == state &&
        sandbox::finish(run->run, reply) == sandbox::outcome::done) {
        kept = std::move(reply);
        kept_state = state;
    }
}
