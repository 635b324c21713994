#include "platform/framework.h"

#include "platform/backend.h"
#include "platform/system.h"
#include "platform/termination.h"

namespace platform {

namespace {
application* the_application = nullptr;
}

application::application() {
    the_application = this;
}

application::~application() {
    if (the_application == this) {
        the_application = nullptr;
    }
}

bool application::init_instance() {
    return true;
}

application* current_application() {
    return the_application;
}

int run_application(int argc, const char* const* argv) {
    set_command_line(argc, argv);
    if (the_application == nullptr) {
        return 1;
    }
    // From here SIGINT and SIGTERM end the modal runs in order instead of the process at once.
    watch_termination_signals();
    // The program runs its whole life inside the start-up hook (a modal run); a hook that asks
    // for a message loop of the framework's own gets none, as there is no window left to serve.
    the_application->init_instance();
    // Ended in order by a signal: report it as a shell reports a process the signal ended.
    if (const int signal_number = termination_signal(); signal_number != 0)
        return 128 + signal_number;
    if (backend::display_unavailable())
        return 1;
    return the_application->exit_status;
}

void prepare_display() {
    backend::prepare_display();
}

dialog::dialog(const window_description& description) : description(description) {}

dialog::~dialog() = default;

int dialog::do_modal() {
    has_ended = false;
    result = 0;
    shown = std::make_unique<window>(description, this);
    if (shown->native() == nullptr) {
        shown.reset();
        return -1;
    }
    on_init_dialog();
    if (!has_ended) {
        shown->show();
    }
    message next{};
    while (!has_ended) {
        if (!backend::wait_message(shown->native(), next)) {
            if (termination_signal() != 0) {
                end_dialog(id_cancel); // asked to end: as if the window were closed
            }
            break;
        }
        deliver(next);
        backend::message_done(shown->native());
    }
    shown.reset();
    return result;
}

void dialog::end_dialog(int dialog_result) {
    result = dialog_result;
    has_ended = true;
}

std::intptr_t dialog::deliver(const message& m) {
    if (pre_translate_message(m)) {
        return 0;
    }
    for (const message_entry& row : message_table()) {
        if (row.id == m.id) {
            return row.handler(*this, m);
        }
    }
    if (m.id == wm_close) {
        end_dialog(id_cancel);
    } else if (m.id == wm_paint && shown != nullptr) {
        shown->validate(); // nothing to draw: the frame stays as it is
    }
    return 0;
}

bool dialog::on_init_dialog() {
    return true;
}

bool dialog::pre_translate_message(const message& m) {
    if (m.id != wm_keydown) {
        return false;
    }
    if (m.wparam == vk_return) {
        end_dialog(id_ok);
        return true;
    }
    if (m.wparam == vk_escape) {
        end_dialog(id_cancel);
        return true;
    }
    return false;
}

std::span<const message_entry> dialog::message_table() const {
    return {};
}

paint_context::paint_context(window& target) : painted(target), context(target.frame()) {
    painted.validate();
}

paint_context::~paint_context() {
    painted.present();
}

} // namespace platform
