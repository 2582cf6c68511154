#include "platform/interruption.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace platform::interruption {
namespace {

// The system calls the handler on a thread of its own. Stored as the event plus one, since
// Ctrl-C is event 0.
std::atomic<int> requestedEvent{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    int expected = 0;
    // Asked twice: the system's own handler ends the process now.
    return requestedEvent.compare_exchange_strong(expected, static_cast<int>(event) + 1,
                                                  std::memory_order_release,
                                                  std::memory_order_relaxed)
               ? TRUE
               : FALSE;
}

} // namespace

void install() {
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int requested() {
    return requestedEvent.load(std::memory_order_acquire);
}

void endBy(int request) {
    static_cast<void>(request);
    // The exit status of a console program that Ctrl-C or Ctrl-Break ended.
    std::_Exit(static_cast<int>(STATUS_CONTROL_C_EXIT));
}

} // namespace platform::interruption
