#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace service {

class CertificateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CertificateFiles {
    std::filesystem::path certificate; // PEM
    std::filesystem::path privateKey;  // PEM, readable by the owner only
    bool created = false;              // made just now rather than found
};

// The self-signed certificate kept in folder: reused when both files are there, otherwise
// made anew (ECDSA P-256, valid for the given host names and IP addresses besides
// localhost, 127.0.0.1 and ::1). The certificate is its own trust anchor, so clients trust
// it by naming the file (SSL_CERT_FILE). Throws CertificateError.
CertificateFiles ensureSelfSignedCertificate(const std::filesystem::path& folder,
                                             const std::vector<std::string>& extraNames);

} // namespace service
