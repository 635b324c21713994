// Runs one piece of work in a forked child that can do nothing but hand back bytes: limited
// address space, CPU time and file size, no new files, sockets, processes or programs (a
// seccomp filter), every inherited descriptor closed but its two channels and the input the
// parent may hand it. The child writes its result into a memfd and reports on a socket; the
// parent waits with a time limit, and gives up at once when the program is asked to end
// (platform/termination.h).
//
// The child runs on a copy of the parent's memory, so the work may use anything the parent had
// set up before the call. It must not use threads, and the parent must not rely on locks that
// another of its threads may hold at the fork (the C library's allocator is safe).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sandbox {

struct limits {
    // CPU time of the child and the wall-clock time the parent waits for it.
    unsigned cpu_seconds = 20;
    unsigned wall_seconds = 30;
    // Address space the child may add to what it had at the fork.
    std::uint64_t memory_bytes = std::uint64_t{2} << 30;
    // The largest result the child may write.
    std::uint64_t result_bytes = std::uint64_t{2} << 30;
};

// How a run ended.
enum class outcome {
    done,        // the work succeeded and its result arrived whole
    refused,     // the work reported failure, or wrote nothing usable
    crashed,     // the child died of a signal or exited abnormally
    timed_out,   // the child outlived the wall-clock limit and was killed
    unusable,    // the child's report was malformed or did not match its result
    not_started, // no channel or no child could be made
    interrupted, // the program was asked to end (SIGINT, SIGTERM): the child was killed at once
};

// Reads exactly `size` bytes of `file` into `into`, again after an interruption; false when the
// file ends first or a read fails.
bool read_exactly(int file, unsigned char* into, std::uint32_t size);

// The child's side: appends bytes to the result. Fails once the result would exceed its bound
// or the memfd cannot take them.
class result_writer {
  public:
    result_writer(int descriptor, std::uint64_t bound) : fd(descriptor), limit(bound) {}
    bool append(const void* data, std::size_t size);
    std::uint64_t size() const { return written; }

  private:
    int fd;
    std::uint64_t limit;
    std::uint64_t written = 0;
};

// The work: runs in the child, fills the result and returns true on success.
using work = bool (*)(void* context, result_writer& result);
// Runs in the child before its system calls are confined, to start a library that makes calls
// the walls refuse (the sanitizers' runtime does, the first time it meets a class); it must not
// touch the untrusted input. False ends the child as a crash.
using set_up = bool (*)(void* context);

class started;

// The parent's side: the child's result, mapped read-only; empty until a run is done.
class result {
  public:
    result() = default;
    ~result();
    result(result&& other) noexcept;
    result& operator=(result&& other) noexcept;
    result(const result&) = delete;
    result& operator=(const result&) = delete;

    const unsigned char* data() const { return bytes; }
    std::uint64_t size() const { return length; }

  private:
    friend outcome finish(started&, result&);
    void release();

    const unsigned char* bytes = nullptr;
    std::uint64_t length = 0;
};

// A child started and not yet waited for. Dropped unfinished, its child is killed.
class started {
  public:
    started() = default;
    ~started();
    started(const started&) = delete;
    started& operator=(const started&) = delete;

  private:
    friend bool start(const limits&, work, void*, started&, int, set_up);
    friend outcome finish(started&, result&);

    limits bounds;
    std::int64_t deadline_ms = 0;
    int child = -1;
    int memfd = -1;
    int socket = -1;
};

// Where the child finds the descriptor handed to start(), a file to read, say.
constexpr int child_input_fd = 5;

// Starts `job` in a child under `bounds`, the wall-clock limit counted from now; false (a run
// that was not started) when no channel or child can be made. The child works on a copy of
// this moment's memory, so `context` need not outlive the call. `input`, unless -1, stays open
// in the child as child_input_fd; the caller may close its own copy once this returns.
bool start(const limits& bounds, work job, void* context, started& run, int input = -1,
           set_up before_walls = nullptr);
// Waits for a started child; on `done`, `out` holds its result.
outcome finish(started& run, result& out);
// Both at once.
outcome run(const limits& bounds, work job, void* context, result& out);

// Runs so far in this process, by how they ended (indexed by outcome).
struct tally {
    std::uint64_t runs[7] = {};
};
const tally& runs_so_far();

} // namespace sandbox
