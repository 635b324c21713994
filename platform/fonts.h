// The face behind a font: a fontconfig match opened with FreeType at one pixel height, and its
// glyphs as grey-scale coverage. Private to the layer: gdi.cpp draws with it, nothing above
// platform/ includes it.
//
// Matches, opened faces and rendered glyphs are kept for the life of the process, because a
// panel makes its font afresh and draws its text one character at a time. User-interface thread
// only: FreeType's library object is not shared across threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi.h"

namespace platform {

// A character's coverage, one byte per pixel (0 none, 255 full), placed relative to the pen:
// `left` pixels right of it and `top` pixels above the baseline.
struct glyph_image {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    int pitch = 0;
    const std::uint8_t* coverage = nullptr;
};

class sized_face; // one FreeType face at one size, shared through the cache

class font_face {
  public:
    // Null when fontconfig has no outline font for the description or its height is unusable.
    static std::unique_ptr<font_face> open(const log_font& description);
    explicit font_face(std::shared_ptr<sized_face> face);
    ~font_face();

    int ascent() const;
    int descent() const;
    int advance(char32_t character);
    // Valid until the next call of glyph().
    glyph_image glyph(char32_t character);

    // What was opened: the font file, its family and FreeType's em height in pixels.
    const std::string& file() const;
    const std::string& family() const;
    int em_pixels() const;

  private:
    std::shared_ptr<sized_face> sized;
};

} // namespace platform
