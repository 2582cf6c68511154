#include "core/combine.h"
#include "support/combinefixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

const std::string& decl = xmlDeclaration;

// The document written for a list of files, byte for byte.
struct WrittenCase {
    const char* name;
    std::vector<std::string> files;
    std::string expected;
    std::vector<int> mismatched = {}; // indexes of the files reported as mismatching
};

class CombineWritten : public CombineTest, public ::testing::WithParamInterface<WrittenCase> {};

TEST_P(CombineWritten, WritesTheCombinedDocument) {
    const WrittenCase& c = GetParam();
    QStringList inputs;
    for (std::size_t i = 0; i < c.files.size(); ++i)
        inputs << file(QStringLiteral("in%1.xml").arg(i), c.files[i]);
    const QString output = path("out.xml");
    const Outcome result = run(inputs, output);

    std::vector<ReportedMessage> expectedMessages;
    for (const int i : c.mismatched)
        expectedMessages.push_back(mismatch(inputs.at(i)));
    expectedMessages.push_back(saved(output));
    EXPECT_FALSE(result.thrown.has_value()) << result.thrown->toStdString();
    EXPECT_EQ(result.outcome, CombineOutcome::Written);
    EXPECT_EQ(result.messages, expectedMessages);
    EXPECT_EQ(readFileBytes(output), c.expected);

    // The plain tree combine gives the same document and the same messages.
    const DomCombineResult reference = domCombine(inputs, output);
    ASSERT_TRUE(reference.description.has_value());
    EXPECT_EQ(describeXml(readFileBytes(output)), *reference.description);
    EXPECT_EQ(result.messages, reference.messages);
}

const WrittenCase writtenCases[] = {
    {"OneFileIsSavedAsLoaded",
     {"<?xml version=\"1.0\"?>\n<!-- head -->\n<items a=\"1\">\n  <item>one</item>\n  <item/>\n"
      "</items>\n<?tail x?>\n"},
     decl + "<!-- head -->\n<items a=\"1\"><item>one</item><item/></items>\n<?tail x?>\n"},
    {"ChildrenFollowInListOrder",
     {"<items>\n <a/>\n <b/>\n</items>", "<items>\n <c/>\n <d/>\n</items>", "<items><e/></items>"},
     decl + "<items><a/><b/><c/><d/><e/></items>\n"},
    {"EmptyRootsTakeChildren",
     {"<items/>", "<items></items>", "<items><x/></items>"},
     decl + "<items><x/></items>\n"},
    {"MismatchedPrefixIsSkipped",
     {"<a:items xmlns:a=\"u\"><a:x/></a:items>", "<b:items xmlns:b=\"u\"><b:y/></b:items>",
      "<a:items xmlns:a=\"u\"><a:z/></a:items>"},
     decl + "<a:items xmlns:a=\"u\"><a:x/><a:z/></a:items>\n",
     {1}},
    {"RootNamesAreCaseSensitive",
     {"<items><x/></items>", "<Items><y/></Items>", "<ITEMS/>"},
     decl + "<items><x/></items>\n",
     {1, 2}},
    {"NamespaceUrisAreNotCompared",
     {"<items xmlns=\"urn:a\"><x/></items>", "<items xmlns=\"urn:b\"><y/></items>"},
     decl + "<items xmlns=\"urn:a\"><x/><y xmlns=\"urn:b\"/></items>\n"},
    {"EveryKindOfChildIsCopiedButNotTheProlog",
     {"<r><a/></r>",
      "<?xml version=\"1.0\"?>\n<!-- prolog -->\n<?pi prolog?>\n<r attr=\"no\">text<!-- c -->"
      "<?p d?><![CDATA[<raw> & ]]]]>mixed <b>bold</b> tail</r>\n<!-- after -->"},
     decl + "<r><a/>text<!-- c --><?p d?><![CDATA[<raw> & ]]]]>mixed <b>bold</b> tail</r>\n"},
    {"SameFileTwiceGivesItsChildrenTwice",
     {"<r><a>1</a></r>", "<r><a>1</a></r>"},
     decl + "<r><a>1</a><a>1</a></r>\n"},
    {"PrefixDeclaredOnTheFurtherRootTravelsWithTheChild",
     {"<r xmlns:p=\"urn:base\"><p:a/></r>",
      "<r xmlns:p=\"urn:other\" xmlns:q=\"urn:q\"><p:b q:at=\"1\"><p:c/></p:b><q:d/></r>"},
     decl + "<r xmlns:p=\"urn:base\"><p:a/><p:b xmlns:p=\"urn:other\" xmlns:q=\"urn:q\" "
            "q:at=\"1\"><p:c/></p:b><q:d xmlns:p=\"urn:other\" xmlns:q=\"urn:q\"/></r>\n"},
    // A QName inside a value needs its prefix bound where it ends up.
    {"PrefixesUsedInValuesStayBound",
     {"<r xmlns:xs=\"urn:xs\"><a/></r>",
      "<r xmlns:xs=\"urn:xs\" xmlns:xsi=\"urn:xsi\" xmlns:t=\"urn:t\">text<v "
      "xsi:type=\"xs:string\">t:x</v><w xmlns:t=\"urn:own\"><t:y/></w><!-- c --></r>"},
     decl + "<r xmlns:xs=\"urn:xs\"><a/>text<v xmlns:xsi=\"urn:xsi\" xmlns:t=\"urn:t\" "
            "xsi:type=\"xs:string\">t:x</v><w xmlns:t=\"urn:own\" xmlns:xsi=\"urn:xsi\"><t:y/>"
            "</w><!-- c --></r>\n"},
    {"NamespaceNamesRoundTripLikeAttributeValues",
     {"<r xmlns:p=\"http://h/q?a=1&amp;b=2\"><p:a/></r>",
      "<r xmlns:p=\"http://h/q?a=1&amp;b=2&amp;c=3\" xmlns:q=\"a&lt;b&gt;&quot;&#9;&#13;&#10;\">"
      "<p:b q:at=\"&amp;\"/></r>"},
     decl + "<r xmlns:p=\"http://h/q?a=1&amp;b=2\"><p:a/><p:b xmlns:p=\"http://h/q?a=1&amp;b=2&amp;"
            "c=3\" xmlns:q=\"a&lt;b&gt;&quot;&#9;&#13;&#10;\" q:at=\"&amp;\"/></r>\n"},
    {"UnqualifiedChildUnderADefaultNamespaceGetsAnEmptyOne",
     {"<r xmlns=\"urn:base\"><a/></r>", "<r><b><c/></b></r>", "<r xmlns=\"urn:base\"><d/></r>"},
     decl + "<r xmlns=\"urn:base\"><a/><b xmlns=\"\"><c/></b><d/></r>\n"},
    {"DefaultNamespaceOfTheFurtherRootIsDeclared",
     {"<r><a/></r>", "<r xmlns=\"urn:x\"><b/></r>"},
     decl + "<r><a/><b xmlns=\"urn:x\"/></r>\n"},
    {"OwnDeclarationsStayAsWritten",
     {"<r/>", "<r><a xmlns=\"urn:a\" xmlns:u=\"urn:unused\"><b/></a></r>"},
     decl + "<r><a xmlns=\"urn:a\" xmlns:u=\"urn:unused\"><b/></a></r>\n"},
    {"WhiteSpaceIsDroppedUnlessPreserved",
     {"<r>\n  <a>  </a>\n  <b xml:space=\"preserve\">  <c> </c> </b>\n  <d xml:space=\"preserve\">"
      "<e xml:space=\"default\"> </e></d>\n  <f> x </f>\n</r>"},
     decl + "<r><a/><b xml:space=\"preserve\">  <c> </c> </b><d xml:space=\"preserve\">"
            "<e xml:space=\"default\"/></d><f> x </f></r>\n"},
    {"PreserveOnTheFurtherRootKeepsItsWhiteSpace",
     {"<r/>", "<r xml:space=\"preserve\">\n  <a/>\n</r>"},
     decl + "<r>\n  <a/>\n</r>\n"},
    {"SpecialCharactersAreEscaped",
     {"<r/>",
      "<r><a t=\"&amp;&lt;&gt;&quot;'&#9;&#10;&#13;\">&amp; &lt; &gt; ]]&gt; &#13;</a></r>"},
     decl +
         "<r><a t=\"&amp;&lt;&gt;&quot;'&#9;&#10;&#13;\">&amp; &lt; &gt; ]]&gt; &#13;</a></r>\n"},
    {"OtherEncodingsAreWrittenAsUtf8",
     {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><r>\xe9</r>",
      std::string("\xff\xfe<\0r\0>\0\xe9\0<\0/\0r\0>\0", 18)},
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<r>\xc3\xa9\xc3\xa9</r>\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CombineWritten, ::testing::ValuesIn(writtenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CombineTest, EmptyListWritesNothing) {
    const Outcome result = run({}, path("out.xml"));
    EXPECT_EQ(result.outcome, CombineOutcome::NotWritten);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_FALSE(QFile::exists(path("out.xml")));
}

TEST_F(CombineTest, FailureInTheMiddleReportsLaterFilesAndWritesNothing) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<r>\n<b>\n</r>");
    const QString c = file("c.xml", "<x/>");
    const QString d = file("d.xml", "<r><d/>");
    const QString e = file("e.xml", "<r><e/></r>");
    const QString output = file("out.xml", "old");
    const Outcome result = run({a, b, c, d, e}, output);
    EXPECT_EQ(result.outcome, CombineOutcome::NotWritten);
    ASSERT_EQ(result.messages.size(), 3u);
    EXPECT_EQ(result.messages[0],
              (ReportedMessage{ReportedMessage::Failed, b,
                               "Opening and ending tag mismatch: b line 2 and r\r\nLine: "
                               "3\r\n</r>"}));
    EXPECT_EQ(result.messages[1], mismatch(c));
    EXPECT_EQ(result.messages[2].kind, ReportedMessage::Failed);
    EXPECT_EQ(result.messages[2].file, d);
    EXPECT_EQ(readFileBytes(output), "old");
    EXPECT_EQ(strayFiles({"a.xml", "b.xml", "c.xml", "d.xml", "e.xml", "out.xml"}), QStringList());
    EXPECT_EQ(domCombine({a, b, c, d, e}, output).messages, result.messages);
}

TEST_F(CombineTest, BrokenFirstFileIsThrownWithoutMessages) {
    const QString a = file("a.xml", "<r>\n  <a>\n</r>");
    const QString b = file("b.xml", "<r/>");
    const Outcome result = run({a, b}, path("out.xml"));
    ASSERT_TRUE(result.thrown.has_value());
    EXPECT_EQ(*result.thrown, "Opening and ending tag mismatch: a line 2 and r\r\nLine: 3\r\n</r>");
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(strayFiles({"a.xml", "b.xml"}), QStringList());
}

TEST_F(CombineTest, OutputMayBeOneOfTheInputs) {
    for (const int target : {0, 1}) {
        const QString a = file("a.xml", "<r><a/></r>");
        const QString b = file("b.xml", "<r><b/></r>");
        const QString output = target == 0 ? a : b;
        const Outcome result = run({a, b}, output);
        EXPECT_EQ(result.outcome, CombineOutcome::Written);
        EXPECT_EQ(result.messages, std::vector<ReportedMessage>{saved(output)});
        EXPECT_EQ(readFileBytes(output), decl + "<r><a/><b/></r>\n");
        EXPECT_EQ(strayFiles({"a.xml", "b.xml"}), QStringList());
    }
}

TEST_F(CombineTest, ProgressCountsFilesAndBytes) {
    const QString a = file("a.xml", "<r/>");
    const QString b = file("b.xml", "<r><b/></r>");
    run({a, b}, path("out.xml"));
    EXPECT_EQ(lastProgress.filesDone, 2);
    EXPECT_EQ(lastProgress.filesTotal, 2);
    EXPECT_EQ(lastProgress.bytesRead, 4u + 11u);
}

// A save that cannot happen: the files are still loaded and reported, then the error is
// thrown for the default error display; no temporary file stays behind.
TEST_F(CombineTest, SaveFailuresAreThrownAndLeaveNothingBehind) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString c = file("c.xml", "<c/>");
    QDir(dir.path()).mkpath("folder/inner");
    struct Case {
        QString output;
        QString reasonPart;
    };
    const Case cases[] = {
        {path("a.xml/out.xml"), "Not a directory"},
        {path("missing/out.xml"), "No such file or directory"},
        {path("folder"), "Is a directory"},
    };
    for (const Case& c2 : cases) {
        const Outcome result = run({a, c}, c2.output);
        ASSERT_TRUE(result.thrown.has_value()) << c2.output.toStdString();
        EXPECT_TRUE(result.thrown->contains(c2.reasonPart)) << result.thrown->toStdString();
        EXPECT_EQ(result.messages, std::vector<ReportedMessage>{mismatch(c)});
        EXPECT_EQ(strayFiles({"a.xml", "c.xml", "folder"}), QStringList());
        EXPECT_TRUE(QDir(path("folder/inner")).exists());
    }
}

TEST_F(CombineTest, FailedFurtherFileWinsOverASaveError) {
    const QString a = file("a.xml", "<r/>");
    const QString b = file("b.xml", "");
    const Outcome result = run({a, b}, path("missing/out.xml"));
    EXPECT_FALSE(result.thrown.has_value());
    EXPECT_EQ(result.messages,
              (std::vector<ReportedMessage>{
                  {ReportedMessage::Failed, b, "Document is empty\r\nLine: 1\r\n"}}));
}

// Bad files: as a further file each is reported and stops the output; as the first file
// its load error is thrown. The reason is the parser's; the format and line are checked.
struct BadCase {
    const char* name;
    std::string content; // empty name below means: create something else
    QString messageStart;
    int line;
};

class CombineBadInput : public CombineTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(CombineBadInput, IsReportedAndNothingIsWritten) {
    const BadCase& c = GetParam();
    const QString name = QString::fromLatin1(c.name);
    QString bad = path(name);
    if (name == "Missing")
        bad = path("does-not-exist.xml");
    else if (name == "Folder")
        QDir(dir.path()).mkdir(name);
    else if (name == "DeepNesting") {
        std::string deep;
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        for (int i = 0; i < 100000; ++i)
            deep += "</a>";
        file(name, deep);
    } else
        file(name, c.content);
    const QString good = file("good.xml", "<r><g/></r>");
    const QString output = file("out.xml", "old");

    const Outcome further = run({good, bad}, output);
    EXPECT_EQ(further.outcome, CombineOutcome::NotWritten);
    ASSERT_EQ(further.messages.size(), 1u);
    EXPECT_EQ(further.messages[0].kind, ReportedMessage::Failed);
    EXPECT_EQ(further.messages[0].file, bad);
    const QString error = further.messages[0].error;
    EXPECT_TRUE(error.startsWith(c.messageStart)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("\r\nLine: %1\r\n").arg(c.line)))
        << error.toStdString();

    const Outcome first = run({bad, good}, output);
    ASSERT_TRUE(first.thrown.has_value());
    EXPECT_EQ(*first.thrown, error);
    EXPECT_TRUE(first.messages.empty());
    EXPECT_EQ(readFileBytes(output), "old");
}

const BadCase badCases[] = {
    {"Missing", "", "No such file or directory", 0},
    {"Folder", "", "Is a directory", 0},
    {"Empty", "", "Document is empty", 1},
    {"Garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "", 1},
    {"Truncated", "<r>\n<a>text</a>\n<b", "", 3},
    {"TwoRoots", "<r/>\n<r/>", "Extra content at the end of the document", 2},
    {"UndeclaredPrefix", "<r>\n<p:a/></r>", "Namespace prefix p on a is not defined", 2},
    {"TextBeforeRoot", "hello", "Start tag expected, '<' not found", 1},
    {"UndefinedEntity", "<r>&nope;</r>", "Entity 'nope' not defined", 1},
    {"SimpleDoctype", "<!DOCTYPE r>\n<r/>", "A document type declaration is not allowed", 1},
    {"BillionLaughs",
     "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n <!ENTITY lol2 "
     "\"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n]>\n<lolz>&lol2;</lolz>",
     "A document type declaration is not allowed", 2},
    {"ExternalEntity", "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
     "A document type declaration is not allowed", 1},
    {"DeepNesting", "", "Elements are nested deeper than 256 levels", 1},
    {"BadUtf8", "<r>\xff\xfe</r>", "", 1},
    {"NulAfterTheRoot", std::string("<r/>\n\0junk", 10), "Char 0x0 out of allowed range", 2},
    {"NulInText", std::string("<r>\n<a>x\0y</a></r>", 17), "Char 0x0 out of allowed range", 2},
    {"NulInUtf16", std::string("\xff\xfe<\0r\0/\0>\0\n\0\0\0", 14), "Char 0x0 out of allowed range",
     2},
};

INSTANTIATE_TEST_SUITE_P(Cases, CombineBadInput, ::testing::ValuesIn(badCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The source line in a load error: the first 40 characters of the line, decoded.
TEST_F(CombineTest, LoadErrorQuotesTheStartOfTheLine) {
    struct Case {
        std::string content;
        QString expected;
    };
    const Case cases[] = {
        {"<r>\n  <a>0123456789012345678901234567890123456789xyz</b>\n</r>",
         "Opening and ending tag mismatch: a line 2 and b\r\nLine: 2\r\n"
         "  <a>01234567890123456789012345678901234"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<r>\r\n\xe9\xe8<a></r>",
         QStringLiteral(
             u"Opening and ending tag mismatch: a line 3 and r\r\nLine: 3\r\néè<a></r>")},
        {std::string("\xff\xfe<\0r\0>\0\n\0<\0/\0x\0>\0", 18),
         "Opening and ending tag mismatch: r line 1 and x\r\nLine: 2\r\n</x>"},
        {"\xef\xbb\xbf<r><a></r>", "Opening and ending tag mismatch: a line 1 and r\r\nLine: "
                                   "1\r\n<r><a></r>"},
    };
    for (const Case& c : cases) {
        const QString bad = file("bad.xml", c.content);
        const Outcome result = run({bad}, path("out.xml"));
        ASSERT_TRUE(result.thrown.has_value());
        EXPECT_EQ(*result.thrown, c.expected);
    }
}

// White space is not held in memory while it may yet be dropped, so a long stretch of it
// must still come out whole when text follows, and not at all when none does.
TEST_F(CombineTest, LongWhiteSpaceIsDroppedOrKeptWhole) {
    const std::string blank(3 * 1024 * 1024, ' ');
    const std::string lines = std::string(1024 * 1024, '\n') + "\t\r";
    const QString a = file("a.xml", "<r>" + blank + "<a>" + lines + "</a>" + blank + "</r>");
    const QString b = file("b.xml", "<r>" + blank + "x" + blank + "<b>" + lines + "</b></r>");
    const Outcome result = run({a, b}, path("out.xml"));
    ASSERT_EQ(result.outcome, CombineOutcome::Written);
    EXPECT_EQ(readFileBytes(path("out.xml")),
              decl + "<r><a/>" + blank + "x" + blank + "<b/></r>\n");
}

// The inputs' size for the progress shown: the sum of the ordinary files; a missing one
// counts nothing.
TEST_F(CombineTest, InputSizeSumsOrdinaryFiles) {
    const QString a = file("a.xml", "<r/>");
    const QString b = file("b.xml", "<r><b/></r>");
    EXPECT_EQ(combinedInputSize({a, b}), 15u);
    EXPECT_EQ(combinedInputSize({a, path("missing.xml"), b}), 15u);
}

TEST_F(CombineTest, LargeTextIsKeptWhole) {
    const std::string big(30 * 1024 * 1024, 'x');
    const QString a = file("a.xml", "<r/>");
    const QString b = file("b.xml", "<r><t>" + big + "</t><![CDATA[" + big + "]]></r>");
    const Outcome result = run({a, b}, path("out.xml"));
    ASSERT_EQ(result.outcome, CombineOutcome::Written);
    EXPECT_EQ(readFileBytes(path("out.xml")),
              decl + "<r><t>" + big + "</t><![CDATA[" + big + "]]></r>\n");
}

} // namespace
