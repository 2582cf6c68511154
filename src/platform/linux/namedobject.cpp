#include "platform/namedobject.h"

#include <algorithm>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

void holdNamedObject(const QString& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A leading NUL puts the name in the abstract namespace: no file, gone with the process.
    const QByteArray bytes = name.toUtf8();
    const size_t length = std::min(static_cast<size_t>(bytes.size()), sizeof address.sun_path - 1);
    std::copy_n(bytes.constData(), length, address.sun_path + 1);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0)
        ::close(fd); // the name is taken: start all the same
    // On success the descriptor stays open until the process ends; the kernel releases it.
}

} // namespace platform
