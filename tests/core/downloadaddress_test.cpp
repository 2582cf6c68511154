#include "core/downloadaddress.h"
#include "core/maker.h"
#include "support/scopedenv.h"

#include <gtest/gtest.h>

TEST(DownloadAddress, OnlyAbsoluteWebAddressesAreOpened) {
    const ScopedEnv host("BRINDLEAF_MAKER_HOST", QStringLiteral("maker.test"));
    const struct {
        QString address;
        bool web;
    } cases[] = {
        {"http://d.example/brindleaf.deb", true},
        {"https://d.example:8443/get?v=1.5#top", true},
        {"HTTPS://D.EXAMPLE/x", true},
        {"https://[::1]/x", true},
        {"", false},
        {"file:///etc/passwd", false},
        {"/usr/bin/xterm", false},
        {"xterm", false},
        {"../../bin/sh", false},
        {"javascript:alert(1)", false},
        {"data:text/html,<script>alert(1)</script>", false},
        {"ftp://d.example/x", false},
        {"mailto:someone@d.example", false},
        {"smb://d.example/share", false},
        {"\\\\d.example\\share\\setup.exe", false},
        {"C:\\Windows\\notepad.exe", false},
        {"http:///no-host", false},
        {"http:no-slashes", false},
        {"https://", false},
        {" https://d.example/x", false},
        {"https://d.example/x\n", false},
        {"https://d.example/a b", false},
        {"https://d.ex<ample/", false},
        {"--help", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(downloadaddress::isWebAddress(c.address), c.web) << c.address.toStdString();
        EXPECT_EQ(downloadaddress::openTarget(c.address), c.web ? c.address : "http://maker.test")
            << c.address.toStdString();
    }
}
