#include "platform/termination.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> received_signal{0};
int wake_pipe[2] = {-1, -1};

void on_termination(int signal_number) {
    int expected = 0;
    if (received_signal.compare_exchange_strong(expected, signal_number)) {
        const char byte = 1;
        [[maybe_unused]] ssize_t written = write(wake_pipe[1], &byte, 1);
    }
}

} // namespace

void watch_termination_signals() {
    if (wake_pipe[0] >= 0 || pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = on_termination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int termination_signal() {
    return received_signal.load();
}

int termination_descriptor() {
    return wake_pipe[0];
}

} // namespace platform
