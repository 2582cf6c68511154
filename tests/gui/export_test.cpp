#include "core/identity.h"
#include "gui/appform.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "gui/messageflags.h"
#include "support/combinetesting.h"
#include "support/messagerecorder.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// The export from the main window: the save dialog answered, the messages as the user sees
// them, and the busy cursor gone whenever a box is up.
namespace {

struct Seen {
    ShownMessage message;
    bool busyCursor;
};

class ExportTest : public ::testing::Test {
protected:
    ExportTest() {
        setMessageSink([this](const ShownMessage& m) {
            seen.push_back({m, QGuiApplication::overrideCursor() != nullptr});
        });
    }
    ~ExportTest() override { setMessageSink({}); }

    QString file(const QString& name, const std::string& content) const {
        writeFileBytes(dir.filePath(name), content);
        return dir.filePath(name);
    }
    void exportTo(const QStringList& inputs, const QString& output) {
        FileDialog::setNextFileNames(inputs);
        form.findChild<QPushButton*>("Button1")->click();
        FileDialog::setNextFileName(output);
        form.findChild<QPushButton*>("Button2")->click();
    }
    std::vector<ShownMessage> messages() const {
        std::vector<ShownMessage> out;
        for (const Seen& s : seen) {
            out.push_back(s.message);
            EXPECT_FALSE(s.busyCursor) << s.message.text.toStdString();
        }
        return out;
    }

    QTemporaryDir dir;
    std::vector<Seen> seen;
    TAppForm form;
};

TEST_F(ExportTest, CombinesTheListIntoTheChosenFile) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<x/>");
    const QString c = file("c.xml", "<r><c/></r>");
    const QString output = dir.filePath("out.xml");
    exportTo({a, b, c}, output);
    EXPECT_EQ(messages(), (std::vector<ShownMessage>{
                              {"Root element mismatch in file: " + b, "ERROR", MB_ICONERROR},
                              {"Saved as file: " + output, "SUCCESS", MB_ICONINFORMATION}}));
    EXPECT_EQ(readFileBytes(output),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a/><c/></r>\n");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ExportTest, BrokenFirstFileAndSaveErrorsGoToTheDefaultErrorDisplay) {
    const QString broken = file("broken.xml", "<r>");
    exportTo({broken}, dir.filePath("out.xml"));
    const QString good = file("good.xml", "<r/>");
    form.findChild<QListWidget*>("ListBox1")->clear();
    exportTo({good}, dir.filePath("broken.xml/out.xml"));
    const std::vector<ShownMessage> shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], (ShownMessage{"Premature end of data in tag r line 1\r\nLine: 1\r\n<r>.",
                                      identity::applicationTitle(), MB_ICONERROR}));
    EXPECT_EQ(shown[1].caption, identity::applicationTitle());
    EXPECT_TRUE(shown[1].text.contains("Not a directory")) << shown[1].text.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("out.xml")));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A pipe chosen as the output is written into, not replaced by an ordinary file.
TEST_F(ExportTest, PipeChosenAsTheOutputStaysAPipe) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString fifo = dir.filePath("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    exportTo({a}, fifo);
    char buffer[256] = {};
    const ssize_t n = ::read(reader, buffer, sizeof buffer - 1);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, std::size_t(std::max<ssize_t>(n, 0))),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a/></r>\n");
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    EXPECT_EQ(messages(), (std::vector<ShownMessage>{
                              {"Saved as file: " + fifo, "SUCCESS", MB_ICONINFORMATION}}));
}

TEST_F(ExportTest, CancelledDialogDoesNothing) {
    FileDialog::setNextFileNames({file("a.xml", "<r/>")});
    form.findChild<QPushButton*>("Button1")->click();
    FileDialog::setNextFileNames({});
    form.findChild<QPushButton*>("Button2")->click();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.xml"});
}

// The real dialog, answered from inside its own event loop: it offers the XML filter,
// asks before overwriting and starts from the name chosen the time before.
TEST_F(ExportTest, SaveDialogStartsFromTheLastChosenName) {
    const QString a = file("a.xml", "<r/>");
    FileDialog::setNextFileNames({a});
    form.findChild<QPushButton*>("Button1")->click();
    const QString first = dir.filePath("first.xml");
    const QString second = dir.filePath("second");
    QStringList preselected;
    QStringList filters;
    bool confirmsOverwrite = false;
    const auto answer = [&](const QString& name) {
        QTimer::singleShot(0, [&, name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            preselected << dialog->selectedFiles().value(0);
            filters = dialog->nameFilters();
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            dialog->selectFile(name);
            static_cast<QDialog*>(dialog)->accept();
        });
        form.findChild<QPushButton*>("Button2")->click();
    };
    answer(first);
    answer(second);
    EXPECT_EQ(preselected.value(1), first);
    EXPECT_EQ(filters, QStringList{"XML File (*.xml)"});
    EXPECT_TRUE(confirmsOverwrite);
    EXPECT_TRUE(QFile::exists(first));
    EXPECT_TRUE(QFile::exists(second + ".xml")) << "the default extension is added";
}

} // namespace
