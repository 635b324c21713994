// SIGINT and SIGTERM as a request to end the program in order: every wait of the program (the
// window's loop, a message box, a decode in the child) watches for it and gives up.
#pragma once

namespace platform {

// Installs the handlers once; later calls do nothing. The handler only records the signal and
// wakes `termination_descriptor`.
void watch_termination_signals();

// The signal that asked the program to end (SIGINT or SIGTERM), or 0 while none did.
int termination_signal();

// Readable once a termination signal has arrived, for poll() loops; -1 before the handlers are
// installed. Never drained, so every waiter sees it.
int termination_descriptor();

} // namespace platform
