// Draws Glintview's icon, a framed landscape with a glint on its glass, from one description in
// unit coordinates, and writes it at every size the program and the desktop need:
//   icon_130.cpp              the window icon, 32 x 32, blue-green-red bytes compiled in
//   icons/glintview-N.png     the desktop icons (hicolor theme), N = 32, 48, 64, 128, 256
// Usage: icon_generator OUTPUT_FOLDER (the committed copies live in resources/).
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct colour {
    double r, g, b;
};

constexpr colour rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

colour mix(colour a, colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The frame's bands, in 32nds of the side so that they fall on whole pixels of icon 130.
constexpr double outline = 1.0 / 32;
constexpr double frame = 3.0 / 32;
constexpr double mat = 4.0 / 32;

bool outside(double x, double y, double inset) {
    return x < inset || y < inset || x > 1 - inset || y > 1 - inset;
}

// The four-pointed glint: concave arms (a star of four cusps) and a faint halo.
double glint_strength(double x, double y) {
    constexpr double cx = 0.69, cy = 0.33, arm = 0.2;
    double dx = std::fabs(x - cx) / arm, dy = std::fabs(y - cy) / arm;
    if (std::sqrt(dx) + std::sqrt(dy) <= 1.0) {
        return 1.0;
    }
    double reach = (dx + dy) / 0.75; // the short diagonal rays taper to a point
    double diagonal = reach < 1 && std::fabs(dx - dy) < 0.12 * (1 - reach) ? 0.85 : 0.0;
    double halo = 0.55 * std::exp(-(dx * dx + dy * dy) * 9.0);
    return std::max(diagonal, halo);
}

// The picture behind the glass: a sky, a sun, a far mountain and a near hill.
colour landscape(double x, double y) {
    double t = (y - mat) / (1 - 2 * mat);
    colour c = mix(rgb(24, 58, 120), rgb(132, 190, 236), t);
    if (std::hypot(x - 0.31, y - 0.42) < 0.085) {
        c = rgb(255, 206, 84);
    }
    if (y > 0.52 + 1.05 * std::fabs(x - 0.40)) {
        c = rgb(58, 112, 104);
    }
    if (y > 0.70 + 0.9 * (x - 0.78) * (x - 0.78)) {
        c = rgb(52, 150, 84);
    }
    return c;
}

// The colour at a point of the unit square, y pointing down.
colour icon_at(double x, double y) {
    if (outside(x, y, outline)) {
        return rgb(22, 24, 30);
    }
    if (outside(x, y, frame)) {
        return x + y < 1 ? rgb(92, 100, 116) : rgb(58, 63, 74); // lit top-left, shaded bottom-right
    }
    if (outside(x, y, mat)) {
        return rgb(214, 219, 228);
    }
    return mix(landscape(x, y), rgb(255, 255, 255), glint_strength(x, y));
}

// Red, green, blue bytes, rows top first; each pixel averages 8 x 8 samples.
std::vector<std::uint8_t> draw(int size) {
    constexpr int grid = 8;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(size) * size * 3);
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            colour sum{0, 0, 0};
            for (int i = 0; i < grid * grid; ++i) {
                colour c = icon_at((column + (i % grid + 0.5) / grid) / size,
                                   (row + (i / grid + 0.5) / grid) / size);
                sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
            }
            for (double channel : {sum.r, sum.g, sum.b}) {
                pixels.push_back(static_cast<std::uint8_t>(
                    std::lround(std::clamp(channel / (grid * grid), 0.0, 1.0) * 255)));
            }
        }
    }
    return pixels;
}

void put_u32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

void put_chunk(std::string& out, const char* type, const std::string& data) {
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put_u32(out, static_cast<std::uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// An 8-bit RGB PNG, every row unfiltered; empty when compression fails.
std::string png_file(const std::vector<std::uint8_t>& pixels, int size) {
    std::string rows;
    for (int row = 0; row < size; ++row) {
        rows.push_back('\0');
        rows.append(reinterpret_cast<const char*>(pixels.data()) + row * size * 3, size * 3);
    }
    uLongf packed_size = compressBound(rows.size());
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(rows.data()), rows.size(), 9) != Z_OK) {
        return {};
    }
    packed.resize(packed_size);
    std::string header;
    put_u32(header, static_cast<std::uint32_t>(size));
    put_u32(header, static_cast<std::uint32_t>(size));
    header +=
        std::string("\x08\x02\x00\x00\x00", 5); // depth 8, RGB, deflate, no filter, no interlace
    std::string out = "\x89PNG\r\n\x1a\n";
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", "");
    return out;
}

// The 32 x 32 drawing as the C++ source of icon 130, blue, green, red per pixel.
std::string icon_source(const std::vector<std::uint8_t>& pixels, int size) {
    std::string out = "// Icon 130, the window icon. Written by resources/generator/draw_icon.cpp: "
                      "edit that, not this.\n#include \"resources/icon_130.h\"\n\nnamespace "
                      "resources {\n\n// clang-format off\nconst std::uint8_t "
                      "icon_130_bgr[icon_130_size * icon_130_size * 3] = {\n";
    char line[128];
    for (int pixel = 0; pixel < size * size; ++pixel) {
        if (pixel % size == 0) {
            std::snprintf(line, sizeof line, "    // row %d\n", pixel / size);
            out += line;
        }
        const std::uint8_t* p = &pixels[static_cast<std::size_t>(pixel) * 3];
        std::snprintf(line, sizeof line, "%s%3d, %3d, %3d,%s", pixel % 4 == 0 ? "    " : " ", p[2],
                      p[1], p[0], pixel % 4 == 3 ? "\n" : "");
        out += line;
    }
    out += "};\n// clang-format on\n\n} // namespace resources\n";
    return out;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written && !bytes.empty();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon_generator OUTPUT_FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    bool ok = write_file(folder + "/icon_130.cpp", icon_source(draw(32), 32));
    for (int size : {32, 48, 64, 128, 256}) {
        std::string name = folder + "/icons/glintview-" + std::to_string(size) + ".png";
        ok = write_file(name, png_file(draw(size), size)) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "icon_generator: cannot write into %s\n", folder.c_str());
    }
    return ok ? 0 : 1;
}
