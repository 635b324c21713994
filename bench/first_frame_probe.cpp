// first_frame_probe: launches an image viewer and times it to its first visible frame on the X
// display: a new top-level window, mapped, whose central area shows the pixels of viewer_bench's
// photo-like images (each channel within 40..215, the three at least 40 apart; no viewer's
// background, blank window or the server's root pattern looks like that). Then reads the
// process's peak memory and the shared libraries it has loaded, ends the process and prints
// "first_frame_ms N", "peak_kib N" and "shared_libraries N".
// The same check serves every viewer, so the figures compare fairly.
//
// Usage: first_frame_probe TIMEOUT_SECONDS SETTLE_MS COMMAND [ARGUMENTS...]
// SETTLE_MS is the wait after the first frame before the peak is read. Exit 1 on a timeout.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int grid = 8;            // samples per row and per column
constexpr int needed_matches = 58; // of grid * grid, about 90 per cent
constexpr int poll_interval_us = 2000;

// Windows vanish between listing and asking; such errors only mean "not this one".
int ignore_error(Display*, XErrorEvent*) {
    return 0;
}

std::set<Window> top_level_windows(Display* display) {
    Window root_return = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::set<Window> windows;
    if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count)) {
        windows.insert(children, children + count);
        XFree(children);
    }
    return windows;
}

struct area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The middle half of the part of a mapped window that lies on the screen; empty otherwise.
area central_area(Display* display, Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
        return {};
    }
    int left = std::max(attributes.x, 0);
    int top = std::max(attributes.y, 0);
    int right = std::min(attributes.x + attributes.width, DisplayWidth(display, 0));
    int bottom = std::min(attributes.y + attributes.height, DisplayHeight(display, 0));
    if (right - left < 4 || bottom - top < 4) {
        return {};
    }
    int width = right - left;
    int height = bottom - top;
    return {left + width / 4, top + height / 4, width / 2, height / 2};
}

int shift_of(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool photo_like(const XImage& image, unsigned long pixel) {
    int red = static_cast<int>((pixel & image.red_mask) >> shift_of(image.red_mask));
    int green = static_cast<int>((pixel & image.green_mask) >> shift_of(image.green_mask));
    int blue = static_cast<int>((pixel & image.blue_mask) >> shift_of(image.blue_mask));
    int low = std::min({red, green, blue});
    int high = std::max({red, green, blue});
    return low >= 40 && high <= 215 && high - low >= 40;
}

// Counts photo-like pixels on a grid over `where`, read from the screen a row at a time.
int photo_samples(Display* display, const area& where) {
    int matches = 0;
    for (int row = 0; row < grid; ++row) {
        int y = where.y + (2 * row + 1) * where.height / (2 * grid);
        XImage* line = XGetImage(display, DefaultRootWindow(display), where.x, y, where.width, 1,
                                 AllPlanes, ZPixmap);
        if (line == nullptr) {
            continue;
        }
        for (int column = 0; column < grid; ++column) {
            int x = (2 * column + 1) * where.width / (2 * grid);
            matches += photo_like(*line, XGetPixel(line, x, 0)) ? 1 : 0;
        }
        XDestroyImage(line);
    }
    return matches;
}

bool image_visible(Display* display, const std::set<Window>& before) {
    for (Window window : top_level_windows(display)) {
        if (before.count(window) != 0) {
            continue;
        }
        area where = central_area(display, window);
        if (where.width > 0 && photo_samples(display, where) >= needed_matches) {
            return true;
        }
    }
    return false;
}

pid_t launch(char** command) {
    pid_t child = fork();
    if (child == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execvp(command[0], command);
        _exit(127);
    }
    return child;
}

double peak_kib(pid_t process) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atof(line.c_str() + 6);
        }
    }
    return -1;
}

// Shared libraries the process has mapped (the dynamic loader included): each file named
// "*.so" or "*.so.*" in its memory map, once.
int shared_libraries(pid_t process) {
    std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
    std::set<std::string> files;
    std::string line;
    while (std::getline(maps, line)) {
        std::size_t path = line.find('/');
        if (path == std::string::npos) {
            continue;
        }
        std::string file = line.substr(path);
        std::size_t suffix = file.rfind(".so");
        if (suffix != std::string::npos && (suffix + 3 == file.size() || file[suffix + 3] == '.')) {
            files.insert(file);
        }
    }
    return static_cast<int>(files.size());
}

// Asks the process to end, then forces it after two seconds; reaps it either way.
void finish(pid_t process) {
    kill(process, SIGTERM);
    for (int waited = 0; waited < 200; ++waited) {
        if (waitpid(process, nullptr, WNOHANG) == process) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(process, SIGKILL);
    waitpid(process, nullptr, 0);
}

// Milliseconds from launch to the first visible frame, or -1 when the time ran out or the
// process ended first (it is then reaped and `ended` is set).
double time_first_frame(Display* display, pid_t process, clock_type::time_point start,
                        const std::set<Window>& before, double timeout_ms, bool& ended) {
    while (std::chrono::duration<double, std::milli>(clock_type::now() - start).count() <
           timeout_ms) {
        if (image_visible(display, before)) {
            return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
        }
        if (waitpid(process, nullptr, WNOHANG) == process) {
            ended = true;
            return -1;
        }
        usleep(poll_interval_us);
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: first_frame_probe TIMEOUT_SECONDS SETTLE_MS COMMAND...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "first_frame_probe: no X display\n");
        return 2;
    }
    XSetErrorHandler(ignore_error);
    std::set<Window> before = top_level_windows(display);
    clock_type::time_point start = clock_type::now();
    pid_t process = launch(argv + 3);
    bool ended = false;
    double first_frame =
        time_first_frame(display, process, start, before, 1000 * std::atof(argv[1]), ended);
    double peak = -1;
    int libraries = -1;
    if (!ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        peak = peak_kib(process);
        libraries = shared_libraries(process);
        finish(process);
    }
    XCloseDisplay(display);
    if (first_frame < 0) {
        std::printf("timeout\n");
        return 1;
    }
    std::printf("first_frame_ms %.1f\npeak_kib %.0f\nshared_libraries %d\n", first_frame, peak,
                libraries);
    return 0;
}
