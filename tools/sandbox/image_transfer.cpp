#include "tools/sandbox/image_transfer.h"

#include <climits>
#include <cstring>
#include <initializer_list>
#include <sys/mman.h>
#include <vector>

#include "platform/pixel_memory.h"
#include "tools/sandbox/dds_image.h"
#include "tools/sandbox/image_budget.h"

namespace image_transfer {
namespace {

constexpr std::uint64_t message_magic = 0x31474D495647ULL; // "GVIMG1"
// More sub-images than any file the viewer meets; a bound on the parent's work.
constexpr std::uint32_t most_nodes = 4096;
// A cube map has six faces: the image itself and five more.
constexpr std::uint32_t most_extra_faces = 5;
// The library sizes images in 32-bit arithmetic.
constexpr std::uint64_t most_pixel_bytes = INT32_MAX;
constexpr std::uint32_t most_palette_bytes = 256 * 4;

struct message_header {
    std::uint64_t magic;
    std::uint32_t nodes;
    std::uint32_t extra_faces;
};

// Where a sub-image sits: frame, then cube face, then layer, then mipmap level.
struct position {
    std::uint32_t frame, face, layer, mip;
};

struct node_header {
    position at;
    std::uint32_t width, height, depth, channels, format, type, origin;
    std::uint32_t duration, offset_x, offset_y, cube_flags, palette_type, palette_bytes;
    std::uint32_t padding; // bytes between the palette and the pixels
    std::uint64_t pixel_bytes;
};

// The pixels of a lone image start on a page of the message: the parent can then keep them
// where they arrived (platform::adopt_pages) instead of copying them into fresh memory, which
// costs more than the remapping's few system calls from a quarter of a megabyte on.
constexpr std::uint32_t page_bytes = 4096;
constexpr std::uint64_t adopted_from = std::uint64_t{1} << 18;

// A checked node: its header and where its palette and pixels lie in the message.
struct node_view {
    node_header header;
    const unsigned char* palette;
    const unsigned char* pixels;
};

std::uint32_t bytes_per_channel(std::uint32_t type) {
    switch (type) {
    case IL_BYTE:
    case IL_UNSIGNED_BYTE:
        return 1;
    case IL_SHORT:
    case IL_UNSIGNED_SHORT:
    case IL_HALF:
        return 2;
    case IL_INT:
    case IL_UNSIGNED_INT:
    case IL_FLOAT:
        return 4;
    case IL_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

// Bytes per palette entry; 0 for no palette, UINT32_MAX for a type the library does not know.
std::uint32_t palette_entry_bytes(std::uint32_t type) {
    switch (type) {
    case IL_PAL_NONE:
        return 0;
    case IL_PAL_RGB24:
    case IL_PAL_BGR24:
        return 3;
    case IL_PAL_RGB32:
    case IL_PAL_RGBA32:
    case IL_PAL_BGR32:
    case IL_PAL_BGRA32:
        return 4;
    default:
        return UINT32_MAX;
    }
}

// The first image must be one the viewer can show, and every one must convert within the
// library's reach (tools/image_budget.h).
bool within_budget(const node_header& h) {
    bool first = h.at.frame == 0 && h.at.face == 0 && h.at.layer == 0 && h.at.mip == 0;
    return first ? image_budget::displayable(h.width, h.height, h.depth)
                 : image_budget::convertible(h.width, h.height, h.depth);
}

// Makes the sub-image at `at` of image `name` the current one.
bool select(ILuint name, const position& at) {
    ilBindImage(name);
    return ilActiveImage(at.frame) && ilActiveFace(at.face) && ilActiveLayer(at.layer) &&
           ilActiveMipmap(at.mip);
}

// ---- The child's side ----

// Calls `visit` for every sub-image in the order the parent rebuilds them: each one after the
// one it hangs from. Later frames' cube faces are not carried: no loader makes them.
template <typename visitor> bool each_node(ILuint name, visitor&& visit) {
    ilBindImage(name);
    auto frames = static_cast<std::uint32_t>(ilGetInteger(IL_NUM_IMAGES));
    for (std::uint32_t frame = 0; frame <= frames; ++frame) {
        std::uint32_t faces = 0;
        if (frame == 0 && select(name, {0, 0, 0, 0})) {
            faces = static_cast<std::uint32_t>(ilGetInteger(IL_NUM_FACES));
        }
        for (std::uint32_t face = 0; face <= faces; ++face) {
            if (!select(name, {frame, face, 0, 0})) {
                return false;
            }
            auto layers = static_cast<std::uint32_t>(ilGetInteger(IL_NUM_LAYERS));
            for (std::uint32_t layer = 0; layer <= layers; ++layer) {
                if (!select(name, {frame, face, layer, 0})) {
                    return false;
                }
                auto mips = static_cast<std::uint32_t>(ilGetInteger(IL_NUM_MIPMAPS));
                for (std::uint32_t mip = 0; mip <= mips; ++mip) {
                    if (!visit(position{frame, face, layer, mip})) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// The bytes the library holds for these sizes; beyond its 32-bit reach (where its own
// arithmetic would wrap round to a small block) most_pixel_bytes + 1.
std::uint64_t pixel_bytes_of(const node_header& header) {
    std::uint64_t bytes = 1;
    for (std::uint64_t factor :
         {std::uint64_t{header.width}, std::uint64_t{header.height}, std::uint64_t{header.depth},
          std::uint64_t{header.channels}, std::uint64_t{bytes_per_channel(header.type)}}) {
        bytes *= factor;
        if (bytes > most_pixel_bytes) {
            return most_pixel_bytes + 1;
        }
    }
    return bytes;
}

// The current sub-image's header, as the library describes it.
node_header describe_current(const position& at) {
    node_header header{};
    header.at = at;
    header.width = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_WIDTH));
    header.height = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_HEIGHT));
    header.depth = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_DEPTH));
    // The library's "bytes per pixel" counts channel bytes: 6 for 16-bit RGB, 12 for float RGB.
    header.channels = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_CHANNELS));
    header.format = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_FORMAT));
    header.type = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_TYPE));
    header.origin = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_ORIGIN));
    header.duration = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_DURATION));
    header.offset_x = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_OFFX));
    header.offset_y = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_OFFY));
    header.cube_flags = static_cast<std::uint32_t>(ilGetInteger(IL_IMAGE_CUBEFLAGS));
    header.palette_type = static_cast<std::uint32_t>(ilGetInteger(IL_PALETTE_TYPE));
    header.palette_bytes = header.palette_type == IL_PAL_NONE
                               ? 0
                               : static_cast<std::uint32_t>(ilGetInteger(IL_PALETTE_NUM_COLS) *
                                                            ilGetInteger(IL_PALETTE_BPP));
    header.pixel_bytes = pixel_bytes_of(header);
    return header;
}

// Zeros up to the next page of the message when `at` is not on one.
std::uint32_t padding_to_page(std::uint64_t at) {
    return static_cast<std::uint32_t>((page_bytes - at % page_bytes) % page_bytes);
}

bool pack_node(ILuint name, const position& at, bool alone, sandbox::result_writer& out) {
    if (!select(name, at)) {
        return false;
    }
    node_header header = describe_current(at);
    const ILubyte* pixels = ilGetData();
    auto held = static_cast<std::uint64_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA));
    if (pixels == nullptr || header.pixel_bytes == 0 || header.pixel_bytes > held ||
        header.pixel_bytes > most_pixel_bytes || !within_budget(header)) {
        return false;
    }
    const ILubyte* palette = header.palette_bytes > 0 ? ilGetPalette() : nullptr;
    if (header.palette_bytes > 0 && palette == nullptr) {
        return false;
    }
    if (alone && header.pixel_bytes >= adopted_from) {
        header.padding = padding_to_page(out.size() + sizeof header + header.palette_bytes);
    }
    static const unsigned char zeros[page_bytes] = {};
    return out.append(&header, sizeof header) && out.append(palette, header.palette_bytes) &&
           out.append(zeros, header.padding) && out.append(pixels, header.pixel_bytes);
}

// ---- The parent's side ----

// A palette image's indices must all name an entry: the library's conversions look them up
// without a check.
bool indices_in_palette(const node_view& node) {
    const node_header& h = node.header;
    std::uint32_t entries = h.palette_bytes / palette_entry_bytes(h.palette_type);
    for (std::uint64_t i = 0; i < h.pixel_bytes; ++i) {
        if (node.pixels[i] >= entries) {
            return false;
        }
    }
    return true;
}

bool palette_well_formed(const node_header& h) {
    std::uint32_t entry = palette_entry_bytes(h.palette_type);
    if (entry == UINT32_MAX || h.palette_bytes > most_palette_bytes) {
        return false;
    }
    if (entry == 0) {
        return h.palette_bytes == 0 && h.format != IL_COLOUR_INDEX;
    }
    return h.palette_bytes > 0 && h.palette_bytes % entry == 0;
}

bool header_well_formed(const node_header& h) {
    bool sized = h.width > 0 && h.height > 0 && h.depth > 0;
    bool typed = channels_of(h.format) != 0 && channels_of(h.format) == h.channels &&
                 bytes_per_channel(h.type) != 0;
    bool indexed_bytes = h.format != IL_COLOUR_INDEX || h.type == IL_UNSIGNED_BYTE;
    bool origin = h.origin == IL_ORIGIN_LOWER_LEFT || h.origin == IL_ORIGIN_UPPER_LEFT;
    bool placed = h.at.frame < most_nodes && h.at.face <= most_extra_faces &&
                  h.at.layer < most_nodes && h.at.mip < most_nodes;
    return sized && typed && indexed_bytes && origin && placed && palette_well_formed(h) &&
           h.pixel_bytes == pixel_bytes_of(h) && h.pixel_bytes <= most_pixel_bytes &&
           within_budget(h);
}

// The sub-image that `at` hangs from, and how; false for the image itself (nothing to hang
// from) and for positions no loader makes. Faces hang from the first frame only.
bool hangs_from(const position& at, std::uint32_t extra_faces, position& from, ILenum& kind) {
    from = at;
    if (at.mip > 0) {
        --from.mip;
        kind = IL_SUB_MIPMAP;
    } else if (at.layer > 0) {
        --from.layer;
        kind = IL_SUB_LAYER;
    } else if (at.face > 0) {
        from = position{0, 0, 0, 0};
        kind = 0;
        return at.frame == 0 && at.face <= extra_faces;
    } else if (at.frame > 0) {
        --from.frame;
        kind = IL_SUB_NEXT;
    } else {
        return false;
    }
    return true;
}

bool same(const position& a, const position& b) {
    return a.frame == b.frame && a.face == b.face && a.layer == b.layer && a.mip == b.mip;
}

// The first node is the image itself; every later one is new and hangs from an earlier one.
bool order_well_formed(const std::vector<node_view>& nodes, std::uint32_t extra_faces) {
    if (!same(nodes.front().header.at, position{0, 0, 0, 0})) {
        return false;
    }
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const position& at = nodes[i].header.at;
        position from{};
        ILenum kind = 0;
        if (!hangs_from(at, extra_faces, from, kind)) {
            return false;
        }
        bool seen_from = false;
        for (std::size_t j = 0; j < i; ++j) {
            if (same(nodes[j].header.at, at)) {
                return false;
            }
            seen_from = seen_from || same(nodes[j].header.at, from);
        }
        if (!seen_from) {
            return false;
        }
    }
    return true;
}

// Splits the message into checked nodes; false for anything malformed.
bool read_message(const unsigned char* bytes, std::uint64_t size, message_header& header,
                  std::vector<node_view>& nodes) {
    if (bytes == nullptr || size < sizeof header) {
        return false;
    }
    std::memcpy(&header, bytes, sizeof header);
    if (header.magic != message_magic || header.nodes == 0 || header.nodes > most_nodes ||
        header.extra_faces > most_extra_faces) {
        return false;
    }
    std::uint64_t at = sizeof header;
    for (std::uint32_t i = 0; i < header.nodes; ++i) {
        node_view node{};
        if (size - at < sizeof node.header) {
            return false;
        }
        std::memcpy(&node.header, bytes + at, sizeof node.header);
        at += sizeof node.header;
        const node_header& h = node.header;
        if (!header_well_formed(h) || h.padding >= page_bytes ||
            size - at < std::uint64_t{h.palette_bytes} + h.padding + h.pixel_bytes) {
            return false;
        }
        node.palette = bytes + at;
        node.pixels = bytes + at + h.palette_bytes + h.padding;
        at += h.palette_bytes + h.padding + h.pixel_bytes;
        if (h.format == IL_COLOUR_INDEX && !indices_in_palette(node)) {
            return false;
        }
        nodes.push_back(node);
    }
    return at == size && order_well_formed(nodes, header.extra_faces);
}

// Makes the sub-image at `at` exist and selects it. Cube faces are made all at once.
bool make_node(ILuint name, const position& at, std::uint32_t extra_faces, bool& faces_made) {
    position from{};
    ILenum kind = 0;
    if (!hangs_from(at, extra_faces, from, kind)) {
        return select(name, at);
    }
    if (kind == 0) {
        if (!faces_made) {
            ilBindImage(name);
            faces_made = ilRegisterNumFaces(extra_faces) == IL_TRUE;
        }
        return faces_made && select(name, at);
    }
    return select(name, from) && ilCreateSubImage(kind, 1) == 1 && select(name, at);
}

// Asks for huge pages where a large block allows them: copying into fresh memory otherwise
// costs a page fault every 4 KiB, which on some machines takes longer than the copy itself.
void prefer_huge_pages(void* block, std::uint64_t size) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    auto start = reinterpret_cast<std::uintptr_t>(block);
    std::uintptr_t first = (start + huge - 1) & ~(huge - 1);
    std::uintptr_t last = (start + size) & ~(huge - 1);
    if (last > first) {
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

void register_facts(const node_header& h) {
    ilRegisterOrigin(h.origin);
    ilSetDuration(h.duration);
    ilSetInteger(IL_IMAGE_OFFX, static_cast<ILint>(h.offset_x));
    ilSetInteger(IL_IMAGE_OFFY, static_cast<ILint>(h.offset_y));
    ilSetInteger(IL_IMAGE_CUBEFLAGS, static_cast<ILint>(h.cube_flags));
}

// The message's own pages as the image's block, when it may give them up and they lie on pages
// of their own; null otherwise.
void* adopted_pixels(const node_view& node, bool take_pixels) {
    const node_header& h = node.header;
    bool page_aligned = reinterpret_cast<std::uintptr_t>(node.pixels) % page_bytes == 0;
    return take_pixels && h.pixel_bytes >= adopted_from && page_aligned
               ? platform::adopt_pages(node.pixels, h.pixel_bytes)
               : nullptr;
}

// The library makes the block, then the pixels are copied in; or the block it asks for is the
// pixels' own pages, taken from the message.
bool fill_node(const node_view& node, bool take_pixels) {
    const node_header& h = node.header;
    void* adopted = adopted_pixels(node, take_pixels);
    bool made = false;
    if (adopted != nullptr) {
        made = image_from_block(adopted, h.pixel_bytes, h.width, h.height, h.depth,
                                static_cast<ILubyte>(h.channels), h.format, h.type);
    } else {
        made = ilTexImage(h.width, h.height, h.depth, static_cast<ILubyte>(h.channels), h.format,
                          h.type, nullptr) &&
               static_cast<std::uint64_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) == h.pixel_bytes;
        if (made) {
            prefer_huge_pages(ilGetData(), h.pixel_bytes);
            std::memcpy(ilGetData(), node.pixels, h.pixel_bytes);
        }
    }
    if (!made) {
        return false;
    }
    if (h.palette_bytes > 0) {
        ilRegisterPal(const_cast<unsigned char*>(node.palette), h.palette_bytes, h.palette_type);
    }
    register_facts(h);
    return true;
}

// A cube map is made whole, then filled: ilTexImage on a face would drop the faces after it.
bool rebuild_cube(ILuint name, const std::vector<node_view>& nodes) {
    const node_header& first = nodes.front().header;
    std::uint32_t levels = 0;
    for (const node_view& node : nodes) {
        levels += node.header.at.face == 0 ? 1 : 0;
    }
    ilBindImage(name);
    if (nodes.size() != std::size_t{levels} * 6 ||
        !dds_image::make_cube_map(first.width, first.height, levels, first.format, first.type)) {
        return false;
    }
    for (const node_view& node : nodes) {
        const node_header& h = node.header;
        if (h.palette_bytes > 0 || !select(name, h.at) ||
            !dds_image::fill_current(node.pixels, h.pixel_bytes, h.format, h.type)) {
            return false;
        }
        register_facts(h);
    }
    return true;
}

} // namespace

bool pack_image(ILuint name, sandbox::result_writer& out) {
    message_header header{message_magic, 0, 0};
    if (!each_node(name, [&header](const position&) { return ++header.nodes <= most_nodes; })) {
        return false;
    }
    if (select(name, {0, 0, 0, 0})) {
        header.extra_faces = static_cast<std::uint32_t>(ilGetInteger(IL_NUM_FACES));
    }
    const bool alone = header.nodes == 1;
    bool packed = out.append(&header, sizeof header) &&
                  each_node(name, [name, alone, &out](const position& at) {
                      return pack_node(name, at, alone, out);
                  });
    ilBindImage(name);
    return packed;
}

bool image_from_block(void* block, std::uint64_t bytes, ILuint width, ILuint height, ILuint depth,
                      ILubyte channels, ILenum format, ILenum type) {
    platform::offer_block(block, bytes);
    bool made = ilTexImage(width, height, depth, channels, format, type, nullptr) &&
                static_cast<std::uint64_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) == bytes;
    if (platform::withdraw_offer() == nullptr) {
        return made; // the library's block now
    }
    if (made) {
        prefer_huge_pages(ilGetData(), bytes);
        std::memcpy(ilGetData(), block, bytes);
    }
    platform::free_pixels(block);
    return made;
}

bool rebuild_image(ILuint name, const unsigned char* bytes, std::uint64_t size, bool take_pixels) {
    message_header header{};
    std::vector<node_view> nodes;
    if (!read_message(bytes, size, header, nodes)) {
        return false;
    }
    if (header.extra_faces > 0) {
        bool built = rebuild_cube(name, nodes);
        ilBindImage(name);
        return built;
    }
    bool faces_made = false;
    bool built = true;
    for (const node_view& node : nodes) {
        built = make_node(name, node.header.at, header.extra_faces, faces_made) &&
                fill_node(node, take_pixels && nodes.size() == 1);
        if (!built) {
            break;
        }
    }
    ilBindImage(name);
    return built;
}

bool holds_one_plain_image(const unsigned char* bytes, std::uint64_t size) {
    message_header header{};
    node_header h{};
    if (bytes == nullptr || size < sizeof header + sizeof h) {
        return false;
    }
    std::memcpy(&header, bytes, sizeof header);
    std::memcpy(&h, bytes + sizeof header, sizeof h);
    return header.magic == message_magic && header.nodes == 1 && header.extra_faces == 0 &&
           header_well_formed(h) && h.type == IL_UNSIGNED_BYTE && h.depth == 1 &&
           h.palette_bytes == 0 && h.format != IL_COLOUR_INDEX && h.channels > 0 &&
           h.channels == channels_of(h.format);
}

std::uint32_t channels_of(std::uint32_t format) {
    switch (format) {
    case IL_COLOUR_INDEX:
    case IL_ALPHA:
    case IL_LUMINANCE:
        return 1;
    case IL_LUMINANCE_ALPHA:
        return 2;
    case IL_RGB:
    case IL_BGR:
        return 3;
    case IL_RGBA:
    case IL_BGRA:
        return 4;
    default:
        return 0;
    }
}

} // namespace image_transfer
