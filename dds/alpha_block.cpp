#include "dds/alpha_block.h"

#include <climits>

#include "dds/lanes.h"
#include "dds/packing.h"

namespace dds {

namespace {

struct alpha_fit {
    int first = 0;
    int second = 0;
    std::uint8_t index[16] = {};
    int error = INT_MAX;
};

// first > second gives eight interpolated levels; otherwise six, then 0 and 255.
void alpha_palette(int first, int second, int levels[8]) {
    levels[0] = first;
    levels[1] = second;
    if (first > second) {
        for (int i = 1; i < 7; ++i) {
            levels[i + 1] = ((7 - i) * first + i * second) / 7;
        }
        return;
    }
    for (int i = 1; i < 5; ++i) {
        levels[i + 1] = ((5 - i) * first + i * second) / 5;
    }
    levels[6] = 0;
    levels[7] = 255;
}

// Nearest level for every pixel, four pixels at a time.
alpha_fit evaluate_alpha(const float alpha[16], int first, int second) {
    alpha_fit fit;
    fit.first = first;
    fit.second = second;
    int levels[8];
    alpha_palette(first, second, levels);
    lane4 total = {0, 0, 0, 0};
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 value = load4(alpha + quad);
        lane4 best = {1e30f, 1e30f, 1e30f, 1e30f};
        mask4 chosen = {0, 0, 0, 0};
        for (int level = 0; level < 8; ++level) {
            lane4 d = value - static_cast<float>(levels[level]);
            lane4 error = d * d;
            mask4 better = error < best;
            best = select4(better, error, best);
            chosen = (better & level) | (chosen & ~better);
        }
        total += best;
        for (int k = 0; k < 4; ++k) {
            fit.index[quad + k] = static_cast<std::uint8_t>(chosen[k]);
        }
    }
    fit.error = static_cast<int>(sum4(total)); // whole numbers, exact in float
    return fit;
}

// Share of the first end in each level of the eight-level mode.
double first_share(int index) {
    return index == 0 ? 1.0 : (index == 1 ? 0.0 : (8 - index) / 7.0);
}

// Least-squares ends for the indices of an eight-level fit; false when they are undetermined.
bool refine_eight_level(const float alpha[16], const alpha_fit& fit, int& first, int& second) {
    double aa = 0, ab = 0, bb = 0, ax = 0, bx = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        double a = first_share(fit.index[pixel]);
        double b = 1.0 - a;
        aa += a * a;
        ab += a * b;
        bb += b * b;
        ax += a * alpha[pixel];
        bx += b * alpha[pixel];
    }
    double det = aa * bb - ab * ab;
    if (det < 1e-6) {
        return false;
    }
    double f = (bb * ax - ab * bx) / det;
    double s = (aa * bx - ab * ax) / det;
    first = f < 0 ? 0 : (f > 255 ? 255 : static_cast<int>(f + 0.5));
    second = s < 0 ? 0 : (s > 255 ? 255 : static_cast<int>(s + 0.5));
    return first > second;
}

alpha_fit fit_eight_level(const float alpha[16], int low, int high) {
    alpha_fit best = evaluate_alpha(alpha, high, low);
    for (int round = 0; round < 2 && best.error > 0; ++round) {
        int first = 0;
        int second = 0;
        if (!refine_eight_level(alpha, best, first, second)) {
            break;
        }
        alpha_fit next = evaluate_alpha(alpha, first, second);
        if (next.error >= best.error) {
            break;
        }
        best = next;
    }
    return best;
}

// Six levels spread over the values that 0 and 255 do not already hold exactly.
alpha_fit fit_six_level(const float alpha[16]) {
    int low = 255;
    int high = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        int a = static_cast<int>(alpha[pixel]);
        if (a != 0 && a != 255) {
            low = a < low ? a : low;
            high = a > high ? a : high;
        }
    }
    if (low > high) {
        low = high = 0; // only 0 and 255 occur
    }
    return evaluate_alpha(alpha, low, high);
}

void write_alpha(const alpha_fit& fit, std::uint8_t out[8]) {
    out[0] = static_cast<std::uint8_t>(fit.first);
    out[1] = static_cast<std::uint8_t>(fit.second);
    std::uint64_t bits = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        bits |= static_cast<std::uint64_t>(fit.index[pixel]) << (3 * pixel);
    }
    for (int byte = 0; byte < 6; ++byte) {
        out[2 + byte] = static_cast<std::uint8_t>(bits >> (8 * byte));
    }
}

} // namespace

void encode_explicit_alpha(const std::uint8_t bgra[64], std::uint8_t out[8]) {
    for (int pair = 0; pair < 8; ++pair) {
        int low = quantize4(bgra[4 * (2 * pair) + 3]);
        int high = quantize4(bgra[4 * (2 * pair + 1) + 3]);
        out[pair] = static_cast<std::uint8_t>(low | high << 4);
    }
}

void encode_interpolated_alpha(const std::uint8_t bgra[64], std::uint8_t out[8]) {
    float alpha[16];
    int low = 255;
    int high = 0;
    for (int pixel = 0; pixel < 16; ++pixel) {
        int a = bgra[4 * pixel + 3];
        alpha[pixel] = static_cast<float>(a);
        low = a < low ? a : low;
        high = a > high ? a : high;
    }
    alpha_fit best;
    if (low == high) {
        best.first = best.second = low; // one value: the first end, index 0 everywhere
    } else {
        best = fit_six_level(alpha);
        if (best.error > 0) {
            alpha_fit eight = fit_eight_level(alpha, low, high);
            best = eight.error < best.error ? eight : best;
        }
    }
    write_alpha(best, out);
}

} // namespace dds
