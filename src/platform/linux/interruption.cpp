#include "platform/interruption.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace {

// Written by the signal handler only; the one piece of process-wide state a handler may touch.
volatile std::sig_atomic_t requestedSignal = 0;

constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void restoreDefault(int signalNumber) {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

extern "C" void onSignal(int signalNumber) {
    if (requestedSignal != 0) {
        // Asked twice: stop now.
        restoreDefault(signalNumber);
        raise(signalNumber);
        return;
    }
    requestedSignal = signalNumber;
}

} // namespace

namespace platform::interruption {

void install() {
    for (const int signalNumber : handledSignals) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a read that waits (a pipe) returns at once, so the work sees the
        // request within a moment instead of at its next byte.
        action.sa_flags = 0;
        sigaction(signalNumber, &action, nullptr);
    }
}

int requested() {
    return requestedSignal;
}

void endBy(int signalNumber) {
    restoreDefault(signalNumber);
    raise(signalNumber);
    std::_Exit(128 + signalNumber); // not reached unless the signal is blocked
}

} // namespace platform::interruption
