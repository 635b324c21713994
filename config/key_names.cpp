#include "config/key_names.h"

#include <cstring>

namespace {

struct key_name_entry {
    const char* name;
    std::int32_t code;
};

// In the order of testing. Letters carry their upper-case ASCII codes, as the platform's
// virtual keys do.
constexpr key_name_entry key_names[] = {
    {"a", 65},        {"b", 66},          {"c", 67},         {"d", 68},        {"e", 69},
    {"f", 70},        {"g", 71},          {"h", 72},         {"i", 73},        {"j", 74},
    {"k", 75},        {"l", 76},          {"m", 77},         {"n", 78},        {"o", 79},
    {"p", 80},        {"q", 81},          {"r", 82},         {"s", 83},        {"t", 84},
    {"u", 85},        {"v", 86},          {"w", 87},         {"x", 88},        {"y", 89},
    {"z", 90},        {"f1", 112},        {"f2", 113},       {"f3", 114},      {"f4", 115},
    {"f5", 116},      {"f6", 117},        {"f7", 118},       {"f8", 119},      {"f9", 120},
    {"f10", 121},     {"f11", 122},       {"f12", 123},      {"f13", 124},     {"f14", 125},
    {"f15", 126},     {"f16", 127},       {"f17", 128},      {"f18", 129},     {"f19", 130},
    {"f20", 131},     {"f21", 132},       {"f22", 133},      {"f23", 134},     {"f24", 135},
    {"numpad0", 96},  {"numpad1", 97},    {"numpad2", 98},   {"numpad3", 99},  {"numpad4", 100},
    {"numpad5", 101}, {"numpad6", 102},   {"numpad7", 103},  {"numpad8", 104}, {"numpad9", 105},
    {"mutiply", 106}, // the configuration files spell it so
    {"add", 107},     {"separator", 108}, {"subtract", 109}, {"decimal", 110}, {"divide", 111},
    {"tab", 9},       {"escape", 27},     {"space", 32},     {"end", 35},      {"home", 36},
    {"left", 37},     {"up", 38},         {"right", 39},     {"down", 40},     {"insert", 45},
    {"delete", 46},
};
static_assert(sizeof key_names / sizeof key_names[0] == 77);

} // namespace

void lower_case_in_place(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') {
            *c = static_cast<char>(*c - 'A' + 'a');
        }
    }
}

void key_code_from_name(char* name, std::int32_t* code, std::int32_t fallback) {
    if (code == nullptr) {
        return;
    }
    *code = fallback;
    if (name == nullptr) {
        return;
    }
    lower_case_in_place(name);
    for (const key_name_entry& entry : key_names) {
        if (std::strcmp(name, entry.name) == 0) {
            *code = entry.code;
            return;
        }
    }
}
