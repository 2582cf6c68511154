#include "core/identity.h"
#include "gui/appform.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "gui/messageflags.h"
#include "support/combinetesting.h"
#include "support/exportfixture.h"
#include "support/messagerecorder.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

// The export from the main window: the save dialog answered, the messages as the user sees
// them, and the busy cursor gone whenever a box is up.
namespace {

TEST_F(ExportTest, CombinesTheListIntoTheChosenFile) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString b = file("b.xml", "<x/>");
    const QString c = file("c.xml", "<r><c/></r>");
    const QString output = dir.filePath("out.xml");
    exportTo({a, b, c}, output);
    // Paths as the system writes them: with backslashes on Windows.
    EXPECT_EQ(messages(), (std::vector<ShownMessage>{
                              {"Root element mismatch in file: " + QDir::toNativeSeparators(b),
                               "ERROR", MB_ICONERROR},
                              {"Saved as file: " + QDir::toNativeSeparators(output), "SUCCESS",
                               MB_ICONINFORMATION}}));
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
