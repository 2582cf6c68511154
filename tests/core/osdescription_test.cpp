#include "platform/linux/osrelease.h"
#include "platform/osdescription.h"

#include <gtest/gtest.h>

TEST(OsDescription, PrettyNameFromOsRelease) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Single quoted'\n", "Single quoted"},
        {"PRETTY_NAME=Bare\n", "Bare"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\$x\"\n", "Say \"hi\" $x"},
        {"NAME=Only a name\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::prettyNameFromOsRelease(QString::fromUtf8(c.text)),
                  QString::fromUtf8(c.expected))
            << c.text;
}

TEST(OsDescription, VersionBuildAndEditionPattern) {
    const struct {
        const char* release;
        const char* machine;
        const char* expected;
    } cases[] = {
        {"6.1.0-13-amd64", "x86_64", "Debian 12 (Version 6.1, Build 0, 64-bit Edition)"},
        {"5.15.133+", "aarch64", "Debian 12 (Version 5.15, Build 133, 32-bit Edition)"},
        {"4.19", "i686", "Debian 12 (Version 4.19, Build 0, 32-bit Edition)"},
        {"", "x86_64", "Debian 12 (Version 0.0, Build 0, 64-bit Edition)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::formatOperatingSystem("Debian 12", c.release, c.machine),
                  QLatin1String(c.expected))
            << c.release;
}

TEST(OsDescription, ThisSystemFollowsThePattern) {
    const QString description = platform::operatingSystemDescription();
    EXPECT_TRUE(description.contains(" (Version ")) << description.toStdString();
    EXPECT_TRUE(description.endsWith(" Edition)")) << description.toStdString();
    EXPECT_FALSE(description.startsWith(" (Version")) << description.toStdString();
}
