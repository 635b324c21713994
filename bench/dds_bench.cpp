// Compares our DXT encoders with libsquish and stb_dxt on generated images: RMSE against the
// source and megapixels per second, all measured in this run, then the ratios.
//   dds_bench [side] [seconds per measurement]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_images.h"
#include "bench_peers.h"

namespace {

struct measurement {
    bool done = false;
    double rmse = 0;
    double megapixels_per_second = 0;
};

const char* format_name(bench_format format) {
    static const char* names[] = {"DXT1", "DXT1a", "DXT3", "DXT5"};
    return names[static_cast<int>(format)];
}

// RMSE over the channels the format carries: colour only for DXT1, colour and alpha otherwise.
double rmse(const bench_image& image, const std::vector<std::uint8_t>& rgba, bench_format format) {
    bool alpha = format != bench_format::dxt1;
    double sum = 0;
    std::size_t pixels = image.bgra.size() / 4;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* s = &image.bgra[i * 4];
        const std::uint8_t* d = &rgba[i * 4];
        double dr = s[2] - d[0], dg = s[1] - d[1], db = s[0] - d[2], da = s[3] - d[3];
        sum += dr * dr + dg * dg + db * db + (alpha ? da * da : 0);
    }
    return std::sqrt(sum / (static_cast<double>(pixels) * (alpha ? 4 : 3)));
}

// The fastest of repeated runs, repeated until `seconds` have passed (at least three runs).
measurement measure(const bench_encoder& encoder, const bench_image& image, bench_format format,
                    double seconds) {
    using clock = std::chrono::steady_clock;
    std::vector<std::uint8_t> blocks;
    double fastest = 1e30;
    double spent = 0;
    for (int run = 0; run < 3 || spent < seconds; ++run) {
        auto start = clock::now();
        encoder.encode(image, format, blocks);
        double elapsed = std::chrono::duration<double>(clock::now() - start).count();
        fastest = std::min(fastest, elapsed);
        spent += elapsed;
    }
    std::vector<std::uint8_t> rgba;
    decode_blocks(blocks, image.width, image.height, format, rgba);
    measurement m;
    m.done = true;
    m.rmse = rmse(image, rgba, format);
    m.megapixels_per_second = image.width * static_cast<double>(image.height) / fastest / 1e6;
    return m;
}

void print_heading(const std::vector<bench_encoder>& encoders) {
    std::printf("%-11s %-6s", "image", "format");
    for (const bench_encoder& e : encoders) {
        std::printf(" %10s", e.name);
    }
    std::printf(" | %9s %9s\n", "rmse/hq", "speed/rng");
}

void print_row(const char* label, const char* format, const std::vector<measurement>& row,
               bool speed) {
    std::printf("%-11s %-6s", label, format);
    for (const measurement& m : row) {
        if (!m.done) {
            std::printf(" %10s", "-");
        } else {
            std::printf(" %10.2f", speed ? m.megapixels_per_second : m.rmse);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    int side = argc > 1 ? std::atoi(argv[1]) : 512;
    double seconds = argc > 2 ? std::atof(argv[2]) : 0.3;
    if (side < 4 || side % 4 != 0) {
        std::fprintf(stderr, "usage: dds_bench [side, a multiple of 4] [seconds]\n");
        return 2;
    }
    const std::vector<bench_encoder>& encoders = bench_encoders();
    const bench_format formats[] = {bench_format::dxt1, bench_format::dxt3, bench_format::dxt5,
                                    bench_format::dxt1a};
    std::printf("%d x %d images; RMSE in 8-bit levels (first line), megapixels/s (second).\n"
                "rmse/hq: ours / stb_dxt high quality (goal <= 1); speed/rng: ours / libsquish "
                "range fit (goal >= 1)\n\n",
                side, side);
    print_heading(encoders);
    double worst_quality = 0, worst_speed = 1e30;
    for (const bench_image& image : make_bench_images(side)) {
        for (bench_format format : formats) {
            std::vector<measurement> row;
            for (const bench_encoder& encoder : encoders) {
                row.push_back(encoder.supports(format) ? measure(encoder, image, format, seconds)
                                                       : measurement{});
            }
            double quality = row[1].done ? row[0].rmse / std::max(row[1].rmse, 1e-9) : 0;
            double speed = row[0].megapixels_per_second / row[3].megapixels_per_second;
            worst_quality = std::max(worst_quality, quality);
            worst_speed = std::min(worst_speed, speed);
            print_row(image.name.c_str(), format_name(format), row, false);
            if (row[1].done) {
                std::printf(" | %9.3f\n", quality);
            } else {
                std::printf(" | %9s\n", "-");
            }
            print_row("", "", row, true);
            std::printf(" | %9s %9.2f\n", "", speed);
        }
    }
    std::printf("\nworst RMSE ratio ours / stb_dxt HQ (DXT1, DXT3, DXT5): %.3f (%s)\n",
                worst_quality, worst_quality <= 1.0 ? "goal met" : "goal missed");
    std::printf("lowest speed ratio ours / libsquish range fit: %.2f (%s)\n", worst_speed,
                worst_speed >= 1.0 ? "goal met" : "goal missed");
    return 0;
}
