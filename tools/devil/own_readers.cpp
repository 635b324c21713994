#include "tools/devil/own_readers.h"

#include "tools/devil/png_reader.h"
#include "tools/devil/pnm_wide.h"
#include "tools/devil/tga_reader.h"
#include "tools/sandbox/dds_image.h"

namespace own_readers {

outcome decode(const void* data, std::uint32_t size, ILenum& type) {
    if (dds_image::is_dds(data, size)) {
        switch (dds_image::load(data, size)) {
        case dds_image::outcome::loaded:
            return outcome::loaded;
        case dds_image::outcome::refused:
            return outcome::refused;
        case dds_image::outcome::for_library:
            type = IL_DDS;
            return outcome::not_ours;
        }
    }
    if (pnm_wide::is_wide(data, size)) {
        return pnm_wide::load(data, size) ? outcome::loaded : outcome::refused;
    }
    // A PNG file named as another type goes to that type's reader, as the library would have it.
    if ((type == IL_PNG || type == IL_TYPE_UNKNOWN) &&
        png_reader::load(data, size) == png_reader::outcome::loaded) {
        return outcome::loaded;
    }
    // TGA files carry no signature: only those named so are read here, as the library does.
    if (type == IL_TGA && tga_reader::load(data, size) == tga_reader::outcome::loaded) {
        return outcome::loaded;
    }
    return outcome::not_ours;
}

} // namespace own_readers
