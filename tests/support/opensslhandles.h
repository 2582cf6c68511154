#pragma once
// Owning handles for the OpenSSL objects the test helpers create.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

namespace openssl {

template <auto Free> struct Deleter {
    template <class T> void operator()(T* p) const { Free(p); }
};

using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Context = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using Connection = std::unique_ptr<SSL, Deleter<SSL_free>>;

} // namespace openssl
