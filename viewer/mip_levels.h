// Showing one mipmap level of a mipmapped image in the place of its base.
#pragma once

#include <IL/il.h>

// Makes mipmap `level` (1 is the first level below the base) of the image `name` the image's
// own pixels, in the level's format, type and origin; `name` is bound afterwards. False, with
// the image unchanged, when it has no such level or the pixels cannot be copied.
bool make_mip_level_the_image(ILuint name, int level);
