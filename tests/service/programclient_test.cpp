// The program's own form post and update check against the real service.
#include "servicetestkit.h"

#include "core/checker.h"
#include "core/formpost.h"
#include "core/maker.h"
#include "support/scopedenv.h"
#include "support/tempconfighome.h"

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

CheckInputs inputsFor(const QString& version) {
    CheckInputs inputs;
    inputs.fullTitle = [] { return QStringLiteral("QUENLOW - Brindleaf"); };
    inputs.versionText = [version] { return version; };
    inputs.today = [] { return QStringLiteral("10/12/2026"); };
    inputs.localeName = [] { return QStringLiteral("fr-CA"); };
    inputs.machineId = [] { return QStringLiteral("00112233445566778899aabbccddeeff"); };
    inputs.osDescription = [] {
        return QStringLiteral(
            "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)");
    };
    inputs.timeoutMs = 10000;
    return inputs;
}

class ProgramAgainstService : public ::testing::Test {
protected:
    RunningService service;
    TemporaryConfigHome home;
    ScopedEnv host{"BRINDLEAF_MAKER_HOST", QStringLiteral("127.0.0.1:%1").arg(service.port())};
    ScopedEnv trust{"SSL_CERT_FILE", QString::fromStdString(service.certificate().string())};
};

} // namespace

TEST_F(ProgramAgainstService, FeedbackFromTheProgramIsStoredIntact) {
    const QString feedback = QStringLiteral(u"I like it! (J'aime bien\u202F!)\rLigne un\r\nZeile "
                                            u"zwei: \u00FC\u00DF \u6F22\u5B57 \U0001F600 & = + %");
    const QString reply =
        postToMakerService(maker::feedbackPath,
                           {"cmd=feedback", "appname=QUENLOW - Brindleaf", "version=1.4",
                            "feedback=" + feedback, "email=user+tag@example.org"},
                           3000);
    EXPECT_EQ(reply.trimmed(), "OK");
    EXPECT_EQ(query(service.database(), "SELECT scheme, appname, version, feedback, email FROM "
                                        "feedback"),
              (std::vector<Row>{{"https", "QUENLOW - Brindleaf", "1.4", feedback.toStdString(),
                                 "user+tag@example.org"}}));
}

TEST_F(ProgramAgainstService, UntrustedCertificateFallsBackToPlainHttp) {
    const ScopedEnv noTrust("SSL_CERT_FILE",
                            QString::fromStdString((service.path() / "missing.pem").string()));
    EXPECT_EQ(postToMakerService(maker::feedbackPath, {"cmd=feedback", "feedback=fallback"}, 3000),
              "OK");
    EXPECT_EQ(query(service.database(), "SELECT scheme, feedback FROM feedback"),
              (std::vector<Row>{{"http", "fallback"}}));
}

TEST_F(ProgramAgainstService, UpdateCheckTakesTheOfferedRelease) {
    struct Case {
        QString running;
        bool newVersion;
    };
    for (const Case& c : {Case{"1.4", true}, Case{"1.5", false}}) {
        SCOPED_TRACE(c.running.toStdString());
        CheckResults results;
        CheckNow(results, inputsFor(c.running));
        ASSERT_TRUE(results.finished.load());
        EXPECT_FALSE(results.log.hasError()) << results.log.text().toStdString();
        EXPECT_EQ(results.newVersion, c.newVersion);
        EXPECT_EQ(results.offeredVersion, QString::fromStdString(testRelease.version));
        EXPECT_EQ(results.downloadAddress, QString::fromStdString(testRelease.url));
    }
    EXPECT_EQ(queryAtLeast(service.database(),
                           "SELECT scheme, cmd, appname, version, os, local, guid, howmany, "
                           "result FROM checks ORDER BY id",
                           2),
              (std::vector<Row>{{"https", "check", "QUENLOW - Brindleaf", "1.4",
                                 "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit "
                                 "Edition)",
                                 "fr-CA", "00112233445566778899aabbccddeeff", "1", "1"},
                                {"https", "check", "QUENLOW - Brindleaf", "1.5",
                                 "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit "
                                 "Edition)",
                                 "fr-CA", "00112233445566778899aabbccddeeff", "1", "0"}}));
}
