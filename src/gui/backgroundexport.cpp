#include "gui/backgroundexport.h"

#include "gui/exportprogress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace {

// Work shorter than this shows no progress window, so small exports look as they always did.
constexpr qint64 progressDelayMs = 500;
constexpr int refreshIntervalMs = 100;

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

// Drops what the user does to one window and its widgets and actions (keys, clicks, drops,
// closing it) for as long as it lives; painting, timers and other windows go on as usual.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget& window) : m_window(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type()) || !belongsToWindow(watched))
            return false;
        // Refused rather than taken: a close or a drop that is accepted would go ahead.
        event->ignore();
        return true;
    }

private:
    bool belongsToWindow(const QObject* object) const {
        while (object && !object->isWidgetType())
            object = object->parent();
        return object && static_cast<const QWidget*>(object)->window() == &m_window;
    }

    QWidget& m_window;
};

// One export: the worker thread runs the combine, the window's thread shows what it reports.
class BackgroundExport : public QObject {
public:
    BackgroundExport(QWidget& window, const QStringList& inputs, const QString& output,
                     CombineReporter& shown)
        : m_window(window), m_inputs(inputs), m_output(output), m_shown(shown), m_blocker(window) {
        connect(&m_refresh, &QTimer::timeout, this, [this] { refresh(); });
    }
    BackgroundExport(const BackgroundExport&) = delete;
    BackgroundExport& operator=(const BackgroundExport&) = delete;

    // Left early (only by an error of this thread's own), the work is asked to stop and its
    // remaining events are still taken, so the worker never waits for a thread that has gone.
    ~BackgroundExport() override {
        m_stop.store(true, std::memory_order_release);
        waitForWorker();
    }

    CombineOutcome run() {
        m_working.start();
        m_refresh.start(refreshIntervalMs);
        m_worker = std::jthread([this] { work(); });
        waitForWorker();
        m_worker.join();
        m_refresh.stop();
        m_dialog.reset();
        if (m_error)
            std::rethrow_exception(m_error);
        return m_outcome;
    }

private:
    // The worker's side of the reporter: events are handed to the window's thread and waited
    // for; progress and the stop request pass through atomics.
    class WorkerReporter : public CombineReporter {
    public:
        explicit WorkerReporter(BackgroundExport& run) : m_run(run) {}
        void skipped(const QString& file) override {
            m_run.deliver([&] { m_run.m_shown.skipped(file); });
        }
        void failedToLoad(const QString& file, const xml::LoadError& error) override {
            m_run.deliver([&] { m_run.m_shown.failedToLoad(file, error); });
        }
        void saved(const QString& output) override {
            m_run.deliver([&] {
                // The work is over: the last message stands alone, as it always did.
                m_run.m_dialog.reset();
                m_run.m_shown.saved(output);
            });
        }
        void interrupted(const QString& file) override {
            m_run.deliver([&] { m_run.m_shown.interrupted(file); });
        }
        void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) override {
            m_run.m_filesDone.store(filesDone, std::memory_order_relaxed);
            m_run.m_filesTotal.store(filesTotal, std::memory_order_relaxed);
            m_run.m_bytesRead.store(bytesRead, std::memory_order_relaxed);
        }
        bool stopRequested() override { return m_run.m_stop.load(std::memory_order_acquire); }

    private:
        BackgroundExport& m_run;
    };

    void work() {
        m_bytesTotal.store(combinedInputSize(m_inputs), std::memory_order_relaxed);
        WorkerReporter reporter(*this);
        try {
            m_outcome = combineXmlFiles(m_inputs, m_output, reporter);
        } catch (...) {
            m_error = std::current_exception();
        }
        m_finished.store(true, std::memory_order_release);
        // Wakes the window's thread, which may be waiting for events.
        QMetaObject::invokeMethod(
            this, [] {}, Qt::QueuedConnection);
    }

    // On the worker: runs an event on the window's thread and returns when it is done there;
    // an error it raises is raised here, on the worker.
    void deliver(const std::function<void()>& event) {
        std::exception_ptr error;
        QMetaObject::invokeMethod(
            this,
            [&] {
                m_inMessage = true;
                try {
                    event();
                } catch (...) {
                    error = std::current_exception();
                }
                m_inMessage = false;
                // Time spent reading a message is not the work's: the half second starts again.
                m_working.restart();
            },
            Qt::BlockingQueuedConnection);
        if (error)
            std::rethrow_exception(error);
    }

    void waitForWorker() {
        while (m_worker.joinable() && !m_finished.load(std::memory_order_acquire))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    void refresh() {
        if (!m_dialog) {
            if (m_inMessage || m_working.elapsed() < progressDelayMs ||
                m_finished.load(std::memory_order_acquire))
                return;
            m_dialog = std::make_unique<TExportProgress>(m_inputs, &m_window);
            connect(m_dialog.get(), &TExportProgress::cancelled, this,
                    [this] { m_stop.store(true, std::memory_order_release); });
            m_dialog->show();
        }
        m_dialog->showProgress({m_filesDone.load(std::memory_order_relaxed),
                                m_filesTotal.load(std::memory_order_relaxed),
                                m_bytesRead.load(std::memory_order_relaxed),
                                m_bytesTotal.load(std::memory_order_relaxed)});
    }

    QWidget& m_window;
    const QStringList m_inputs;
    const QString m_output;
    CombineReporter& m_shown;
    const InputBlocker m_blocker;
    QTimer m_refresh;
    QElapsedTimer m_working; // the work's time since it started or a message was closed
    bool m_inMessage = false;
    std::unique_ptr<TExportProgress> m_dialog;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false}; // set last by the worker, after the outcome or error
    std::atomic<int> m_filesDone{0};
    std::atomic<int> m_filesTotal{0};
    std::atomic<std::uint64_t> m_bytesRead{0};
    std::atomic<std::uint64_t> m_bytesTotal{0};
    CombineOutcome m_outcome = CombineOutcome::NotWritten;
    std::exception_ptr m_error;
    std::jthread m_worker; // last: joined before anything it uses goes
};

} // namespace

CombineOutcome combineInBackground(QWidget& window, const QStringList& inputs,
                                   const QString& output, CombineReporter& reporter) {
    BackgroundExport run(window, inputs, output, reporter);
    return run.run();
}
