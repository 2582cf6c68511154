#include "core/combine.h"

#include "core/apperror.h"
#include "core/spoolfile.h"
#include "core/xmldocument.h"
#include "core/xmlwriter.h"
#include "platform/files.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The export streams: the base file is read first and written to a spool up to its root's
// last child; every further file's root children go to the spool as they are read, and a
// file that fails to load has its part cut off again. The root's end and the base's epilogue
// close the document, which replaces the target only when no file failed.
namespace {

std::string qualifiedName(const xml::Element& element) {
    std::string name;
    if (!element.prefix.empty()) {
        name.append(element.prefix);
        name.push_back(':');
    }
    name.append(element.localName);
    return name;
}

// Thrown from the progress report when the reporter asks to stop.
struct StopRequested {};

// Writes a file's content into the spool; white space that may yet be dropped is written
// too and cut off again when it is, so that no text is held in memory.
class SpoolingHandler : public xml::ContentHandler {
public:
    SpoolingHandler(SpoolFile& spool, XmlWriter& writer) : m_spool(spool), m_writer(writer) {}

    void tentativeText(std::string_view piece) override {
        if (!writing())
            return;
        if (!m_tentative) {
            m_tentative = true;
            m_tentativeStart = m_spool.size();
            m_tentativeMark = m_writer.mark();
        }
        m_writer.text(piece);
        m_spool.drainIfFull();
    }
    void tentativeTextEnded(bool kept) override {
        if (!m_tentative)
            return;
        m_tentative = false;
        if (!kept) {
            m_spool.truncate(m_tentativeStart);
            m_writer.rewind(m_tentativeMark);
        }
    }

protected:
    // Whether content at the current place goes to the output.
    virtual bool writing() const = 0;

    SpoolFile& m_spool;
    XmlWriter& m_writer;

private:
    bool m_tentative = false;
    std::uint64_t m_tentativeStart = 0;
    XmlWriter::Mark m_tentativeMark{};
};

// The base file: the XML declaration, the prolog's comments and processing instructions,
// the root's start and its children go to the spool; what follows the root is kept aside.
class BaseHandler : public SpoolingHandler {
public:
    using SpoolingHandler::SpoolingHandler;

    const std::string& rootName() const { return m_rootName; }
    const std::string& epilogue() const { return m_epilogue; }
    // Called once the root's start tag is written: from then on the root's name and the
    // writer's context inside it stay as they are.
    void onRootStarted(std::function<void()> call) { m_rootStarted = std::move(call); }

    void startDocument(const xml::Declaration& declaration) override {
        // The parser hands over UTF-8 whatever the file's encoding, and so it is written.
        std::string& out = m_spool.buffer();
        out.append("<?xml version=\"");
        out.append(declaration.version);
        out.append("\" encoding=\"UTF-8\"");
        if (declaration.standalone >= 0)
            out.append(declaration.standalone ? " standalone=\"yes\"" : " standalone=\"no\"");
        out.append("?>\n");
    }
    void startElement(const xml::Element& element) override {
        const bool root = m_writer.depth() == 0;
        if (root)
            m_rootName = qualifiedName(element);
        m_writer.startElement(element);
        m_spool.drainIfFull();
        if (root && m_rootStarted)
            m_rootStarted();
    }
    void endElement() override {
        // The root stays open for the further files' children.
        if (m_writer.depth() == 1) {
            m_rootClosed = true;
            return;
        }
        m_writer.endElement();
        m_spool.drainIfFull();
    }
    void text(std::string_view piece) override {
        m_writer.text(piece);
        m_spool.drainIfFull();
    }
    void cdata(std::string_view piece, bool first, bool last) override {
        m_writer.cdata(piece, first, last);
        m_spool.drainIfFull();
    }
    void comment(std::string_view content) override {
        if (m_writer.depth() > 0 && !m_rootClosed) {
            m_writer.comment(content);
            m_spool.drainIfFull();
        } else {
            XmlWriter::appendComment(topLevel(), content);
            topLevel().push_back('\n');
        }
    }
    void processingInstruction(std::string_view target, std::string_view data) override {
        if (m_writer.depth() > 0 && !m_rootClosed) {
            m_writer.processingInstruction(target, data);
            m_spool.drainIfFull();
        } else {
            XmlWriter::appendProcessingInstruction(topLevel(), target, data);
            topLevel().push_back('\n');
        }
    }

protected:
    bool writing() const override { return true; }

private:
    std::string& topLevel() { return m_rootClosed ? m_epilogue : m_spool.buffer(); }

    std::string m_rootName;
    std::string m_epilogue;
    bool m_rootClosed = false;
    std::function<void()> m_rootStarted;
};

// A further file: its root's name is compared with the base's, and its root's children
// go to the writer below the base's root when `write` is set and the names match. Each
// child written directly below the root carries the root's namespace declarations with it.
class FurtherHandler : public SpoolingHandler {
public:
    FurtherHandler(SpoolFile& spool, XmlWriter& writer, const std::string& rootName, bool write)
        : SpoolingHandler(spool, writer), m_rootName(rootName), m_write(write) {}

    bool mismatch() const { return m_mismatch; }

    void startDocument(const xml::Declaration&) override {}
    void startElement(const xml::Element& element) override {
        if (m_depth++ == 0) {
            m_mismatch = qualifiedName(element) != m_rootName;
            m_write = m_write && !m_mismatch;
            keepRootNamespaces(element);
        } else if (m_write) {
            m_writer.startElement(
                element, m_depth == 2 ? std::span<const xml::NamespaceDeclaration>(m_rootNamespaces)
                                      : std::span<const xml::NamespaceDeclaration>());
            m_spool.drainIfFull();
        }
    }
    void endElement() override {
        if (--m_depth > 0 && m_write) {
            m_writer.endElement();
            m_spool.drainIfFull();
        }
    }
    void text(std::string_view piece) override {
        if (m_write) {
            m_writer.text(piece);
            m_spool.drainIfFull();
        }
    }
    void cdata(std::string_view piece, bool first, bool last) override {
        if (m_write) {
            m_writer.cdata(piece, first, last);
            m_spool.drainIfFull();
        }
    }
    // Outside the root (the prolog and epilogue) nothing is taken from a further file.
    void comment(std::string_view content) override {
        if (writing()) {
            m_writer.comment(content);
            m_spool.drainIfFull();
        }
    }
    void processingInstruction(std::string_view target, std::string_view data) override {
        if (writing()) {
            m_writer.processingInstruction(target, data);
            m_spool.drainIfFull();
        }
    }

protected:
    bool writing() const override { return m_write && m_depth > 0; }

private:
    // The declarations on the root are all that is in scope there besides "xml"; the views
    // the parser handed over live only for its call, so they are copied.
    void keepRootNamespaces(const xml::Element& root) {
        if (!m_write)
            return;
        for (const auto& ns : root.namespaces) {
            m_rootNamespaceText.emplace_back(ns.prefix, ns.uri);
        }
        for (const auto& [prefix, uri] : m_rootNamespaceText)
            m_rootNamespaces.push_back({prefix, uri});
    }

    const std::string& m_rootName;
    bool m_write;
    int m_depth = 0;
    bool m_mismatch = false;
    std::vector<std::pair<std::string, std::string>> m_rootNamespaceText;
    std::vector<xml::NamespaceDeclaration> m_rootNamespaces;
};

} // namespace

namespace {

// A target that is a stream (a pipe or a device) takes the finished document through its
// open descriptor; anything else gets a spool beside it.
SpoolFile openSpool(const CombineTarget& target) {
    return target.streamFd >= 0 ? SpoolFile(target.streamFd, target.path) : SpoolFile(target.path);
}

// Closes the base's root, adds what followed it in the base file and puts the document in
// place.
void finishDocument(XmlWriter& writer, SpoolFile& spool, const BaseHandler& base) {
    writer.endElement();
    spool.buffer().push_back('\n');
    spool.buffer().append(base.epilogue());
    spool.commit();
}

// The files one after the other, all on the calling thread.
CombineOutcome combineSequentially(const QStringList& inputs, const CombineTarget& target,
                                   CombineReporter& reporter) {
    const int total = static_cast<int>(inputs.size());
    std::uint64_t bytesBefore = 0;
    int filesDone = 0;
    const xml::ReadProgress progress = [&](std::uint64_t bytes) {
        if (reporter.stopRequested())
            throw StopRequested{};
        reporter.progress(filesDone, total, bytesBefore + bytes);
    };
    const auto fileDone = [&](std::uint64_t bytes) {
        bytesBefore += bytes;
        ++filesDone;
        reporter.progress(filesDone, total, bytesBefore);
    };

    // A spool that cannot be created keeps its error for the end: the files are still
    // loaded and reported first, as they would be before any save.
    SpoolFile spool = openSpool(target);
    XmlWriter writer(spool.buffer(), [&spool] { spool.drainIfFull(); });
    int current = 0;
    try {
        BaseHandler base(spool, writer);
        fileDone(xml::parseFile(inputs.first(), base, progress));

        bool failed = false;
        for (current = 1; current < total; ++current) {
            const std::uint64_t start = spool.size();
            const XmlWriter::Mark mark = writer.mark();
            FurtherHandler further(spool, writer, base.rootName(), !failed);
            try {
                fileDone(xml::parseFile(inputs.at(current), further, progress));
            } catch (const xml::LoadError& error) {
                failed = true;
                spool.truncate(start);
                writer.rewind(mark);
                reporter.failedToLoad(inputs.at(current), error);
                continue;
            }
            if (further.mismatch())
                reporter.skipped(inputs.at(current));
        }
        if (failed)
            return CombineOutcome::NotWritten;

        finishDocument(writer, spool, base);
    } catch (const StopRequested&) {
        // The spool removes its temporary file on the way out.
        reporter.interrupted(inputs.at(current));
        return CombineOutcome::Interrupted;
    }
    reporter.saved(target.path);
    return CombineOutcome::Written;
}

// Whether every further input is an ordinary file: a pipe or a device is read where a stop
// request can reach a read that waits, on the calling thread.
bool furtherInputsAreFiles(const QStringList& inputs) {
    for (qsizetype i = 1; i < inputs.size(); ++i) {
        const platform::FileKind kind = platform::fileStatus(inputs.at(i)).kind;
        if (kind != platform::FileKind::Missing && kind != platform::FileKind::Regular)
            return false;
    }
    return true;
}

// The further files on a pool of threads. Each file is parsed into a part of its own (an
// unnamed file beside the spool) by a writer that starts inside the base's root, with the
// root's namespaces in scope, so the part holds the very bytes the sequential combine would
// write for it. The calling thread takes the parts in list order, reports each file's event
// and appends the part; at most a few files are ahead of it, so memory stays bounded.
class ParallelCombine {
public:
    ParallelCombine(const QStringList& inputs, CombineReporter& reporter, int threads)
        : m_inputs(inputs), m_reporter(reporter), m_threads(threads),
          m_results(std::size_t(inputs.size())) {}

    CombineOutcome run(const CombineTarget& target) {
        const int total = static_cast<int>(m_inputs.size());
        SpoolFile spool = openSpool(target);
        XmlWriter writer(spool.buffer(), [&spool] { spool.drainIfFull(); });
        BaseHandler base(spool, writer);
        m_partFolder = spool.folder();
        m_target = target.path;
        // The further files are read while the base's content still is: all they need of it
        // is its root's name and the writer's context inside the root, both fixed once the
        // root has started. The pool is stopped on the way out, however that is reached.
        std::string unused;
        std::optional<XmlWriter> context;
        std::optional<Workers> workers;
        base.onRootStarted([&] {
            m_rootName = base.rootName();
            context.emplace(unused, writer);
            m_context = &*context;
            workers.emplace(*this);
        });
        const xml::ReadProgress baseProgress = [&](std::uint64_t bytes) {
            if (m_reporter.stopRequested())
                throw StopRequested{};
            m_reporter.progress(0, total, bytes);
        };
        try {
            m_bytesDone = xml::parseFile(m_inputs.first(), base, baseProgress);
        } catch (const StopRequested&) {
            m_reporter.interrupted(m_inputs.first());
            return CombineOutcome::Interrupted;
        }
        m_reporter.progress(1, total, m_bytesDone);

        bool failed = false;
        for (int i = 1; i < total; ++i) {
            Result result = waitFor(i);
            if (result.stopped) {
                m_reporter.interrupted(m_inputs.at(i));
                return CombineOutcome::Interrupted;
            }
            if (result.otherError)
                std::rethrow_exception(result.otherError);
            if (result.error) {
                failed = true;
                m_reporter.failedToLoad(m_inputs.at(i), *result.error);
            } else if (result.mismatch) {
                m_reporter.skipped(m_inputs.at(i));
            } else if (!failed && result.part && result.part->size() > 0) {
                writer.closeStartTag();
                spool.append(*result.part);
            }
            if (result.part)
                giveBack(result.part->takeBuffer());
            m_bytesDone += result.bytes;
            m_reporter.progress(i + 1, total, m_bytesDone);
        }
        workers.reset();
        if (failed)
            return CombineOutcome::NotWritten;
        finishDocument(writer, spool, base);
        m_reporter.saved(target.path);
        return CombineOutcome::Written;
    }

private:
    struct Result {
        bool done = false;
        bool stopped = false;
        bool mismatch = false;
        std::unique_ptr<SpoolFile> part;
        std::optional<xml::LoadError> error;
        std::exception_ptr otherError;
        std::uint64_t bytes = 0;
    };

    // The pool; on the way out, however it is left, it stops the workers and waits for them.
    class Workers {
    public:
        explicit Workers(ParallelCombine& combine) : m_combine(combine) {
            for (int t = 0; t < combine.m_threads; ++t)
                m_threads.emplace_back([&combine] { combine.work(); });
        }
        Workers(const Workers&) = delete;
        Workers& operator=(const Workers&) = delete;
        ~Workers() {
            m_combine.stopAll();
            for (std::thread& thread : m_threads)
                thread.join();
        }

    private:
        ParallelCombine& m_combine;
        std::vector<std::thread> m_threads;
    };

    void stopAll() {
        m_stop.store(true, std::memory_order_release);
        const std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    // The result of file i once it is there, reporting progress and asking whether to stop
    // while waiting.
    Result waitFor(int i) {
        std::unique_lock lock(m_mutex);
        m_merging = i;
        m_changed.notify_all();
        while (!m_results[std::size_t(i)].done) {
            m_changed.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            const std::uint64_t reading = m_bytesReading.load(std::memory_order_relaxed);
            m_reporter.progress(i, static_cast<int>(m_inputs.size()), m_bytesDone + reading);
            const bool stop = m_reporter.stopRequested();
            lock.lock();
            if (stop) {
                Result stopped;
                stopped.stopped = true;
                return stopped;
            }
        }
        Result result = std::move(m_results[std::size_t(i)]);
        return result;
    }

    void work() {
        for (;;) {
            int i = 0;
            {
                std::unique_lock lock(m_mutex);
                // A few files ahead of the one being appended, no more: each part waiting
                // holds a file open and its share of the spool.
                m_changed.wait(lock, [&] {
                    return m_stop.load(std::memory_order_acquire) || m_next >= m_inputs.size() ||
                           m_next <= m_merging + m_threads;
                });
                if (m_stop.load(std::memory_order_acquire) || m_next >= m_inputs.size())
                    return;
                i = static_cast<int>(m_next++);
            }
            Result result = parse(i);
            const std::lock_guard lock(m_mutex);
            result.done = true;
            m_results[std::size_t(i)] = std::move(result);
            m_changed.notify_all();
        }
    }

    Result parse(int i) {
        Result result;
        std::uint64_t seen = 0;
        const xml::ReadProgress progress = [&](std::uint64_t bytes) {
            if (m_stop.load(std::memory_order_acquire))
                throw StopRequested{};
            m_bytesReading.fetch_add(bytes - seen, std::memory_order_relaxed);
            seen = bytes;
        };
        try {
            result.part = std::make_unique<SpoolFile>(SpoolFile::Part{}, m_partFolder, m_target,
                                                      partMemoryLimit(), spareBuffer());
            XmlWriter writer(result.part->buffer(), *m_context,
                             [&result] { result.part->drainIfFull(); });
            FurtherHandler further(*result.part, writer, m_rootName, true);
            result.bytes = xml::parseFile(m_inputs.at(i), further, progress);
            result.mismatch = further.mismatch();
        } catch (const xml::LoadError& error) {
            result.error = error;
        } catch (const StopRequested&) {
            result.stopped = true;
        } catch (...) {
            result.otherError = std::current_exception();
        }
        m_bytesReading.fetch_sub(seen, std::memory_order_relaxed);
        if (result.part && (result.error || result.mismatch || result.stopped)) {
            giveBack(result.part->takeBuffer());
            result.part.reset();
        }
        return result;
    }

    // The parts' buffers are used again and again: a new one each time would be grown,
    // copied and faulted in anew for every file.
    std::string spareBuffer() {
        const std::lock_guard lock(m_mutex);
        if (m_spareBuffers.empty())
            return {};
        std::string buffer = std::move(m_spareBuffers.back());
        m_spareBuffers.pop_back();
        return buffer;
    }
    void giveBack(std::string buffer) {
        const std::lock_guard lock(m_mutex);
        m_spareBuffers.push_back(std::move(buffer));
    }

    // The parts waiting to be appended share this much memory; a part beyond its share goes
    // to a file. Most files of a typical list then never touch the disk twice.
    std::size_t partMemoryLimit() const {
        constexpr std::size_t partsInMemory = 24 * 1024 * 1024;
        constexpr std::size_t mostForOnePart = 8 * 1024 * 1024;
        // Up to m_threads files parse ahead of the one being appended, which waits too.
        return std::min(partsInMemory / std::size_t(m_threads + 1), mostForOnePart);
    }

    const QStringList& m_inputs;
    CombineReporter& m_reporter;
    const int m_threads;
    QString m_partFolder;
    QString m_target;
    const XmlWriter* m_context = nullptr; // the main writer's context inside the base's root
    std::string m_rootName;
    std::uint64_t m_bytesDone = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Result> m_results;           // by list index, under m_mutex
    std::vector<std::string> m_spareBuffers; // under m_mutex
    qsizetype m_next = 1;                    // the next file to parse, under m_mutex
    int m_merging = 1;                       // the file being appended, under m_mutex
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_bytesReading{0}; // read so far of the files being parsed
};

} // namespace

CombineOutcome combineXmlFiles(const QStringList& inputs, const CombineTarget& target,
                               CombineReporter& reporter, const CombineOptions& options) {
    if (inputs.isEmpty())
        return CombineOutcome::NotWritten;
    const int threads = options.threads > 0
                            ? options.threads
                            : static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    if (threads == 1 || inputs.size() < 3 || !furtherInputsAreFiles(inputs))
        return combineSequentially(inputs, target, reporter);
    return ParallelCombine(inputs, reporter, threads).run(target);
}

std::uint64_t combinedInputSize(const QStringList& inputs) {
    std::uint64_t total = 0;
    for (const QString& input : inputs) {
        const platform::FileStatus status = platform::fileStatus(input);
        if (status.kind == platform::FileKind::Missing)
            continue;
        if (status.kind != platform::FileKind::Regular)
            return 0;
        total += status.size;
    }
    return total;
}
