#include "gui/appform.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "gui/messageflags.h"
#include "support/combinetesting.h"
#include "support/messagerecorder.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The window's export in the background: the progress window of a slow export, Cancel and
// Escape, the messages in list order while the work goes on, the window painting and taking
// no input meanwhile. A pipe fed by the test makes an export as slow as the test needs.
namespace {

// A pipe whose writer gives `head` as soon as the export opens it and the rest only when
// told: `tail` and the end with finish(true), only the end with finish(false).
class SlowPipe {
public:
    SlowPipe(const QString& path, std::string head, std::string tail)
        : m_name(QFile::encodeName(path)), m_head(std::move(head)), m_tail(std::move(tail)) {
        if (::mkfifo(m_name.constData(), 0600) == 0)
            m_writer = std::thread([this] { feed(); });
    }
    ~SlowPipe() {
        finish(false);
        // A writer still waiting for a reader is let through by one of our own, which also
        // keeps whatever it writes from going into a pipe nobody reads.
        const int reader = ::open(m_name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_writer.joinable())
            m_writer.join();
        if (reader >= 0)
            ::close(reader);
    }
    SlowPipe(const SlowPipe&) = delete;
    SlowPipe& operator=(const SlowPipe&) = delete;

    bool valid() const { return m_writer.joinable(); }
    void finish(bool complete) {
        const std::lock_guard lock(m_mutex);
        if (m_told)
            return;
        m_told = true;
        m_complete = complete;
        m_changed.notify_all();
    }
    bool finished() {
        const std::lock_guard lock(m_mutex);
        return m_told;
    }

private:
    void feed() {
        const int fd = ::open(m_name.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        writeAll(fd, m_head);
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_told; });
        if (m_complete)
            writeAll(fd, m_tail);
        ::close(fd);
    }
    static void writeAll(int fd, const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }

    const QByteArray m_name;
    const std::string m_head;
    const std::string m_tail;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_told = false;
    bool m_complete = false;
    std::thread m_writer;
};

// Counts what happens to the windows while it lives: the progress window shown, the main
// window painted.
class WindowWatch : public QObject {
public:
    explicit WindowWatch(QWidget& mainWindow) : m_mainWindow(mainWindow) {
        qApp->installEventFilter(this);
    }
    ~WindowWatch() override { qApp->removeEventFilter(this); }

    int progressShown = 0;
    int mainWindowPaints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->objectName() == "ExportProgress")
            ++progressShown;
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == &m_mainWindow)
            ++mainWindowPaints;
        return false;
    }

private:
    QWidget& m_mainWindow;
};

class BackgroundExportTest : public ::testing::Test {
protected:
    BackgroundExportTest() {
        // No update check may start while an export runs for a second or more.
        form.findChild<QTimer*>("TimerChecker")->stop();
        setMessageSink([this](const ShownMessage& m) {
            messages.push_back(m);
            if (onMessage)
                onMessage(m);
        });
    }
    ~BackgroundExportTest() override { setMessageSink({}); }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString file(const QString& name, const std::string& content) const {
        writeFileBytes(path(name), content);
        return path(name);
    }
    QStringList listed() const {
        const auto* list = form.findChild<QListWidget*>("ListBox1");
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    QDialog* progressWindow() const {
        auto* dialog = form.findChild<QDialog*>("ExportProgress");
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    // Exports the inputs to the output; `whileShown` is called every 20 ms for as long as
    // the progress window is up, from inside the export.
    void exportTo(const QStringList& inputs, const QString& output,
                  const std::function<void(QDialog&)>& whileShown = {}) {
        FileDialog::setNextFileNames(inputs);
        form.findChild<QPushButton*>("Button1")->click();
        FileDialog::setNextFileName(output);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QDialog* dialog = progressWindow(); dialog && whileShown)
                whileShown(*dialog);
        });
        poll.start(20);
        form.findChild<QPushButton*>("Button2")->click();
    }
    // Every name in the folder, hidden ones included: a left-over temporary file shows here.
    QStringList folder() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }

    QTemporaryDir dir;
    TAppForm form;
    WindowWatch watch{form};
    std::vector<ShownMessage> messages;
    std::function<void(const ShownMessage&)> onMessage;
};

const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// An export that waits for its input shows the progress window over a window that keeps
// painting but takes no clicks or keys; the result is the same as ever.
TEST_F(BackgroundExportTest, SlowExportShowsProgressOverAWindowThatTakesNoInput) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString a = file("a.xml", "<r><a/></r>");
    SlowPipe pipe(path("pipe.xml"), "<r><p/>", "</r>");
    ASSERT_TRUE(pipe.valid());
    const QString c = file("c.xml", "<r><c/></r>");
    const QString output = path("out.xml");
    const QString extra = file("extra.xml", "<r/>");

    QString title, reading, files, cancel;
    bool barShown = false;
    int paintsBefore = -1;
    exportTo({a, path("pipe.xml"), c}, output, [&](QDialog& dialog) {
        if (paintsBefore < 0) {
            title = dialog.windowTitle();
            reading = dialog.findChild<QLabel*>("Label1")->text();
            files = dialog.findChild<QLabel*>("Label2")->text();
            cancel = dialog.findChild<QPushButton*>("Button1")->text();
            barShown = dialog.findChild<QProgressBar*>("ProgressBar1")->isVisible();
            // A click and Enter on "Add XML Files" would add a file if they got through.
            FileDialog::setNextFileNames({extra});
            auto* add = form.findChild<QPushButton*>("Button1");
            QTest::mouseClick(add, Qt::LeftButton);
            add->setFocus();
            QTest::keyClick(add, Qt::Key_Return);
            paintsBefore = watch.mainWindowPaints;
            form.update();
        } else if (watch.mainWindowPaints > paintsBefore) {
            pipe.finish(true);
        }
    });
    EXPECT_EQ(title, "Export Combined XML");
    EXPECT_EQ(reading, "Reading " + path("pipe.xml"));
    EXPECT_EQ(files, "1 of 3 files");
    EXPECT_EQ(cancel, "Cancel");
    EXPECT_TRUE(barShown);
    EXPECT_EQ(messages, (std::vector<ShownMessage>{
                            {"Saved as file: " + output, "SUCCESS", MB_ICONINFORMATION}}));
    EXPECT_EQ(readFileBytes(output), decl + "<r><a/><p/><c/></r>\n");
    EXPECT_EQ(listed(), (QStringList{a, path("pipe.xml"), c})) << "input reached the window";
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Afterwards the window takes input again.
    form.findChild<QPushButton*>("Button1")->click();
    EXPECT_EQ(listed().size(), 4);
}

// Cancel and Escape stop an export that waits for its input within a second; the output
// keeps what it had and no temporary file is left.
TEST_F(BackgroundExportTest, CancelAndEscapeWriteNothing) {
    const std::vector<std::pair<const char*, std::function<void(QDialog&)>>> ways = {
        {"Cancel",
         [](QDialog& d) {
             QTest::mouseClick(d.findChild<QPushButton*>("Button1"), Qt::LeftButton);
         }},
        {"Escape", [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    };
    const QString a = file("a.xml", "<r><a/></r>");
    const QString output = file("out.xml", "previous");
    for (const auto& [way, cancel] : ways) {
        SCOPED_TRACE(way);
        form.findChild<QListWidget*>("ListBox1")->clear();
        SlowPipe pipe(path("pipe.xml"), "<r><p/>", "</r>");
        ASSERT_TRUE(pipe.valid());
        QElapsedTimer sinceCancel;
        exportTo({a, path("pipe.xml")}, output, [&](QDialog& dialog) {
            if (!sinceCancel.isValid()) {
                sinceCancel.start();
                cancel(dialog);
            }
        });
        ASSERT_TRUE(sinceCancel.isValid()) << "no progress window";
        EXPECT_LT(sinceCancel.elapsed(), 1000);
        EXPECT_FALSE(pipe.finished());
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(readFileBytes(output), "previous");
        EXPECT_EQ(folder(), (QStringList{"a.xml", "out.xml", "pipe.xml"}));
        EXPECT_EQ(progressWindow(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        pipe.finish(false);
        QFile::remove(path("pipe.xml"));
    }
}

// Each message comes as its file is reached, while later files are still to be read, and
// the work waits while it is shown: no second message comes while one is up.
TEST_F(BackgroundExportTest, MessagesComeInListOrderOneAtATime) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<other/>");
    SlowPipe pipe(path("pipe.xml"), "<r><p/>", "</r>");
    ASSERT_TRUE(pipe.valid());
    const QString d = file("d.xml", "<r>");
    const QString e = file("e.xml", "<x/>");
    std::vector<bool> pipeDoneAtMessage;
    int depth = 0;
    int deepest = 0;
    onMessage = [&](const ShownMessage&) {
        pipeDoneAtMessage.push_back(pipe.finished());
        deepest = std::max(deepest, ++depth);
        // The pipe can now end; anything the work did meanwhile would show up in here.
        pipe.finish(true);
        QTest::qWait(100);
        --depth;
    };
    exportTo({a, b, path("pipe.xml"), d, e}, path("out.xml"));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0],
              (ShownMessage{"Root element mismatch in file: " + b, "ERROR", MB_ICONERROR}));
    EXPECT_TRUE(messages[1].text.startsWith("Failed to load " + d + ": "))
        << messages[1].text.toStdString();
    EXPECT_EQ(messages[2],
              (ShownMessage{"Root element mismatch in file: " + e, "ERROR", MB_ICONERROR}));
    EXPECT_EQ(pipeDoneAtMessage, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(deepest, 1);
    EXPECT_FALSE(QFile::exists(path("out.xml")));
}

// A quick export looks as it always did: no progress window at all.
TEST_F(BackgroundExportTest, ShortExportShowsNoProgressWindow) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<r><b/></r>");
    const QString c = file("c.xml", "<r><c/></r>");
    exportTo({a, b, c}, path("out.xml"));
    EXPECT_EQ(watch.progressShown, 0);
    EXPECT_EQ(messages, (std::vector<ShownMessage>{
                            {"Saved as file: " + path("out.xml"), "SUCCESS", MB_ICONINFORMATION}}));
}

} // namespace
