// Reads the configuration text that a parser holds into viewer_settings.
#pragma once

class vorlex_parser;

// Fills every field of viewer_settings from the parser's text: each key searched from the start
// of the text, its value read, checked and defaulted, every hot key given its code. A value
// longer than its field is treated as missing. Afterwards the parser's cursor is at the start.
void read_configuration(vorlex_parser& parser);

// The settings when there is no configuration text to read at all: every default, every hot key
// with the code of its default name.
void use_default_configuration();
