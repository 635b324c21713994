#include "viewer_fixture.h"

#include "config/configuration_reader.h"
#include "config/settings.h"

ViewerFixture::ViewerFixture() {
    headless::reset();
    use_default_configuration();
}

ViewerFixture::~ViewerFixture() {
    headless::reset();
}

void ViewerFixture::use_image(const std::string& name, const std::string& bytes) {
    image_path = dir.file(name);
    ASSERT_TRUE(test_support::write_file(image_path, bytes));
}

void ViewerFixture::use_pattern(const std::string& name, ILenum type, unsigned width,
                                unsigned height) {
    use_image(name, encoded(type, width, height, pattern(width, height, 4)));
}

int ViewerFixture::run(const std::vector<std::function<void(viewer_dialog&)>>& steps) {
    viewer_dialog viewer(image_path.c_str());
    for (const auto& step : steps) {
        headless::queue_call([&viewer, step] { step(viewer); });
    }
    return viewer.do_modal();
}

std::uint32_t ViewerFixture::pattern_pixel(const bytes& bgra, unsigned width, int x, int y) {
    const unsigned char* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}
