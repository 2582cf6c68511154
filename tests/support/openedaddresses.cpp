#include "support/openedaddresses.h"

#include <QDesktopServices>

OpenedAddresses::OpenedAddresses(QStringList schemes) : m_schemes(std::move(schemes)) {
    for (const QString& scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

OpenedAddresses::~OpenedAddresses() {
    for (const QString& scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void OpenedAddresses::open(const QUrl& url) {
    urls << url;
}
