// What start-up finds at the configuration path, and the writer that never cuts a file.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/configuration_file.h"
#include "config/settings.h"
#include "test_support.h"

using test_support::read_file;
using test_support::scratch_dir;
using test_support::write_file;

namespace {

const char* name_of(configuration_file_state state) {
    switch (state) {
    case configuration_file_state::missing:
        return "missing";
    case configuration_file_state::empty:
        return "empty";
    case configuration_file_state::unreadable:
        return "unreadable";
    case configuration_file_state::read:
        return "read";
    }
    return "?";
}

std::string state_of(const std::string& path) {
    std::string text;
    return name_of(read_configuration_file(path.c_str(), text));
}

// The state as a user without root's powers finds it (root reads a file of mode 0200): in a
// child that drops to the user "nobody" first when it runs as root.
std::string state_for_a_user(const std::string& path) {
    int ends[2];
    if (pipe(ends) != 0) {
        return "no pipe";
    }
    pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        bool dropped = geteuid() != 0 ||
                       (setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0);
        std::string state = dropped ? state_of(path) : "still root";
        [[maybe_unused]] ssize_t written = write(ends[1], state.data(), state.size());
        _exit(0);
    }
    close(ends[1]);
    char buffer[32] = {};
    ssize_t got = child > 0 ? read(ends[0], buffer, sizeof buffer - 1) : -1;
    close(ends[0]);
    waitpid(child, nullptr, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "no answer";
}

} // namespace

TEST(configuration_file, reads_only_a_regular_file_and_never_waits) {
    scratch_dir dir;
    chmod(dir.path().c_str(), 0755); // open to "nobody" below
    ASSERT_TRUE(write_file(dir.file("mine.ini"), "$resize threshold: 64\n"));
    ASSERT_TRUE(write_file(dir.file("empty.ini"), ""));
    ASSERT_TRUE(write_file(dir.file("write-only.ini"), "$resize threshold: 64\n"));
    chmod(dir.file("write-only.ini").c_str(), 0200);
    ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0666), 0);
    ASSERT_EQ(mkdir(dir.file("folder.ini").c_str(), 0755), 0);
    ASSERT_EQ(symlink("nowhere.ini", dir.file("dangling.ini").c_str()), 0);
    ASSERT_EQ(symlink("mine.ini", dir.file("link.ini").c_str()), 0);
    const struct {
        const char* name;
        const char* state;
    } cases[] = {
        {"mine.ini", "read"},           {"link.ini", "read"},       {"empty.ini", "empty"},
        {"missing.ini", "missing"},     {"fifo.ini", "unreadable"}, {"folder.ini", "unreadable"},
        {"dangling.ini", "unreadable"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(state_of(dir.file(c.name)), c.state) << c.name;
    }
    EXPECT_EQ(state_for_a_user(dir.file("write-only.ini")), "unreadable");
    EXPECT_EQ(state_of("/dev/zero"), "unreadable");
    std::string text;
    read_configuration_file(dir.file("mine.ini").c_str(), text);
    EXPECT_EQ(text, "$resize threshold: 64\n");
}

TEST(configuration_file, the_writer_fills_only_a_new_or_empty_file) {
    scratch_dir dir;
    ASSERT_TRUE(write_file(dir.file("mine.ini"), "$resize threshold: 64\n"));
    ASSERT_TRUE(write_file(dir.file("empty.ini"), ""));
    ASSERT_EQ(mkfifo(dir.file("fifo.ini").c_str(), 0666), 0);
    for (const char* name : {"mine.ini", "fifo.ini"}) {
        write_default_configuration(dir.file(name).c_str()); // must neither cut nor wait
    }
    write_default_configuration(dir.file("empty.ini").c_str());
    write_default_configuration(dir.file("new.ini").c_str());
    EXPECT_EQ(read_file(dir.file("mine.ini")), "$resize threshold: 64\n");
    EXPECT_NE(read_file(dir.file("empty.ini")).find("#eof"), std::string::npos);
    EXPECT_NE(read_file(dir.file("new.ini")).find("#eof"), std::string::npos);
    struct stat status {};
    ASSERT_EQ(lstat(dir.file("fifo.ini").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}
