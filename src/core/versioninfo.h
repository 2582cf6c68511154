#pragma once

#include "core/identity.h"

#include <QString>
#include <QtGlobal>

// The version data of an executable, each text empty when absent.
struct TEXEVersionData {
    QString CompanyName;
    QString FileDescription;
    QString FileVersion;
    QString InternalName;
    QString LegalCopyright;
    QString LegalTrademarks;
    QString OriginalFileName;
    QString ProductName;
    QString ProductVersion;
    QString Comments;
    QString PrivateBuild;
    QString SpecialBuild;
};

// Reads the texts of the first translation entry from the version data the build wrote
// into the executable at `path`. Throws AppError with the system's message when the file
// cannot be read or carries no version data or no translation entry.
TEXEVersionData ReadExeVersionData(const QString& path);

// The most significant 32 bits of the executable's numeric file version (major in the upper,
// minor in the lower 16 bits); all ones when it cannot be read.
quint32 ReadExeFileVersionMS(const QString& path);

// "major.minor" of a file version's most significant 32 bits.
QString versionTextOf(quint32 fileVersionMS);

// The product identity of the executable at `path`: company and product names, the full
// title "company - product" and the version text. Throws as ReadExeVersionData does.
ProductIdentity readProductIdentity(const QString& path);
