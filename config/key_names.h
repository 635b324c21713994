// Hot-key names of the configuration file and their virtual-key codes.
#pragma once

#include <cstdint>

// Lower-cases `name` in place, then stores the code of the first table entry equal to it in
// `code`, or `fallback` when none is (the name keeps its text). A null name takes the fallback.
void key_code_from_name(char* name, std::int32_t* code, std::int32_t fallback);

// ASCII letters to lower case, in place; other bytes unchanged.
void lower_case_in_place(char* text);
