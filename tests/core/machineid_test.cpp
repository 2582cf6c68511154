#include "platform/linux/machineidfiles.h"
#include "support/tempconfighome.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(MachineId, FirstReadableFileGivesItsFirstLine) {
    QTemporaryDir dir;
    const QString first = dir.filePath("machine-id");
    const QString second = dir.filePath("dbus-machine-id");
    const QString missing = dir.filePath("missing");
    writeTextFile(second, "0123456789abcdef0123456789abcdef\n");
    EXPECT_EQ(platform::readMachineIdentifier({first, second}).value,
              "0123456789abcdef0123456789abcdef");
    writeTextFile(first, "fedcba9876543210fedcba9876543210\nsecond line\n");
    EXPECT_EQ(platform::readMachineIdentifier({first, second}).value,
              "fedcba9876543210fedcba9876543210");
    // Passed on as stored: no parsing, no check of its form.
    writeTextFile(first, " not-an-id ");
    EXPECT_EQ(platform::readMachineIdentifier({first, second}).value, " not-an-id ");
    EXPECT_EQ(platform::readMachineIdentifier({missing, dir.path()}).value, QString());
    EXPECT_EQ(platform::readMachineIdentifier({}).value, QString());
}

TEST(MachineId, TriesTheSystemFilesInOrder) {
    EXPECT_EQ(platform::machineIdFiles(),
              QStringList({"/etc/machine-id", "/var/lib/dbus/machine-id"}));
}
