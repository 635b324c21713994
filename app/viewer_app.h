// The application object: start-up, the command line, the configuration file, an orderly end.
#pragma once

#include <memory>

#include "parser/vorlex_parser.h"
#include "platform/framework.h"
#include "platform/system.h"

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
    char config_path[platform::max_path];
    char image_path[platform::max_path]; // without surrounding quotes

  private:
    bool answer_option();
    bool take_image_path();
    void build_config_path();
    void load_configuration();
    void run_viewer();
};

// Takes the image path out of a command line (the program's quoted path, one blank, the
// argument) into `image_path` (max_path characters, zero-filled first), one pair of surrounding
// quotes removed. False, with an empty path, for a command line of 2 x max_path characters or
// more, or an argument of max_path or more: they are refused, never cut, as a cut path could name
// another file.
bool extract_image_path(const char* command_line, char (&image_path)[platform::max_path]);

// The usage text shown when the command line names no usable file.
extern const char* const usage_message;
// What --help and --version print.
extern const char* const help_text;
extern const char* const version_text;
