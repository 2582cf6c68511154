#pragma once

#include <QString>

// The product identity and data folder: written once by the main window's
// creation step, before any other thread exists, and only read afterwards.
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

const ProductIdentity& product();
void setProduct(ProductIdentity value);

// Full path of the data folder, always ending with a separator.
const QString& dataFolder();
void setDataFolder(QString folder);

} // namespace identity
