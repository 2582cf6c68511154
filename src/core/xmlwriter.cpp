#include "core/xmlwriter.h"

#include <algorithm>
#include <array>

namespace {

// Escapes for text and attribute values; zero means the byte stays as it is.
enum Escape : unsigned char { Keep, Amp, Lt, Gt, Quot, Lf, Cr, Tab };

constexpr std::array<std::string_view, 8> replacements = {"",       "&amp;", "&lt;",  "&gt;",
                                                          "&quot;", "&#10;", "&#13;", "&#9;"};

constexpr std::array<unsigned char, 256> makeTable(bool attribute) {
    std::array<unsigned char, 256> table{};
    table['&'] = Amp;
    table['<'] = Lt;
    table['>'] = Gt;
    table['\r'] = Cr;
    if (attribute) {
        table['"'] = Quot;
        table['\n'] = Lf;
        table['\t'] = Tab;
    }
    return table;
}

constexpr auto textTable = makeTable(false);
constexpr auto attributeTable = makeTable(true);

constexpr std::size_t escapeSlice = 1024 * 1024;

void appendEscapedTo(std::string& out, std::string_view text,
                     const std::array<unsigned char, 256>& table) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char escape = table[static_cast<unsigned char>(text[i])];
        if (escape == Keep)
            continue;
        out.append(text.substr(run, i - run));
        out.append(replacements[escape]);
        run = i + 1;
    }
    out.append(text.substr(run));
}

void appendName(std::string& out, std::string_view prefix, std::string_view localName) {
    if (!prefix.empty()) {
        out.append(prefix);
        out.push_back(':');
    }
    out.append(localName);
}

void appendDeclaration(std::string& out, std::string_view prefix, std::string_view uri) {
    out.append(prefix.empty() ? " xmlns" : " xmlns:");
    out.append(prefix);
    out.append("=\"");
    appendEscapedTo(out, uri, attributeTable);
    out.push_back('"');
}

} // namespace

void XmlWriter::appendEscaped(std::string_view text, bool attribute) {
    const auto& table = attribute ? attributeTable : textTable;
    while (text.size() > escapeSlice && m_drain) {
        appendEscapedTo(m_out, text.substr(0, escapeSlice), table);
        text.remove_prefix(escapeSlice);
        m_drain();
    }
    appendEscapedTo(m_out, text, table);
}

const std::string* XmlWriter::lookup(std::string_view prefix) const {
    for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it) {
        if (it->prefix == prefix)
            return &it->uri;
    }
    return nullptr;
}

void XmlWriter::declare(std::string_view prefix, std::string_view uri) {
    appendDeclaration(m_out, prefix, uri);
    m_bindings.push_back({std::string(prefix), std::string(uri), m_names.size()});
}

void XmlWriter::closeStartTag() {
    if (m_startTagOpen) {
        m_out.push_back('>');
        m_startTagOpen = false;
    }
}

void XmlWriter::startElement(const xml::Element& element,
                             std::span<const xml::NamespaceDeclaration> inherited) {
    closeStartTag();
    m_out.push_back('<');
    const std::size_t nameStart = m_nameBytes.size();
    appendName(m_nameBytes, element.prefix, element.localName);
    m_out.append(std::string_view(m_nameBytes).substr(nameStart));
    m_names.push_back(nameStart);

    for (const auto& ns : element.namespaces)
        declare(ns.prefix, ns.uri);
    for (const auto& ns : inherited) {
        if (ns.prefix == "xml")
            continue;
        const auto redeclared = [&](const xml::NamespaceDeclaration& own) {
            return own.prefix == ns.prefix;
        };
        if (std::any_of(element.namespaces.begin(), element.namespaces.end(), redeclared))
            continue;
        // An unbound default namespace is the same as xmlns="".
        const std::string* inScope = lookup(ns.prefix);
        if (inScope ? *inScope != ns.uri : !ns.uri.empty())
            declare(ns.prefix, ns.uri);
    }
    // The element's own namespace: an unbound default namespace means no namespace.
    const std::string* bound = lookup(element.prefix);
    if (element.prefix.empty() ? (bound ? *bound != element.uri : !element.uri.empty())
                               : (element.prefix != "xml" && (!bound || *bound != element.uri)))
        declare(element.prefix, element.uri);
    for (const auto& attribute : element.attributes) {
        if (attribute.prefix.empty() || attribute.prefix == "xml")
            continue;
        const std::string* attributeBound = lookup(attribute.prefix);
        if (!attributeBound || *attributeBound != attribute.uri)
            declare(attribute.prefix, attribute.uri);
    }
    for (const auto& attribute : element.attributes) {
        m_out.push_back(' ');
        appendName(m_out, attribute.prefix, attribute.localName);
        m_out.append("=\"");
        appendEscaped(attribute.value, true);
        m_out.push_back('"');
    }
    m_startTagOpen = true;
}

void XmlWriter::endElement() {
    const std::size_t nameStart = m_names.back();
    if (m_startTagOpen) {
        m_out.append("/>");
        m_startTagOpen = false;
    } else {
        m_out.append("</");
        m_out.append(std::string_view(m_nameBytes).substr(nameStart));
        m_out.push_back('>');
    }
    m_names.pop_back();
    m_nameBytes.resize(nameStart);
    while (!m_bindings.empty() && m_bindings.back().depth > m_names.size())
        m_bindings.pop_back();
}

void XmlWriter::text(std::string_view text) {
    closeStartTag();
    appendEscaped(text, false);
}

void XmlWriter::cdata(std::string_view piece, bool first, bool last) {
    if (first) {
        closeStartTag();
        m_out.append("<![CDATA[");
    }
    m_out.append(piece);
    if (last)
        m_out.append("]]>");
}

void XmlWriter::comment(std::string_view content) {
    closeStartTag();
    appendComment(m_out, content);
}

void XmlWriter::processingInstruction(std::string_view target, std::string_view data) {
    closeStartTag();
    appendProcessingInstruction(m_out, target, data);
}

void XmlWriter::rewind(const Mark& mark) {
    m_startTagOpen = mark.startTagOpen;
    m_names.resize(mark.names);
    m_nameBytes.resize(mark.nameBytes);
    m_bindings.resize(mark.bindings);
}

void XmlWriter::appendComment(std::string& out, std::string_view content) {
    out.append("<!--");
    out.append(content);
    out.append("-->");
}

void XmlWriter::appendProcessingInstruction(std::string& out, std::string_view target,
                                            std::string_view data) {
    out.append("<?");
    out.append(target);
    if (!data.empty()) {
        out.push_back(' ');
        out.append(data);
    }
    out.append("?>");
}
