#pragma once

#include <QString>

// The maker's host and every address built on it. The host is a build setting;
// BRINDLEAF_MAKER_HOST in the environment (host or host:port) overrides it.
namespace maker {

QString host();

QString homePageUrl();                           // http://host/
QString homePageFallbackUrl();                   // http://host (no path): fallback download address
QString helpPageUrl(const QString& productName); // http://host/help/<name>/
QString acknowledgementsUrl();                   // https://host/blog/credits-and-acknowledgements/
QString uninstallUrl(); // http://host/blog/how-to-uninstall-quenlow-software/

inline constexpr const char* checkPath = "/php/check2.php";
inline constexpr const char* feedbackPath = "/php/feedback.php";

QString secureServiceUrl(const QString& path); // https://host + path
QString plainServiceUrl(const QString& path);  // http://host + path

} // namespace maker
