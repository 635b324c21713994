// A mend for the library's TIF writer.
#pragma once

namespace devil_internal {

// The library's TIF writer declares alpha samples associated (premultiplied) while it writes
// them straight. Marks them unassociated in the first directory of the file open on
// `descriptor` (readable and writable). False when the file cannot be read or written.
bool mark_tiff_alpha_unassociated(int descriptor);

} // namespace devil_internal
