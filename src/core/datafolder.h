#pragma once

#include <QString>

namespace identity {

// The data folder for an executable in `executableFolder`: that folder, with a trailing
// separator, when a probe file "chk.tmp" can be created in it; else the per-user folder
// <application data>/<company>/<product>/, created when missing.
QString chooseDataFolder(const QString& executableFolder, const QString& companyName,
                         const QString& productName);

} // namespace identity
