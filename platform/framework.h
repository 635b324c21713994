// Application base: one object of a derived class; the framework calls its start-up hook once.
#pragma once

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
};

// The application object most recently constructed and still alive, or null.
application* current_application();

// Entry from main: records the command line, calls the start-up hook, ends. Returns the exit code.
int run_application(int argc, const char* const* argv);

} // namespace platform
