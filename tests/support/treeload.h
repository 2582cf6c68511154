#pragma once

#include <QString>
#include <memory>

struct _xmlDoc;

// The document layer's load into a libxml2 tree: libxml2's own tree builder under the same
// rules as the streamed parse (the same reading, errors, depth bound and namespace names;
// white space dropped from the finished tree). The program streams and never builds a tree;
// this is the independent reference that the differential test compares the streamed
// combine with.
namespace xml {

struct DocumentDeleter {
    void operator()(_xmlDoc* doc) const;
};
using Document = std::unique_ptr<_xmlDoc, DocumentDeleter>;

// Throws LoadError as the streamed parse does.
Document loadDocument(const QString& path);

} // namespace xml
