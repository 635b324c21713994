// The sandbox's walls and endings, and the parent's checks on the image message.
#include "devil_fixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/termination.h"
#include "tools/sandbox/image_transfer.h"
#include "tools/sandbox/sandbox.h"

namespace {

const sandbox::limits tight{1, 10, std::uint64_t{256} << 20, 64};

bool put_errno(int result, sandbox::result_writer& out) {
    int error = result < 0 ? errno : 0;
    return out.append(&error, sizeof error);
}

TEST(Sandbox, TheChildCanOpenNoFileAndNoSocket) {
    const sandbox::work probes[] = {
        [](void*, sandbox::result_writer& out) {
            return put_errno(open("/etc/hostname", O_RDONLY), out);
        },
        [](void*, sandbox::result_writer& out) {
            return put_errno(open("/tmp", O_TMPFILE | O_WRONLY, 0600), out);
        },
        [](void*, sandbox::result_writer& out) {
            return put_errno(socket(AF_INET, SOCK_STREAM, 0), out);
        },
        [](void*, sandbox::result_writer& out) {
            return put_errno(socket(AF_UNIX, SOCK_DGRAM, 0), out);
        },
    };
    for (sandbox::work probe : probes) {
        sandbox::result reply;
        ASSERT_EQ(sandbox::run(tight, probe, nullptr, reply), sandbox::outcome::done);
        ASSERT_EQ(reply.size(), sizeof(int));
        int error = 0;
        std::memcpy(&error, reply.data(), sizeof error);
        EXPECT_EQ(error, EACCES);
    }
}

// A descriptor handed to start() is the child's input, readable there and the only one beyond
// its channels; a run dropped unfinished ends its child.
TEST(Sandbox, TheChildReadsItsInputAndNothingElseIsOpen) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    ASSERT_EQ(write(pipe_ends[1], "input", 5), 5);
    close(pipe_ends[1]);
    int stray = open("/dev/null", O_RDONLY); // open in the parent, not to be inherited
    sandbox::work probe = [](void*, sandbox::result_writer& out) {
        char bytes[8] = {};
        bool read_input = read(sandbox::child_input_fd, bytes, sizeof bytes) == 5;
        bool nothing_after = fcntl(sandbox::child_input_fd + 1, F_GETFD) < 0;
        return read_input && nothing_after && out.append(bytes, 5);
    };
    sandbox::result reply;
    {
        sandbox::started run;
        ASSERT_TRUE(sandbox::start(tight, probe, nullptr, run, pipe_ends[0]));
        close(pipe_ends[0]);
        ASSERT_EQ(sandbox::finish(run, reply), sandbox::outcome::done);
    }
    ASSERT_EQ(reply.size(), 5u);
    EXPECT_EQ(std::memcmp(reply.data(), "input", 5), 0);
    close(stray);

    sandbox::work endless = [](void*, sandbox::result_writer&) {
        for (;;) {
            pause();
        }
        return false;
    };
    std::uint64_t ended_before = sandbox::runs_so_far().runs[0];
    {
        sandbox::started run;
        ASSERT_TRUE(sandbox::start(tight, endless, nullptr, run));
    } // killed and reaped here, not waited for to its time limit
    EXPECT_EQ(sandbox::runs_so_far().runs[0], ended_before);
}

TEST(Sandbox, EveryEndingIsToldApart) {
    using sandbox::outcome;
    const struct {
        const char* what;
        sandbox::work job;
        outcome ending;
    } cases[] = {
        {"result", [](void*, sandbox::result_writer& out) { return out.append("pixels", 6); },
         outcome::done},
        {"refusal", [](void*, sandbox::result_writer&) { return false; }, outcome::refused},
        {"result over its bound",
         [](void*, sandbox::result_writer& out) {
             return out.append(std::string(65, 'x').data(), 65);
         },
         outcome::refused},
        {"segfault", [](void*, sandbox::result_writer&) { return std::raise(SIGSEGV) == 0; },
         outcome::crashed},
        {"endless loop",
         [](void*, sandbox::result_writer&) {
             volatile bool spin = true;
             while (spin) {
             }
             return true;
         },
         outcome::timed_out},
        {"program",
         [](void*, sandbox::result_writer&) { return execl("/bin/true", "true", nullptr) == 0; },
         outcome::crashed},
        {"process", [](void*, sandbox::result_writer&) { return fork() >= 0; }, outcome::crashed},
        {"bytes behind the writer's back",
         [](void*, sandbox::result_writer& out) {
             return write(3, "x", 1) == 1 && out.append("y", 1);
         },
         outcome::unusable},
        {"forged report", [](void*, sandbox::result_writer&) { return write(4, "ok", 2) == 2; },
         outcome::unusable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox::result reply;
        EXPECT_EQ(sandbox::run(tight, c.job, nullptr, reply), c.ending);
        EXPECT_EQ(reply.data() != nullptr, c.ending == outcome::done);
    }
}

// The parent takes a result as soon as it is reported, and the child's exit is still waited for:
// no ended child is left unreaped (WNOWAIT looks without reaping).
TEST(Sandbox, AReportedResultIsTakenAndItsChildStillReaped) {
    sandbox::result reply;
    sandbox::work job = [](void*, sandbox::result_writer& out) { return out.append("pixels", 6); };
    ASSERT_EQ(sandbox::run(tight, job, nullptr, reply), sandbox::outcome::done);
    EXPECT_EQ(std::memcmp(reply.data(), "pixels", 6), 0);
    siginfo_t ended{};
    bool none_left = false;
    for (int tries = 0; tries < 300 && !none_left; ++tries) {
        none_left = waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(none_left);
}

TEST(Sandbox, MemoryBeyondTheBudgetIsNeverHandedOut) {
    sandbox::result reply;
    sandbox::outcome how = sandbox::run(
        tight,
        [](void*, sandbox::result_writer&) {
            auto* block = static_cast<char*>(std::malloc(std::size_t{1} << 30));
            bool got = block != nullptr && std::memset(block, 1, std::size_t{1} << 30) != nullptr;
            std::free(block);
            return got;
        },
        nullptr, reply);
    EXPECT_EQ(how, out_of_memory);
}

class ImageMessage : public DevilFixture {
  protected:
    // The message for the bound image, as the child writes it.
    std::string pack() {
        int fd = memfd_create("message", 0);
        sandbox::result_writer writer(fd, 1 << 20);
        EXPECT_TRUE(image_transfer::pack_image(image, writer));
        std::string message(writer.size(), '\0');
        EXPECT_EQ(pread(fd, message.data(), message.size(), 0), ssize_t(message.size()));
        close(fd);
        return message;
    }
    bool rebuild(const std::string& message) {
        return image_transfer::rebuild_image(
            image, reinterpret_cast<const unsigned char*>(message.data()), message.size());
    }
};

// A two-pixel palette image (indices 0 and 1, two RGB entries) whose message is then damaged
// one field at a time; offsets are those of the message's fields.
TEST_F(ImageMessage, DamagedMessagesAreRefusedAndLeaveTheImage) {
    unsigned char indices[2] = {0, 1};
    unsigned char palette[6] = {10, 20, 30, 40, 50, 60};
    ASSERT_TRUE(ilTexImage(2, 1, 1, 1, IL_COLOUR_INDEX, IL_UNSIGNED_BYTE, indices));
    ilRegisterPal(palette, sizeof palette, IL_PAL_RGB24);
    std::string message = pack();
    ASSERT_EQ(message.size(), 16u + 80 + 6 + 2);
    // The last one is an index beyond the palette.
    const std::pair<std::size_t, std::uint32_t> damage[] = {
        {0, 0},  {8, 0},   {8, 2},  {12, 6},    {28, 1}, {32, 3},    {44, 3}, {48, 77}, {52, 77},
        {56, 5}, {76, 77}, {80, 3}, {80, 2000}, {84, 1}, {84, 4096}, {88, 3}, {102, 2},
    };
    ilTexImage(7, 3, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, nullptr);
    for (const auto& [offset, value] : damage) {
        SCOPED_TRACE(offset);
        std::string bad = message;
        if (offset == 102) {
            bad[offset] = static_cast<char>(value);
        } else {
            std::memcpy(bad.data() + offset, &value, sizeof value);
        }
        EXPECT_FALSE(rebuild(bad));
        EXPECT_EQ(lib.get_width(), 7);
    }
    EXPECT_FALSE(rebuild(message.substr(0, message.size() - 1)));
    EXPECT_FALSE(rebuild(message + '\0'));
    ASSERT_TRUE(rebuild(message));
    EXPECT_EQ(lib.get_width(), 2);
    EXPECT_EQ(ilGetInteger(IL_PALETTE_TYPE), IL_PAL_RGB24);
    EXPECT_EQ(std::memcmp(ilGetPalette(), palette, sizeof palette), 0);
    EXPECT_EQ(std::memcmp(ilGetData(), indices, sizeof indices), 0);
}

// The line of /proc/self/maps that holds `address`; empty when none does.

// A lone large image's pixels start on a page of the message, and a rebuild that may take them
// moves those pages into the image instead of copying them: afterwards the message has a hole
// there. A rebuild that may not take them leaves the message whole.
TEST_F(ImageMessage, ALoneLargeImageKeepsThePagesItArrivedIn) {
    const unsigned width = 1024, height = 512;
    bytes rgb = pattern(width, height, 3);
    ASSERT_TRUE(ilTexImage(width, height, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data()));
    int fd = memfd_create("message", 0);
    sandbox::result_writer writer(fd, std::uint64_t{16} << 20);
    ASSERT_TRUE(image_transfer::pack_image(image, writer));
    const std::size_t size = writer.size();
    ASSERT_EQ(size, 4096 + rgb.size()); // the headers, then zeros up to the first page
    for (bool take : {false, true}) {
        SCOPED_TRACE(take);
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        ASSERT_NE(mapped, MAP_FAILED);
        auto* message = static_cast<unsigned char*>(mapped);
        ilTexImage(3, 3, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, nullptr);
        ASSERT_TRUE(image_transfer::rebuild_image(image, message, size, take));
        EXPECT_EQ(lib.get_width(), static_cast<int>(width));
        ASSERT_EQ(static_cast<std::size_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)), rgb.size());
        EXPECT_EQ(std::memcmp(ilGetData(), rgb.data(), rgb.size()), 0);
        unsigned char resident[1];
        bool still_mapped = mincore(message + 4096, 4096, resident) == 0;
        EXPECT_EQ(still_mapped, !take);
        EXPECT_EQ(mapping_of(ilGetData()).find("/memfd:message") != std::string::npos, take);
        munmap(mapped, size);
    }
    close(fd);
    // Small messages stay as they were: no padding.
    ilTexImage(2, 2, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    EXPECT_EQ(pack().size(), 16u + 80 + 12);
}

// In a process of its own, since a request to end stays for the process's life: a signal while
// a child works ends the wait at once with the child killed and reaped, and every later run
// ends the same way without waiting.
void run_while_asked_to_end() {
    platform::watch_termination_signals();
    std::thread signaller([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(getpid(), SIGTERM);
    });
    sandbox::work endless = [](void*, sandbox::result_writer&) {
        volatile unsigned spin = 0;
        while (spin != 1) {
            spin = 0; // a busy loop, as a decoder caught in one
        }
        return false;
    };
    const sandbox::limits slow{20, 30, std::uint64_t{256} << 20, 64};
    sandbox::result reply;
    sandbox::outcome during = sandbox::run(slow, endless, nullptr, reply);
    signaller.join();
    sandbox::outcome after = sandbox::run(slow, endless, nullptr, reply);
    bool none_left = waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
    std::_Exit(during == sandbox::outcome::interrupted && after == sandbox::outcome::interrupted &&
                       none_left && platform::termination_signal() == SIGTERM
                   ? 0
                   : 1);
}

TEST(Sandbox, ARequestToEndStopsTheChildAtOnce) {
    EXPECT_EXIT(run_while_asked_to_end(), ::testing::ExitedWithCode(0), "");
}

} // namespace
