#pragma once

#include <QByteArray>

namespace platform::icu {

// ICU's name of a POSIX locale name: "sr_RS@latin" gives "sr_Latn_RS", "de_DE.UTF-8" "de_DE".
QByteArray icuIdOfPosixName(const QByteArray& posixName);

} // namespace platform::icu
