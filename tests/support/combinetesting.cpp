#include "support/combinetesting.h"

#include "core/apperror.h"
#include "core/messageflags.h"
#include "core/translate.h"
#include "core/xmldocument.h"

#include <QFile>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <stdexcept>

std::ostream& operator<<(std::ostream& out, const ReportedMessage& message) {
    return out << "{" << message.text.toStdString() << " | " << message.caption.toStdString()
               << " | " << message.flags << "}";
}

namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string qualifiedName(const xmlNode* node) {
    std::string name;
    if (node->ns && node->ns->prefix) {
        name = reinterpret_cast<const char*>(node->ns->prefix);
        name += ':';
    }
    return name + reinterpret_cast<const char*>(node->name);
}

// libxml2 copies keep prefixed namespaces, but an element in no namespace appended under a
// default namespace needs xmlns="" to stay there; no copy call adds it.
void undeclareDefaultNamespace(xmlNode* top) {
    xmlNode* node = top;
    while (node) {
        if (node->type == XML_ELEMENT_NODE && node->ns == nullptr) {
            const xmlNs* inScope = xmlSearchNs(node->doc, node, nullptr);
            if (inScope && inScope->href && inScope->href[0] != '\0')
                xmlNewNs(node, BAD_CAST "", nullptr);
        }
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            continue;
        }
        while (node != top && node->next == nullptr)
            node = node->parent;
        node = node == top ? nullptr : node->next;
    }
}

void appendEscaped(std::string& out, const xmlChar* text) {
    for (const char* p = reinterpret_cast<const char*>(text); p && *p; ++p) {
        switch (*p) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += *p;
        }
    }
}

std::string str(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : "";
}

} // namespace

DomCombineResult domCombine(const QStringList& inputs, const QString& outputPath) {
    DomCombineResult result;
    const QString error = translate(QStringLiteral("ERROR"));
    if (inputs.isEmpty()) {
        result.messages.push_back({translate(QStringLiteral("No XML files added!")),
                                   translate(QStringLiteral("WARNING")), MB_ICONWARNING});
        return result;
    }
    xml::Document base;
    try {
        base = xml::loadDocument(inputs.first());
    } catch (const AppError& e) {
        result.error = e.message();
        return result;
    }
    xmlNode* const baseRoot = xmlDocGetRootElement(base.get());
    const std::string rootName = qualifiedName(baseRoot);
    bool failed = false;
    for (int i = 1; i < inputs.size(); ++i) {
        xml::Document current;
        try {
            current = xml::loadDocument(inputs.at(i));
        } catch (const AppError& e) {
            failed = true;
            result.messages.push_back(
                {fillPlaceholders(translate(QStringLiteral("Failed to load %s: %s")),
                                  {inputs.at(i), e.message()}),
                 error, MB_ICONERROR});
            continue;
        }
        const xmlNode* const root = xmlDocGetRootElement(current.get());
        if (qualifiedName(root) != rootName) {
            result.messages.push_back(
                {fillPlaceholders(translate(QStringLiteral("Root element mismatch in file: %s")),
                                  {inputs.at(i)}),
                 error, MB_ICONERROR});
            continue;
        }
        for (xmlNode* child = root->children; child; child = child->next) {
            xmlNode* copy = xmlDocCopyNode(child, base.get(), 1);
            if (!copy)
                throw std::runtime_error("copy failed");
            // xmlAddChild frees a text node that it merges into its neighbour.
            copy = xmlAddChild(baseRoot, copy);
            undeclareDefaultNamespace(copy);
        }
    }
    if (failed)
        return result;
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(base.get(), &bytes, &size, "UTF-8");
    result.document = std::string(reinterpret_cast<const char*>(bytes), size);
    xmlFree(bytes);
    result.messages.push_back({translate(QStringLiteral("Saved as file: ")) + outputPath,
                               translate(QStringLiteral("SUCCESS")), MB_ICONINFORMATION});
    return result;
}

std::string describeXml(const std::string& bytes) {
    const std::unique_ptr<xmlDoc, DocFree> doc(
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) {
        const xmlError* error = xmlGetLastError();
        return "not well-formed: " + std::string(error && error->message ? error->message : "");
    }
    std::string out =
        "version " + str(doc->version) + " standalone " + std::to_string(doc->standalone) + "\n";
    int depth = 0;
    const xmlNode* node = doc->children;
    while (node) {
        out.append(static_cast<std::size_t>(2 * depth), ' ');
        switch (node->type) {
        case XML_ELEMENT_NODE:
            out += "element {" + (node->ns ? str(node->ns->href) : "") + "} " +
                   qualifiedName(node) + "\n";
            for (const xmlAttr* a = node->properties; a; a = a->next) {
                out.append(static_cast<std::size_t>(2 * depth + 2), ' ');
                xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
                out += "attribute {" + (a->ns ? str(a->ns->href) : "") + "} " +
                       (a->ns && a->ns->prefix ? str(a->ns->prefix) + ":" : "") + str(a->name) +
                       " = ";
                appendEscaped(out, value);
                out += "\n";
                xmlFree(value);
            }
            break;
        case XML_TEXT_NODE:
            out += "text ";
            appendEscaped(out, node->content);
            out += "\n";
            break;
        case XML_CDATA_SECTION_NODE:
            out += "cdata ";
            appendEscaped(out, node->content);
            out += "\n";
            break;
        case XML_COMMENT_NODE:
            out += "comment ";
            appendEscaped(out, node->content);
            out += "\n";
            break;
        case XML_PI_NODE:
            out += "pi " + str(node->name) + " ";
            appendEscaped(out, node->content);
            out += "\n";
            break;
        default:
            out += "node type " + std::to_string(node->type) + "\n";
        }
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            ++depth;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            --depth;
            if (node && node->type == XML_DOCUMENT_NODE)
                node = nullptr;
        }
        if (node)
            node = node->next;
    }
    return out;
}

std::string compareWithDom(const QStringList& inputs, const QString& outputPath) {
    QFile::remove(outputPath);
    RecordingReporter reporter;
    std::optional<QString> thrown;
    CombineOutcome outcome = CombineOutcome::NotWritten;
    try {
        outcome = combineXmlFiles(inputs, outputPath, reporter);
    } catch (const AppError& error) {
        thrown = error.message();
    }
    const DomCombineResult reference = domCombine(inputs, outputPath);
    std::string difference;
    if (thrown != reference.error)
        difference += "error: " + thrown.value_or("none").toStdString() + " / reference " +
                      reference.error.value_or("none").toStdString() + "\n";
    if (reporter.messages != reference.messages) {
        difference += "messages differ:\n";
        for (const auto& m : reporter.messages)
            difference += "  " + m.text.toStdString() + "\n";
        difference += " reference:\n";
        for (const auto& m : reference.messages)
            difference += "  " + m.text.toStdString() + "\n";
    }
    const bool written = outcome == CombineOutcome::Written;
    if (written != reference.document.has_value() || written != QFile::exists(outputPath))
        difference += "written: " + std::to_string(written) + " / reference " +
                      std::to_string(reference.document.has_value()) + "\n";
    if (written && reference.document) {
        const std::string mine = describeXml(readFileBytes(outputPath));
        const std::string theirs = describeXml(*reference.document);
        if (mine != theirs || mine.starts_with("not well-formed"))
            difference += "document:\n" + mine + "reference:\n" + theirs;
    }
    return difference;
}

std::vector<std::string> splitDocuments(const std::string& bytes) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = bytes.find('\x01', start);
        parts.push_back(bytes.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

void writeFileBytes(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
        throw std::runtime_error("cannot write test file " + path.toStdString());
}
