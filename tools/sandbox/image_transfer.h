// Carries a decoded library image from the sandboxed child to the parent as plain bytes: every
// frame, cube face, layer and mipmap with its size, pixel format, type, origin, palette and the
// few facts the library keeps beside them (duration, offsets, cube flags).
//
// The parent rebuilds the image with the library's own calls (ilTexImage and the sub-image
// calls), so everything after a load works on an image the library made itself. Nothing in the
// bytes is trusted: the whole message is checked before the bound image is touched, the image
// budget (tools/image_budget.h) included, so an image too large to show is never copied.
#pragma once

#include <IL/il.h>
#include <cstdint>

#include "tools/sandbox/sandbox.h"

namespace image_transfer {

// In the child: writes image `name` with all its sub-images. False when it has no pixels, is
// too large for the library, or the result cannot take it.
bool pack_image(ILuint name, sandbox::result_writer& out);

// In the parent: makes image `name` what the bytes describe and leaves it bound. False, with
// the image untouched, when the bytes are not a well-formed, self-consistent message; false
// after a partial rebuild only when the library runs out of memory.
// With `take_pixels` a lone large image's pixels are not copied: their pages move out of the
// message into the image (platform::adopt_pages), which leaves a hole where they were; only for
// a message that is dropped afterwards.
bool rebuild_image(ILuint name, const unsigned char* bytes, std::uint64_t size,
                   bool take_pixels = false);

// True when the message's headers say it holds one image and nothing else (no levels, layers,
// faces or frames), of 8-bit samples with no palette: one that the wrapper rescales itself
// rather than reloads. Only the headers are read; rebuild_image checks the rest.
bool holds_one_plain_image(const unsigned char* bytes, std::uint64_t size);

// Makes the bound image width x height x depth of `channels` channels in `format` and `type`
// from `block`, a block of the pixel allocator (platform/pixel_memory.h) holding its `bytes` of
// pixels first: the library takes the block itself when it asks for one of that size, else the
// pixels are copied and the block freed. Either way the block is no longer the caller's. False
// when the library cannot make the image.
bool image_from_block(void* block, std::uint64_t bytes, ILuint width, ILuint height, ILuint depth,
                      ILubyte channels, ILenum format, ILenum type);

// Channels in a pixel of the library's `format` (IL_RGB and so on); 0 for a format it does not
// have.
std::uint32_t channels_of(std::uint32_t format);

} // namespace image_transfer
