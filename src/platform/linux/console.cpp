#include "platform/console.h"

#include <csignal>
#include <unistd.h>

namespace platform::console {

QList<QByteArray> arguments(int argc, char* argv[]) {
    QList<QByteArray> list;
    for (int i = 1; i < argc; ++i)
        list << QByteArray(argv[i]);
    return list;
}

void keepRunningOnClosedPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

int standardOutput() {
    return STDOUT_FILENO;
}

QString standardInputPath() {
    return QStringLiteral("/dev/stdin");
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

} // namespace platform::console
