#include "core/checklog.h"

#include <gtest/gtest.h>

TEST(CheckLog, StartsEmptyWithoutError) {
    const CheckLog log;
    EXPECT_EQ(log.text(), QString());
    EXPECT_FALSE(log.hasError());
}

TEST(CheckLog, EntriesAreSeparatedByTwoCarriageReturns) {
    CheckLog log;
    log.append("Error: GUID generate problem!");
    EXPECT_TRUE(log.hasError());
    EXPECT_EQ(log.text(), "Error: GUID generate problem!");
    log.append("HTTPS Response:\rtimed out");
    log.append(" INVALIDSERVERRESPONSE\n"); // kept as given, blanks included
    EXPECT_EQ(log.text(), "Error: GUID generate problem!\r\rHTTPS Response:\rtimed out\r\r"
                          " INVALIDSERVERRESPONSE\n");
}

TEST(CheckLog, BlankMessagesAreIgnored) {
    CheckLog log;
    for (const QString& blank : {QString(), QStringLiteral(" \t\r\n"), QString(QChar(0))}) {
        log.append(blank);
        EXPECT_FALSE(log.hasError());
        EXPECT_EQ(log.text(), QString());
    }
    log.append("x");
    log.append(" ");
    EXPECT_EQ(log.text(), "x");
}

TEST(CheckLog, ClearEmptiesTextAndFlag) {
    CheckLog log;
    log.append("HTTPS Response:\rrefused");
    log.clear();
    EXPECT_FALSE(log.hasError());
    EXPECT_EQ(log.text(), QString());
    log.append("INVALIDSERVERRESPONSE");
    EXPECT_EQ(log.text(), "INVALIDSERVERRESPONSE");
}
