#include "platform/console.h"

#include <QString>
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <shellapi.h>

namespace platform::console {
namespace {

struct LocalFreer {
    void operator()(wchar_t** memory) const { ::LocalFree(memory); }
};

} // namespace

QList<QByteArray> arguments(int argc, char* argv[]) {
    // The ANSI argv loses every character outside the code page; the UTF-16 command line
    // keeps them.
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalFreer> wide(
        ::CommandLineToArgvW(::GetCommandLineW(), &count));
    QList<QByteArray> list;
    if (!wide) {
        for (int i = 1; i < argc; ++i)
            list << QByteArray(argv[i]);
        return list;
    }
    for (int i = 1; i < count; ++i)
        list << QString::fromWCharArray(wide.get()[i]).toUtf8();
    return list;
}

// Windows raises no signal for a closed pipe; the write itself fails.
void keepRunningOnClosedPipes() {}

int standardOutput() {
    // In text mode the C runtime would write every line break as CR LF.
    const int fd = ::_fileno(stdout);
    ::_setmode(fd, _O_BINARY);
    return fd;
}

QString standardInputPath() {
    return QStringLiteral("CONIN$");
}

bool standardErrorIsTerminal() {
    return ::_isatty(::_fileno(stderr)) != 0;
}

} // namespace platform::console
