// Four floats (or four 32-bit masks) at a time: GCC and Clang map these to SSE or NEON.
// Hot loops over a block's four quads carry `#pragma GCC unroll 4`: -O2 keeps them rolled.
#pragma once

#include <cstring>

namespace dds {

using lane4 = float __attribute__((vector_size(16)));
using mask4 = int __attribute__((vector_size(16)));

inline lane4 load4(const float* values) {
    lane4 lanes;
    std::memcpy(&lanes, values, sizeof lanes);
    return lanes;
}

inline lane4 select4(mask4 take_first, lane4 first, lane4 second) {
    return take_first ? first : second;
}

// Written as comparisons so that compilers emit single min and max instructions.
inline lane4 min4(lane4 a, lane4 b) {
    return a < b ? a : b;
}
inline lane4 max4(lane4 a, lane4 b) {
    return a > b ? a : b;
}
inline float sum4(lane4 v) {
    return (v[0] + v[1]) + (v[2] + v[3]);
}
inline float min_of4(lane4 v) {
    float a = v[0] < v[1] ? v[0] : v[1];
    float b = v[2] < v[3] ? v[2] : v[3];
    return a < b ? a : b;
}
inline float max_of4(lane4 v) {
    float a = v[0] > v[1] ? v[0] : v[1];
    float b = v[2] > v[3] ? v[2] : v[3];
    return a > b ? a : b;
}

} // namespace dds
