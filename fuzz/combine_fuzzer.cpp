#include "support/combinetesting.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Splits the input into documents, combines them into a file with the streamed export and
// with the plain tree combine, and stops on any difference: a crash, a sanitizer report,
// output that does not read back, or messages, errors or documents that differ.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir(QStringLiteral("/dev/shm/brindleaf-fuzz-XXXXXX"));
    std::vector<std::string> parts =
        splitDocuments(std::string(reinterpret_cast<const char*>(data), size));
    if (parts.size() > 8)
        parts.resize(8);
    QStringList inputs;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        inputs << dir.filePath(QStringLiteral("%1.xml").arg(i));
        writeFileBytes(inputs.back(), parts[i]);
    }
    const std::string difference = compareWithDom(inputs, dir.filePath(QStringLiteral("out.xml")));
    if (!difference.empty()) {
        std::fputs(difference.c_str(), stderr);
        std::abort();
    }
    return 0;
}
