#include "platform/linux/elfsection.h"

#include "platform/filedescriptor.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Reads exactly `size` bytes at `offset`, or returns false with errno set.
bool readAt(int fd, void* buffer, size_t size, off_t offset) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, out, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOEXEC; // a truncated file is not a usable executable
            return false;
        }
        out += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

// Both ELF classes share the layout of the fields used here; only the widths differ.
template <typename Ehdr, typename Shdr>
ElfSection findSection(int fd, off_t fileSize, const QByteArray& name) {
    Ehdr header{};
    if (!readAt(fd, &header, sizeof header, 0))
        return {{}, errno};
    if (header.e_shentsize != sizeof(Shdr) || header.e_shoff == 0)
        return {{}, header.e_shoff == 0 ? ENODATA : ENOEXEC};

    auto inFile = [fileSize](auto offset, auto size) {
        return static_cast<unsigned long long>(offset) <=
                   static_cast<unsigned long long>(fileSize) &&
               static_cast<unsigned long long>(size) <= static_cast<unsigned long long>(fileSize) -
                                                            static_cast<unsigned long long>(offset);
    };

    // Extended numbering keeps the real counts in the first section header.
    Shdr first{};
    if (!inFile(header.e_shoff, sizeof(Shdr)) ||
        !readAt(fd, &first, sizeof first, static_cast<off_t>(header.e_shoff)))
        return {{}, ENOEXEC};
    const unsigned long long count = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const unsigned long long namesIndex =
        header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
    if (count == 0 || namesIndex >= count || count > static_cast<unsigned long long>(fileSize) ||
        !inFile(header.e_shoff, count * sizeof(Shdr)))
        return {{}, ENOEXEC};

    auto sectionHeader = [&](unsigned long long index, Shdr& out) {
        return readAt(fd, &out, sizeof out,
                      static_cast<off_t>(header.e_shoff + index * sizeof(Shdr)));
    };
    Shdr namesHeader{};
    if (!sectionHeader(namesIndex, namesHeader) ||
        !inFile(namesHeader.sh_offset, namesHeader.sh_size))
        return {{}, ENOEXEC};
    QByteArray names(static_cast<qsizetype>(namesHeader.sh_size), Qt::Uninitialized);
    if (!readAt(fd, names.data(), static_cast<size_t>(names.size()),
                static_cast<off_t>(namesHeader.sh_offset)))
        return {{}, errno};

    for (unsigned long long i = 1; i < count; ++i) {
        Shdr section{};
        if (!sectionHeader(i, section))
            return {{}, errno};
        if (section.sh_name >= static_cast<unsigned long long>(names.size()))
            continue;
        const char* sectionNameText = names.constData() + section.sh_name;
        const size_t room = static_cast<size_t>(names.size()) - section.sh_name;
        if (::strnlen(sectionNameText, room) != static_cast<size_t>(name.size()) ||
            std::memcmp(sectionNameText, name.constData(), static_cast<size_t>(name.size())) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || !inFile(section.sh_offset, section.sh_size))
            return {{}, ENOEXEC};
        QByteArray data(static_cast<qsizetype>(section.sh_size), Qt::Uninitialized);
        if (!readAt(fd, data.data(), static_cast<size_t>(data.size()),
                    static_cast<off_t>(section.sh_offset)))
            return {{}, errno};
        return {data, 0};
    }
    return {{}, ENODATA};
}

} // namespace

ElfSection readElfSection(const QString& path, const QByteArray& sectionName) {
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return {{}, errno};
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return {{}, errno};
    if (!S_ISREG(status.st_mode))
        return {{}, S_ISDIR(status.st_mode) ? EISDIR : ENOEXEC};

    unsigned char ident[EI_NIDENT] = {};
    if (!readAt(fd.get(), ident, sizeof ident, 0) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return {{}, ENOEXEC};
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr unsigned char nativeData = ELFDATA2LSB;
#else
    constexpr unsigned char nativeData = ELFDATA2MSB;
#endif
    if (ident[EI_DATA] != nativeData)
        return {{}, ENOEXEC};
    switch (ident[EI_CLASS]) {
    case ELFCLASS64:
        return findSection<Elf64_Ehdr, Elf64_Shdr>(fd.get(), status.st_size, sectionName);
    case ELFCLASS32:
        return findSection<Elf32_Ehdr, Elf32_Shdr>(fd.get(), status.st_size, sectionName);
    default:
        return {{}, ENOEXEC};
    }
}

} // namespace platform
