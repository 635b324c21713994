// The line through a block's colours and the endpoints that fit a given index choice best.
#pragma once

#include <cstdint>

#include "dds/packing.h"

namespace dds {

// The colours of one block that take part in the fit (one-bit alpha leaves transparent ones out).
struct colour_points {
    // Left unset on purpose: every block fills what it uses, and this is made once per block.
    int count;
    std::uint8_t pixel[16]; // which of the block's 16 pixels each point came from
    // Whole numbers 0 to 255, held as floats for the arithmetic that follows. All 16 slots
    // hold a colour; the ones past `count` repeat the first point and weigh nothing.
    float red[16];
    float green[16];
    float blue[16];
    float weight[16];
    float length;     // the sum of the points' squared lengths, weighted
    int spread;       // largest difference between two points in one channel
    colour565 low;    // the bounding box's lowest corner
    colour565 high;   // and its highest
    bool two_colours; // exactly two different colours, `first` and `second`
    colour565 first;
    colour565 second;
};

struct colour_line {
    float first[3];  // red, green, blue
    float second[3]; // red, green, blue
};

// The summed squared distance of the points from their mean: no single colour does better.
float scatter_about_mean(const colour_points& points);

// The points' mean, and the ends of their spread along the principal axis of their covariance.
// Returns the points' scatter about their mean, as scatter_about_mean does.
float fit_principal_line(const colour_points& points, colour_line& line);

// The endpoints that minimise the squared error when point i shows share[i] of the first end
// and the rest of the second (four-colour entries: 1, 0, 2/3, 1/3; three-colour: 1, 0, 1/2).
// Returns false when every point has the same share, which leaves the endpoints undetermined.
bool fit_least_squares(const colour_points& points, const float share[16], colour_line& line);

} // namespace dds
