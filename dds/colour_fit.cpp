#include "dds/colour_fit.h"

#include <cmath>

#include "dds/lanes.h"

namespace dds {

namespace {

// Both sums run over all 16 slots with their weights, four at a time.
inline void mean_of(const colour_points& points, float mean[3]) {
    lane4 red = {0, 0, 0, 0}, green = red, blue = red;
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 weight = load4(points.weight + quad);
        red += load4(points.red + quad) * weight;
        green += load4(points.green + quad) * weight;
        blue += load4(points.blue + quad) * weight;
    }
    float count = static_cast<float>(points.count);
    mean[0] = sum4(red) / count;
    mean[1] = sum4(green) / count;
    mean[2] = sum4(blue) / count;
}

// Upper triangle of the covariance: rr, rg, rb, gg, gb, bb.
inline void covariance_of(const colour_points& points, const float mean[3], float cov[6]) {
    lane4 sums[6] = {};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 weight = load4(points.weight + quad);
        lane4 r = (load4(points.red + quad) - mean[0]) * weight;
        lane4 g = (load4(points.green + quad) - mean[1]) * weight;
        lane4 b = (load4(points.blue + quad) - mean[2]) * weight;
        sums[0] += r * r;
        sums[1] += r * g;
        sums[2] += r * b;
        sums[3] += g * g;
        sums[4] += g * b;
        sums[5] += b * b;
    }
    for (int k = 0; k < 6; ++k) {
        cov[k] = sum4(sums[k]);
    }
}

// The product of a symmetric 3 x 3 matrix (upper triangle rr, rg, rb, gg, gb, bb) with itself.
inline void square(float m[6]) {
    float a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5];
    m[0] = a * a + b * b + c * c;
    m[1] = a * b + b * d + c * e;
    m[2] = a * c + b * e + c * f;
    m[3] = b * b + d * d + e * e;
    m[4] = b * c + d * e + e * f;
    m[5] = c * c + e * e + f * f;
}

// The covariance scaled to unit trace and raised to the 8th power by squaring three times is
// close to (its largest eigenvalue)^8 times the outer product of the principal axis with itself,
// so its strongest column points along that axis: eight power steps without a division each.
void principal_axis(const float cov[6], float axis[3]) {
    float trace = cov[0] + cov[3] + cov[5];
    float length = 0;
    float v[3] = {0, 0, 0};
    if (trace > 0) {
        float m[6];
        for (int k = 0; k < 6; ++k) {
            m[k] = cov[k] / trace;
        }
        square(m);
        square(m);
        square(m);
        const float columns[3][3] = {{m[0], m[1], m[2]}, {m[1], m[3], m[4]}, {m[2], m[4], m[5]}};
        int strongest = m[0] >= m[3] ? (m[0] >= m[5] ? 0 : 2) : (m[3] >= m[5] ? 1 : 2);
        for (int r = 0; r < 3; ++r) {
            v[r] = columns[strongest][r];
        }
        length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    if (length <= 0) {
        axis[0] = axis[1] = axis[2] = 0.57735f; // no spread: any direction serves
        return;
    }
    for (int r = 0; r < 3; ++r) {
        axis[r] = v[r] / length;
    }
}

} // namespace

float fit_principal_line(const colour_points& points, colour_line& line) {
    float mean[3];
    float cov[6];
    float axis[3];
    mean_of(points, mean);
    covariance_of(points, mean, cov);
    principal_axis(cov, axis);
    // Unused slots repeat a real point, so they cannot widen the range.
    lane4 low = {0, 0, 0, 0};
    lane4 high = low;
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 t = (load4(points.red + quad) - mean[0]) * axis[0] +
                  (load4(points.green + quad) - mean[1]) * axis[1] +
                  (load4(points.blue + quad) - mean[2]) * axis[2];
        low = min4(low, t);
        high = max4(high, t);
    }
    float lowest = min_of4(low);
    float highest = max_of4(high);
    for (int c = 0; c < 3; ++c) {
        line.first[c] = mean[c] + highest * axis[c];
        line.second[c] = mean[c] + lowest * axis[c];
    }
    return cov[0] + cov[3] + cov[5];
}

float scatter_about_mean(const colour_points& points) {
    float mean[3];
    float cov[6];
    mean_of(points, mean);
    covariance_of(points, mean, cov);
    return cov[0] + cov[3] + cov[5];
}

bool fit_least_squares(const colour_points& points, const float share[16], colour_line& line) {
    // Four points at a time; unused slots weigh nothing.
    lane4 aa = {0, 0, 0, 0}, ab = aa, bb = aa;
    lane4 ax[3] = {aa, aa, aa};
    lane4 bx[3] = {aa, aa, aa};
#pragma GCC unroll 4
    for (int quad = 0; quad < 16; quad += 4) {
        lane4 weight = load4(points.weight + quad);
        lane4 a = load4(share + quad) * weight;
        lane4 b = weight - a;
        aa += a * a;
        ab += a * b;
        bb += b * b;
        const lane4 x[3] = {load4(points.red + quad), load4(points.green + quad),
                            load4(points.blue + quad)};
        for (int c = 0; c < 3; ++c) {
            ax[c] += a * x[c];
            bx[c] += b * x[c];
        }
    }
    float saa = sum4(aa), sab = sum4(ab), sbb = sum4(bb);
    float det = saa * sbb - sab * sab;
    if (std::fabs(det) < 1e-4f) {
        return false;
    }
    float inverse = 1.0f / det;
    for (int c = 0; c < 3; ++c) {
        float sax = sum4(ax[c]), sbx = sum4(bx[c]);
        line.first[c] = (sbb * sax - sab * sbx) * inverse;
        line.second[c] = (saa * sbx - sab * sax) * inverse;
    }
    return true;
}

} // namespace dds
