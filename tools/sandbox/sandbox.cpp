#include "tools/sandbox/sandbox.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/termination.h"
#include "tools/sandbox/sandbox_filter.h"

// A sanitizer runtime, when linked in, would run its death callback (a fuzzer's report writer)
// in the child; the child's failures are ours to count, not theirs to report.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace sandbox {
namespace {

// The child's channels once it has moved them out of the way of everything else.
constexpr int child_result_fd = 3;
constexpr int child_report_fd = 4;

// What the child says on the socket when its work is over: one datagram of exactly this size.
struct report {
    std::uint32_t magic;
    std::uint32_t succeeded;
    std::uint64_t size;
};
constexpr std::uint32_t report_magic = 0x474C5652; // "GLVR"

// What the child runs: the set-up before its walls go up, then the work.
struct job_parts {
    work job;
    void* context;
    set_up before_walls;
};

tally counts;

void count(outcome how) {
    ++counts.runs[static_cast<int>(how)];
}

// Address space in use now, from the kernel's own account; 0 when it cannot be read.
std::uint64_t address_space_in_use() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) {
        return 0;
    }
    unsigned long long pages = 0;
    int read = std::fscanf(file, "%llu", &pages);
    std::fclose(file);
    return read == 1 ? pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// Lowers a limit; a limit already lower (set by whoever started the viewer) stays.
bool lower_limit(int resource, rlim_t soft, rlim_t hard) {
    rlimit now{};
    if (getrlimit(resource, &now) != 0) {
        return false;
    }
    rlimit wanted{std::min(soft, now.rlim_max), std::min(hard, now.rlim_max)};
    return setrlimit(resource, &wanted) == 0;
}

// The address-space bound counts from what the child inherited rather than from zero, so no
// build needs a switch of its own: a sanitized build has reserved terabytes of shadow up front
// (its large allocations are new mappings, which the bound does count), and the viewer's own
// image is in there too. The budget then limits what decoding adds in either build.
bool limit_resources(const limits& bounds) {
    std::uint64_t in_use = address_space_in_use();
    std::uint64_t memory = in_use + bounds.memory_bytes;
    return in_use != 0 && lower_limit(RLIMIT_CORE, 0, 0) &&
           lower_limit(RLIMIT_CPU, bounds.cpu_seconds, bounds.cpu_seconds + 1) &&
           lower_limit(RLIMIT_FSIZE, bounds.result_bytes, bounds.result_bytes) &&
           lower_limit(RLIMIT_AS, memory, memory) &&
           lower_limit(RLIMIT_NOFILE, child_report_fd + 1, child_report_fd + 1);
}

// Fatal signals end the child at once: handlers inherited from a sanitizer or a fuzzer would
// only try to write reports that the filter forbids.
void default_fatal_signals() {
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGXCPU}) {
        std::signal(signal, SIG_DFL);
    }
    if (__sanitizer_set_death_callback != nullptr) {
        __sanitizer_set_death_callback(nullptr);
    }
}

// The standard streams lead nowhere: the child has nothing to tell the user, and a dying
// library's words would only be noise in the parent's output.
bool silence_standard_streams() {
    int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0) {
        return false;
    }
    bool silenced = dup2(nothing, 0) == 0 && dup2(nothing, 1) == 1 && dup2(nothing, 2) == 2;
    if (nothing > 2) {
        close(nothing);
    }
    return silenced;
}

// Only the two channels, the input if any and the silenced standard streams stay open.
bool keep_only_channels(int result_fd, int report_fd, int input_fd) {
    int result_copy = fcntl(result_fd, F_DUPFD, 16);
    int report_copy = fcntl(report_fd, F_DUPFD, 16);
    int input_copy = input_fd >= 0 ? fcntl(input_fd, F_DUPFD, 16) : -1;
    // Copied high first: a parent without standard streams may hold a channel in 0 to 2.
    if (result_copy < 0 || report_copy < 0 || (input_fd >= 0 && input_copy < 0) ||
        !silence_standard_streams() || dup2(result_copy, child_result_fd) < 0 ||
        dup2(report_copy, child_report_fd) < 0 ||
        (input_fd >= 0 && dup2(input_copy, child_input_fd) < 0)) {
        return false;
    }
    return close_range((input_fd >= 0 ? child_input_fd : child_report_fd) + 1, ~0U, 0) == 0;
}

// Once sealed, nothing the child does can change its result: a sealed memfd takes no writes, and
// a seal stays. The child seals its result itself, which is quick where the result was written;
// a child that did not is sealed by the parent.
constexpr int result_seals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK;

bool seal_result(int memfd) {
    return fcntl(memfd, F_ADD_SEALS, result_seals) == 0;
}

bool result_sealed(int memfd) {
    int seals = fcntl(memfd, F_GET_SEALS);
    return (seals >= 0 && (seals & result_seals) == result_seals) || seal_result(memfd);
}

bool send_report(bool succeeded, std::uint64_t size) {
    report message{report_magic, succeeded ? 1u : 0u, size};
    return write(child_report_fd, &message, sizeof message) == sizeof message;
}

[[noreturn]] void child_main(const limits& bounds, const job_parts& parts, int result_fd,
                             int report_fd, int input_fd) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    default_fatal_signals();
    if (!keep_only_channels(result_fd, report_fd, input_fd) || !limit_resources(bounds) ||
        (parts.before_walls != nullptr && !parts.before_walls(parts.context)) ||
        !confine_system_calls()) {
        _exit(2);
    }
    work job = parts.job;
    void* context = parts.context;
    result_writer writer(child_result_fd, bounds.result_bytes);
    bool succeeded = job(context, writer);
    if (succeeded) {
        seal_result(child_result_fd); // here, where its pages are: the parent need not wait
    }
    // _exit: no destructors or exit handlers of the parent's objects run in the child.
    _exit(send_report(succeeded, writer.size()) ? 0 : 3);
}

std::int64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Reads the child's report, if one is waiting; false when the socket has reached its end.
bool take_report(int socket, report& message, bool& have_report, bool& malformed) {
    unsigned char buffer[sizeof(report) + 1];
    ssize_t got = recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0) {
        return false;
    }
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    malformed = malformed || have_report || got != sizeof(report);
    if (got == sizeof(report)) {
        std::memcpy(&message, buffer, sizeof message);
    }
    have_report = true;
    return true;
}

// A request to end the program (SIGINT, SIGTERM) ends every wait for a child at once.
pollfd termination_watch() {
    return pollfd{platform::termination_descriptor(), POLLIN, 0}; // -1 is ignored by poll
}

bool termination_requested() {
    return platform::termination_signal() != 0;
}

// Waits until the child has closed its end of the socket (it has ended), the deadline, or a
// request to end the program (`interrupted`); with `until_report`, until its report at the
// latest.
bool wait_for_end(int socket, std::int64_t deadline, report& message, bool& have_report,
                  bool& malformed, bool& interrupted, bool until_report) {
    for (;;) {
        if (until_report && have_report) {
            return false;
        }
        std::int64_t left = deadline - now_ms();
        interrupted = termination_requested();
        if (left <= 0 || interrupted) {
            return false;
        }
        pollfd watch[2] = {{socket, POLLIN, 0}, termination_watch()};
        int ready = poll(watch, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
            !take_report(socket, message, have_report, malformed)) {
            return true;
        }
    }
}

// Sleeps until the child ends, the deadline passes or the program is asked to end: on its
// process descriptor, which wakes the moment it ends, or in a short nap where the kernel has
// none.
void wait_until_ended(pid_t child, std::int64_t deadline) {
    int process = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (process < 0) {
        timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
        return;
    }
    pollfd watch[2] = {{process, POLLIN, 0}, termination_watch()};
    poll(watch, 2, static_cast<int>(std::max<std::int64_t>(0, deadline - now_ms())));
    close(process);
}

void kill_and_reap(pid_t child, int& status) {
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Reaps the child: it has closed its socket, so it is ending; one that lingers past the
// deadline is killed. Returns the wait status, and whether it ended on its own.
bool reap(pid_t child, std::int64_t deadline, int& status) {
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            return true;
        }
        if ((done < 0 && errno != EINTR) || now_ms() >= deadline || termination_requested()) {
            break;
        }
        wait_until_ended(child, deadline);
    }
    kill_and_reap(child, status);
    return false;
}

outcome judge_ending(bool ended, int status) {
    if (!ended) {
        return outcome::timed_out;
    }
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGXCPU ? outcome::timed_out : outcome::crashed;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? outcome::done : outcome::crashed;
}

} // namespace

bool read_exactly(int file, unsigned char* into, std::uint32_t size) {
    std::uint32_t done = 0;
    while (done < size) {
        ssize_t got = read(file, into + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::uint32_t>(got);
    }
    return true;
}

bool result_writer::append(const void* data, std::size_t size) {
    if (size > limit - written) {
        return false;
    }
    const auto* at = static_cast<const unsigned char*>(data);
    std::size_t left = size;
    while (left > 0) {
        ssize_t done = write(fd, at, left);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        at += done;
        left -= static_cast<std::size_t>(done);
    }
    written += size;
    return true;
}

result::~result() {
    release();
}

result::result(result&& other) noexcept : bytes(other.bytes), length(other.length) {
    other.bytes = nullptr;
    other.length = 0;
}

result& result::operator=(result&& other) noexcept {
    if (this != &other) {
        release();
        bytes = other.bytes;
        length = other.length;
        other.bytes = nullptr;
        other.length = 0;
    }
    return *this;
}

void result::release() {
    if (bytes != nullptr) {
        munmap(const_cast<unsigned char*>(bytes), length);
    }
    bytes = nullptr;
    length = 0;
}

namespace {

// Maps the memfd when its size is exactly what the child reported.
bool map_result(int memfd, std::uint64_t size, std::uint64_t bound, const unsigned char*& bytes) {
    struct stat facts {};
    if (size == 0 || size > bound || fstat(memfd, &facts) != 0 ||
        static_cast<std::uint64_t>(facts.st_size) != size) {
        return false;
    }
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, memfd, 0);
    if (mapped == MAP_FAILED) {
        return false;
    }
    bytes = static_cast<const unsigned char*>(mapped);
    return true;
}

// What the child's report and result come to.
outcome judge_report(const report& message, bool well_formed, int memfd, const limits& bounds,
                     const unsigned char*& bytes, std::uint64_t& length) {
    if (!well_formed || message.magic != report_magic || message.succeeded > 1) {
        return outcome::unusable;
    }
    if (message.succeeded == 0) {
        return outcome::refused;
    }
    if (!map_result(memfd, message.size, bounds.result_bytes, bytes)) {
        return outcome::unusable;
    }
    length = message.size;
    return outcome::done;
}

void* reap_in_background(void* child) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(reinterpret_cast<std::intptr_t>(child)), &status, 0) < 0 &&
           errno == EINTR) {
    }
    return nullptr;
}

// The report is the child's last act, so it is ended at once, in case it has other plans; its
// exit, slow for a process of this size, is waited for on a thread of its own.
void let_end(pid_t child) {
    kill(child, SIGKILL);
    pthread_attr_t detached;
    pthread_t thread;
    bool handed_over = false;
    if (pthread_attr_init(&detached) == 0) {
        handed_over =
            pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED) == 0 &&
            pthread_create(&thread, &detached, reap_in_background,
                           reinterpret_cast<void*>(static_cast<std::intptr_t>(child))) == 0;
        pthread_attr_destroy(&detached);
    }
    if (!handed_over) {
        int status = 0;
        kill_and_reap(child, status);
    }
}

outcome wait_for_child(pid_t child, int socket, int memfd, const limits& bounds,
                       std::int64_t deadline, const unsigned char*& bytes, std::uint64_t& length) {
    report message{};
    bool have_report = false;
    bool malformed = false;
    bool interrupted = false;
    bool closed =
        wait_for_end(socket, deadline, message, have_report, malformed, interrupted, true);
    if (!interrupted && have_report && !malformed && result_sealed(memfd)) {
        let_end(child);
        return judge_report(message, true, memfd, bounds, bytes, length);
    }
    // Otherwise the child's end decides, as its exit status tells it.
    if (!closed && !interrupted) {
        closed =
            wait_for_end(socket, deadline, message, have_report, malformed, interrupted, false);
    }
    int status = 0;
    bool ended = reap(child, closed ? deadline : now_ms(), status) && closed;
    if (interrupted) {
        return outcome::interrupted; // reaped above: killed at once
    }
    outcome how = judge_ending(ended, status);
    if (how != outcome::done) {
        return how;
    }
    return judge_report(message, have_report && !malformed, memfd, bounds, bytes, length);
}

} // namespace

started::~started() {
    if (child > 0) {
        int status = 0;
        kill_and_reap(child, status);
    }
    for (int fd : {memfd, socket}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool start(const limits& bounds, work job, void* context, started& run, int input,
           set_up before_walls) {
    int memfd = memfd_create("glintview-result", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    int sockets[2] = {-1, -1};
    if (memfd < 0 || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
        if (memfd >= 0) {
            close(memfd);
        }
        count(outcome::not_started);
        return false;
    }
    // Free heap goes back first: fewer page tables to copy, and the child's allocations get
    // fresh pages instead of copies of the parent's.
    malloc_trim(0);
    pid_t child = fork();
    if (child == 0) {
        close(sockets[0]);
        child_main(bounds, {job, context, before_walls}, memfd, sockets[1], input);
    }
    close(sockets[1]);
    if (child < 0) {
        close(memfd);
        close(sockets[0]);
        count(outcome::not_started);
        return false;
    }
    run.bounds = bounds;
    run.deadline_ms = now_ms() + std::int64_t{bounds.wall_seconds} * 1000;
    run.child = child;
    run.memfd = memfd;
    run.socket = sockets[0];
    return true;
}

outcome finish(started& run, result& out) {
    if (run.child <= 0) {
        return outcome::not_started;
    }
    const unsigned char* bytes = nullptr;
    std::uint64_t length = 0;
    outcome how = wait_for_child(run.child, run.socket, run.memfd, run.bounds, run.deadline_ms,
                                 bytes, length);
    run.child = -1; // reaped
    if (how == outcome::done) {
        out.release();
        out.bytes = bytes;
        out.length = length;
    }
    count(how);
    return how;
}

outcome run(const limits& bounds, work job, void* context, result& out) {
    started run;
    if (!start(bounds, job, context, run, -1)) {
        return outcome::not_started;
    }
    return finish(run, out);
}

const tally& runs_so_far() {
    return counts;
}

} // namespace sandbox
