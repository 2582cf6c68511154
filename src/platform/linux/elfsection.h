#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The contents of one named section of an ELF file, or the errno value that explains
// why there is none: ENODATA when the file has no such section, ENOEXEC when it is
// not an ELF file of this machine's byte order, or the error of opening or reading it.
struct ElfSection {
    QByteArray data;
    int error = 0;
};

ElfSection readElfSection(const QString& path, const QByteArray& sectionName);

} // namespace platform
