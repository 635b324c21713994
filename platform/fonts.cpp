// Fonts: fontconfig finds the file for a face name, FreeType renders it at a pixel height.
//
// What is slow is done once and kept: loading fontconfig's configuration, the match for each
// face name, the FreeType face for each file and size, and each character's glyph. A panel then
// costs a few table look-ups per character.
#include "platform/fonts.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace platform {

namespace {

constexpr int default_em = 16;
// Larger heights make no font: a single glyph would need tens of megabytes.
constexpr int max_pixels = 4096;
// Above this em, glyphs are rendered afresh for each character instead of kept.
constexpr int kept_glyph_em = 256;
// Sizes kept open; the text size keys step through sizes one at a time.
constexpr std::size_t kept_sizes = 8;
// Outline glyphs only: an embedded bitmap strike would not match the other sizes.
constexpr FT_Int32 load_flags = FT_LOAD_NO_BITMAP;

struct face_file {
    std::string path;
    int index = 0;
    std::string family;
};

// The em height in pixels, or the cell height (ascent + descent) when `cell` is set.
struct size_request {
    bool cell = false;
    int pixels = 0;
    bool operator==(const size_request&) const = default;
};

std::optional<size_request> requested_size(std::int32_t height) {
    if (height == 0) {
        return size_request{false, default_em};
    }
    std::int64_t pixels = std::llabs(std::int64_t{height});
    if (pixels > max_pixels) {
        return std::nullopt;
    }
    return size_request{height > 0, static_cast<int>(pixels)};
}

int round_26_6(FT_Pos value) {
    return static_cast<int>((value + 32) >> 6);
}

// Owns FreeType's library object; each open face holds it, so it outlives every face.
struct freetype_library {
    FT_Library handle = nullptr;
    freetype_library() {
        if (FT_Init_FreeType(&handle) != 0) {
            handle = nullptr;
        }
    }
    ~freetype_library() {
        if (handle) {
            FT_Done_FreeType(handle);
        }
    }
};

struct kept_glyph {
    bool ready = false;
    char32_t character = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<std::uint8_t> coverage; // rows of `width` bytes
};

} // namespace

class sized_face {
  public:
    sized_face(std::shared_ptr<freetype_library> library, FT_Face face, face_file source,
               size_request size);
    ~sized_face() { FT_Done_Face(face); }
    sized_face(const sized_face&) = delete;
    sized_face& operator=(const sized_face&) = delete;

    bool is(const face_file& file, size_request wanted) const {
        return source.path == file.path && source.index == file.index && size == wanted;
    }
    int advance(char32_t character);
    const kept_glyph& glyph(char32_t character);

    std::shared_ptr<freetype_library> library;
    FT_Face face;
    face_file source;
    size_request size;
    int ascent = 0;
    int descent = 0;

  private:
    void render(kept_glyph& slot, char32_t character);

    std::array<int, 256> advances;
    std::array<kept_glyph, 256> glyphs;
    kept_glyph scratch; // large sizes and characters past Latin-1 render here, one at a time
};

sized_face::sized_face(std::shared_ptr<freetype_library> library, FT_Face face, face_file source,
                       size_request size)
    : library(std::move(library)), face(face), source(std::move(source)), size(size) {
    // FreeType has mostly rounded these outward to whole pixels; what is left rounds here.
    ascent = round_26_6(face->size->metrics.ascender);
    descent = round_26_6(-face->size->metrics.descender);
    advances.fill(-1);
}

// Characters are code points; one without a glyph draws the font's missing-glyph box. Latin-1,
// which panels draw almost only, is kept; the rest is loaded each time.
int sized_face::advance(char32_t character) {
    auto load = [&] {
        return FT_Load_Char(face, character, load_flags) == 0 ? round_26_6(face->glyph->advance.x)
                                                              : 0;
    };
    if (character >= advances.size()) {
        return load();
    }
    int& kept = advances[character];
    if (kept < 0) {
        kept = load();
    }
    return kept;
}

const kept_glyph& sized_face::glyph(char32_t character) {
    const bool keep = face->size->metrics.y_ppem <= kept_glyph_em && character < glyphs.size();
    kept_glyph& slot = keep ? glyphs[character] : scratch;
    if (!slot.ready || slot.character != character) {
        render(slot, character);
    }
    return slot;
}

void sized_face::render(kept_glyph& slot, char32_t character) {
    slot = kept_glyph{};
    slot.ready = true;
    slot.character = character;
    if (FT_Load_Char(face, character, load_flags | FT_LOAD_RENDER) != 0) {
        return; // drawn as nothing
    }
    const FT_GlyphSlot rendered = face->glyph;
    const FT_Bitmap& bitmap = rendered->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.pitch < 0) {
        return;
    }
    slot.left = rendered->bitmap_left;
    slot.top = rendered->bitmap_top;
    slot.width = static_cast<int>(bitmap.width);
    slot.rows = static_cast<int>(bitmap.rows);
    slot.coverage.resize(static_cast<std::size_t>(slot.width) * slot.rows);
    for (int row = 0; row < slot.rows; ++row) {
        std::memcpy(&slot.coverage[static_cast<std::size_t>(row) * slot.width],
                    bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch, slot.width);
    }
}

namespace {

// fontconfig's configuration, the match per face name and the faces recently opened.
class font_library {
  public:
    static font_library& get() {
        static font_library library;
        return library;
    }
    std::shared_ptr<sized_face> open(const log_font& description);

  private:
    font_library() : freetype(std::make_shared<freetype_library>()) {
        config = FcInitLoadConfigAndFonts();
    }
    ~font_library() {
        recent.clear();
        if (config) {
            FcConfigDestroy(config);
        }
    }

    const std::optional<face_file>& match(const std::string& name, int weight);
    std::optional<face_file> first_outline(const std::string& name, int weight);
    std::optional<face_file> usable_outline(FcPattern* candidate);
    std::shared_ptr<sized_face> sized(const face_file& file, size_request size);
    FT_Face open_face(const face_file& file);

    std::shared_ptr<freetype_library> freetype;
    FcConfig* config = nullptr;
    std::map<std::string, std::optional<face_file>> matches;
    std::vector<std::shared_ptr<sized_face>> recent; // most recently used last
};

std::shared_ptr<sized_face> font_library::open(const log_font& description) {
    std::optional<size_request> size = requested_size(description.height);
    if (!size || !config || !freetype->handle) {
        return nullptr;
    }
    std::string name(description.face_name,
                     strnlen(description.face_name, sizeof description.face_name));
    const std::optional<face_file>& file = match(name, description.weight);
    return file ? sized(*file, *size) : nullptr;
}

const std::optional<face_file>& font_library::match(const std::string& name, int weight) {
    std::string key = name + '\0' + std::to_string(weight);
    auto kept = matches.find(key);
    if (kept == matches.end()) {
        kept = matches.emplace(key, first_outline(name, weight)).first;
    }
    return kept->second;
}

// fontconfig's best substitutes for the name, best first; the first outline font FreeType can
// scale wins. Bitmap fonts come in only at their own sizes, so they are passed over.
std::optional<face_file> font_library::first_outline(const std::string& name, int weight) {
    FcPattern* pattern = FcPatternCreate();
    if (!name.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    }
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    if (weight > 0) {
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    }
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* sorted = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    std::optional<face_file> found;
    for (int i = 0; sorted && i < sorted->nfont && !found; ++i) {
        found = usable_outline(sorted->fonts[i]);
    }
    if (sorted) {
        FcFontSetDestroy(sorted);
    }
    return found;
}

std::optional<face_file> font_library::usable_outline(FcPattern* candidate) {
    FcBool outline = FcFalse;
    FcChar8* path = nullptr;
    int index = 0;
    FcChar8* family = nullptr;
    if (FcPatternGetBool(candidate, FC_OUTLINE, 0, &outline) != FcResultMatch || !outline ||
        FcPatternGetString(candidate, FC_FILE, 0, &path) != FcResultMatch) {
        return std::nullopt;
    }
    FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
    FcPatternGetString(candidate, FC_FAMILY, 0, &family);
    face_file file{reinterpret_cast<const char*>(path), index,
                   family ? reinterpret_cast<const char*>(family) : ""};
    FT_Face face = open_face(file);
    if (!face) {
        return std::nullopt;
    }
    FT_Done_Face(face);
    return file;
}

// Null unless FreeType opens the file as a scalable face.
FT_Face font_library::open_face(const face_file& file) {
    FT_Face face = nullptr;
    if (FT_New_Face(freetype->handle, file.path.c_str(), file.index, &face) != 0) {
        return nullptr;
    }
    if (!FT_IS_SCALABLE(face)) {
        FT_Done_Face(face);
        return nullptr;
    }
    return face;
}

// Sets the pixel size: an em height directly, a cell height through ascender - descender.
bool set_size(FT_Face face, size_request size) {
    if (!size.cell) {
        return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size.pixels)) == 0;
    }
    FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, size.pixels * 64, 0, 0};
    return FT_Request_Size(face, &request) == 0;
}

std::shared_ptr<sized_face> font_library::sized(const face_file& file, size_request size) {
    for (auto kept = recent.begin(); kept != recent.end(); ++kept) {
        if ((*kept)->is(file, size)) {
            std::shared_ptr<sized_face> found = *kept;
            recent.erase(kept);
            recent.push_back(found);
            return found;
        }
    }
    FT_Face face = open_face(file);
    if (!face || !set_size(face, size)) {
        if (face) {
            FT_Done_Face(face);
        }
        return nullptr;
    }
    recent.push_back(std::make_shared<sized_face>(freetype, face, file, size));
    if (recent.size() > kept_sizes) {
        recent.erase(recent.begin());
    }
    return recent.back();
}

} // namespace

std::unique_ptr<font_face> font_face::open(const log_font& description) {
    std::shared_ptr<sized_face> face = font_library::get().open(description);
    return face ? std::make_unique<font_face>(std::move(face)) : nullptr;
}

font_face::font_face(std::shared_ptr<sized_face> face) : sized(std::move(face)) {}
font_face::~font_face() = default;

int font_face::ascent() const {
    return sized->ascent;
}
int font_face::descent() const {
    return sized->descent;
}
int font_face::advance(char32_t character) {
    return sized->advance(character);
}

glyph_image font_face::glyph(char32_t character) {
    const kept_glyph& kept = sized->glyph(character);
    return {kept.left, kept.top, kept.width, kept.rows, kept.width, kept.coverage.data()};
}

const std::string& font_face::file() const {
    return sized->source.path;
}
const std::string& font_face::family() const {
    return sized->source.family;
}
int font_face::em_pixels() const {
    return sized->face->size->metrics.y_ppem;
}

std::unique_ptr<font> font::create(const log_font& description) {
    std::unique_ptr<font_face> face = font_face::open(description);
    return face ? std::unique_ptr<font>(new font(std::move(face))) : nullptr;
}

font::font(std::unique_ptr<font_face> face) : rendered(std::move(face)) {}
font::~font() = default;

int font::ascent() const {
    return rendered->ascent();
}
int font::descent() const {
    return rendered->descent();
}
int font::cell_height() const {
    return ascent() + descent();
}
int font::advance(char32_t character) const {
    return rendered->advance(character);
}

} // namespace platform
