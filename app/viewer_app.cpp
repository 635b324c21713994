#include "app/viewer_app.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "config/configuration_file.h"
#include "config/configuration_reader.h"
#include "config/settings.h"
#include "platform/system.h"
#include "tools/devil/devil.h"
#include "tools/tools.h"
#include "viewer/viewer_dialog.h"

const char* const usage_message =
    "No file to process!\n\nUsage: \"Glintview\" <image_file>\n\nNB: this tool is best used when "
    "associated to an image file format; this way,\nWindows can automatically start it as you "
    "click on an image file of that format";

const char* const help_text =
    "Usage: glintview [--] IMAGE_FILE\n"
    "       glintview --help | --version\n"
    "\n"
    "Shows one image at its pixel size in a small always-on-top window in a screen corner.\n"
    "\n"
    "Keys and buttons (the defaults; Glintview.ini can change the keys):\n"
    "  Up, Down, wheel     zoom in, zoom out\n"
    "  Right, right button back to the size as loaded\n"
    "  A, Z, Q, S          move to the top left, top right, bottom left, bottom right corner\n"
    "  Tab, I, V           show or hide the key help, the image facts, the version\n"
    "  P, O, T             panel text bigger, smaller, with or without its background\n"
    "  F11                 write a snapshot of what is shown beside the image\n"
    "  M                   minimise\n"
    "  left button         drag the window\n"
    "  Left, Escape, middle button  close\n"
    "\n"
    "Configuration: Glintview.ini beside the executable when that folder is writable, else\n"
    "$XDG_CONFIG_HOME/glintview/Glintview.ini (by default ~/.config/glintview/Glintview.ini).\n"
    "\n"
    "See man glintview for every setting.\n";

const char* const version_text = "glintview " GLINTVIEW_VERSION "\n";

namespace {

constexpr std::size_t command_line_size = 2 * platform::max_path;

// Where the argument starts: just past the character after the second double quote (the
// program's own path is quoted), or, with fewer than two quotes, just past the first blank.
// Null when nothing follows.
const char* argument_start(const char* line) {
    const char* first_quote = std::strchr(line, '"');
    const char* second_quote = first_quote != nullptr ? std::strchr(first_quote + 1, '"') : nullptr;
    if (second_quote == nullptr) {
        const char* blank = std::strchr(line, ' ');
        return blank != nullptr ? blank + 1 : nullptr;
    }
    const char* after_program = second_quote + 1;
    if (*after_program == '\0') {
        return nullptr;
    }
    return after_program + 1; // the one blank that separates program and argument
}

// Removes one pair of surrounding double quotes; a lone quote counts as both.
void remove_surrounding_quotes(char* path) {
    std::size_t length = std::strlen(path);
    if (length == 0 || path[0] != '"' || path[length - 1] != '"') {
        return;
    }
    path[length - 1] = '\0';
    std::memmove(path, path + 1, length); // the terminator comes along
}

} // namespace

bool extract_image_path(const char* command_line, char (&image_path)[platform::max_path]) {
    std::memset(image_path, 0, sizeof image_path);
    char line[command_line_size] = {};
    if (command_line == nullptr || std::strlen(command_line) >= sizeof line) {
        return false;
    }
    std::memcpy(line, command_line, std::strlen(command_line));

    const char* argument = argument_start(line);
    if (argument == nullptr) {
        return true; // nothing follows the program's path
    }
    if (std::strlen(argument) >= sizeof image_path) {
        return false;
    }
    std::memcpy(image_path, argument, std::strlen(argument));
    remove_surrounding_quotes(image_path);
    return true;
}

viewer_app::viewer_app() : config_path{}, image_path{} {}

viewer_app::~viewer_app() = default;

bool viewer_app::init_instance() {
    platform::application::init_instance();
    if (answer_option()) {
        return false;
    }
    if (!take_image_path()) {
        error_box("%s", usage_message);
        exit_status = 1;
        return false;
    }
    devil::start_early_decode(image_path); // decodes while the settings and the window come up
    platform::prepare_display();           // after the fork, so as not to delay it
    build_config_path();
    load_configuration();
    run_viewer();
    return false;
}

// The viewer lives in this scope for its modal run; it is gone before start-up returns.
void viewer_app::run_viewer() {
    viewer_dialog viewer(image_path);
    main_window = &viewer;
    const bool no_window = viewer.do_modal() < 0;
    main_window = nullptr;
    if (no_window || viewer.ended_by_load_error()) {
        exit_status = 1;
    }
}

// --help and --version are answered on standard output instead of opening an image.
bool viewer_app::answer_option() {
    switch (platform::requested_option()) {
    case platform::command_option::help:
        std::fputs(help_text, stdout);
        return true;
    case platform::command_option::version:
        std::fputs(version_text, stdout);
        return true;
    case platform::command_option::none:
        break;
    }
    return false;
}

void viewer_app::write_default_configuration() {
    ::write_default_configuration(config_path);
}

void viewer_app::read_configuration() {
    ::read_configuration(*parser);
}

// A missing or empty file is written with the defaults first. One that exists but cannot be
// read stays as it is: the parser then holds no text and every key takes its default. The
// parser keeps its log off. Without memory for it the settings keep their defaults.
void viewer_app::load_configuration() {
    std::string text;
    configuration_file_state state = read_configuration_file(config_path, text);
    if (state == configuration_file_state::missing || state == configuration_file_state::empty) {
        write_default_configuration();
        read_configuration_file(config_path, text);
    }
    parser.reset(new (std::nothrow) vorlex_parser(false, "vorlex.log"));
    if (parser == nullptr) {
        use_default_configuration();
        return;
    }
    parser->open_from_memory(config_path, text.data(), text.size());
    read_configuration();
}

bool viewer_app::take_image_path() {
    return extract_image_path(platform::command_line(), image_path) && image_path[0] != '\0' &&
           file_exists(image_path, nullptr) && file_size(image_path) != 0;
}

namespace {

constexpr const char* config_file_name = "Glintview.ini";

// Writes folder, separator and name into `path`; leaves it empty when they would not fit, as a
// cut path would name another file.
bool join_path(char (&path)[platform::max_path], const char* folder, const char* name) {
    int length = std::snprintf(path, sizeof path, "%s%c%s", folder, platform::path_separator, name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) {
        std::memset(path, 0, sizeof path);
        return false;
    }
    return true;
}

// The executable's folder, without a trailing separator; false when it cannot be told.
bool executable_folder(char (&folder)[platform::max_path]) {
    char executable[platform::max_path] = {};
    if (!platform::module_path(executable, sizeof executable)) {
        return false;
    }
    const char* found = directory_part(executable, false, platform::path_separator == '/');
    return found != nullptr && std::snprintf(folder, sizeof folder, "%s", found) > 0;
}

// True for the folder the program is installed into, also when a packager stages the install
// below another root (DESTDIR): such a copy keeps no configuration beside itself, even for root.
bool install_folder(const char* folder) {
    const char* installed = GLINTVIEW_INSTALL_BINDIR;
    std::size_t length = std::strlen(folder);
    std::size_t tail = std::strlen(installed);
    // The install folder is absolute, so a match of its whole text ends on a folder boundary.
    return length >= tail && std::strcmp(folder + length - tail, installed) == 0;
}

// Makes every missing folder along the absolute `path`; true when the whole path is a folder
// this process can write into.
bool make_folders(const char* path) {
    char partial[platform::max_path] = {};
    std::size_t length = std::strlen(path);
    if (length >= sizeof partial) {
        return false;
    }
    for (std::size_t i = 1; i <= length; ++i) {
        if (path[i] == platform::path_separator || path[i] == '\0') {
            std::memcpy(partial, path, i);
            platform::make_directory(partial);
        }
    }
    return platform::folder_writable(path);
}

// The user's own configuration folder, $XDG_CONFIG_HOME/glintview (by default
// ~/.config/glintview), made when missing; false when it cannot be told or made.
bool user_config_folder(char (&folder)[platform::max_path]) {
    char home[platform::max_path] = {};
    return platform::user_config_home(home, sizeof home) && join_path(folder, home, "glintview") &&
           make_folders(folder);
}

} // namespace

// Beside the executable when its folder can be written and is not the install folder (a build
// folder, a portable copy); else in the user's configuration folder (an installed program). When
// neither serves, the path stays empty: nothing is written and the defaults apply.
void viewer_app::build_config_path() {
    std::memset(config_path, 0, sizeof config_path);
    char folder[platform::max_path] = {};
    if (executable_folder(folder) && !install_folder(folder) && platform::folder_writable(folder) &&
        join_path(config_path, folder, config_file_name)) {
        return;
    }
    std::memset(folder, 0, sizeof folder);
    if (user_config_folder(folder)) {
        join_path(config_path, folder, config_file_name);
    }
}
