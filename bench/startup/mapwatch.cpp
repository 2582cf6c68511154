// mapwatch PROGRAM [ARG...]
// Starts PROGRAM and prints the milliseconds from just before its start to the mapping of its
// first top-level window on the X display, then ends it. Exit status 1 when no window
// appears within 60 seconds or the program ends first.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
struct EventFree {
    void operator()(xcb_generic_event_t* e) const { std::free(e); }
};

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: mapwatch PROGRAM [ARG...]\n");
        return 2;
    }
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(
        xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection.get())) {
        std::fprintf(stderr, "mapwatch: cannot open the X display\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    // Children of the root are the top-level windows (there is no window manager to
    // reparent them on the benchmark's display).
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(connection.get(), xcb_change_window_attributes_checked(
                                            connection.get(), root, XCB_CW_EVENT_MASK, &mask));

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        ::execv(argv[1], argv + 1);
        std::perror("mapwatch: exec");
        ::_exit(127);
    }

    const int fd = xcb_get_file_descriptor(connection.get());
    const auto deadline = start + std::chrono::seconds(60);
    for (;;) {
        while (std::unique_ptr<xcb_generic_event_t, EventFree> event{
            xcb_poll_for_event(connection.get())}) {
            if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
                continue;
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
            if (map->override_redirect) // tooltips and menus are not the main window
                continue;
            const auto shown = std::chrono::steady_clock::now();
            std::printf("%.3f\n", std::chrono::duration<double, std::milli>(shown - start).count());
            stop(pid);
            return 0;
        }
        if (xcb_connection_has_error(connection.get()))
            break;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "mapwatch: %s ended without showing a window\n", argv[1]);
            return 1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), 100))) < 0 &&
            errno != EINTR)
            break;
    }
    std::fprintf(stderr, "mapwatch: no window from %s\n", argv[1]);
    stop(pid);
    return 1;
}
