#include "support/testcertificates.h"

#include "support/opensslhandles.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace {

using openssl::Bio;
using openssl::Certificate;
using openssl::Key;

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificates: ") + what);
}

Key makeKey() {
    Key key(EVP_EC_gen("prime256v1"));
    check(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// A certificate for subjectKey named commonName; issuer null means self-signed.
Certificate makeCertificate(EVP_PKEY* subjectKey, const QString& commonName, X509* issuer,
                            EVP_PKEY* issuerKey, long serial) {
    Certificate cert(X509_new());
    check(cert != nullptr, "certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
    X509_set_pubkey(cert.get(), subjectKey);
    const QByteArray cn = commonName.toUtf8();
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(cn.constData()), -1, -1, 0);
    X509* const signer = issuer != nullptr ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer == nullptr) {
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
        addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature");
        addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    }
    check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "signing");
    return cert;
}

QByteArray bioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

QByteArray certificatePem(X509* cert) {
    Bio bio(BIO_new(BIO_s_mem()));
    check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "writing certificate");
    return bioText(bio.get());
}

QByteArray keyPem(EVP_PKEY* key) {
    Bio bio(BIO_new(BIO_s_mem()));
    check(bio &&
              PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "writing key");
    return bioText(bio.get());
}

} // namespace

TestCertificates TestCertificates::make(const QString& commonName) {
    const Key caKey = makeKey();
    const Certificate ca = makeCertificate(caKey.get(), commonName, nullptr, caKey.get(), 1);
    const Key serverKey = makeKey();
    const Certificate server =
        makeCertificate(serverKey.get(), QStringLiteral("127.0.0.1"), ca.get(), caKey.get(), 2);
    return {certificatePem(ca.get()), certificatePem(server.get()), keyPem(serverKey.get())};
}
