#include "platform/userfolders.h"

#include "platform/linux/configfolder.h"

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

// A base folder of the XDG rules: the variable when it holds an absolute path (relative
// values are to be ignored), else the default below the home folder.
QString baseFolder(const char* variable, const QString& belowHome) {
    const QString fromEnvironment = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(fromEnvironment))
        return QDir::cleanPath(fromEnvironment);
    const QString home = homeFolder();
    if (home.isEmpty())
        return {};
    return QDir::cleanPath(home + QLatin1Char('/') + belowHome);
}

} // namespace

QString userDataFolder() {
    return baseFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString userConfigFolder() {
    return baseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

} // namespace platform
