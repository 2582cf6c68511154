#include "support/combinetesting.h"

#include "core/apperror.h"
#include "core/xmldocument.h"
#include "support/treeload.h"

#include <QDir>
#include <QFile>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

std::ostream& operator<<(std::ostream& out, const ReportedMessage& message) {
    static const char* const kinds[] = {"skipped", "failed", "saved", "interrupted"};
    return out << "{" << kinds[message.kind] << " | " << message.file.toStdString() << " | "
               << message.error.toStdString() << "}";
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

// The rule for prefixes used inside values: the copy gets each declaration of its own
// file's root whose prefix it does not declare itself and whose namespace is not already the
// one in scope at its place in the base.
void declareRootNamespaces(xmlNode* copy, const xmlNode* root) {
    for (const xmlNs* ns = root->nsDef; ns; ns = ns->next) {
        const xmlChar* prefix = ns->prefix;
        if (prefix && xmlStrEqual(prefix, BAD_CAST "xml"))
            continue;
        bool own = false;
        for (const xmlNs* mine = copy->nsDef; mine; mine = mine->next)
            own = own || xmlStrEqual(mine->prefix, prefix);
        if (own)
            continue;
        const xmlNs* inScope = xmlSearchNs(copy->doc, copy->parent, prefix);
        const xmlChar* href = ns->href ? ns->href : BAD_CAST "";
        const xmlChar* scopeHref = inScope && inScope->href ? inScope->href : BAD_CAST "";
        if (!xmlStrEqual(href, scopeHref))
            xmlNewNs(copy, href, prefix);
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

// The bindings in scope on an element, by prefix ("" for the default namespace); an empty
// default namespace is left out, as it binds nothing.
// A namespace name as written. libxml2 parsing without entity substitution leaves a "&" in
// it as "&#38;".
std::string namespaceName(const xmlNs* ns, bool parsedWithoutSubstitution) {
    std::string name = ns ? str(ns->href) : "";
    if (parsedWithoutSubstitution)
        for (std::size_t at = name.find("&#38;"); at != std::string::npos;
             at = name.find("&#38;", at + 1))
            name.replace(at, 5, "&");
    return name;
}

std::map<std::string, std::string> namespacesInScope(const xmlNode* element,
                                                     bool parsedWithoutSubstitution) {
    std::map<std::string, std::string> bindings;
    for (const xmlNode* node = element; node && node->type == XML_ELEMENT_NODE; node = node->parent)
        for (const xmlNs* ns = node->nsDef; ns; ns = ns->next)
            bindings.try_emplace(str(ns->prefix), namespaceName(ns, parsedWithoutSubstitution));
    std::erase_if(bindings, [](const auto& binding) {
        return binding.first.empty() && binding.second.empty();
    });
    return bindings;
}

} // namespace

DomCombineResult domCombine(const QStringList& inputs, const QString& outputPath) {
    DomCombineResult result;
    if (inputs.isEmpty())
        return result;
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
            result.messages.push_back({ReportedMessage::Failed, inputs.at(i), e.message()});
            continue;
        }
        const xmlNode* const root = xmlDocGetRootElement(current.get());
        if (qualifiedName(root) != rootName) {
            result.messages.push_back({ReportedMessage::Skipped, inputs.at(i)});
            continue;
        }
        for (xmlNode* child = root->children; child; child = child->next) {
            xmlNode* copy = xmlDocCopyNode(child, base.get(), 1);
            if (!copy)
                throw std::runtime_error("copy failed");
            // xmlAddChild frees a text node that it merges into its neighbour.
            copy = xmlAddChild(baseRoot, copy);
            if (copy->type == XML_ELEMENT_NODE)
                declareRootNamespaces(copy, root);
            undeclareDefaultNamespace(copy);
        }
    }
    if (failed)
        return result;
    // Described from the tree: libxml2's own writer does not escape namespace names.
    result.description = describeDocument(base.get(), false);
    result.messages.push_back({ReportedMessage::Saved, outputPath});
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
    return describeDocument(doc.get(), true);
}

std::string describeDocument(const xmlDoc* doc, bool parsedWithoutSubstitution) {
    // "No declaration" and "a declaration without standalone" say the same.
    const int standalone = doc->standalone == -1 ? -2 : doc->standalone;
    std::string out =
        "version " + str(doc->version) + " standalone " + std::to_string(standalone) + "\n";
    int depth = 0;
    const xmlNode* node = doc->children;
    while (node) {
        out.append(static_cast<std::size_t>(2 * depth), ' ');
        switch (node->type) {
        case XML_ELEMENT_NODE:
            out += "element {" + namespaceName(node->ns, parsedWithoutSubstitution) + "} " +
                   qualifiedName(node) + "\n";
            for (const auto& [prefix, href] : namespacesInScope(node, parsedWithoutSubstitution)) {
                out.append(static_cast<std::size_t>(2 * depth + 2), ' ');
                out += "in scope " + prefix + "=";
                appendEscaped(out, BAD_CAST href.c_str());
                out += "\n";
            }
            for (const xmlAttr* a = node->properties; a; a = a->next) {
                out.append(static_cast<std::size_t>(2 * depth + 2), ' ');
                xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
                out += "attribute {" + namespaceName(a->ns, parsedWithoutSubstitution) + "} " +
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
        std::ostringstream listed;
        for (const auto& m : reporter.messages)
            listed << "  " << m << "\n";
        listed << " reference:\n";
        for (const auto& m : reference.messages)
            listed << "  " << m << "\n";
        difference += listed.str();
    }
    const bool written = outcome == CombineOutcome::Written;
    if (written != reference.description.has_value() || written != QFile::exists(outputPath))
        difference += "written: " + std::to_string(written) + " / reference " +
                      std::to_string(reference.description.has_value()) + "\n";
    if (written && reference.description) {
        const std::string mine = describeXml(readFileBytes(outputPath));
        const std::string& theirs = *reference.description;
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

QStringList writeCorpusInputs(const QString& corpusFile, const QString& folder) {
    QStringList inputs;
    const std::vector<std::string> parts = splitDocuments(readFileBytes(corpusFile));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        inputs << QDir(folder).filePath(QStringLiteral("%1.xml").arg(i));
        writeFileBytes(inputs.back(), parts[i]);
    }
    return inputs;
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
