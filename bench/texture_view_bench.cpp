// texture_view_bench: the texture artist's views on the headless backend, each beside a peer
// measured in the same run: switching the channel view of a 4096 x 4096 image beside a plain
// repaint of the same window (with the fit to the screen, as by default, and without it); the
// pointer readout's repaint with the information panel beside a repaint with no panel; and the
// reload of a 2048 x 2048 PNG on a change beside the start on that file.
//
// Usage: texture_view_bench [repeats]   (default 5; the images are made in a scratch folder)
#include <IL/il.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

double ms_since(clock_type::time_point start) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// A side x side RGBA PNG of smooth colour and alpha with some noise, so it compresses as photos do.
bool write_png(const std::string& path, int side) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(side) * side * 4);
    std::mt19937 noise(7);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * side + x) * 4];
            p[0] = static_cast<unsigned char>(x * 255 / side + noise() % 8);
            p[1] = static_cast<unsigned char>(y * 255 / side + noise() % 8);
            p[2] = static_cast<unsigned char>((x + y) * 127 / side);
            p[3] = static_cast<unsigned char>((x ^ y) & 0xFF);
        }
    }
    ILuint name = ilGenImage();
    ilBindImage(name);
    bool made = ilTexImage(side, side, 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, pixels.data()) &&
                ilSave(IL_PNG, path.c_str());
    ilDeleteImage(name);
    return made;
}

// Runs the viewer on `path`; `measure` runs once its first frame is painted.
void with_viewer(const std::string& path, const std::function<void(viewer_dialog&)>& measure) {
    headless::reset();
    headless::keep_every_frame(false);
    viewer_dialog viewer(path.c_str());
    headless::queue_call([&] { measure(viewer); });
    viewer.do_modal();
}

double time_ms(const std::function<void()>& work) {
    clock_type::time_point start = clock_type::now();
    work();
    return ms_since(start);
}

void print_row(const char* what, double ms, const char* peer, double peer_ms) {
    std::printf("%-44s %9.2f ms   %-26s %9.2f ms   ratio %6.2f\n", what, ms, peer, peer_ms,
                peer_ms > 0 ? ms / peer_ms : 0.0);
}

// The goal for any one switch of the channel view.
constexpr double switch_goal_ms = 100.0;

void channel_rows(const std::string& big, int repeats, bool fit) {
    viewer_settings.fit_to_screen = fit;
    std::vector<double> switches, plain;
    std::vector<double> by_view[6]; // each switch under the view it switched to
    int shown_width = 0;
    with_viewer(big, [&](viewer_dialog& v) {
        v.get_image()->finish_rescale();
        shown_width = v.get_image()->get_bitmap_desc().width;
        for (int i = 0; i < repeats * 6; ++i) {
            double ms = time_ms([&] { v.cycle_channel_view(); });
            switches.push_back(ms);
            by_view[static_cast<int>(v.get_image()->get_channel_view())].push_back(ms);
            if (v.get_image()->get_channel_view() == channel_view::colour) {
                plain.push_back(time_ms([&] { v.repaint(); }));
            }
        }
        v.end_dialog(0);
    });
    char what[80];
    std::snprintf(what, sizeof what, "channel view switch, 4096^2 shown %d wide", shown_width);
    print_row(what, median(switches), "colour repaint", median(plain));
    int slowest = 0;
    for (int view = 1; view < 6; ++view) {
        slowest = median(by_view[view]) > median(by_view[slowest]) ? view : slowest;
    }
    std::snprintf(what, sizeof what, "  slowest view (%s)",
                  channel_view_name(static_cast<channel_view>(slowest)));
    print_row(what, median(by_view[slowest]), "goal", switch_goal_ms);
}

void readout_row(const std::string& big, int repeats) {
    viewer_settings.fit_to_screen = true;
    std::vector<double> readouts, plain;
    with_viewer(big, [&](viewer_dialog& v) {
        v.get_image()->finish_rescale();
        for (int i = 0; i < repeats * 4; ++i) {
            plain.push_back(time_ms([&] { v.repaint(); }));
        }
        v.toggle_info();
        for (int i = 0; i < repeats * 4; ++i) {
            platform::message moved = platform::button_message(platform::wm_mousemove, 10 + i, 20);
            readouts.push_back(time_ms([&] { v.deliver(moved); }));
        }
        v.end_dialog(0);
    });
    print_row("pointer readout repaint (info panel)", median(readouts), "repaint without panel",
              median(plain));
}

void reload_row(const std::string& medium, int repeats) {
    std::vector<double> reloads, starts;
    for (int i = 0; i < repeats; ++i) {
        clock_type::time_point start = clock_type::now();
        with_viewer(medium, [&](viewer_dialog& v) {
            starts.push_back(ms_since(start));
            // A file changes long after the start: the colour count that follows the first
            // frame on a second thread is over by then.
            v.get_image()->get_colors_used();
            reloads.push_back(time_ms([&] { v.reload_image(); }));
            v.end_dialog(0);
        });
    }
    print_row("reload on change, 2048^2 PNG", median(reloads), "start on that file",
              median(starts));
}

} // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char folder[] = "/tmp/texture_view_bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    std::string big = std::string(folder) + "/big.png";
    std::string medium = std::string(folder) + "/medium.png";
    ilInit();
    if (!write_png(big, 4096) || !write_png(medium, 2048)) {
        std::fprintf(stderr, "cannot write the images in %s\n", folder);
        return 1;
    }
    use_default_configuration();
    channel_rows(big, repeats, true);
    channel_rows(big, repeats, false);
    readout_row(big, repeats);
    reload_row(medium, repeats);
    std::remove(big.c_str());
    std::remove(medium.c_str());
    rmdir(folder);
    return 0;
}
