// Application and dialog base classes: the start-up hook, the modal run of a dialog with its
// message pre-translation, default handling and message table, and the paint context.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/dialogs.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/window.h"

namespace platform {

class application {
  public:
    application();
    virtual ~application();
    application(const application&) = delete;
    application& operator=(const application&) = delete;

    // The per-instance start-up hook. Its result tells the framework whether to run a message
    // loop of its own after it; the base version only reports success.
    virtual bool init_instance();

    // The window the application counts as its main one, or null; not owned.
    class dialog* main_window = nullptr;

    // The process's exit status once the start-up hook has returned: 0 after a normal end.
    int exit_status = 0;
};

// The application object most recently constructed and still alive, or null.
application* current_application();

// Entry from main: records the command line, calls the start-up hook, ends. Returns the exit code.
int run_application(int argc, const char* const* argv);

// Connects to the display in the background while start-up goes on (reading the settings,
// say); the first window waits for the connection. Best called after the start-up's forks: a
// process forked meanwhile must not touch the connection, which it could find half made.
void prepare_display();

constexpr int id_cancel = 2;

class dialog;

// One row of a dialog's message table: a message and the handler that takes it.
struct message_entry {
    std::uint32_t id;
    std::intptr_t (*handler)(dialog& self, const message& m);
};

// Adapts a member function of a dialog class to a message table row's handler.
template <class derived, void (derived::*method)(const message&)>
std::intptr_t handle(dialog& self, const message& m) {
    (static_cast<derived&>(self).*method)(m);
    return 0;
}
template <class derived, std::intptr_t (derived::*method)(const message&)>
std::intptr_t answer(dialog& self, const message& m) {
    return (static_cast<derived&>(self).*method)(m);
}

class dialog {
  public:
    explicit dialog(const window_description& description);
    virtual ~dialog();
    dialog(const dialog&) = delete;
    dialog& operator=(const dialog&) = delete;

    // Makes the window, calls on_init_dialog, shows the window unless the dialog has already
    // ended, then delivers messages until end_dialog. The window is gone when it returns the
    // dialog's result; -1 when no window could be made.
    int do_modal();
    void end_dialog(int result);
    bool ended() const { return has_ended; }

    // The dialog's window during the modal run, else null.
    window* get_window() const { return shown.get(); }

    // Runs one message as the modal loop does: pre-translation first; what that leaves goes to
    // the message table, and a close ends the dialog as cancel. Returns the handler's result.
    std::intptr_t deliver(const message& m);

  protected:
    // Called once the window exists, before it is shown. The base returns true.
    virtual bool on_init_dialog();
    // True when the message was consumed. The base does a dialog's default handling: Enter
    // ends the dialog with id_ok, Escape with id_cancel.
    virtual bool pre_translate_message(const message& m);
    // The rows that take messages; the base table is empty.
    virtual std::span<const message_entry> message_table() const;

  private:
    window_description description;
    std::unique_ptr<window> shown;
    bool has_ended = false;
    int result = 0;
};

// The device context of one paint: opened on a window's frame, it marks the window painted;
// closing it shows what was drawn.
class paint_context {
  public:
    explicit paint_context(window& target);
    ~paint_context();
    paint_context(const paint_context&) = delete;
    paint_context& operator=(const paint_context&) = delete;

    device_context& dc() { return context; }

  private:
    window& painted;
    device_context context;
};

} // namespace platform
