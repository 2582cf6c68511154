#pragma once

#include "core/xmldocument.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Serialises XML content into a byte buffer (UTF-8), element by element, as a tree save
// without formatting would: text escaped, CDATA, comments and processing instructions as
// they are, an element without children as an empty-element tag.
//
// Every element written keeps its namespaces whatever its ancestors in the output are:
// the declarations written on the element itself are kept, and a declaration is added
// wherever the element's or an attribute's prefix is not bound to its namespace in the
// output (xmlns="" for an element in no namespace under a default namespace).
//
// A very long text or attribute value is escaped a slice at a time, with `drain` called
// between slices so that the buffer can be passed on and the value is never held twice.
class XmlWriter {
public:
    explicit XmlWriter(std::string& out, std::function<void()> drain = {})
        : m_out(out), m_drain(std::move(drain)) {}
    // A writer that goes on inside the elements open in `context`, with their namespaces in
    // scope, writing into another buffer; the innermost start tag counts as closed there.
    XmlWriter(std::string& out, const XmlWriter& context, std::function<void()> drain = {})
        : m_out(out), m_drain(std::move(drain)), m_names(context.m_names),
          m_nameBytes(context.m_nameBytes), m_bindings(context.m_bindings) {}

    // `inherited` are declarations in scope where the element comes from: each one that the
    // element does not redeclare and the output does not already have is declared on it.
    void startElement(const xml::Element& element,
                      std::span<const xml::NamespaceDeclaration> inherited = {});
    void endElement();
    void text(std::string_view text);
    void cdata(std::string_view piece, bool first, bool last);
    void comment(std::string_view content);
    void processingInstruction(std::string_view target, std::string_view data);

    int depth() const { return static_cast<int>(m_names.size()); }
    // Ends the innermost start tag with ">" if it is still open, before content from elsewhere.
    void closeStartTag();

    // The writer's own state, to go back to after discarding output written since.
    struct Mark {
        bool startTagOpen;
        std::size_t names;
        std::size_t nameBytes;
        std::size_t bindings;
    };
    Mark mark() const {
        return {m_startTagOpen, m_names.size(), m_nameBytes.size(), m_bindings.size()};
    }
    void rewind(const Mark& mark);

    static void appendComment(std::string& out, std::string_view content);
    static void appendProcessingInstruction(std::string& out, std::string_view target,
                                            std::string_view data);

private:
    struct Binding {
        std::string prefix; // empty for the default namespace
        std::string uri;
        std::size_t depth;
    };

    // The namespace a prefix has in the output at this point; nullptr when unbound.
    const std::string* lookup(std::string_view prefix) const;
    void declare(std::string_view prefix, std::string_view uri);
    void appendEscaped(std::string_view text, bool attribute);

    std::string& m_out;
    std::function<void()> m_drain;
    bool m_startTagOpen = false;
    std::vector<std::size_t> m_names; // start of each open element's name in m_nameBytes
    std::string m_nameBytes;
    std::vector<Binding> m_bindings;
};
