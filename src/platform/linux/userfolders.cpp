#include "platform/userfolders.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

QString homeFolder() {
    const QString fromEnvironment = qEnvironmentVariable("HOME");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return QFile::decodeName(found->pw_dir);
    return {};
}

QString withoutTrailingSeparator(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString userDataFolder() {
    // Relative values are to be ignored, as the base-directory rules say.
    const QString fromEnvironment = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(fromEnvironment))
        return withoutTrailingSeparator(fromEnvironment);
    const QString home = homeFolder();
    if (home.isEmpty())
        return {};
    return withoutTrailingSeparator(home) + QStringLiteral("/.local/share");
}

} // namespace platform
