#pragma once

#include <QByteArray>
#include <QString>

// A certificate authority and a server certificate signed by it, made at run time for
// 127.0.0.1 and localhost. Only the authority's certificate is written to a file, so a
// test can hand it to the program (SSL_CERT_FILE) as the one trusted authority.
struct TestCertificates {
    QByteArray caCertificatePem;
    QByteArray serverCertificatePem;
    QByteArray serverKeyPem;

    // commonName names the authority, so two sets are told apart in error texts.
    static TestCertificates make(const QString& commonName = QStringLiteral("Brindleaf Test CA"));
};
