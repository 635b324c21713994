// The desktop backend: SDL2 shows the boxes; the executable's path is the real one.
#include <SDL.h>
#include <cstdio>

#include "platform/dialogs.h"
#include "platform/module_path.h"
#include "platform/system.h"

namespace platform {

bool module_path(char* out, std::size_t size) {
    return real_module_path(out, size);
}

int message_box(const char* text, const char* caption, unsigned style) {
    SDL_MessageBoxButtonData ok{};
    ok.flags = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    ok.buttonid = id_ok;
    ok.text = "OK";

    SDL_MessageBoxData box{};
    box.flags = (style & mb_iconerror) != 0 ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    box.window = nullptr;
    box.title = caption != nullptr ? caption : "";
    box.message = text != nullptr ? text : "";
    box.numbuttons = 1;
    box.buttons = &ok;

    int pressed = id_ok;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        // No display to show it on: the text still reaches the user.
        std::fprintf(stderr, "%s\n%s", box.title, box.message);
        return id_ok;
    }
    return pressed < 0 ? id_ok : pressed;
}

} // namespace platform
