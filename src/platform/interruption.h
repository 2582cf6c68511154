#pragma once

// Ctrl-C during a combine (and SIGTERM, SIGHUP on Linux; Ctrl-Break and the console's closing
// on Windows): the first asks the work to stop at its next read (on Linux a read that waits
// is cut short), so that its temporary file is removed on the way out; a second one ends the
// process at once.
namespace platform::interruption {

void install();

// What asked to stop (a signal number on Linux, a console event on Windows), 0 while nothing did.
int requested();

// Ends the process as that interruption would have, as if nothing had caught it, so the
// caller (a shell loop, make) sees the interruption.
[[noreturn]] void endBy(int request);

} // namespace platform::interruption
