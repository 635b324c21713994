#include "app/viewer_app.h"

// The single application object; the framework calls its start-up hook from main.
viewer_app the_viewer_app;

int main(int argc, char** argv) {
    return platform::run_application(argc, argv);
}
