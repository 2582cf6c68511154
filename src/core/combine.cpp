#include "core/combine.h"

#include "core/apperror.h"
#include "core/messageflags.h"
#include "core/spoolfile.h"
#include "core/translate.h"
#include "core/xmldocument.h"
#include "core/xmlwriter.h"

#include <string>

// The export streams: the base file is read first and written to a spool beside the target
// up to its root's last child; every further file's root children go to the spool as they
// are read, and a file that fails to load has its part cut off again. The root's end and
// the base's epilogue close the document, which replaces the target only when no file failed.
namespace {

std::string qualifiedName(const xml::Element& element) {
    std::string name;
    if (!element.prefix.empty()) {
        name.append(element.prefix);
        name.push_back(':');
    }
    name.append(element.localName);
    return name;
}

// The base file: the XML declaration, the prolog's comments and processing instructions,
// the root's start and its children go to the spool; what follows the root is kept aside.
class BaseHandler : public xml::ContentHandler {
public:
    BaseHandler(SpoolFile& spool, XmlWriter& writer) : m_spool(spool), m_writer(writer) {}

    const std::string& rootName() const { return m_rootName; }
    const std::string& epilogue() const { return m_epilogue; }

    void startDocument(const xml::Declaration& declaration) override {
        // The parser hands over UTF-8 whatever the file's encoding, and so it is written.
        std::string& out = m_spool.buffer();
        out.append("<?xml version=\"");
        out.append(declaration.version);
        out.append("\" encoding=\"UTF-8\"");
        if (declaration.standalone >= 0)
            out.append(declaration.standalone ? " standalone=\"yes\"" : " standalone=\"no\"");
        out.append("?>\n");
    }
    void startElement(const xml::Element& element) override {
        if (m_writer.depth() == 0)
            m_rootName = qualifiedName(element);
        m_writer.startElement(element);
        m_spool.drainIfFull();
    }
    void endElement() override {
        // The root stays open for the further files' children.
        if (m_writer.depth() == 1) {
            m_rootClosed = true;
            return;
        }
        m_writer.endElement();
        m_spool.drainIfFull();
    }
    void text(std::string_view piece) override {
        m_writer.text(piece);
        m_spool.drainIfFull();
    }
    void cdata(std::string_view content) override {
        m_writer.cdata(content);
        m_spool.drainIfFull();
    }
    void comment(std::string_view content) override {
        if (m_writer.depth() > 0 && !m_rootClosed) {
            m_writer.comment(content);
            m_spool.drainIfFull();
        } else {
            XmlWriter::appendComment(topLevel(), content);
            topLevel().push_back('\n');
        }
    }
    void processingInstruction(std::string_view target, std::string_view data) override {
        if (m_writer.depth() > 0 && !m_rootClosed) {
            m_writer.processingInstruction(target, data);
            m_spool.drainIfFull();
        } else {
            XmlWriter::appendProcessingInstruction(topLevel(), target, data);
            topLevel().push_back('\n');
        }
    }

private:
    std::string& topLevel() { return m_rootClosed ? m_epilogue : m_spool.buffer(); }

    SpoolFile& m_spool;
    XmlWriter& m_writer;
    std::string m_rootName;
    std::string m_epilogue;
    bool m_rootClosed = false;
};

// A further file: its root's name is compared with the base's, and its root's children
// go to the writer below the base's root when `write` is set and the names match.
class FurtherHandler : public xml::ContentHandler {
public:
    FurtherHandler(SpoolFile& spool, XmlWriter& writer, const std::string& rootName, bool write)
        : m_spool(spool), m_writer(writer), m_rootName(rootName), m_write(write) {}

    bool mismatch() const { return m_mismatch; }

    void startDocument(const xml::Declaration&) override {}
    void startElement(const xml::Element& element) override {
        if (m_depth++ == 0) {
            m_mismatch = qualifiedName(element) != m_rootName;
            m_write = m_write && !m_mismatch;
        } else if (m_write) {
            m_writer.startElement(element);
            m_spool.drainIfFull();
        }
    }
    void endElement() override {
        if (--m_depth > 0 && m_write) {
            m_writer.endElement();
            m_spool.drainIfFull();
        }
    }
    void text(std::string_view piece) override {
        if (m_write) {
            m_writer.text(piece);
            m_spool.drainIfFull();
        }
    }
    void cdata(std::string_view content) override {
        if (m_write) {
            m_writer.cdata(content);
            m_spool.drainIfFull();
        }
    }
    // Outside the root (the prolog and epilogue) nothing is taken from a further file.
    void comment(std::string_view content) override {
        if (m_write && m_depth > 0) {
            m_writer.comment(content);
            m_spool.drainIfFull();
        }
    }
    void processingInstruction(std::string_view target, std::string_view data) override {
        if (m_write && m_depth > 0) {
            m_writer.processingInstruction(target, data);
            m_spool.drainIfFull();
        }
    }

private:
    SpoolFile& m_spool;
    XmlWriter& m_writer;
    const std::string& m_rootName;
    bool m_write;
    int m_depth = 0;
    bool m_mismatch = false;
};

} // namespace

CombineOutcome combineXmlFiles(const QStringList& inputs, const QString& outputPath,
                               CombineReporter& reporter) {
    if (inputs.isEmpty()) {
        reporter.message(translate(QStringLiteral("No XML files added!")),
                         translate(QStringLiteral("WARNING")), MB_ICONWARNING);
        return CombineOutcome::NotWritten;
    }
    const int total = static_cast<int>(inputs.size());
    std::uint64_t bytesBefore = 0;
    int filesDone = 0;
    const xml::ReadProgress progress = [&](std::uint64_t bytes) {
        reporter.progress(filesDone, total, bytesBefore + bytes);
    };
    const auto fileDone = [&](std::uint64_t bytes) {
        bytesBefore += bytes;
        ++filesDone;
        reporter.progress(filesDone, total, bytesBefore);
    };

    // A spool that cannot be created keeps its error for the end: the files are still
    // loaded and reported first, as they would be before any save.
    SpoolFile spool(outputPath);
    XmlWriter writer(spool.buffer());
    BaseHandler base(spool, writer);
    fileDone(xml::parseFile(inputs.first(), base, progress));

    bool failed = false;
    for (int i = 1; i < total; ++i) {
        const std::uint64_t start = spool.size();
        const XmlWriter::Mark mark = writer.mark();
        FurtherHandler further(spool, writer, base.rootName(), !failed);
        try {
            fileDone(xml::parseFile(inputs.at(i), further, progress));
        } catch (const AppError& error) {
            failed = true;
            spool.truncate(start);
            writer.rewind(mark);
            reporter.message(fillPlaceholders(translate(QStringLiteral("Failed to load %s: %s")),
                                              {inputs.at(i), error.message()}),
                             translate(QStringLiteral("ERROR")), MB_ICONERROR);
            continue;
        }
        if (further.mismatch()) {
            reporter.message(
                fillPlaceholders(translate(QStringLiteral("Root element mismatch in file: %s")),
                                 {inputs.at(i)}),
                translate(QStringLiteral("ERROR")), MB_ICONERROR);
        }
    }
    if (failed)
        return CombineOutcome::NotWritten;

    writer.endElement();
    spool.buffer().push_back('\n');
    spool.buffer().append(base.epilogue());
    spool.commit();
    reporter.message(translate(QStringLiteral("Saved as file: ")) + outputPath,
                     translate(QStringLiteral("SUCCESS")), MB_ICONINFORMATION);
    return CombineOutcome::Written;
}
