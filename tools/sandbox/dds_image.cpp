#include "tools/sandbox/dds_image.h"

#include <IL/il.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "dds/dds_reader.h"

namespace dds_image {

namespace {

ILenum library_format(dds::channel_set channels) {
    switch (channels) {
    case dds::channel_set::luminance:
        return IL_LUMINANCE;
    case dds::channel_set::luminance_alpha:
        return IL_LUMINANCE_ALPHA;
    case dds::channel_set::alpha:
        return IL_ALPHA;
    case dds::channel_set::rgb:
        return IL_RGB;
    case dds::channel_set::rgba:
        return IL_RGBA;
    }
    return IL_RGBA;
}

ILenum library_type(dds::channel_type type) {
    switch (type) {
    case dds::channel_type::u8:
        return IL_UNSIGNED_BYTE;
    case dds::channel_type::u16:
        return IL_UNSIGNED_SHORT;
    case dds::channel_type::f32:
        return IL_FLOAT;
    }
    return IL_UNSIGNED_BYTE;
}

// Fills the current (sub-)image with one surface, upper-left origin as the library's loader.
bool fill(const dds::texture& texture, const dds::surface& surface) {
    auto channels = static_cast<ILubyte>(dds::channel_count(texture.channels));
    if (surface.pixels.size() > INT32_MAX ||
        !ilTexImage(surface.width, surface.height, surface.depth, channels,
                    library_format(texture.channels), library_type(texture.type),
                    const_cast<std::uint8_t*>(surface.pixels.data()))) {
        return false;
    }
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
    return true;
}

bool select(ILuint name, std::uint32_t face, std::uint32_t level) {
    ilBindImage(name);
    return ilActiveFace(face) && ilActiveMipmap(level);
}

// The levels below the base, hung from it as mipmaps.
bool bind_levels(ILuint name, const dds::texture& texture) {
    for (std::uint32_t level = 1; level < texture.levels; ++level) {
        if (!select(name, 0, level - 1) || ilCreateSubImage(IL_SUB_MIPMAP, 1) != 1 ||
            !select(name, 0, level) || !fill(texture, texture.at(0, level))) {
            return false;
        }
    }
    return true;
}

// Cube maps as the library's loader makes them: every face, every level, each with its flag.
// The library's loader cannot read a cube with faces left out, so neither is one bound here.
bool bind_cube(ILuint name, const dds::texture& texture) {
    const dds::surface& base = texture.at(0, 0);
    ILenum format = library_format(texture.channels), type = library_type(texture.type);
    if (texture.faces != 6 ||
        !make_cube_map(base.width, base.height, texture.levels, format, type)) {
        return false;
    }
    for (std::uint32_t face = 0; face < texture.faces; ++face) {
        for (std::uint32_t level = 0; level < texture.levels; ++level) {
            const dds::surface& surface = texture.at(face, level);
            if (!select(name, face, level) ||
                !fill_current(surface.pixels.data(), surface.pixels.size(), format, type)) {
                return false;
            }
            ilSetInteger(IL_IMAGE_CUBEFLAGS, static_cast<ILint>(texture.face_flags[face]));
        }
    }
    return true;
}

bool bind(const dds::texture& texture) {
    auto name = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    bool bound = texture.faces > 1 ? bind_cube(name, texture)
                                   : select(name, 0, 0) && fill(texture, texture.at(0, 0)) &&
                                         bind_levels(name, texture);
    ilBindImage(name);
    return bound;
}

// A legacy pixel format that the library's DDS loader reads as `format` and `type`.
struct skeleton_format {
    ILenum format, type;
    std::uint32_t flags, fourcc, bits, masks[4], pixel_bytes;
};

constexpr std::uint32_t pf_alpha_pixels = 0x1, pf_fourcc = 0x4, pf_rgb = 0x40,
                        pf_luminance = 0x20000;

constexpr skeleton_format skeleton_formats[] = {
    {IL_RGBA,
     IL_UNSIGNED_BYTE,
     pf_rgb | pf_alpha_pixels,
     0,
     32,
     {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
     4},
    {IL_RGB, IL_UNSIGNED_BYTE, pf_rgb, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 3},
    {IL_LUMINANCE, IL_UNSIGNED_BYTE, pf_luminance, 0, 8, {0xFF, 0, 0, 0}, 1},
    {IL_LUMINANCE_ALPHA,
     IL_UNSIGNED_BYTE,
     pf_luminance | pf_alpha_pixels,
     0,
     16,
     {0xFF, 0, 0, 0xFF00},
     2},
    {IL_LUMINANCE, IL_UNSIGNED_SHORT, pf_luminance, 0, 16, {0xFFFF, 0, 0, 0}, 2},
    {IL_RGBA, IL_UNSIGNED_SHORT, pf_fourcc, 36, 0, {}, 8}, // A16B16G16R16
    {IL_RGBA, IL_FLOAT, pf_fourcc, 116, 0, {}, 16},        // A32B32G32R32F
    {IL_RGB, IL_FLOAT, pf_fourcc, 114, 0, {}, 4},          // R32F, shown as RGB
};

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    std::memcpy(out.data() + at, &value, sizeof value);
}

} // namespace

bool make_cube_map(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                   std::uint32_t format, std::uint32_t type) {
    const skeleton_format* layout = nullptr;
    for (const skeleton_format& entry : skeleton_formats) {
        layout = entry.format == format && entry.type == type ? &entry : layout;
    }
    std::uint64_t face_bytes = 0;
    for (std::uint32_t level = 0; level < levels; ++level) {
        face_bytes += std::uint64_t{std::max(1u, width >> level)} * std::max(1u, height >> level) *
                      (layout ? layout->pixel_bytes : 0);
    }
    if (layout == nullptr || levels == 0 || 128 + 6 * face_bytes > INT32_MAX) {
        return false;
    }
    std::vector<std::uint8_t> file(128 + 6 * face_bytes, 0);
    std::memcpy(file.data(), "DDS ", 4);
    put32(file, 4, 124);
    put32(file, 8, 0x1007 | 0x20000); // caps, sizes, pixel format, mipmap count
    put32(file, 12, height);
    put32(file, 16, width);
    put32(file, 28, levels);
    put32(file, 76, 32);
    put32(file, 80, layout->flags);
    put32(file, 84, layout->fourcc);
    put32(file, 88, layout->bits);
    for (int c = 0; c < 4; ++c) {
        put32(file, 92 + 4 * c, layout->masks[c]);
    }
    put32(file, 108, 0x1000 | 0x8 | (levels > 1 ? 0x400000 : 0)); // texture, complex, mipmap
    put32(file, 112, 0x200 | 0xFC00);                             // every face of a cube
    auto name = static_cast<ILuint>(ilGetInteger(IL_CUR_IMAGE));
    bool made = ilLoadL(IL_DDS, file.data(), static_cast<ILuint>(file.size())) == IL_TRUE &&
                ilGetInteger(IL_NUM_FACES) == 5 &&
                ilGetInteger(IL_NUM_MIPMAPS) + 1 == static_cast<ILint>(levels);
    ilBindImage(name);
    return made;
}

bool fill_current(const void* pixels, std::uint64_t size, std::uint32_t format,
                  std::uint32_t type) {
    if (ilGetInteger(IL_IMAGE_FORMAT) != static_cast<ILint>(format) ||
        ilGetInteger(IL_IMAGE_TYPE) != static_cast<ILint>(type) ||
        static_cast<std::uint64_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) != size ||
        ilGetData() == nullptr) {
        return false;
    }
    std::memcpy(ilGetData(), pixels, size);
    ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
    return true;
}

bool is_dds(const void* data, std::uint32_t size) {
    return dds::starts_as_dds(data, size);
}

outcome load(const void* data, std::uint32_t size) {
    dds::texture texture;
    switch (dds::read_texture(static_cast<const std::uint8_t*>(data), size, texture)) {
    case dds::read_result::decoded:
        return bind(texture) ? outcome::loaded : outcome::refused;
    case dds::read_result::not_handled:
        return outcome::for_library;
    case dds::read_result::refused:
        break;
    }
    return outcome::refused;
}

} // namespace dds_image
