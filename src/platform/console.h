#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform::console {

// The program's arguments after its own name, as nativepath::decode takes them: the bytes
// given on Linux, UTF-8 of the UTF-16 command line on Windows, so any file name comes through.
QList<QByteArray> arguments(int argc, char* argv[]);

// Writing to a reader that went away (a pipe into head) fails the write instead of ending
// the process.
void keepRunningOnClosedPipes();

// The descriptor of standard output, writing bytes as they are.
int standardOutput();

// The name that platform::openForReading opens as standard input: /dev/stdin on Linux,
// "CONIN$" on Windows, taken there as the standard input handle, redirected or not.
QString standardInputPath();

// Standard error is a terminal (a console window), where progress may be redrawn in place.
bool standardErrorIsTerminal();

} // namespace platform::console
