#include "platform/framework.h"

#include "platform/system.h"

namespace platform {

namespace {
application* the_application = nullptr;
}

application::application() { the_application = this; }

application::~application() {
    if (the_application == this) {
        the_application = nullptr;
    }
}

bool application::init_instance() { return true; }

application* current_application() { return the_application; }

int run_application(int argc, const char* const* argv) {
    set_command_line(argc, argv);
    if (the_application == nullptr) {
        return 1;
    }
    // The program runs its whole life inside the start-up hook (a modal run); a hook that asks
    // for a message loop of the framework's own gets none, as there is no window left to serve.
    the_application->init_instance();
    return 0;
}

} // namespace platform
