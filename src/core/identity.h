#pragma once

#include <QString>

// The product identity, read from the executable's version data by the main window's
// creation step; the main window keeps it and hands it to whoever needs it.
struct ProductIdentity {
    QString companyName;
    QString productName;
    QString fullTitle;   // company name, " - ", product name
    QString versionText; // "major.minor" of the fixed file version
};

namespace identity {

// The application title, the caption of the default error display. Fixed, not
// taken from the version data.
inline QString applicationTitle() {
    return QStringLiteral("Brindleaf");
}

} // namespace identity
