// The DDS snapshot's surface formats and the options it hands to the surface compressor; the
// writer itself is devil::write_dds_snapshot.
#pragma once

#include <cstdint>

#include "dds/dds.h"

// The options handed to the surface compressor by the last DDS snapshot (zero before the first).
extern dds_options_record dds_options;

// 10 to 19 for "dxt1", "dxt1a", "dxt3", "dxt5", "4444", "1555", "565", "8888", "888", "555";
// 0 for any other text. The text is lower-cased in place first.
std::uint16_t surface_format_code(char* text);

// True for 1 and every other value with a single bit set; false for 0.
bool is_power_of_two(std::uint32_t value);
