#include "platform/namedobject.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// How many sockets of this network namespace are bound to the abstract name.
int holders(const QString& name) {
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QString expected = QLatin1Char('@') + name;
    int count = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && QString::fromUtf8(fields.last()) == expected)
            ++count;
    }
    return count;
}

} // namespace

TEST(NamedObject, HeldForTheProcessAndASecondHolderIsNoError) {
    const QString name = QStringLiteral("QUENLOW_Brindleaf_test_%1").arg(::getpid());
    ASSERT_EQ(holders(name), 0);
    platform::holdNamedObject(name);
    EXPECT_EQ(holders(name), 1);
    // As a second instance would: the clash is ignored and the first holder stays.
    platform::holdNamedObject(name);
    EXPECT_EQ(holders(name), 1);
}
