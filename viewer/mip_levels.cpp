#include "viewer/mip_levels.h"

#include <cstdint>
#include <vector>

bool make_mip_level_the_image(ILuint name, int level) {
    ilBindImage(name);
    if (level <= 0 || level > ilGetInteger(IL_NUM_MIPMAPS) || !ilActiveMipmap(level)) {
        ilBindImage(name);
        return false;
    }
    const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    const ILint depth = ilGetInteger(IL_IMAGE_DEPTH);
    const ILint bytes = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
    const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    const ILint type = ilGetInteger(IL_IMAGE_TYPE);
    const ILint origin = ilGetInteger(IL_IMAGE_ORIGIN);
    const ILint size = ilGetInteger(IL_IMAGE_SIZE_OF_DATA);
    const ILubyte* data = ilGetData();
    // A level with a palette would need its palette copied too: none of our files has one.
    if (format == IL_COLOUR_INDEX || data == nullptr || size <= 0 || width <= 0 || height <= 0 ||
        depth <= 0 || bytes <= 0 ||
        static_cast<std::int64_t>(width) * height * depth * bytes > size) {
        ilBindImage(name);
        return false;
    }
    // The level's pixels go into the base, which frees the block they lie in.
    std::vector<ILubyte> pixels(data, data + size);
    ilBindImage(name);
    if (!ilTexImage(static_cast<ILuint>(width), static_cast<ILuint>(height),
                    static_cast<ILuint>(depth), static_cast<ILubyte>(bytes),
                    static_cast<ILenum>(format), static_cast<ILenum>(type), pixels.data())) {
        return false;
    }
    ilRegisterOrigin(static_cast<ILenum>(origin));
    return true;
}
