// Decoding for devil::load_file in a sandboxed child (tools/sandbox/sandbox.h), and the decoded
// image kept for the reloads that follow.
//
// The child decodes with the wrapper's own decode (its guards and the library), handed in as a
// child_decoder, then hands the image back through tools/sandbox/image_transfer.h; the parent
// rebuilds its bound image from that.
// The last result stays mapped when it is small enough (decode_options::most_kept_bytes): a
// reload of the same file state (the file's size and modification time, and the member's name
// for an archive) rebuilds from it without a child, which is what every zoom step and reset
// asks for.
#pragma once

#include <IL/il.h>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/sandbox/sandbox.h"

// The wrapper's decode, handed in as plain functions, so that the child machinery depends on
// nothing of the wrapper.
struct child_decoder {
    // Decodes `size` bytes of `type` into the bound image with `library`'s guards.
    bool (*decode)(void* library, const void* data, std::uint32_t size, ILenum type);
    // For the early decode, in the child before its walls go up: a library of its own with an
    // image bound as a load binds it; null when it cannot be made. `end` ends it.
    void* (*start)();
    void (*end)(void* library);
    // In the child, before it decodes: guards that hold only in a child process.
    void (*enter_child)();
};

// How loads decode; tests and benchmarks change it, the program keeps the defaults.
struct decode_options {
    // Decodes in this process, as before the child existed, with nothing kept for reloads:
    // the comparison for tests and benchmarks.
    bool in_process = false;
    // The ceilings: within them a child's time follows the file's size (tools/image_budget.h).
    sandbox::limits limits;
    // The largest decoded result kept for reloads. A large image's copy would add most of its
    // size again to the program's memory, for a reload that is a small part of the rescale
    // that follows it; a small image's copy costs little and spares the child's fixed cost.
    std::uint64_t most_kept_bytes = std::uint64_t{16} << 20;
};

class decode_child {
  public:
    // Decodes with `how`, given `library` in this process.
    decode_child(const child_decoder& how, void* library) : how(how), library(library) {}

    static decode_options& options();

    // When the file (or member) is unchanged since the last decode, rebuilds the bound image
    // from it: true. Otherwise false, and the file's state is noted for the decode that follows.
    bool reuse(const char* name, const char* archive);
    // Drops the kept result, for a caller that keeps the decoded image itself: the copy here
    // would only sit beside it.
    void forget() {
        kept = sandbox::result{};
        kept_state = file_state{};
        kept_early = false;
    }

    // Decodes `size` bytes of `type` into the bound image through a child (or in-process, when
    // so set). False for anything the child could not hand back whole: a refusal, crash,
    // signal, time-out, or malformed result.
    bool decode(const void* data, std::uint32_t size, ILenum type);

    // Starts decoding the disk file `name` in a child now, which reads the file itself, so
    // that it works while the program starts up. The first load that finds the file in the
    // same state takes the result as though it had been kept from an earlier decode; any other
    // load drops it. Nothing happens when decoding runs in this process.
    static void start_early(const char* name, const child_decoder& how);

  private:
    struct file_state {
        std::string name;
        std::string archive;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t modified_ns = 0;
        bool known = false;

        bool operator==(const file_state&) const = default;
    };

    struct job {
        const child_decoder* how;
        void* library;
        const void* data;
        std::uint32_t size;
        ILenum type;
        ILuint image;
    };
    static bool decode_and_pack(void* context, sandbox::result_writer& out);
    static file_state state_of(const char* name, const char* archive);

    struct early_job {
        const char* name;
        std::uint32_t size;
        const child_decoder* how;
        void* library; // the child's own, made before its walls go up
    };
    struct early_run {
        file_state state;
        sandbox::started run;
    };
    static bool start_library(void* context);
    static bool decode_early(void* context, sandbox::result_writer& out);
    static std::unique_ptr<early_run>& early();
    // Keeps the early decode's result when it was for `state` and succeeded. When it ran out
    // of time or refused the bytes, notes the state: the load's own decode runs the same code
    // on the same bytes and would only take as long again (a decoder caught in a loop, a
    // declared-size bomb refused by the budget after its decode). A crash is left to the
    // load's own decode: the early child starts the library itself, which a sanitizer's
    // runtime may not survive behind the walls.
    void take_early(const file_state& state);

    child_decoder how;
    void* library;
    file_state noted;
    file_state failed_state;
    file_state kept_state;
    sandbox::result kept;
    bool kept_early = false; // kept is an early decode's result
};
