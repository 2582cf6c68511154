#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace platform {

// The version data the build wrote into an executable, asked for with the paths of
// version-resource queries:
//   "\"                          the numeric file version as "a.b.c.d"
//   "\VarFileInfo\Translation"   the translation entries, eight hex digits each, joined by ","
//   "\StringFileInfo\<block>\<name>"   one text of a block
// Queries ignore case, as the system's own queries do.
class VersionData {
public:
    // Reads the data of the executable at `path`; error() tells when that failed.
    explicit VersionData(const QString& path);

    // The system's message, prefixed with the path, when the data could not be read; else empty.
    const QString& error() const { return m_error; }

    // The value of a query; nullopt when the data has none.
    std::optional<QString> query(const QString& queryPath) const;

    // The message the system gives for an executable without usable version data.
    QString noDataError() const;

private:
    QString m_path;
    QString m_error;
    QList<std::pair<QString, QString>> m_values; // in the order the build wrote them
};

} // namespace platform
