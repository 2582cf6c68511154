#include "core/feedbackrequest.h"
#include "core/identity.h"
#include "support/scopedenv.h"

#include <QTcpServer>
#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(FeedbackText, ChoiceMemoAndTheirJoin) {
    EXPECT_EQ(feedback::choiceText("I like it!", "I like it!").toStdString(), "I like it!");
    EXPECT_EQ(feedback::choiceText("I like it!", QStringLiteral(u"Beğendim!")),
              QStringLiteral(u"I like it! (Beğendim!)"));
    EXPECT_EQ(feedback::choiceText("I dislike it!", "").toStdString(), "I dislike it! ()");

    EXPECT_EQ(feedback::memoText("\n  first\nsecond \r\n\r\n").toStdString(), "first\r\nsecond");
    EXPECT_EQ(feedback::memoText("a\rb\n\nc").toStdString(), "a\r\nb\r\n\r\nc");
    EXPECT_EQ(feedback::memoText(" \t\r\n \n").toStdString(), "");
    // Only characters up to U+0020 are trimmed.
    EXPECT_EQ(feedback::memoText(QStringLiteral(u"\u00a0x\u00a0")),
              QStringLiteral(u"\u00a0x\u00a0"));

    EXPECT_EQ(feedback::feedbackText("I like it!", "Nice").toStdString(), "I like it!\rNice");
    EXPECT_EQ(feedback::feedbackText("", "Nice").toStdString(), "Nice");
}

struct EmailCase {
    const char* address;
    bool valid;
};

TEST(FeedbackEmail, AcceptsOnlyWholeAddressesOfThePattern) {
    const std::vector<EmailCase> cases = {
        {"john@example.com", true},
        {"John.Smith@Example.COM", true},
        {"a+tag@example.org", true},
        {"first.last_name@example.org", true},
        {"x-y@mail.example.co.uk", true},
        {"x@my-host.example", true},
        {"x@host.a-b.example", true},
        {"1@2.3", true},
        {"john.example.com", false},
        {"john@localhost", false},
        {"john@example.", false},
        {"john@example.com-", false},
        {"john@.example.com", false},
        {"john@exa_mple.com", false},
        {"john@example.c_m", false},
        {"jo hn@example.com", false},
        {"john@example .com", false},
        {"j\xc3\xb6hn@example.com", false},
        {"john@ex\xc3\xa4mple.com", false},
        {"@example.com", false},
        {"john@@example.com", false},
        {"john@example.com\n", false},
        {"", false},
    };
    for (const EmailCase& c : cases)
        EXPECT_EQ(feedback::isValidEmail(QString::fromUtf8(c.address)), c.valid) << c.address;
}

TEST(FeedbackRequest, FieldsInOrderWithEmailOnlyWhenGiven) {
    const ProductIdentity product{"QUENLOW", "Brindleaf", "QUENLOW - Brindleaf", "1.4"};
    EXPECT_EQ(feedback::requestFields(product, "I like it!\rGood", ""),
              QStringList({"cmd=feedback", "appname=QUENLOW - Brindleaf", "version=1.4",
                           "feedback=I like it!\rGood"}));
    EXPECT_EQ(feedback::requestFields(product, "Good", "me@example.com"),
              QStringList({"cmd=feedback", "appname=QUENLOW - Brindleaf", "version=1.4",
                           "feedback=Good", "email=me@example.com"}));
}

TEST(FeedbackReply, DeliveredOnlyForOk) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"OK", true},
        {"OK\r\n", true},
        {"OK\n", true},
        {"  OK  ", true},
        {"\r\n\tOK\r", true},
        {"ok", false},
        {"Ok", false},
        {"OK.", false},
        {"OK\r\nmore", false},
        {"OK\nmore", false},
        {"", false},
        {"O K", false},
        {"NOT OK", false},
        {QStringLiteral(u"OK\u00a0"), false},
        {"<html>OK</html>", false},
    };
    for (const auto& [reply, delivered] : cases)
        EXPECT_EQ(feedback::isDelivered(reply), delivered) << reply.toStdString();
}

TEST(FeedbackPost, NoServiceGivesAnEmptyReplyWithoutAnError) {
    // A port that was free a moment ago refuses the connection on both schemes.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    const ScopedEnv host("BRINDLEAF_MAKER_HOST", QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(feedback::post({"cmd=feedback"}).toStdString(), "");
}

} // namespace
