#include "support/treeload.h"

#include "core/xmlload.h"

#include <libxml/SAX2.h>
#include <libxml/tree.h>

#include <deque>
#include <string>
#include <vector>

namespace xml {

void DocumentDeleter::operator()(_xmlDoc* doc) const {
    xmlFreeDoc(doc);
}

namespace {

const xmlChar* const xmlNamespaceUri = XML_XML_NAMESPACE;

// The tree load: libxml2's own tree builder, with the depth bound in front of it.
class TreeLoad : public Load {
public:
    using Load::Load;

    static xmlSAXHandler handlers() {
        xmlSAXHandler sax{};
        xmlSAXVersion(&sax, 2);
        sax.startElementNs = &TreeLoad::onStartElement;
        sax.endElementNs = &TreeLoad::onEndElement;
        return sax;
    }

private:
    static void onStartElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaulted, const xmlChar** attributes) {
        Load& load = Load::of(userData);
        if (load.skipEvent() || depthExceeded(load))
            return;
        // Namespace names decoded as the streamed load does; the tree builder does that only
        // for attribute values.
        std::deque<std::string> decoded;
        std::vector<const xmlChar*> names(namespaces, namespaces + 2 * namespaceCount);
        for (int i = 0; i < namespaceCount; ++i) {
            const std::string_view name = view(names[2 * i + 1]);
            if (decodeAmpersands(name, decoded).data() != name.data())
                names[2 * i + 1] = BAD_CAST decoded.back().c_str();
        }
        const std::string_view ownUri = view(uri);
        if (decodeAmpersands(ownUri, decoded).data() != ownUri.data())
            uri = BAD_CAST decoded.back().c_str();
        xmlSAX2StartElementNs(userData, localName, prefix, uri, namespaceCount, names.data(),
                              attributeCount, defaulted, attributes);
    }

    static void onEndElement(void* userData, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri) {
        Load& load = Load::of(userData);
        if (load.skipEvent())
            return;
        --load.depth;
        xmlSAX2EndElementNs(userData, localName, prefix, uri);
    }
};

bool preservesSpace(const xmlNode* element, bool inherited) {
    xmlChar* value = xmlGetNsProp(element, BAD_CAST "space", xmlNamespaceUri);
    if (value == nullptr)
        return inherited;
    const bool preserve = xmlStrEqual(value, BAD_CAST "preserve")
                              ? true
                              : (xmlStrEqual(value, BAD_CAST "default") ? false : inherited);
    xmlFree(value);
    return preserve;
}

// Drops the text nodes of white space only, walking the tree without recursion.
void dropBlankText(xmlNode* root) {
    std::vector<bool> preserve{preservesSpace(root, false)};
    xmlNode* node = root->children;
    xmlNode* parent = root;
    while (parent != nullptr) {
        if (node == nullptr) {
            // Done with this element's children: continue after it.
            preserve.pop_back();
            if (parent == root)
                break;
            node = parent->next;
            parent = parent->parent;
            continue;
        }
        xmlNode* const next = node->next;
        if (node->type == XML_TEXT_NODE && !preserve.back() && isBlank(view(node->content))) {
            xmlUnlinkNode(node);
            xmlFreeNode(node);
            node = next;
        } else if (node->type == XML_ELEMENT_NODE) {
            preserve.push_back(preservesSpace(node, preserve.back()));
            parent = node;
            node = node->children;
        } else {
            node = next;
        }
    }
}

} // namespace

Document loadDocument(const QString& path) {
    TreeLoad load(path);
    Document document;
    if (load.open()) {
        xmlSAXHandler sax = TreeLoad::handlers();
        const ParserContext ctxt = load.run(sax);
        document.reset(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        if (!load.failed() && (!document || document->intSubset != nullptr))
            load.record(QStringLiteral("A document type declaration is not allowed"), 0);
    }
    load.throwIfFailed();
    dropBlankText(xmlDocGetRootElement(document.get()));
    return document;
}

} // namespace xml
