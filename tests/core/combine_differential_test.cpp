#include "support/combinetesting.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The streamed export against the plain tree combine: the same messages, the same errors
// and documents that read back the same, on the fixtures and on the fuzz corpus.
namespace {

QStringList fixtures() {
    QStringList files;
    const QDir dir(QStringLiteral(BRINDLEAF_FIXTURES_DIR "/combine"));
    for (const QString& name : dir.entryList({"*.xml"}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

TEST(CombineDifferential, FixturesInEveryPairingAgreeWithTheTreeCombine) {
    const QStringList files = fixtures();
    ASSERT_GE(files.size(), 5);
    QTemporaryDir out;
    const QString output = out.filePath("out.xml");
    for (const QString& base : files) {
        std::vector<QStringList> lists = {{base}, {base, base}};
        for (const QString& other : files)
            lists.push_back({base, other});
        QStringList all = files;
        all.removeAll(base);
        all.prepend(base);
        lists.push_back(all);
        for (const QStringList& inputs : lists)
            EXPECT_EQ(compareWithDom(inputs, output), "") << inputs.join(", ").toStdString();
    }
}

TEST(CombineDifferential, FuzzCorpusAgreesWithTheTreeCombine) {
    const QDir corpus(QStringLiteral(BRINDLEAF_SOURCE_DIR "/fuzz/corpus"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QTemporaryDir dir;
        const QStringList inputs = writeCorpusInputs(corpus.filePath(name), dir.path());
        EXPECT_EQ(compareWithDom(inputs, dir.filePath("out.xml")), "") << name.toStdString();
    }
}

} // namespace
