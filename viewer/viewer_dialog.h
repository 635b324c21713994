// The program's only window: a dialog without controls, always on top, exactly as large as the
// image it shows, in a corner of the screen. Zoom, placement, painting, panels and commands.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "platform/file_watch.h"
#include "platform/framework.h"
#include "platform/gdi.h"
#include "platform/system.h"
#include "viewer/displayed_image.h"

// The window's description: popup with caption, system menu and minimise box, always on top,
// captioned "Glintview"; its size is replaced by the image's.
extern const platform::window_description viewer_template;

class viewer_dialog : public platform::dialog {
  public:
    // `image_path` is the application's path of the image, read for the whole run.
    explicit viewer_dialog(const char* image_path);
    ~viewer_dialog() override;

    // Sizes the window to width x height (the caption's height added while it is shown) and
    // either moves it to the corner that default_layout names or, without `to_corner`, keeps it
    // where it stands and sets its title. Repaints.
    void place_window(int width, int height, bool to_corner);
    // One step of resize_threshold pixels in or out, from the file as loaded; refused below
    // 64 pixels or beyond what a bitmap can hold.
    void zoom_step(bool zoom_in);
    // Back to the size as loaded; with `only_if_zoomed`, nothing happens at that width.
    void reset_zoom(bool only_if_zoomed);
    // An image larger than the screen less the corner margins is zoomed out, with the
    // configured filter, to the largest size that fits. False when it already fits.
    bool fit_to_screen();
    // Shows the next channel view and repaints.
    void cycle_channel_view();
    // Shows the next smaller (or larger) mipmap level at its own size, the window following as
    // for a zoom. Nothing happens past the last level or for an image without mipmaps.
    void step_mip_level(bool smaller);
    // Decodes the file anew and shows it, keeping the zoom width, the corner, the panel and the
    // views. False, with the image shown left as it is, when the file cannot be decoded.
    bool reload_image();
    // The part of the image on the screen, the window's top-left corner staying where it is.
    resample::area part_on_screen();
    // Builds the snapshot's path beside the image and writes it. False when nothing was written.
    bool take_snapshot_command();

    // Invalidates the whole window without erasing and paints it now.
    void repaint();

    displayed_image* get_image() const { return image.get(); }
    const platform::icon& get_icon() const { return icon; }
    // True when the image could not be loaded and the error box ended the window.
    bool ended_by_load_error() const { return load_failed; }
    bool help_shown() const { return show_help; }
    bool info_shown() const { return show_info; }
    bool version_shown() const { return show_version; }
    const char* get_snapshot_name() const { return snapshot_name; }

    // The path a snapshot of `image_path` of type `type` gets: the image's name with the type
    // as extension, or "name (snapshot).type" when that would be the image's own name or
    // format or the image has no extension. False, with an empty name, when the path would not
    // fit a path buffer. A type with anything but letters and digits is refused too.
    // With `snapshot_form`, always the "(snapshot)" form.
    static bool make_snapshot_name(const char* image_path, const char* type,
                                   char (&name)[platform::max_path], bool snapshot_form = false);
    // A snapshot type is letters and digits; any other text is an unknown type and becomes
    // "bmp", as the library's save makes of every type it does not know.
    static void keep_snapshot_type_plain(char (&type)[8]);
    // True when `name` is the image: the image's own entry or its file (device and inode), or
    // when that cannot be told. A link at `name` to the image is not the image: a snapshot
    // replaces the link and never follows it.
    static bool is_the_image(const char* name, const char* image_path);

    // The help panel's two columns, the information panel and the version panel.
    // One text of a panel, at x and y percent of the window's size.
    struct panel_column {
        const char* text;
        std::int32_t x_percent;
        std::int32_t y_percent;
    };
    bool columns_fit(platform::device_context& dc, const platform::rect& outer,
                     std::span<const panel_column> columns, int height);
    int fitting_text_height(platform::device_context& dc, const platform::rect& outer,
                            std::span<const panel_column> columns);
    void draw_panel(platform::device_context& dc, const platform::rect& outer,
                    std::span<const panel_column> columns);
    void draw_help_panel(platform::device_context& dc, const platform::rect& outer);
    void draw_info_panel(platform::device_context& dc, const platform::rect& outer);
    void draw_version_panel(platform::device_context& dc, const platform::rect& outer);

    // Panel toggles: the panel flips, and when it comes on the other two go off.
    void toggle_help();
    void toggle_info();
    void toggle_version();

  protected:
    bool on_init_dialog() override;
    bool pre_translate_message(const platform::message& m) override;
    std::span<const platform::message_entry> message_table() const override;

  private:
    void on_paint(const platform::message& m);
    std::intptr_t on_query_drag_icon(const platform::message& m);
    void on_rbutton_down(const platform::message& m);
    std::intptr_t on_mouse_wheel(const platform::message& m);
    void on_lbutton_down(const platform::message& m);
    void on_mbutton_down(const platform::message& m);
    void on_mouse_move(const platform::message& m);
    void on_descriptor_ready(const platform::message& m);
    void on_timer(const platform::message& m);
    void start_watching();
    void on_mouse_leave(const platform::message& m);
    // The readout line of the pixel under the pointer into `line`; false with the pointer away.
    bool pointer_readout(char* line, std::size_t size);
    void paint_minimized(platform::device_context& dc);
    void take_over_settings();
    void set_title();

    friend struct hot_key_row;
    const char* image_path;
    platform::icon icon;
    std::unique_ptr<displayed_image> image;
    // The image a reload replaced, freed on the next turn of the loop: the new one shows first.
    std::unique_ptr<displayed_image> replaced;
    bool reload_due = false;
    // The colour count starts on the first turn of the loop, once the first frame is up: as a
    // thread beside the start it would take a processor from the first frame.
    bool count_due = false;
    std::uint8_t show_help = 0;
    std::uint8_t show_info = 0;
    std::uint8_t show_version = 0;
    char snapshot_name[platform::max_path] = {};
    bool load_failed = false;
    // The files this run wrote as snapshots (device and inode): the only ones a snapshot under
    // the image's name with another extension may replace.
    std::vector<std::pair<dev_t, ino_t>> written_snapshots;

    bool pick_snapshot_name();
    void remember_snapshot_written();
    platform::file_watch watch;
    bool pointer_inside = false;
    int pointer_x = 0;
    int pointer_y = 0;
};
