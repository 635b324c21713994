#include "bench_images.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using pixel_rule = void (*)(int x, int y, int side, std::uint8_t* bgra);

std::uint8_t clamp_byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255));
}

// Smooth value noise: bilinear interpolation of a random lattice, summed over octaves.
class value_noise {
  public:
    explicit value_noise(unsigned seed) {
        std::mt19937 random(seed);
        for (double& v : lattice) {
            v = std::uniform_real_distribution<double>(0.0, 1.0)(random);
        }
    }
    double at(double x, double y) const {
        double sum = 0, scale = 1, total = 0;
        for (int octave = 0; octave < 5; ++octave, scale *= 0.5, x *= 2, y *= 2) {
            sum += scale * smooth(x, y);
            total += scale;
        }
        return sum / total;
    }

  private:
    double lattice[64 * 64];
    double cell(int x, int y) const { return lattice[(y & 63) * 64 + (x & 63)]; }
    double smooth(double x, double y) const {
        int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
        double fx = x - ix, fy = y - iy;
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        double top = cell(ix, iy) + (cell(ix + 1, iy) - cell(ix, iy)) * fx;
        double bottom = cell(ix, iy + 1) + (cell(ix + 1, iy + 1) - cell(ix, iy + 1)) * fx;
        return top + (bottom - top) * fy;
    }
};

const value_noise& noise(int channel) {
    static const value_noise noises[4] = {value_noise(1), value_noise(2), value_noise(3),
                                          value_noise(4)};
    return noises[channel];
}

void gradient(int x, int y, int side, std::uint8_t* p) {
    double u = static_cast<double>(x) / side, v = static_cast<double>(y) / side;
    p[0] = clamp_byte(255 * (0.5 + 0.5 * std::sin(6.0 * u + 3.0 * v)));
    p[1] = clamp_byte(255 * v);
    p[2] = clamp_byte(255 * u);
    p[3] = 255;
}

void photo(int x, int y, int side, std::uint8_t* p) {
    double u = 8.0 * x / side, v = 8.0 * y / side;
    double light = noise(0).at(u, v);
    p[0] = clamp_byte(255 * (0.6 * light + 0.4 * noise(1).at(u, v)));
    p[1] = clamp_byte(255 * (0.7 * light + 0.3 * noise(2).at(u, v)));
    p[2] = clamp_byte(255 * (0.8 * light + 0.2 * noise(3).at(u, v)));
    p[3] = 255;
}

void white_noise(int x, int y, int, std::uint8_t* p) {
    std::uint32_t h =
        static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h = (h ^ (h >> 13)) * 1274126177u;
    p[0] = static_cast<std::uint8_t>(h);
    p[1] = static_cast<std::uint8_t>(h >> 8);
    p[2] = static_cast<std::uint8_t>(h >> 16);
    p[3] = 255;
}

// Overlapping flat rectangles and discs on a gradient: sharp edges between unrelated colours.
struct shape {
    int cx, cy, r;
    std::uint32_t colour;
    bool disc;
};

const std::vector<shape>& shapes(int side) {
    static std::vector<shape> list;
    if (list.empty()) {
        std::mt19937 random(7);
        for (int i = 0; i < 40; ++i) {
            int cx = static_cast<int>(random() % side), cy = static_cast<int>(random() % side);
            int r = 8 + static_cast<int>(random() % (side / 6));
            list.push_back({cx, cy, r, static_cast<std::uint32_t>(random()), i % 2 == 0});
        }
    }
    return list;
}

void edges(int x, int y, int side, std::uint8_t* p) {
    gradient(x, y, side, p);
    for (const shape& s : shapes(side)) {
        bool inside = s.disc ? (x - s.cx) * (x - s.cx) + (y - s.cy) * (y - s.cy) < s.r * s.r
                             : std::abs(x - s.cx) < s.r && std::abs(y - s.cy) < s.r / 2;
        if (inside) {
            p[0] = static_cast<std::uint8_t>(s.colour);
            p[1] = static_cast<std::uint8_t>(s.colour >> 8);
            p[2] = static_cast<std::uint8_t>(s.colour >> 16);
        }
    }
}

// Lines of glyph-like strokes, dark on a light page, with a coloured heading band.
void text(int x, int y, int, std::uint8_t* p) {
    bool heading = y < 40;
    std::uint8_t page[3] = {235, 240, 245};
    std::uint8_t ink[3] = {30, 25, 20};
    if (heading) {
        page[0] = 160, page[1] = 80, page[2] = 40;
        ink[0] = 255, ink[1] = 255, ink[2] = 255;
    }
    int cell_x = x / 7, cell_y = y / 12, gx = x % 7, gy = y % 12;
    std::uint32_t glyph = static_cast<std::uint32_t>(cell_x) * 2654435761u ^
                          static_cast<std::uint32_t>(cell_y) * 40503u;
    glyph ^= glyph >> 15;
    bool blank = (glyph % 7) == 0 || gx == 6 || gy >= 10 || gy < 1;
    bool stroke = !blank && (((glyph >> (gx + 3 * (gy / 3))) & 1) != 0 ||
                             static_cast<std::uint32_t>(gx) == glyph % 5);
    for (int c = 0; c < 3; ++c) {
        p[c] = stroke ? ink[c] : page[c];
    }
    p[3] = 255;
}

void alpha_ramp(int x, int y, int side, std::uint8_t* p) {
    photo(x, y, side, p);
    double u = static_cast<double>(x) / side;
    p[3] = clamp_byte(255 * (u + 0.15 * std::sin(y * 0.05)));
}

// Round sprites with soft rims on a fully transparent background.
void sprite(int x, int y, int side, std::uint8_t* p) {
    edges(x, y, side, p);
    int cell = side / 4;
    double dx = (x % cell) - cell / 2.0, dy = (y % cell) - cell / 2.0;
    double distance = std::sqrt(dx * dx + dy * dy) / (cell * 0.45);
    p[3] = clamp_byte(255 * std::clamp((1.0 - distance) * 6.0, 0.0, 1.0));
}

bench_image make(const char* name, int side, pixel_rule rule) {
    bench_image image{name, side, side, {}, {}};
    image.bgra.resize(static_cast<std::size_t>(side) * side * 4);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            rule(x, y, side, &image.bgra[(static_cast<std::size_t>(y) * side + x) * 4]);
        }
    }
    image.rgba = image.bgra;
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        std::swap(image.rgba[i], image.rgba[i + 2]);
    }
    return image;
}

} // namespace

std::vector<bench_image> make_bench_images(int side) {
    return {make("gradient", side, gradient), make("photo", side, photo),
            make("noise", side, white_noise), make("edges", side, edges),
            make("text", side, text),         make("alpha_ramp", side, alpha_ramp),
            make("sprite", side, sprite)};
}
