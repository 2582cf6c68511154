#include "core/datafolder.h"
#include "support/tempconfighome.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

TEST(DataFolder, WritableProgramFolderIsUsedAndLeftClean) {
    const TemporaryConfigHome xdg;
    TemporaryProgramFolder program;
    // Given with or without its trailing separator, the folder comes back with one.
    for (QString folder : {program.path(), program.path().chopped(1)}) {
        EXPECT_EQ(identity::chooseDataFolder(folder, "QUENLOW", "Brindleaf"), program.path());
        EXPECT_TRUE(entries(program.path()).isEmpty()) << "no chk.tmp may be left behind";
    }
    EXPECT_TRUE(entries(xdg.dataHome()).isEmpty()) << "no per-user folder for a writable one";
}

TEST(DataFolder, ExistingProbeFileSendsDataToThePerUserFolder) {
    const TemporaryConfigHome xdg;
    TemporaryProgramFolder program;
    const QString probe = program.writeFile(QStringLiteral("chk.tmp"), "someone else's");
    EXPECT_EQ(identity::chooseDataFolder(program.path(), "QUENLOW", "Brindleaf"),
              xdg.dataHome() + "/QUENLOW/Brindleaf/");
    EXPECT_TRUE(QFileInfo(xdg.dataHome() + "/QUENLOW/Brindleaf").isDir());
    QFile kept(probe);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "someone else's") << "the existing file is not touched";
}

// Root writes into folders whose mode says read-only, so these cases use folders that
// refuse new files to everyone.
TEST(DataFolder, ProgramFolderThatIsAFileIsNotWritable) {
    const TemporaryConfigHome xdg;
    TemporaryProgramFolder program;
    const QString notAFolder = program.writeFile(QStringLiteral("plain"), "x");
    EXPECT_EQ(identity::chooseDataFolder(notAFolder + "/", "QUENLOW", "Brindleaf"),
              xdg.dataHome() + "/QUENLOW/Brindleaf/");
}

TEST(DataFolder, ReadOnlyProgramFolderUsesThePerUserFolder) {
    const TemporaryConfigHome xdg;
    TemporaryProgramFolder program;
    const ReadOnlyFolder readOnly(program.path());
    if (!readOnly.active())
        GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(identity::chooseDataFolder(program.path(), "QUENLOW", "Brindleaf"),
              xdg.dataHome() + "/QUENLOW/Brindleaf/");
    EXPECT_TRUE(QFileInfo(xdg.dataHome() + "/QUENLOW").isDir());
    EXPECT_TRUE(QFileInfo(xdg.dataHome() + "/QUENLOW/Brindleaf").isDir());
    EXPECT_TRUE(entries(program.path()).isEmpty());
}

TEST(DataFolder, PerUserFolderFollowsTheDataHome) {
    TemporaryProgramFolder program;
    const QString notAFolder = program.writeFile(QStringLiteral("plain"), "x") + "/";
    {
        // A data home that does not exist yet is created with the folders below it.
        const ScopedEnv dataHome("XDG_DATA_HOME", program.filePath("fresh/share"));
        EXPECT_EQ(identity::chooseDataFolder(notAFolder, "Co", "Tool"),
                  program.filePath("fresh/share/Co/Tool/"));
        EXPECT_TRUE(QFileInfo(program.filePath("fresh/share/Co/Tool")).isDir());
    }
    {
        // Without a usable data home, the default below the home folder.
        const ScopedEnv home("HOME", program.filePath("home"));
        const ScopedEnv relative("XDG_DATA_HOME", QStringLiteral("relative/share"));
        EXPECT_EQ(identity::chooseDataFolder(notAFolder, "Co", "Tool"),
                  program.filePath("home/.local/share/Co/Tool/"));
    }
}
