/* The stb_dxt peer, compiled once for the benchmark. */
#define STB_DXT_IMPLEMENTATION
#include <stb_dxt.h>
