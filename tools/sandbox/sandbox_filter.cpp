#include "tools/sandbox/sandbox_filter.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <initializer_list>
#include <seccomp.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sandbox {
namespace {

// Work on memory and on descriptors already open.
constexpr int allowed[] = {
    SCMP_SYS(read),           SCMP_SYS(write),        SCMP_SYS(readv),
    SCMP_SYS(writev),         SCMP_SYS(pread64),      SCMP_SYS(pwrite64),
    SCMP_SYS(lseek),          SCMP_SYS(close),        SCMP_SYS(fstat),
    SCMP_SYS(ftruncate),      SCMP_SYS(brk),          SCMP_SYS(munmap),
    SCMP_SYS(mremap),         SCMP_SYS(madvise),      SCMP_SYS(futex),
    SCMP_SYS(exit),           SCMP_SYS(exit_group),   SCMP_SYS(rt_sigreturn),
    SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction), SCMP_SYS(sigaltstack),
    SCMP_SYS(getpid),         SCMP_SYS(gettid),       SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_getres),   SCMP_SYS(gettimeofday), SCMP_SYS(getrandom),
    SCMP_SYS(sched_yield),    SCMP_SYS(sysinfo),      SCMP_SYS(uname),
};

// Probes that get an error: files, folders, sockets, terminals, process settings.
constexpr int refused[] = {
    SCMP_SYS(open),       SCMP_SYS(openat),     SCMP_SYS(creat),      SCMP_SYS(stat),
    SCMP_SYS(lstat),      SCMP_SYS(statx),      SCMP_SYS(statfs),     SCMP_SYS(fstatfs),
    SCMP_SYS(access),     SCMP_SYS(faccessat),  SCMP_SYS(faccessat2), SCMP_SYS(readlink),
    SCMP_SYS(readlinkat), SCMP_SYS(getcwd),     SCMP_SYS(mkdir),      SCMP_SYS(unlink),
    SCMP_SYS(socket),     SCMP_SYS(socketpair), SCMP_SYS(connect),    SCMP_SYS(dup),
    SCMP_SYS(dup2),       SCMP_SYS(dup3),       SCMP_SYS(prctl),      SCMP_SYS(sched_getaffinity),
};

bool add(scmp_filter_ctx filter, std::uint32_t action, int call) {
    return seccomp_rule_add(filter, action, call, 0) == 0;
}

bool add_if(scmp_filter_ctx filter, std::uint32_t action, int call, scmp_arg_cmp condition) {
    return seccomp_rule_add(filter, action, call, 1, condition) == 0;
}

// Memory may be mapped and protected, but never made executable: no code arrives at run time.
bool add_memory_rules(scmp_filter_ctx filter) {
    bool ok = true;
    for (int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
        ok = ok &&
             add_if(filter, SCMP_ACT_ALLOW, call, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) &&
             add_if(filter, SCMP_ACT_ERRNO(EPERM), call,
                    SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    }
    return ok;
}

// The C library's fstat names the descriptor with an empty path; signals go only to this
// process (abort raises one); limits may be read, not changed; a descriptor may only be sealed.
bool add_narrow_rules(scmp_filter_ctx filter) {
    const auto self = static_cast<scmp_datum_t>(getpid());
    return add_if(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat),
                  SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) &&
           add_if(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(newfstatat),
                  SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, 0)) &&
           add_if(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, self, 0)) &&
           add_if(filter, SCMP_ACT_ALLOW, SCMP_SYS(kill), SCMP_A0(SCMP_CMP_EQ, self, 0)) &&
           add_if(filter, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), SCMP_A2(SCMP_CMP_EQ, 0, 0)) &&
           add_if(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(prlimit64), SCMP_A2(SCMP_CMP_NE, 0, 0)) &&
           add_if(filter, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), SCMP_A1(SCMP_CMP_EQ, F_ADD_SEALS, 0)) &&
           add_if(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(fcntl),
                  SCMP_A1(SCMP_CMP_NE, F_ADD_SEALS, 0)) &&
           add(filter, SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl));
}

bool add_rules(scmp_filter_ctx filter) {
    for (int call : allowed) {
        if (!add(filter, SCMP_ACT_ALLOW, call)) {
            return false;
        }
    }
    for (int call : refused) {
        if (!add(filter, SCMP_ACT_ERRNO(EACCES), call)) {
            return false;
        }
    }
    return add_memory_rules(filter) && add_narrow_rules(filter);
}

} // namespace

bool confine_system_calls() {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (filter == nullptr) {
        return false;
    }
    // The filter also sets no-new-privileges, so nothing run later could gain any.
    bool loaded = add_rules(filter) && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

} // namespace sandbox
