#include "core/apperror.h"
#include "core/versioninfo.h"
#include "support/tempprogramfolder.h"

#include <gtest/gtest.h>

namespace {

QString sample(const char* name) {
    return QStringLiteral(BRINDLEAF_VERSION_SAMPLES_DIR "/") + QString::fromLatin1(name);
}

QString errorOf(const QString& path) {
    try {
        ReadExeVersionData(path);
    } catch (const AppError& e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(VersionInfo, TheProgramCarriesItsOwnIdentity) {
    const QString program = QStringLiteral(BRINDLEAF_BIN_DIR "/brindleaf");
    const TEXEVersionData data = ReadExeVersionData(program);
    EXPECT_EQ(data.CompanyName, "QUENLOW");
    EXPECT_EQ(data.ProductName, "Brindleaf");
    const ProductIdentity product = readProductIdentity(program);
    EXPECT_EQ(product.fullTitle, "QUENLOW - Brindleaf");
    EXPECT_EQ(product.versionText, "1.4");
}

TEST(VersionInfo, FieldsComeInTheirOrder) {
    const TEXEVersionData data = ReadExeVersionData(sample("sample-3-1-0-5"));
    const QStringList fields{data.CompanyName,      data.FileDescription, data.FileVersion,
                             data.InternalName,     data.LegalCopyright,  data.LegalTrademarks,
                             data.OriginalFileName, data.ProductName,     data.ProductVersion,
                             data.Comments,         data.PrivateBuild,    data.SpecialBuild};
    EXPECT_EQ(fields, (QStringList{"Company A", "Description B", "3.1.0.5 text", "Internal D",
                                   QStringLiteral(u"Copyright E ©"), "Trademarks F", "Original G",
                                   "Product H", "Product version I", "Comments J = with equals",
                                   "Private K", "Special L"}));
}

TEST(VersionInfo, IdentityOfSamplePrograms) {
    struct Case {
        const char* program;
        const char* fullTitle;
        const char* versionText;
    };
    const Case cases[] = {
        {"sample-3-1-0-5", "Company A - Product H", "3.1"},
        {"sample-10-0-0-0", "Ten Co - Ten Tool", "10.0"},
        // Texts that only a later translation entry carries are not seen.
        {"sample-first-entry-without-block", " - ", "2.0"},
        {"sample-without-fixed-version", "Loose Co - Loose Tool", "65535.65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const ProductIdentity product = readProductIdentity(sample(c.program));
        EXPECT_EQ(product.fullTitle, c.fullTitle);
        EXPECT_EQ(product.versionText, c.versionText);
    }
    const TEXEVersionData hidden = ReadExeVersionData(sample("sample-first-entry-without-block"));
    EXPECT_TRUE(hidden.CompanyName.isEmpty());
    EXPECT_TRUE(hidden.ProductName.isEmpty());
    EXPECT_TRUE(ReadExeVersionData(sample("sample-10-0-0-0")).FileDescription.isEmpty());
}

TEST(VersionInfo, VersionTextOfTheNumbers) {
    EXPECT_EQ(versionTextOf(0x00030001), "3.1");
    EXPECT_EQ(versionTextOf(0x000A0000), "10.0");
    EXPECT_EQ(versionTextOf(0xFFFFFFFF), "65535.65535");
    EXPECT_EQ(ReadExeFileVersionMS(sample("sample-3-1-0-5")), 0x00030001u);
    EXPECT_EQ(ReadExeFileVersionMS(sample("sample-without-version-data")), 0xFFFFFFFFu);
}

TEST(VersionInfo, FilesWithoutVersionDataRaiseTheSystemError) {
    TemporaryProgramFolder folder;
    const QString text = folder.writeFile(QStringLiteral("notes.txt"), "plain text\n");
    const QString truncated = folder.writeFile(QStringLiteral("truncated"), "\x7f"
                                                                            "ELF\x02\x01\x01");
    const QString missing = folder.filePath(QStringLiteral("missing"));
    const QString bare = sample("sample-without-version-data");
    const struct {
        QString path;
        const char* reason;
    } cases[] = {
        {bare, "No data available"},       {text, "Exec format error"},
        {truncated, "Exec format error"},  {missing, "No such file or directory"},
        {folder.path(), "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(errorOf(c.path), c.path + QStringLiteral(": ") + QLatin1String(c.reason));
        EXPECT_THROW(readProductIdentity(c.path), AppError);
        EXPECT_EQ(ReadExeFileVersionMS(c.path), 0xFFFFFFFFu);
    }
}
