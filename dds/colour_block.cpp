#include "dds/colour_block.h"

#include <bit>
#include <climits>
#include <cstring>

#include "dds/colour_fit.h"
#include "dds/lanes.h"
#include "dds/packing.h"
#include "dds/single_colour.h"

namespace dds {

namespace {

constexpr int refinement_rounds = 4;
// Below this spread the single colour nearest the mean can beat a fitted line.
constexpr int near_flat_spread = 24;
// Above this summed squared error a block is scattered enough to be worth a second start.
constexpr int scattered_error = 16 * 3 * 12 * 12;

// Each entry as twice its channels and its squared length: the nearest entry to x is the one
// with the least |p|^2 - 2 x.p, as |x|^2 is the same for all four.
struct palette {
    float red2[4];
    float green2[4];
    float blue2[4];
    float length[4];
};

// The colours a decoder shows per channel; the in-between ones rounded down as most decoders do.
inline void palette_entries(const colour565& first, const colour565& second, bool three_colour,
                            int entries[3][4]) {
    const int a[3] = {first.red(), first.green(), first.blue()};
    const int b[3] = {second.red(), second.green(), second.blue()};
    for (int c = 0; c < 3; ++c) {
        entries[c][0] = a[c];
        entries[c][1] = b[c];
        entries[c][2] = three_colour ? (a[c] + b[c]) / 2 : (2 * a[c] + b[c]) / 3;
        // Three-colour blocks keep index 3 for transparent pixels: put it out of reach.
        entries[c][3] = three_colour ? 1024 : (a[c] + 2 * b[c]) / 3;
    }
}

// The same in lanes, entry e in lane e. With half a level added, a third of a whole number
// lies at least a sixth away from the next one, so float rounding cannot move its floor.
inline palette make_palette(const colour565& first, const colour565& second, bool three_colour) {
    const lane4 third = {1.0f, 1.0f, 1.0f / 3.0f, 1.0f / 3.0f};
    const lane4 half = {1.0f, 1.0f, 0.5f, 1.0f};
    const int a[3] = {first.red(), first.green(), first.blue()};
    const int b[3] = {second.red(), second.green(), second.blue()};
    lane4 entries[3];
    for (int c = 0; c < 3; ++c) {
        float fa = static_cast<float>(a[c]), fb = static_cast<float>(b[c]);
        lane4 sum = three_colour ? lane4{fa, fb, fa + fb + 0.5f, 1024.0f}
                                 : lane4{fa, fb, 2 * fa + fb + 0.5f, fa + 2 * fb + 0.5f};
        sum *= three_colour ? half : third;
        entries[c] = __builtin_convertvector(__builtin_convertvector(sum, mask4), lane4);
    }
    palette p;
    const lane4 red2 = entries[0] + entries[0], green2 = entries[1] + entries[1],
                blue2 = entries[2] + entries[2];
    const lane4 length =
        entries[0] * entries[0] + entries[1] * entries[1] + entries[2] * entries[2];
    std::memcpy(p.red2, &red2, sizeof red2);
    std::memcpy(p.green2, &green2, sizeof green2);
    std::memcpy(p.blue2, &blue2, sizeof blue2);
    std::memcpy(p.length, &length, sizeof length);
    return p;
}

// Share of the first end in each palette entry, as fit_least_squares takes it.
constexpr float four_colour_share[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
constexpr float three_colour_share[4] = {1.0f, 0.0f, 0.5f, 0.0f};

struct candidate {
    colour565 first;
    colour565 second;
    float share[16]; // the first end's share in each point's entry, set by every evaluation
    int error = INT_MAX;
};

// Nearest palette entry for every point; returns the summed squared error. All 16 slots are
// visited (unused ones weigh nothing), four at a time. Every value and partial sum is a whole
// number below 2^24 in size, so the float arithmetic is exact and ties go to the lowest entry.
int choose_indices(const colour_points& points, const palette& p, bool three_colour, candidate& c) {
    const float* shares = three_colour ? three_colour_share : four_colour_share;
    lane4 total = {0, 0, 0, 0};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 red = load4(points.red + quad);
        lane4 green = load4(points.green + quad);
        lane4 blue = load4(points.blue + quad);
        lane4 best = p.length[0] - (red * p.red2[0] + green * p.green2[0] + blue * p.blue2[0]);
        lane4 share = {shares[0], shares[0], shares[0], shares[0]};
#pragma GCC unroll 4
        for (int e = 1; e < 4; ++e) {
            lane4 distance =
                p.length[e] - (red * p.red2[e] + green * p.green2[e] + blue * p.blue2[e]);
            mask4 better = distance < best;
            best = min4(distance, best);
            lane4 entry_share = {shares[e], shares[e], shares[e], shares[e]};
            share = select4(better, entry_share, share);
        }
        total += best * load4(points.weight + quad);
        std::memcpy(c.share + quad, &share, sizeof share);
    }
    return static_cast<int>(total[0] + total[1] + total[2] + total[3] + points.length);
}

void evaluate(const colour_points& points, const colour565& first, const colour565& second,
              bool three_colour, candidate& c) {
    c.first = first;
    c.second = second;
    c.error = choose_indices(points, make_palette(first, second, three_colour), three_colour, c);
}

inline int to_byte(float value) {
    int rounded = static_cast<int>(value + 0.5f);
    return rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded);
}

void fit_mean_colour(const colour_points& points, bool three_colour, candidate& c) {
    int sum[3] = {};
    for (int i = 0; i < points.count; ++i) {
        sum[0] += static_cast<int>(points.red[i]);
        sum[1] += static_cast<int>(points.green[i]);
        sum[2] += static_cast<int>(points.blue[i]);
    }
    int half = points.count / 2;
    endpoint_pair pair =
        fit_single_colour((sum[0] + half) / points.count, (sum[1] + half) / points.count,
                          (sum[2] + half) / points.count, three_colour);
    evaluate(points, pair.first, pair.second, three_colour, c);
}

inline void quantize_line(const colour_line& line, colour565& first, colour565& second) {
    first = quantize565(to_byte(line.first[0]), to_byte(line.first[1]), to_byte(line.first[2]));
    second = quantize565(to_byte(line.second[0]), to_byte(line.second[1]), to_byte(line.second[2]));
}

// Least-squares rounds from `best` while each still lowers the error. A block already within
// about one level per channel has nothing worth a round left to gain. `spare` is scratch.
void refine(const colour_points& points, bool three_colour, candidate& best, candidate& spare) {
    colour_line line;
    colour565 first;
    colour565 second;
    candidate* current = &best;
    candidate* next = &spare;
    for (int round = 0; round < refinement_rounds && current->error > points.count * 3; ++round) {
        if (!fit_least_squares(points, current->share, line)) {
            break;
        }
        quantize_line(line, first, second);
        if (first == current->first && second == current->second) {
            break; // settled: the same ends would choose the same indices again
        }
        evaluate(points, first, second, three_colour, *next);
        if (next->error >= current->error) {
            break;
        }
        candidate* kept = current;
        current = next;
        next = kept;
    }
    if (current != &best) {
        best = *current;
    }
}

// The principal line's ends, refined by least squares. Blocks whose colours scatter with no
// clear axis (noise) also try the bounding box's diagonal; nearly flat blocks also try the
// single colour nearest their mean.
void fit_colours(const colour_points& points, bool three_colour, candidate& best) {
    int spread = points.spread;
    if (spread == 0) {
        fit_mean_colour(points, three_colour, best); // the table's pair is the best there is
        return;
    }
    candidate other;
    float scatter = 0;
    if (points.two_colours) {
        // The principal line would end at the two colours themselves.
        evaluate(points, points.first, points.second, three_colour, best);
        refine(points, three_colour, best, other);
        scatter = spread <= near_flat_spread ? scatter_about_mean(points) : 0;
    } else {
        colour_line line;
        colour565 first;
        colour565 second;
        scatter = fit_principal_line(points, line);
        quantize_line(line, first, second);
        evaluate(points, first, second, three_colour, best);
        refine(points, three_colour, best, other);
    }
    if (best.error > scattered_error) {
        // The corners of the bounding box, lowest and highest in every channel.
        evaluate(points, points.high, points.low, three_colour, other);
        if (other.error < best.error) {
            best = other;
        }
    }
    // The mean's pair spans one quantisation step, so it seldom gets much below the points'
    // scatter about their mean: tried only when the fit left more error than that.
    if (spread <= near_flat_spread && scatter < static_cast<float>(best.error)) {
        fit_mean_colour(points, three_colour, other);
        if (other.error < best.error) {
            best = other;
        }
    }
}

// The entry behind each share, from its sixths (1, 2/3, 1/2, 1/3, 0 are 6, 4, 3, 2, 0), two
// bits each: indices are made only for the chosen candidate, not at every evaluation.
constexpr std::uint32_t entry_of_sixths = 1 | 1 << 2 | 3 << 4 | 2 << 6 | 2 << 8;

std::uint32_t entry_of(float share) {
    return entry_of_sixths >> (2 * static_cast<int>(share * 6.0f + 0.5f)) & 3;
}

// The same for all 16 points of a four-colour block, four at a time.
std::uint32_t four_colour_bits(const float share[16]) {
    std::uint32_t bits = 0;
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        mask4 sixths = __builtin_convertvector(load4(share + quad) * 6.0f + 0.5f, mask4);
        mask4 entry = ((sixths == 0) & 1) | ((sixths == 4) & 2) | ((sixths == 2) & 3);
        entry *= mask4{1, 4, 16, 64};
        bits |= static_cast<std::uint32_t>(entry[0] | entry[1] | entry[2] | entry[3]) << (2 * quad);
    }
    return bits;
}

// Four-colour mode needs first > second as 16-bit words, three-colour mode first <= second;
// swapping the ends swaps indices 0 and 1 (and 2 and 3 with four colours). `bits` holds the
// 16 two-bit indices, pixel 0 lowest.
void write_block(colour565 first, colour565 second, std::uint32_t bits, bool three_colour,
                 std::uint8_t out[8]) {
    std::uint16_t a = first.packed();
    std::uint16_t b = second.packed();
    if (!three_colour && a == b) {
        bits = 0; // equal ends would read as three-colour, where 3 is black
    } else if (three_colour ? a > b : a < b) {
        std::uint16_t kept = a;
        a = b;
        b = kept;
        // Four colours flip every low bit; three flip it only where the high bit is clear.
        bits ^= three_colour ? ~bits >> 1 & 0x55555555u : 0x55555555u;
    }
    store_le16(out, a);
    store_le16(out + 2, b);
    store_le32(out + 4, bits);
}

// One channel of four BGRA pixels read as words, as floats; the shift follows the byte order.
template <int Channel> lane4 channel_of(mask4 quad) {
    constexpr int shift =
        std::endian::native == std::endian::little ? 8 * Channel : 24 - 8 * Channel;
    return __builtin_convertvector((quad >> shift) & 255, lane4);
}

// Every slot gets a colour: unused ones repeat the first point with no weight, so all loops
// over the points can run the full 16 without a test.
void gather_points(const std::uint8_t bgra[64], bool one_bit_alpha, colour_points& points) {
    int count = 16; // `pixel` is read only when some pixels are left out
    if (one_bit_alpha) {
        count = 0;
        for (int pixel = 0; pixel < 16; ++pixel) {
            points.pixel[count] = static_cast<std::uint8_t>(pixel);
            count += bgra[4 * pixel + 3] < 128 ? 0 : 1;
        }
    }
    points.count = count;
    if (count == 0) {
        return;
    }
    std::uint8_t kept[64];
    const std::uint8_t* source = bgra;
    if (count < 16) {
        for (int i = 0; i < 16; ++i) {
            std::memcpy(kept + 4 * i, bgra + 4 * points.pixel[i < count ? i : 0], 4);
        }
        source = kept;
    }
    lane4 low[3], high[3];
    lane4 length = {0, 0, 0, 0};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        mask4 pixels;
        std::memcpy(&pixels, source + 4 * quad, sizeof pixels);
        const lane4 channel[3] = {channel_of<2>(pixels), channel_of<1>(pixels),
                                  channel_of<0>(pixels)};
        std::memcpy(points.red + quad, &channel[0], sizeof channel[0]);
        std::memcpy(points.green + quad, &channel[1], sizeof channel[1]);
        std::memcpy(points.blue + quad, &channel[2], sizeof channel[2]);
        lane4 weight = {1.0f, 1.0f, 1.0f, 1.0f};
        for (int k = 0; k < 4; ++k) {
            weight[k] = quad + k < count ? 1.0f : 0.0f;
        }
        std::memcpy(points.weight + quad, &weight, sizeof weight);
        length +=
            (channel[0] * channel[0] + channel[1] * channel[1] + channel[2] * channel[2]) * weight;
        for (int c = 0; c < 3; ++c) {
            low[c] = quad == 0 ? channel[c] : min4(low[c], channel[c]);
            high[c] = quad == 0 ? channel[c] : max4(high[c], channel[c]);
        }
    }
    points.length = sum4(length);
    int low_red = static_cast<int>(min_of4(low[0])), high_red = static_cast<int>(max_of4(high[0]));
    int low_green = static_cast<int>(min_of4(low[1]));
    int high_green = static_cast<int>(max_of4(high[1]));
    int low_blue = static_cast<int>(min_of4(low[2]));
    int high_blue = static_cast<int>(max_of4(high[2]));
    // Colours compared as words with the alpha byte masked off (a mask built from bytes).
    static constexpr std::uint8_t colour_bytes[4] = {255, 255, 255, 0};
    std::uint32_t colour_mask;
    std::memcpy(&colour_mask, colour_bytes, sizeof colour_mask);
    std::uint32_t packed[16];
    std::memcpy(packed, source, sizeof packed);
    std::uint32_t first_colour = packed[0] & colour_mask;
    int second = 1;
    while (second < 16 && (packed[second] & colour_mask) == first_colour) {
        ++second;
    }
    second = second < 16 ? second : 0; // none differs
    std::uint32_t second_colour = packed[second] & colour_mask;
    mask4 more = {0, 0, 0, 0};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        mask4 colour;
        std::memcpy(&colour, packed + quad, sizeof colour);
        colour &= static_cast<int>(colour_mask);
        more |= (colour != static_cast<int>(first_colour)) &
                (colour != static_cast<int>(second_colour));
    }
    points.two_colours = second != 0 && (more[0] | more[1] | more[2] | more[3]) == 0;
    if (points.two_colours) {
        points.first = quantize565(source[2], source[1], source[0]);
        points.second =
            quantize565(source[4 * second + 2], source[4 * second + 1], source[4 * second]);
    }
    int spread = high_red - low_red;
    spread = high_green - low_green > spread ? high_green - low_green : spread;
    points.spread = high_blue - low_blue > spread ? high_blue - low_blue : spread;
    points.low = colour565{quantize5(low_red), quantize6(low_green), quantize5(low_blue)};
    points.high = colour565{quantize5(high_red), quantize6(high_green), quantize5(high_blue)};
}

// A block of one colour, every pixel counting: the table's pair and the nearest entry for all,
// as the general fit would choose them, without gathering the points.
bool encode_flat_block(const std::uint8_t bgra[64], bool one_bit_alpha, std::uint8_t out[8]) {
    // Masks built from bytes, so they pick the same bytes on any byte order.
    static constexpr std::uint8_t colour_bytes[4] = {255, 255, 255, 0};
    static constexpr std::uint8_t alpha_bytes[4] = {0, 0, 0, 128};
    std::uint32_t colour_mask;
    std::uint32_t alpha_mask;
    std::memcpy(&colour_mask, colour_bytes, sizeof colour_mask);
    std::memcpy(&alpha_mask, alpha_bytes, sizeof alpha_mask);
    std::uint32_t pixels[16];
    std::memcpy(pixels, bgra, sizeof pixels);
    mask4 differ = {0, 0, 0, 0};
    mask4 opaque = {-1, -1, -1, -1};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        mask4 four;
        std::memcpy(&four, pixels + quad, sizeof four);
        differ |= four ^ static_cast<int>(pixels[0]);
        opaque &= four;
    }
    differ &= static_cast<int>(colour_mask);
    opaque &= static_cast<int>(alpha_mask);
    bool same = (differ[0] | differ[1] | differ[2] | differ[3]) == 0;
    bool all_opaque = (opaque[0] & opaque[1] & opaque[2] & opaque[3]) != 0;
    if (!same || (one_bit_alpha && !all_opaque)) {
        return false;
    }
    const int colour[3] = {bgra[2], bgra[1], bgra[0]};
    endpoint_pair pair = fit_single_colour(colour[0], colour[1], colour[2], false);
    int entries[3][4];
    palette_entries(pair.first, pair.second, false, entries);
    int best_error = INT_MAX;
    std::uint32_t best_entry = 0;
    for (int e = 0; e < 4; ++e) {
        int error = 0;
        for (int c = 0; c < 3; ++c) {
            error += (entries[c][e] - colour[c]) * (entries[c][e] - colour[c]);
        }
        if (error < best_error) {
            best_error = error;
            best_entry = static_cast<std::uint32_t>(e);
        }
    }
    write_block(pair.first, pair.second, best_entry * 0x55555555u, false, out);
    return true;
}

} // namespace

void encode_colour_block(const std::uint8_t bgra[64], bool one_bit_alpha, std::uint8_t out[8]) {
    if (encode_flat_block(bgra, one_bit_alpha, out)) {
        return;
    }
    colour_points points;
    gather_points(bgra, one_bit_alpha, points);
    if (points.count == 0) {
        write_block({}, {}, 0xffffffffu, true, out); // every pixel on the transparent index
        return;
    }
    bool three_colour = points.count < 16;
    candidate best;
    fit_colours(points, three_colour, best);
    std::uint32_t bits = 0;
    if (three_colour) {
        bits = 0xffffffffu; // pixels left out stay transparent
        for (int i = 0; i < points.count; ++i) {
            int shift = 2 * points.pixel[i];
            bits = (bits & ~(3u << shift)) | entry_of(best.share[i]) << shift;
        }
    } else {
        bits = four_colour_bits(best.share);
    }
    write_block(best.first, best.second, bits, three_colour, out);
}

} // namespace dds
