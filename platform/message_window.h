// The message box as the layer draws it on a desktop with no box of its own: a small window
// with the caption as its title, the text in lines and an OK button, in the middle of the
// screen and above other windows. Enter, Escape, space, the button and closing the window all
// answer OK.
#pragma once

namespace platform {

// Runs the box until it is answered; id_ok, also when the program is asked to end meanwhile
// or when no font can be had to draw it (then no window is shown).
int run_message_window(const char* text, const char* caption);

} // namespace platform
