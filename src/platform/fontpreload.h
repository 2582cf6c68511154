#pragma once

#include <thread>

namespace platform {

// Where the system reads its font configuration from files on first use, that reading is a
// large part of a window's start-up. FontPreload starts it on a thread of its own, so that
// it overlaps the rest of start-up; wait() returns once it is done, and the first window's
// text then finds it ready. Where fonts are the system's own business, there is nothing to
// read and the object does nothing.
class FontPreload {
public:
    FontPreload();

    void wait();

private:
    std::jthread m_loader; // joined at the latest when the object goes
};

} // namespace platform
