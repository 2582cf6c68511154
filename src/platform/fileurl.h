#pragma once

#include <QString>
#include <QUrl>

namespace platform {

// The local file that a dropped file: address names, written as the system writes paths
// (with backslashes on Windows); empty for any other address. File managers may write the
// host "localhost", which counts as none.
QString localFileOfUrl(QUrl url);

// The system's part of the above, for a file: address whose host is not "localhost": on
// Linux another host is not local, and the path keeps its bytes even when they are not
// UTF-8 (see nativepath.h); on Windows a host names a network share, \\host\share.
QString systemPathOfFileUrl(const QUrl& url);

} // namespace platform
