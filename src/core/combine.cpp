#include "core/combine.h"

#include "core/apperror.h"
#include "core/spoolfile.h"
#include "core/xmldocument.h"
#include "core/xmlwriter.h"

#include <string>
#include <utility>
#include <vector>

// The export streams: the base file is read first and written to a spool up to its root's
// last child; every further file's root children go to the spool as they are read, and a
// file that fails to load has its part cut off again. The root's end and the base's epilogue
// close the document, which replaces the target only when no file failed.
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

// Thrown from the progress report when the reporter asks to stop.
struct StopRequested {};

// Writes a file's content into the spool; white space that may yet be dropped is written
// too and cut off again when it is, so that no text is held in memory.
class SpoolingHandler : public xml::ContentHandler {
public:
    SpoolingHandler(SpoolFile& spool, XmlWriter& writer) : m_spool(spool), m_writer(writer) {}

    void tentativeText(std::string_view piece) override {
        if (!writing())
            return;
        if (!m_tentative) {
            m_tentative = true;
            m_tentativeStart = m_spool.size();
            m_tentativeMark = m_writer.mark();
        }
        m_writer.text(piece);
        m_spool.drainIfFull();
    }
    void tentativeTextEnded(bool kept) override {
        if (!m_tentative)
            return;
        m_tentative = false;
        if (!kept) {
            m_spool.truncate(m_tentativeStart);
            m_writer.rewind(m_tentativeMark);
        }
    }

protected:
    // Whether content at the current place goes to the output.
    virtual bool writing() const = 0;

    SpoolFile& m_spool;
    XmlWriter& m_writer;

private:
    bool m_tentative = false;
    std::uint64_t m_tentativeStart = 0;
    XmlWriter::Mark m_tentativeMark{};
};

// The base file: the XML declaration, the prolog's comments and processing instructions,
// the root's start and its children go to the spool; what follows the root is kept aside.
class BaseHandler : public SpoolingHandler {
public:
    using SpoolingHandler::SpoolingHandler;

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

protected:
    bool writing() const override { return true; }

private:
    std::string& topLevel() { return m_rootClosed ? m_epilogue : m_spool.buffer(); }

    std::string m_rootName;
    std::string m_epilogue;
    bool m_rootClosed = false;
};

// A further file: its root's name is compared with the base's, and its root's children
// go to the writer below the base's root when `write` is set and the names match. Each
// child written directly below the root carries the root's namespace declarations with it.
class FurtherHandler : public SpoolingHandler {
public:
    FurtherHandler(SpoolFile& spool, XmlWriter& writer, const std::string& rootName, bool write)
        : SpoolingHandler(spool, writer), m_rootName(rootName), m_write(write) {}

    bool mismatch() const { return m_mismatch; }

    void startDocument(const xml::Declaration&) override {}
    void startElement(const xml::Element& element) override {
        if (m_depth++ == 0) {
            m_mismatch = qualifiedName(element) != m_rootName;
            m_write = m_write && !m_mismatch;
            keepRootNamespaces(element);
        } else if (m_write) {
            m_writer.startElement(
                element, m_depth == 2 ? std::span<const xml::NamespaceDeclaration>(m_rootNamespaces)
                                      : std::span<const xml::NamespaceDeclaration>());
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
        if (writing()) {
            m_writer.comment(content);
            m_spool.drainIfFull();
        }
    }
    void processingInstruction(std::string_view target, std::string_view data) override {
        if (writing()) {
            m_writer.processingInstruction(target, data);
            m_spool.drainIfFull();
        }
    }

protected:
    bool writing() const override { return m_write && m_depth > 0; }

private:
    // The declarations on the root are all that is in scope there besides "xml"; the views
    // the parser handed over live only for its call, so they are copied.
    void keepRootNamespaces(const xml::Element& root) {
        if (!m_write)
            return;
        for (const auto& ns : root.namespaces) {
            m_rootNamespaceText.emplace_back(ns.prefix, ns.uri);
        }
        for (const auto& [prefix, uri] : m_rootNamespaceText)
            m_rootNamespaces.push_back({prefix, uri});
    }

    const std::string& m_rootName;
    bool m_write;
    int m_depth = 0;
    bool m_mismatch = false;
    std::vector<std::pair<std::string, std::string>> m_rootNamespaceText;
    std::vector<xml::NamespaceDeclaration> m_rootNamespaces;
};

} // namespace

CombineOutcome combineXmlFiles(const QStringList& inputs, const CombineTarget& target,
                               CombineReporter& reporter) {
    if (inputs.isEmpty())
        return CombineOutcome::NotWritten;
    const int total = static_cast<int>(inputs.size());
    std::uint64_t bytesBefore = 0;
    int filesDone = 0;
    const xml::ReadProgress progress = [&](std::uint64_t bytes) {
        if (reporter.stopRequested())
            throw StopRequested{};
        reporter.progress(filesDone, total, bytesBefore + bytes);
    };
    const auto fileDone = [&](std::uint64_t bytes) {
        bytesBefore += bytes;
        ++filesDone;
        reporter.progress(filesDone, total, bytesBefore);
    };

    // A spool that cannot be created keeps its error for the end: the files are still
    // loaded and reported first, as they would be before any save.
    SpoolFile spool =
        target.streamFd >= 0 ? SpoolFile(target.streamFd, target.path) : SpoolFile(target.path);
    XmlWriter writer(spool.buffer(), [&spool] { spool.drainIfFull(); });
    int current = 0;
    try {
        BaseHandler base(spool, writer);
        fileDone(xml::parseFile(inputs.first(), base, progress));

        bool failed = false;
        for (current = 1; current < total; ++current) {
            const std::uint64_t start = spool.size();
            const XmlWriter::Mark mark = writer.mark();
            FurtherHandler further(spool, writer, base.rootName(), !failed);
            try {
                fileDone(xml::parseFile(inputs.at(current), further, progress));
            } catch (const xml::LoadError& error) {
                failed = true;
                spool.truncate(start);
                writer.rewind(mark);
                reporter.failedToLoad(inputs.at(current), error);
                continue;
            }
            if (further.mismatch())
                reporter.skipped(inputs.at(current));
        }
        if (failed)
            return CombineOutcome::NotWritten;

        writer.endElement();
        spool.buffer().push_back('\n');
        spool.buffer().append(base.epilogue());
        spool.commit();
    } catch (const StopRequested&) {
        // The spool removes its temporary file on the way out.
        reporter.interrupted(inputs.at(current));
        return CombineOutcome::Interrupted;
    }
    reporter.saved(target.path);
    return CombineOutcome::Written;
}
