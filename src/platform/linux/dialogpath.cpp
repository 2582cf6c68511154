#include "platform/dialogpath.h"

#include "platform/nativepath.h"

#include <QFile>
#include <QStringList>
#include <dirent.h>
#include <memory>

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The one entry of `folder` that the dialog shows as `shown`, as its bytes; empty when there
// is none or more than one.
QByteArray entryShownAs(const QByteArray& folder, const QString& shown) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.constData()));
    if (!dir)
        return {};
    QByteArray found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (QFile::decodeName(name) != shown)
            continue;
        if (!found.isEmpty())
            return {};
        found = name;
    }
    return found;
}

} // namespace

QString systemPathOfDialogPath(const QString& path) {
    if (!path.contains(QChar::ReplacementCharacter))
        return path;
    const QStringList parts = path.split(QLatin1Char('/'));
    QByteArray resolved;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray part = nativepath::encode(parts.at(i));
        if (parts.at(i).contains(QChar::ReplacementCharacter)) {
            // The first part of an absolute path is empty: it is never looked up.
            const QByteArray folder = i == 0               ? QByteArray(".")
                                      : resolved.isEmpty() ? QByteArray("/")
                                                           : resolved;
            const QByteArray entry = entryShownAs(folder, parts.at(i));
            if (!entry.isEmpty())
                part = entry;
        }
        if (i > 0)
            resolved.append('/');
        resolved.append(part);
    }
    return nativepath::decode(resolved);
}

} // namespace platform
