// The application object: start-up, the command line, the configuration file, an orderly end.
#pragma once

#include <memory>

#include "parser/vorlex_parser.h"
#include "platform/framework.h"

class viewer_app : public platform::application {
  public:
    viewer_app();
    ~viewer_app() override;

    // Runs the program's whole life; always returns false, so no message loop follows.
    bool init_instance() override;

    // Writes the default configuration to config_path (the defaults reach viewer_settings).
    void write_default_configuration();
    // Fills viewer_settings from the configuration text that `parser` holds.
    void read_configuration();

    std::unique_ptr<vorlex_parser> parser; // lives until the application object goes
    char config_path[260];
    char image_path[260]; // without surrounding quotes

  private:
    bool take_image_path();
    void build_config_path();
    void load_configuration();
    void run_viewer();
};

// Takes the image path out of a command line (the program's quoted path, one blank, the
// argument) into `image_path` (260 characters, zero-filled first), one pair of surrounding quotes
// removed. False, with an empty path, for a command line of more than 519 characters or an
// argument of more than 259: they are refused, never cut, as a cut path could name another file.
bool extract_image_path(const char* command_line, char (&image_path)[260]);

// The usage text shown when the command line names no usable file.
extern const char* const usage_message;
