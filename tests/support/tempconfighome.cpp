#include "support/tempconfighome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

TemporaryConfigHome::TemporaryConfigHome()
    : m_config("XDG_CONFIG_HOME", path()), m_data("XDG_DATA_HOME", dataHome()) {
    EXPECT_TRUE(m_root.isValid());
    EXPECT_TRUE(QDir().mkpath(path()));
    EXPECT_TRUE(QDir().mkpath(dataHome()));
}

QString readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void writeTextFile(const QString& path, const QString& text) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(text.toUtf8()), text.toUtf8().size());
    // QSettings notices a change made behind its back by the file's size and time; two
    // rewrites of one size within a millisecond would look unchanged, so each rewrite
    // gets a time of its own.
    static qint64 rewrites = 0;
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-1000 - ++rewrites),
                                 QFileDevice::FileModificationTime));
}
