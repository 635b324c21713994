// The system calls left to a sandboxed child (tools/sandbox.cpp); not for other callers.
#pragma once

namespace sandbox {

// From here on this process may compute, use memory, read and write the descriptors it holds,
// signal itself and end. Looking for files or sockets fails with an error, since libraries
// probe them harmlessly (a locale, a terminal); anything else, such as starting a program or a
// process, ends it. False when the filter could not be installed.
bool confine_system_calls();

} // namespace sandbox
