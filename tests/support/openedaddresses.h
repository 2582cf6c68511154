#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the desktop's opener: every address handed to QDesktopServices::openUrl
// with one of the given schemes is recorded instead of opened, until the object ends.
class OpenedAddresses : public QObject {
    Q_OBJECT

public:
    explicit OpenedAddresses(QStringList schemes = {QStringLiteral("http"),
                                                    QStringLiteral("https")});
    ~OpenedAddresses() override;
    OpenedAddresses(const OpenedAddresses&) = delete;
    OpenedAddresses& operator=(const OpenedAddresses&) = delete;

    QList<QUrl> urls;

public slots:
    void open(const QUrl& url);

private:
    QStringList m_schemes;
};
