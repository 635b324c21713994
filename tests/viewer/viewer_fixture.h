// Shared by the viewer tests: the default settings, an image file in a scratch folder, and a
// modal run of the viewer on the headless backend with steps in between.
#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <string>

#include "devil/devil_fixture.h"
#include "platform/backends/headless/headless.h"
#include "viewer/viewer_dialog.h"

class ViewerFixture : public ::testing::Test {
  protected:
    ViewerFixture();
    ~ViewerFixture() override;

    // Writes `bytes` as `name` in the scratch folder and makes it the image to show.
    void use_image(const std::string& name, const std::string& bytes);
    // A file of the library's own making: `type` with the test pattern, width x height.
    void use_pattern(const std::string& name, ILenum type, unsigned width, unsigned height);

    // Runs the viewer: `steps` run inside the modal loop, in order, with the dialog at hand
    // (each may queue messages; these are delivered before the next step). Returns the result.
    int run(const std::vector<std::function<void(viewer_dialog&)>>& steps = {});

    // The last frame presented.
    const headless::frame& last_frame() const { return headless::frames().back(); }
    // 0x00RRGGBB of a pattern pixel, as a frame holds it.
    static std::uint32_t pattern_pixel(const bytes& bgra, unsigned width, int x, int y);

    devil library; // keeps the library started while the test makes its files
    test_support::scratch_dir dir;
    std::string image_path;
};
