#include "platform/linux/machineidfiles.h"

#include <QFile>

namespace platform {

QStringList machineIdFiles() {
    return {QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")};
}

MachineIdentifier readMachineIdentifier(const QStringList& files) {
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return {{}, QStringLiteral("%1: %2").arg(path, file.errorString())};
        const qsizetype end = content.indexOf('\n');
        return {QString::fromUtf8(end < 0 ? content : content.left(end)), {}};
    }
    return {};
}

MachineIdentifier machineIdentifier() {
    return readMachineIdentifier(machineIdFiles());
}

} // namespace platform
