#include "core/datafolder.h"

#include "platform/probefile.h"
#include "platform/userfolders.h"

#include <QDir>

namespace identity {

QString chooseDataFolder(const QString& executableFolder, const QString& companyName,
                         const QString& productName) {
    QString folder = executableFolder;
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (platform::canCreateFile(folder + QStringLiteral("/chk.tmp")))
        return folder + QLatin1Char('/');

    // The application-data folder itself may not exist yet on a fresh account, so the
    // whole path is created; failures are left for the first write to report.
    const QString perUser = platform::userDataFolder() + QLatin1Char('/') + companyName +
                            QLatin1Char('/') + productName;
    QDir().mkpath(perUser);
    return perUser + QLatin1Char('/');
}

} // namespace identity
