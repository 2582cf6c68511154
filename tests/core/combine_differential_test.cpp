#include "support/combinetesting.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A long attribute value hands the rest of its file over to libxml2's push parser. What the
// export writes and reports stays the same: the namespaces and white space rules in scope,
// the content after it, and wherever the file ends early or breaks after it.
TEST(CombineDifferential, LongAttributeValuesAgreeWithTheTreeCombine) {
    // Past the megabyte where the push parser takes over.
    const std::string value(1'300'000, 'v');
    const std::string cdata(1000, 'c');
    const std::string nested =
        "<?xml version=\"1.0\"?>\n<p:r xmlns:p=\"urn:p\" xmlns=\"urn:d&amp;1\"\n"
        "     xmlns:t=\"a&lt;b&#9;c&quot;d&#10;&#13;e&#38;f\">\n"
        " <a xml:space=\"preserve\">\n  <q:b xmlns:q=\"urn:q\" x=\"1\"\n     long=\"" +
        value + "\" y='2'>\n   text  <p:c q:at=\"a&lt;b\"/> <![CDATA[" + cdata +
        "]]> <!-- note --> <?pi data?>\n   <d t:u='1' long=\"" + value +
        "\"/>\n  </q:b>\n </a>\n <p:e xmlns:p=\"urn:other\"/>\n</p:r>\n";
    const auto cutAfter = [&](const std::string& marker, std::size_t extra = 0) {
        return nested.substr(0, nested.find(marker) + marker.size() + extra);
    };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = nested;
        changed.replace(changed.rfind(from), from.size(), to);
        return changed;
    };
    const std::vector<std::string> variants = {
        nested,
        "<r long=\"" + value + "\"><x/>tail</r>",
        "<r a='1' long=\"" + value + "\" b='2'/>",
        cutAfter("long=\"", 1'500'000),
        cutAfter("y='2'"),
        cutAfter("y='2'>"),
        cutAfter("text "),
        cutAfter("<![CDATA[", 500),
        cutAfter("<!-- no"),
        cutAfter("<?pi"),
        cutAfter("</q:b"),
        cutAfter("</a>"),
        replaced("</q:b>", "</q:x>"),
        replaced("</q:b>", "</q:b x>"),
        replaced("<p:c ", "<z:c "),
        replaced("<p:c ", "<p:c\x16"),
        replaced(" y='2'", " y='2' x='3'"),
        replaced("<!-- note -->", std::string("<!-- no\0te -->", 14)),
        replaced("<!-- note -->", "<!NOTE note>"),
    };
    QTemporaryDir dir;
    const QString base = dir.filePath("base.xml");
    const QString file = dir.filePath("long.xml");
    writeFileBytes(base, "<p:r xmlns:p=\"urn:p\"><p:a/></p:r>");
    for (std::size_t i = 0; i < variants.size(); ++i) {
        writeFileBytes(file, variants[i]);
        EXPECT_EQ(compareWithDom({file}, dir.filePath("out.xml")), "") << "variant " << i;
        EXPECT_EQ(compareWithDom({base, file}, dir.filePath("out.xml")), "") << "variant " << i;
    }
}

// The pull parser holds a little more than it has read when it is left: a value that ends in
// those bytes must reach the handlers once, from the push parser alone.
TEST(CombineDifferential, LongValuesEndingAtTheHandOverAgreeWithTheTreeCombine) {
    QTemporaryDir dir;
    const QString base = dir.filePath("base.xml");
    const QString file = dir.filePath("long.xml");
    writeFileBytes(base, "<r><a/></r>");
    // The hand-over comes a little past the first megabyte of the file; some of these values
    // end in what the pull parser holds there.
    for (std::size_t size = 1'048'000; size < 1'053'000; size += 499) {
        writeFileBytes(file, "<r xmlns:p=\"urn:p\"><p:e a=\"" + std::string(size, 'v') +
                                 "\"/><f/>\n</r>");
        EXPECT_EQ(compareWithDom({base, file}, dir.filePath("out.xml")), "") << size;
    }
    // A '<' in the value where the pull parser stands when it is left ends the value there:
    // the tag is still the one that began before it.
    const std::string head = "<r xmlns:p=\"urn:p\"><p:e a=\"";
    for (std::size_t at = 1'052'320; at < 1'052'335; ++at) {
        std::string text = head + std::string(1'300'000, 'v') + "\"/><f/>\n</r>";
        text[at] = '<';
        writeFileBytes(file, text);
        EXPECT_EQ(compareWithDom({base, file}, dir.filePath("out.xml")), "") << at;
    }
}

} // namespace
