#pragma once

// Ctrl-C (and SIGTERM, SIGHUP) during a combine: the first signal asks the work to stop at
// its next read (a read that waits is cut short), so that its temporary file is removed on
// the way out; a second one ends the process at once.
namespace interruption {

void install();

// The signal that asked to stop, 0 while none did.
int requested();

// Ends the process by that signal, as if nothing had caught it, so the caller (a shell
// loop, make) sees the interruption.
[[noreturn]] void endBy(int signalNumber);

} // namespace interruption
