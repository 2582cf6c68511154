#include "core/maker.h"

#include <QtGlobal>
#include <gtest/gtest.h>

TEST(Maker, EveryAddressFollowsTheOneHost) {
    qputenv("BRINDLEAF_MAKER_HOST", "example.test:8443");
    EXPECT_EQ(maker::homePageUrl(), "http://example.test:8443/");
    EXPECT_EQ(maker::homePageFallbackUrl(), "http://example.test:8443");
    EXPECT_EQ(maker::helpPageUrl("My Tool X"), "http://example.test:8443/help/my-tool-x/");
    EXPECT_EQ(maker::acknowledgementsUrl(),
              "https://example.test:8443/blog/credits-and-acknowledgements/");
    EXPECT_EQ(maker::uninstallUrl(),
              "http://example.test:8443/blog/how-to-uninstall-quenlow-software/");
    EXPECT_EQ(maker::secureServiceUrl(maker::checkPath),
              "https://example.test:8443/php/check2.php");
    EXPECT_EQ(maker::plainServiceUrl(maker::feedbackPath),
              "http://example.test:8443/php/feedback.php");
    qunsetenv("BRINDLEAF_MAKER_HOST");
    EXPECT_EQ(maker::host(), "quenlow.example");
}

TEST(Maker, HelpPathLowersOnlyAsciiLetters) {
    EXPECT_TRUE(
        maker::helpPageUrl(QStringLiteral(u"ÄBC Déf")).endsWith(QStringLiteral(u"/help/Äbc-déf/")));
}
