// viewer_bench: the viewer on the headless backend with default settings (fitting to the screen
// off), on two images that the
// bench makes itself (a 4096 x 4096 photo-like PNG and a 512 x 512 TGA): start to first painted
// frame, one zoom step to its first repaint and to the whole image, a repaint with each panel
// and peak memory after start, zoom and snapshot, beside DevIL's own load and lanczos rescale
// of the same file, CPU time beside wall time. Every case runs in a fresh process, so each peak
// is its own.
//
// Usage: viewer_bench [repeats]         every case, a table of medians and ratios (default 3)
//        viewer_bench fixtures DIR      writes photo.png and small.tga into DIR
//        viewer_bench case NAME FILE N  one case in this process (the table's driver runs these)
#include <IL/il.h>
#include <IL/ilu.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "config/configuration_reader.h"
#include "config/settings.h"
#include "platform/backends/headless/headless.h"
#include "viewer/viewer_dialog.h"

namespace {

using clock_type = std::chrono::steady_clock;
using results = std::map<std::string, double>;

double ms_since(clock_type::time_point start) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

// CPU time of the whole process, every thread.
double cpu_ms() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// A memory figure of this process in KiB: "VmHWM:" is the peak resident size (it starts afresh
// at exec), "VmRSS:" the present one.
double status_kib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atof(line.c_str() + field.size());
        }
    }
    return -1;
}

double peak_kib() {
    return status_kib("VmHWM:");
}

// Starts the peak afresh from the present resident size, so that the next peak read is that of
// what follows alone (the kernel's "5" to clear_refs); false where the kernel cannot.
bool restart_peak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// ---- Fixture images ----

// Smooth noise: random values on a lattice `cells` to a side, bilinear with a smoothstep.
class value_noise {
  public:
    value_noise(int cells, unsigned seed) : cells(cells), lattice((cells + 2) * (cells + 2)) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (double& value : lattice) {
            value = unit(random);
        }
    }

    // u and v run from 0 to 1 over the image.
    double at(double u, double v) const {
        double x = u * cells;
        double y = v * cells;
        int ix = static_cast<int>(x);
        int iy = static_cast<int>(y);
        double fx = smooth(x - ix);
        double fy = smooth(y - iy);
        double top = mix(node(ix, iy), node(ix + 1, iy), fx);
        double bottom = mix(node(ix, iy + 1), node(ix + 1, iy + 1), fx);
        return mix(top, bottom, fy);
    }

  private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    static double mix(double a, double b, double t) { return a + (b - a) * t; }
    double node(int x, int y) const {
        return lattice[static_cast<std::size_t>(y) * (cells + 2) + x];
    }

    int cells;
    std::vector<double> lattice;
};

// Photo-like colours: hue drifts over large areas and more quickly in places, light varies in
// smaller patches, and every pixel has grain. Each channel stays within 40..215 and the three
// are at least 40 apart, which no viewer's background looks like (startup_bench.sh counts on it).
class photo_pattern {
  public:
    photo_pattern() : hue(6, 1), detail(48, 2), light(300, 3), grain(4) {}

    void pixel(double u, double v, unsigned char* rgb) {
        constexpr double third = 2.0943951023931953; // 2 pi / 3
        double angle = 6.283185307179586 * (1.5 * hue.at(u, v) + 0.15 * detail.at(u, v));
        double shade = 20 * (light.at(u, v) - 0.5);
        for (int channel = 0; channel < 3; ++channel) {
            double value = 128 + 60 * std::cos(angle - channel * third) + shade + grain_step();
            rgb[channel] = static_cast<unsigned char>(std::clamp(value, 40.0, 215.0));
        }
    }

  private:
    double grain_step() { return static_cast<double>(grain() % 9) - 4; }

    value_noise hue;
    value_noise detail;
    value_noise light;
    std::minstd_rand grain;
};

std::vector<unsigned char> photo_pixels(int side) {
    std::vector<unsigned char> rgb(static_cast<std::size_t>(side) * side * 3);
    photo_pattern pattern;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            pattern.pixel((x + 0.5) / side, (y + 0.5) / side,
                          &rgb[(static_cast<std::size_t>(y) * side + x) * 3]);
        }
    }
    return rgb;
}

bool write_image(const std::string& path, ILenum type, int side) {
    std::vector<unsigned char> rgb = photo_pixels(side);
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    bool written = ilTexImage(side, side, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data()) == IL_TRUE &&
                   ilSave(type, path.c_str()) == IL_TRUE;
    ilDeleteImages(1, &name);
    return written;
}

const char* const big_name = "photo.png";
const char* const small_name = "small.tga";

bool write_fixtures(const std::string& dir) {
    ilInit();
    ilEnable(IL_FILE_OVERWRITE);
    bool written = write_image(dir + "/" + big_name, IL_PNG, 4096) &&
                   write_image(dir + "/" + small_name, IL_TGA, 512);
    ilShutDown();
    return written;
}

// ---- Cases, one per process; each prints "key value" lines ----

void print(const char* key, double value) {
    std::printf("%s %.3f\n", key, value);
}

double retained_frame_kib() {
    double bytes = 0;
    for (const headless::frame& frame : headless::frames()) {
        bytes += static_cast<double>(frame.pixels.size()) * sizeof frame.pixels[0];
    }
    return bytes / 1024;
}

// Runs the viewer on `file` with `step` as the only thing the modal loop does; false when the
// image was not shown.
bool run_viewer(const char* file, const std::function<void(viewer_dialog&)>& step) {
    bool shown = false;
    viewer_dialog viewer(file);
    headless::queue_call([&] {
        shown = !headless::frames().empty() && headless::message_boxes().empty();
        if (shown) {
            step(viewer);
        }
        viewer.end_dialog(0);
    });
    viewer.do_modal();
    return shown;
}

// The headless backend's own pixels: the frame copies it keeps, and the window's client area,
// which it holds in memory where a real window's lies in the X server (the X backend holds only
// the part on the screen).
void print_memory() {
    const platform::rect& client = headless::last_window().client;
    print("peak_kib", peak_kib());
    print("frames_kib",
          retained_frame_kib() + static_cast<double>(client.width()) * client.height() * 4 / 1024);
}

// Runs `run` up to `repeats` times, fewer once 20 s have gone by (a slow viewer would otherwise
// keep the bench for many minutes); at least once.
void repeat_within_budget(int repeats, const std::function<void()>& run) {
    constexpr double budget_ms = 20000;
    clock_type::time_point begun = clock_type::now();
    for (int i = 0; i < repeats && (i == 0 || ms_since(begun) < budget_ms); ++i) {
        run();
    }
}

double timed_median(int repeats, const std::function<void()>& measure) {
    std::vector<double> times;
    repeat_within_budget(repeats, [&] {
        clock_type::time_point start = clock_type::now();
        measure();
        times.push_back(ms_since(start));
    });
    return median(times);
}

bool case_start(const char* file) {
    clock_type::time_point start = clock_type::now();
    double first_frame = -1;
    bool shown = run_viewer(file, [&](viewer_dialog&) { first_frame = ms_since(start); });
    print("start_ms", first_frame);
    print_memory();
    return shown;
}

// Zoom steps, each from the size as loaded: the reset before each is not timed. The step ends
// with its first repaint; the whole image is done when the viewer no longer has to wait.
void measure_zoom(viewer_dialog& viewer, int repeats) {
    std::vector<double> steps, step_cpu, whole, whole_cpu;
    repeat_within_budget(repeats, [&] {
        if (!steps.empty()) {
            viewer.reset_zoom(false);
        }
        clock_type::time_point start = clock_type::now();
        double cpu_start = cpu_ms();
        viewer.zoom_step(true);
        steps.push_back(ms_since(start));
        step_cpu.push_back(cpu_ms() - cpu_start);
        viewer.get_image()->finish_rescale();
        whole.push_back(ms_since(start));
        whole_cpu.push_back(cpu_ms() - cpu_start);
    });
    print("zoom_ms", median(steps));
    print("zoom_cpu_ms", median(step_cpu));
    print("whole_ms", median(whole));
    print("whole_cpu_ms", median(whole_cpu));
}

double repaint_median(viewer_dialog& viewer, int repeats) {
    return timed_median(repeats, [&] { viewer.repaint(); });
}

void measure_panels(viewer_dialog& viewer, int repeats) {
    print("plain_ms", repaint_median(viewer, repeats));
    viewer.toggle_help();
    print("help_ms", repaint_median(viewer, repeats));
    viewer.toggle_info(); // the other panels go off
    print("info_ms", repaint_median(viewer, repeats));
    viewer.toggle_version();
    print("version_ms", repaint_median(viewer, repeats));
}

// One run of the viewer: zoom steps, their peak, the snapshot's peak, then the repaints. Each
// peak starts from what the process holds when its work begins (the start's is in "start"),
// so a snapshot's own peak is not hidden behind a larger one of the zoom before it.
bool case_session(const char* file, int repeats) {
    return run_viewer(file, [&](viewer_dialog& viewer) {
        print("restarted_peaks", restart_peak() ? 1 : 0);
        measure_zoom(viewer, repeats);
        print("zoom_width", viewer.get_image()->get_bitmap_desc().width);
        print_memory();
        restart_peak();
        viewer.take_snapshot_command();
        print("snapshot_peak_kib", peak_kib());
        viewer.reset_zoom(false);
        measure_panels(viewer, repeats);
    });
}

// DevIL alone: the file loaded by the library's own reader and rescaled with lanczos by one
// zoom step (128 pixels wider, the height in proportion), as a plain DevIL program would.
bool load_and_rescale(const char* file) {
    bool loaded = ilLoadImage(file) == IL_TRUE;
    ILuint width = ilGetInteger(IL_IMAGE_WIDTH);
    ILuint height = ilGetInteger(IL_IMAGE_HEIGHT);
    iluImageParameter(ILU_FILTER, ILU_SCALE_LANCZOS3);
    return loaded && iluScale(width + 128, height * (width + 128) / width, 1) == IL_TRUE;
}

bool case_devil(const char* file, int repeats) {
    ilInit();
    iluInit();
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    bool done = true;
    std::vector<double> cpu;
    print("devil_ms", timed_median(repeats, [&] {
              double cpu_start = cpu_ms();
              done = load_and_rescale(file) && done;
              cpu.push_back(cpu_ms() - cpu_start);
          }));
    print("devil_cpu_ms", median(cpu));
    print("devil_peak_kib", peak_kib());
    ilDeleteImages(1, &name);
    ilShutDown();
    return done;
}

int run_case(const std::string& name, const char* file, int repeats) {
    headless::reset();
    headless::keep_every_frame(false); // the store a test reads is no part of the viewer
    use_default_configuration();
    // The image at its own size, as the zoom and memory goals take it: fitted to this backend's
    // 1024 x 768 screen the 4096 x 4096 image would be a 730-pixel one.
    viewer_settings.fit_to_screen = false;
    print("base_kib", status_kib("VmRSS:")); // the libraries, before any image
    bool done = false;
    if (name == "start") {
        done = case_start(file);
    } else if (name == "session") {
        done = case_session(file, repeats);
    } else if (name == "devil") {
        done = case_devil(file, repeats);
    }
    return done ? 0 : 1;
}

// ---- The driver: fixtures, one process per case, the table ----

std::string own_executable() {
    char path[4096] = {};
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// Runs one case in a fresh process and adds its figures to `into`. False when it failed.
bool spawn_case(const std::string& name, const std::string& file, int repeats, results& into) {
    std::string command = "'";
    command.append(own_executable()).append("' case ").append(name).append(" '").append(file);
    command.append("' ").append(std::to_string(repeats));
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr) {
        return false;
    }
    char key[64];
    double value = 0;
    while (std::fscanf(output, "%63s %lf", key, &value) == 2) {
        into[key] = value;
    }
    return pclose(output) == 0;
}

// Each start is a process of its own; the figures are the medians over the starts.
bool measure_starts(const std::string& file, int repeats, results& into) {
    std::map<std::string, std::vector<double>> runs;
    bool done = true;
    repeat_within_budget(repeats, [&] {
        results one;
        done = spawn_case("start", file, 1, one) && done;
        for (const auto& [key, value] : one) {
            runs["start_" + key].push_back(value);
        }
    });
    for (const auto& [key, values] : runs) {
        into[key] = median(values);
    }
    return done;
}

results measure_file(const std::string& file, int side, int repeats) {
    results figures;
    figures["decoded_kib"] = static_cast<double>(side) * side * 4 / 1024;
    bool done = measure_starts(file, repeats, figures);
    results session;
    done = spawn_case("session", file, repeats, session) && done;
    for (const auto& [key, value] : session) {
        figures["session_" + key] = value;
    }
    done = spawn_case("devil", file, repeats, figures) && done;
    if (!done) {
        std::fprintf(stderr, "viewer_bench: a case failed on %s\n", file.c_str());
    }
    return figures;
}

double figure(const results& figures, const std::string& key) {
    auto found = figures.find(key);
    return found != figures.end() ? found->second : std::nan("");
}

double ratio(double a, double b) {
    return b > 0 ? a / b : std::nan("");
}

struct row {
    const char* label;
    std::function<double(const results&)> value;
};

const row table_rows[] = {
    {"start to first painted frame, ms", [](auto& f) { return figure(f, "start_start_ms"); }},
    {"zoom step to first repaint, ms", [](auto& f) { return figure(f, "session_zoom_ms"); }},
    {"  its CPU time (both threads), ms", [](auto& f) { return figure(f, "session_zoom_cpu_ms"); }},
    {"zoom step to the whole image, ms", [](auto& f) { return figure(f, "session_whole_ms"); }},
    {"  its CPU time, ms", [](auto& f) { return figure(f, "session_whole_cpu_ms"); }},
    {"  width after the zoom step", [](auto& f) { return figure(f, "session_zoom_width"); }},
    {"DevIL ilLoadImage + iluScale lanczos3, ms", [](auto& f) { return figure(f, "devil_ms"); }},
    {"  its CPU time, ms", [](auto& f) { return figure(f, "devil_cpu_ms"); }},
    {"  first repaint / DevIL (goal <= 0.05 PNG, <= 1 TGA)",
     [](auto& f) { return ratio(figure(f, "session_zoom_ms"), figure(f, "devil_ms")); }},
    {"  whole image / DevIL (goal <= 0.25)",
     [](auto& f) { return ratio(figure(f, "session_whole_ms"), figure(f, "devil_ms")); }},
    {"repaint, no panel, ms", [](auto& f) { return figure(f, "session_plain_ms"); }},
    {"repaint, help panel, ms", [](auto& f) { return figure(f, "session_help_ms"); }},
    {"repaint, information panel, ms", [](auto& f) { return figure(f, "session_info_ms"); }},
    {"  information repaint / 50 ms (goal < 1)",
     [](auto& f) { return ratio(figure(f, "session_info_ms"), 50); }},
    {"repaint, version panel, ms", [](auto& f) { return figure(f, "session_version_ms"); }},
    {"decoded image (w*h*4), MiB", [](auto& f) { return figure(f, "decoded_kib") / 1024; }},
    {"peak after start, MiB", [](auto& f) { return figure(f, "start_peak_kib") / 1024; }},
    {"peak after zoom step, MiB", [](auto& f) { return figure(f, "session_peak_kib") / 1024; }},
    {"  of which the headless window and frame copies, MiB",
     [](auto& f) { return figure(f, "session_frames_kib") / 1024; }},
    {"  of which the process before the viewer, MiB",
     [](auto& f) { return figure(f, "session_base_kib") / 1024; }},
    {"  peak less those / decoded (goal < 3)",
     [](auto& f) {
         return ratio(figure(f, "session_peak_kib") - figure(f, "session_frames_kib"),
                      figure(f, "decoded_kib"));
     }},
    {"  the same, less the process before the viewer",
     [](auto& f) {
         return ratio(figure(f, "session_peak_kib") - figure(f, "session_frames_kib") -
                          figure(f, "session_base_kib"),
                      figure(f, "decoded_kib"));
     }},
    {"peak after snapshot, MiB",
     [](auto& f) { return figure(f, "session_snapshot_peak_kib") / 1024; }},
    {"peaks less window, frames and process / decoded (goal <= 2):", nullptr},
    {"  at start",
     [](auto& f) {
         return ratio(figure(f, "start_peak_kib") - figure(f, "start_frames_kib") -
                          figure(f, "start_base_kib"),
                      figure(f, "decoded_kib"));
     }},
    {"  after a zoom step",
     [](auto& f) {
         return ratio(figure(f, "session_peak_kib") - figure(f, "session_frames_kib") -
                          figure(f, "session_base_kib"),
                      figure(f, "decoded_kib"));
     }},
    {"  after a snapshot",
     [](auto& f) {
         return ratio(figure(f, "session_snapshot_peak_kib") - figure(f, "session_frames_kib") -
                          figure(f, "session_base_kib"),
                      figure(f, "decoded_kib"));
     }},
    {"  (1: each peak restarted before its work; 0: peaks so far)",
     [](auto& f) { return figure(f, "session_restarted_peaks"); }},
    {"DevIL peer's peak, MiB", [](auto& f) { return figure(f, "devil_peak_kib") / 1024; }},
};

void print_table(const results& big, const results& small, int repeats) {
    std::printf("viewer_bench: default settings but no fitting to the screen, headless backend, "
                "medians of up to %d runs "
                "(fewer once a measurement has taken 20 s)\n",
                repeats);
    std::printf("%-52s %16s %16s\n", "", "PNG 4096x4096", "TGA 512x512");
    for (const row& r : table_rows) {
        if (r.value == nullptr) {
            std::printf("%s\n", r.label);
            continue;
        }
        std::printf("%-52s %16.2f %16.2f\n", r.label, r.value(big), r.value(small));
    }
}

void remove_fixtures(const std::string& dir) {
    std::remove((dir + "/" + big_name).c_str());
    std::remove((dir + "/" + small_name).c_str());
    rmdir(dir.c_str());
}

int run_driver(int repeats) {
    char dir[] = "/tmp/viewer_bench.XXXXXX";
    if (mkdtemp(dir) == nullptr || !write_fixtures(dir)) {
        std::fprintf(stderr, "viewer_bench: cannot write the fixture images\n");
        return 1;
    }
    std::string folder = dir;
    results big = measure_file(folder + "/" + big_name, 4096, repeats);
    results small = measure_file(folder + "/" + small_name, 512, repeats);
    remove_fixtures(folder);
    print_table(big, small, repeats);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "fixtures") == 0) {
        return write_fixtures(argv[2]) ? 0 : 1;
    }
    if (argc == 5 && std::strcmp(argv[1], "case") == 0) {
        return run_case(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    }
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    return run_driver(repeats);
}
