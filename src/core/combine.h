#pragma once

#include "core/xmldocument.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// What the combine has to tell, as events with their file and reason. The front ends choose
// the words: the window shows message boxes, the command-line companion prints lines.
class CombineReporter {
public:
    virtual ~CombineReporter() = default;
    // A further file whose root element has another name than the first file's: it is skipped.
    virtual void skipped(const QString& file) = 0;
    // A further file that cannot be loaded: it is reported and nothing will be written.
    virtual void failedToLoad(const QString& file, const xml::LoadError& error) = 0;
    // The combined document was written to the output.
    virtual void saved(const QString& output) = 0;
    // The work stopped on request while reading file; nothing was written.
    virtual void interrupted(const QString& file) { (void)file; }
    // Progress while reading and after each input file.
    virtual void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) {
        (void)filesDone;
        (void)filesTotal;
        (void)bytesRead;
    }
    // Asked at every read; true stops the work, which then reports interrupted().
    virtual bool stopRequested() { return false; }
};

enum class CombineOutcome { Written, NotWritten, Interrupted };

// Where the combined document goes: a file, replaced only by the complete new document, or
// a stream already open (standard output), written only after the whole combine succeeded.
struct CombineTarget {
    CombineTarget(const QString& filePath) : path(filePath) {} // NOLINT: a path is a target
    static CombineTarget stream(int fd, const QString& name) {
        CombineTarget target(name);
        target.streamFd = fd;
        return target;
    }
    QString path;      // the file, or the stream's name in messages
    int streamFd = -1; // not owned
};

// How the combine runs: `threads` further files parsed at once, each into a part of its own
// that is appended in list order; 0 for as many as the machine has cores. One thread, or an
// input that is not an ordinary file (a pipe, standard input), runs the files one after the
// other on the calling thread. Both ways write the same bytes and report the same events.
struct CombineOptions {
    int threads = 0;
};

// Combines the inputs into the target: the first file's document with the root children of
// every further file whose root has the same qualified name appended in order. Each appended
// child keeps the namespace declarations in scope on its own file's root that the output
// does not already have, so prefixes used in values stay bound. Mismatches and failing
// further files are reported; any failing further file means nothing is written.
// Throws xml::LoadError when the first file cannot be loaded and AppError when the output
// cannot be saved (the errors the window shows in its default error display).
// An empty input list writes nothing and reports nothing: each front end has its own word.
// The reporter is called on the calling thread only.
CombineOutcome combineXmlFiles(const QStringList& inputs, const CombineTarget& target,
                               CombineReporter& reporter, const CombineOptions& options = {});

// The size of the inputs together, for showing progress: 0 when one of them is a pipe or a
// device, whose size is not known before it is read. A file that cannot be found counts 0.
std::uint64_t combinedInputSize(const QStringList& inputs);
