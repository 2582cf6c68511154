#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Receives what the export has to tell the user. The window shows message boxes, the
// command-line companion prints lines.
class CombineReporter {
public:
    virtual ~CombineReporter() = default;
    // One message of the export: text, caption and message-box flags, all translated.
    virtual void message(const QString& text, const QString& caption, int flags) = 0;
    // Progress after each input file; the default ignores it.
    virtual void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) {
        (void)filesDone;
        (void)filesTotal;
        (void)bytesRead;
    }
};

enum class CombineOutcome { Written, NotWritten };

// Combines the inputs into outputPath: the first file's document with the root
// children of every further file whose root has the same qualified name appended in
// order. Mismatches and failing further files are reported; any failing further file
// means nothing is written. The output is the complete new document or untouched.
// Throws AppError when the first file cannot be loaded or the output cannot be
// saved (the errors the window shows in its default error display).
// An empty input list reports the "No XML files added!" warning and writes nothing.
CombineOutcome combineXmlFiles(const QStringList& inputs, const QString& outputPath,
                               CombineReporter& reporter);
