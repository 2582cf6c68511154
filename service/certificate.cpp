#include "service/certificate.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <boost/asio/ip/address.hpp>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <set>
#include <unistd.h>

namespace service {
namespace {

template <auto Free> struct Deleter {
    template <class T> void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;

constexpr const char* certificateName = "tls-certificate.pem";
constexpr const char* keyName = "tls-private-key.pem";
constexpr long validDays = 825;

[[noreturn]] void fail(const std::string& what) {
    std::string detail;
    if (const unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        detail = std::string(": ") + buffer;
    }
    ERR_clear_error();
    throw CertificateError(what + detail);
}

void check(bool ok, const char* what) {
    if (!ok)
        fail(what);
}

void addExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    check(extension && X509_add_ext(certificate, extension.get(), -1) == 1,
          "cannot add certificate extension");
}

std::string subjectAltNames(const std::vector<std::string>& extraNames) {
    std::set<std::string> seen;
    std::string names;
    auto add = [&](const std::string& name) {
        if (name.empty() || name.find_first_of(",\r\n") != std::string::npos ||
            !seen.insert(name).second)
            return;
        boost::system::error_code ec;
        const auto address = boost::asio::ip::make_address(name, ec);
        if (!ec && address.is_unspecified())
            return;
        names += names.empty() ? "" : ",";
        names += (ec ? "DNS:" : "IP:") + name;
    };
    for (const char* name : {"localhost", "127.0.0.1", "::1"})
        add(name);
    for (const auto& name : extraNames)
        add(name);
    return names;
}

// Writes the text to a new file beside path and renames it over path, so a file is
// either complete or absent.
void writeFileAtomically(const std::filesystem::path& path, const std::string& text, int mode) {
    const std::filesystem::path temporary = path.string() + ".tmp";
    std::filesystem::remove(temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        throw CertificateError("cannot create " + temporary.string());
    bool ok = true;
    for (std::size_t written = 0; ok && written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        ok = n > 0;
        written += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::filesystem::remove(temporary);
        throw CertificateError("cannot write " + path.string());
    }
}

std::string pemText(const std::function<int(BIO*)>& write) {
    const Bio bio(BIO_new(BIO_s_mem()));
    check(bio && write(bio.get()) == 1, "cannot encode PEM");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

} // namespace

CertificateFiles ensureSelfSignedCertificate(const std::filesystem::path& folder,
                                             const std::vector<std::string>& extraNames) {
    CertificateFiles files{folder / certificateName, folder / keyName, false};
    if (std::filesystem::exists(files.certificate) && std::filesystem::exists(files.privateKey))
        return files;
    std::filesystem::create_directories(folder);

    const Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "cannot generate key");

    const Certificate certificate(X509_new());
    check(certificate != nullptr, "cannot create certificate");
    X509* x = certificate.get();
    check(X509_set_version(x, 2) == 1, "cannot set certificate version");
    const Bignum serial(BN_new());
    check(serial && BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(x)) != nullptr,
          "cannot set serial number");
    check(X509_gmtime_adj(X509_getm_notBefore(x), -3600) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(x), validDays * 24 * 3600) != nullptr,
          "cannot set validity");
    X509_NAME* name = X509_get_subject_name(x);
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                                     0) == 1 &&
              X509_NAME_add_entry_by_txt(
                  name, "O", MBSTRING_UTF8,
                  reinterpret_cast<const unsigned char*>("Brindleaf service (self-signed)"), -1, -1,
                  0) == 1 &&
              X509_set_issuer_name(x, name) == 1 && X509_set_pubkey(x, key.get()) == 1,
          "cannot set certificate names");
    addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(x, NID_ext_key_usage, "serverAuth");
    addExtension(x, NID_subject_key_identifier, "hash");
    addExtension(x, NID_subject_alt_name, subjectAltNames(extraNames));
    check(X509_sign(x, key.get(), EVP_sha256()) > 0, "cannot sign certificate");

    const std::string keyPem = pemText([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    const std::string certificatePem =
        pemText([&](BIO* bio) { return PEM_write_bio_X509(bio, x); });
    // The key first: a certificate on disk always has its key beside it.
    writeFileAtomically(files.privateKey, keyPem, 0600);
    writeFileAtomically(files.certificate, certificatePem, 0644);
    files.created = true;
    return files;
}

} // namespace service
