#include "core/identity.h"
#include "gui/appform.h"
#include "gui/filedialog.h"
#include "gui/messageflags.h"
#include "platform/executablepath.h"
#include "support/messagerecorder.h"
#include "support/openedaddresses.h"
#include "support/scopedenv.h"
#include "support/tempprogramfolder.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class AppFormTest : public ::testing::Test {
protected:
    template <typename T> T* child(const char* name) const {
        T* found = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QListWidget* list() const { return child<QListWidget>("ListBox1"); }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QStringList shown() const {
        QStringList items;
        for (int i = 0; i < list()->count(); ++i)
            items << list()->item(i)->text();
        return items;
    }
    void addFiles(const QStringList& paths) {
        FileDialog::setNextFileNames(paths);
        child<QPushButton>("Button1")->click();
    }

    MessageRecorder messages;
    TAppForm form;
};

struct MenuEntry {
    QString name;
    QString caption; // "-" for a separator
    bool hasIcon;
};

void expectEntries(const QMenu* menu, const std::vector<MenuEntry>& expected) {
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(static_cast<size_t>(items.size()), expected.size())
        << menu->objectName().toStdString();
    for (size_t i = 0; i < expected.size(); ++i) {
        const QAction* item = items[static_cast<qsizetype>(i)];
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(item->objectName(), expected[i].name);
        EXPECT_EQ(item->isSeparator() ? QStringLiteral("-") : item->text(), expected[i].caption);
        // A separator with a text is drawn as a line with that text beside it.
        if (item->isSeparator()) {
            EXPECT_TRUE(item->text().isEmpty()) << item->text().toStdString();
        }
        EXPECT_EQ(!item->icon().pixmap(16, 16).isNull(), expected[i].hasIcon);
    }
}

} // namespace

TEST_F(AppFormTest, CreationReadsTheProgramsIdentity) {
    EXPECT_EQ(form.objectName(), "AppForm");
    EXPECT_EQ(form.windowTitle(), "QUENLOW - Brindleaf");
    EXPECT_EQ(form.product().productName, "Brindleaf");
    EXPECT_EQ(form.product().versionText, "1.4");
    // The test program's folder is writable, so it is the data folder.
    EXPECT_EQ(form.dataFolder(), platform::executableFolder());
    EXPECT_TRUE(messages.messages().empty());
}

TEST(AppFormCreation, IdentityComesFromTheNamedExecutable) {
    MessageRecorder messages;
    const TAppForm form(QStringLiteral(BRINDLEAF_VERSION_SAMPLES_DIR "/sample-3-1-0-5"));
    EXPECT_EQ(form.windowTitle(), "Company A - Product H");
    EXPECT_EQ(form.product().versionText, "3.1");
    EXPECT_EQ(form.dataFolder(), BRINDLEAF_VERSION_SAMPLES_DIR "/");
    // A first translation entry without texts leaves the names empty.
    const TAppForm hidden(
        QStringLiteral(BRINDLEAF_VERSION_SAMPLES_DIR "/sample-first-entry-without-block"));
    EXPECT_EQ(hidden.windowTitle(), " - ");
    EXPECT_TRUE(messages.messages().empty());
}

TEST(AppFormCreation, MissingVersionDataIsShownAndTheWindowStillWorks) {
    MessageRecorder messages;
    const QString bare =
        QStringLiteral(BRINDLEAF_VERSION_SAMPLES_DIR "/sample-without-version-data");
    TAppForm form(bare);
    // The default error display: the message with a "." added, the application title, the
    // error icon; the steps after the failing one do not run.
    EXPECT_EQ(messages.messages(), (std::vector<ShownMessage>{{bare + ": No data available.",
                                                               "Brindleaf", MB_ICONERROR}}));
    EXPECT_EQ(form.windowTitle(), "Brindleaf");
    EXPECT_EQ(form.dataFolder(), QString()) << "not chosen";

    FileDialog::setNextFileNames({"/still/works.xml"});
    form.findChild<QPushButton*>("Button1")->click();
    EXPECT_EQ(form.inputFiles(), QStringList{"/still/works.xml"});
}

TEST_F(AppFormTest, ComponentsAndDialogs) {
    EXPECT_EQ(child<QPushButton>("Button1")->text(), "Add XML Files");
    EXPECT_EQ(child<QPushButton>("Button2")->text(), "Export Combined XML");
    EXPECT_FALSE(child<QPushButton>("Button1")->icon().pixmap(16, 16).isNull());
    EXPECT_FALSE(child<QPushButton>("Button2")->icon().pixmap(16, 16).isNull());
    EXPECT_EQ(list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(form.acceptDrops());
    EXPECT_EQ(form.statusBar()->objectName(), "StatusBar1");

    const auto* timer = child<QTimer>("TimerChecker");
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isActive());

    const auto* open = child<FileDialog>("OpenDialog1");
    EXPECT_EQ(open->mode(), FileDialog::Mode::Open);
    EXPECT_EQ(open->nameFilters(), (QStringList{"XML File (*.xml)", "Any File (*)"}));
    EXPECT_EQ(open->defaultExt(), "xml");
    EXPECT_TRUE(open->options().testFlag(FileDialog::AllowMultiSelect));
    const auto* save = child<FileDialog>("SaveDialog1");
    EXPECT_EQ(save->mode(), FileDialog::Mode::Save);
    EXPECT_EQ(save->nameFilters(), QStringList{"XML File (*.xml)"});
    EXPECT_EQ(save->defaultExt(), "xml");
    EXPECT_TRUE(save->options().testFlag(FileDialog::OverwritePrompt));
}

TEST(FileDialogFilters, FilterTextBecomesQtNameFilters) {
    EXPECT_EQ(nameFiltersFromFilterText("XML File (*.xml)|*.xml|Any File (*.*)|*.*"),
              (QStringList{"XML File (*.xml)", "Any File (*)"}));
    EXPECT_EQ(nameFiltersFromFilterText("Documents|*.xml;*.xsl"),
              QStringList{"Documents (*.xml *.xsl)"});
}

TEST_F(AppFormTest, MenusHaveTheirCaptionsOrderAndNoShortcuts) {
    const QMenuBar* bar = form.menuBar();
    ASSERT_EQ(bar->objectName(), "MainMenu1");
    QStringList titles;
    for (const QAction* menu : bar->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList{"File", "Help"}));

    expectEntries(child<QMenu>("File1"), {{"AddXMLFiles1", "Add XML Files...", true},
                                          {"ExportCombinedXML1", "Export Combined XML...", true},
                                          {"N5", "-", false},
                                          {"Exit1", "Exit", true}});
    expectEntries(child<QMenu>("Help1"), {{"Help2", "Online Help", true},
                                          {"N3", "-", false},
                                          {"UpdateNotifications1", "Update Notifications", false},
                                          {"UpdateNotificationsBar", "-", false},
                                          {"SendFeedback1", "Send Feedback...", true},
                                          {"About1", "About...", true}});
    expectEntries(child<QMenu>("PopupMenu1"),
                  {{"Delete1", "Delete", false}, {"SelectAll1", "Select All", false}});

    const QAction* notifications = action("UpdateNotifications1");
    EXPECT_TRUE(notifications->isCheckable());
    EXPECT_TRUE(notifications->isChecked());
    EXPECT_FALSE(notifications->isEnabled());

    // No key combinations, and no "&" that would make Alt+letter ones.
    for (const QAction* item : form.findChildren<QAction*>()) {
        SCOPED_TRACE(item->objectName().toStdString());
        EXPECT_TRUE(item->shortcuts().isEmpty());
        EXPECT_FALSE(item->text().contains(QLatin1Char('&')));
    }
    for (const QPushButton* button : form.findChildren<QPushButton*>()) {
        EXPECT_TRUE(button->shortcut().isEmpty());
        EXPECT_FALSE(button->text().contains(QLatin1Char('&')));
    }
}

TEST_F(AppFormTest, DroppedFilesAreAppendedWholeAndInOrder) {
    TemporaryProgramFolder folder;
    const QString longPath = folder.filePath(QString(120, QLatin1Char('d')) + QLatin1Char('/') +
                                             QString(140, QLatin1Char('f')) + ".xml");
    ASSERT_GT(longPath.size(), 255);
    addFiles({"/existing/first.xml"});

    QMimeData data;
    // Percent-encoded UTF-8 and spaces as file managers write them, one file URL with the
    // host "localhost", and CR LF line ends as the format asks.
    const QByteArray uriList = QUrl::fromLocalFile(longPath).toEncoded() +
                               "\r\n"
                               "file:///tmp/My%20Data/Gr%C3%BC%C3%9Fe%20%C3%A9t%C3%A9.xml\r\n"
                               "file://localhost/tmp/third%20one.xml\r\n";
    data.setData(QStringLiteral("text/uri-list"), uriList);

    // A drag over the list is taken by the window.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    EXPECT_TRUE(drop.isAccepted());

    EXPECT_EQ(shown(),
              (QStringList{"/existing/first.xml", longPath,
                           QStringLiteral(u"/tmp/My Data/Grüße été.xml"), "/tmp/third one.xml"}));
    EXPECT_EQ(form.inputFiles(), shown());
}

TEST_F(AppFormTest, DropsTakeEveryLocalFileAndNothingElse) {
    QMimeData data;
    data.setUrls({QUrl("file:///tmp/folder"), QUrl("file:///tmp/notes.txt"),
                  QUrl("file:///tmp/notes.txt"), QUrl("http://example.test/remote.xml"),
                  QUrl("file://otherhost/share/x.xml")});
    form.WMDropFiles(data);
    // Folders, other extensions and repeats are all kept; only addresses that are not files
    // of this machine are not.
    EXPECT_EQ(shown(), (QStringList{"/tmp/folder", "/tmp/notes.txt", "/tmp/notes.txt"}));
}

TEST_F(AppFormTest, OpenDialogAppendsInTheDialogsOrder) {
    addFiles({"/a/one.xml"});
    addFiles({"/b/three.xml", "/b/one.xml", "/b/two.xml"});
    EXPECT_EQ(shown(), (QStringList{"/a/one.xml", "/b/three.xml", "/b/one.xml", "/b/two.xml"}));
    addFiles({}); // cancelled
    FileDialog::setNextFileNames({"/c/menu.xml", "/a/one.xml"});
    action("AddXMLFiles1")->trigger();
    EXPECT_EQ(shown(), (QStringList{"/a/one.xml", "/b/three.xml", "/b/one.xml", "/b/two.xml",
                                    "/c/menu.xml", "/a/one.xml"}));
}

TEST_F(AppFormTest, DeleteRemovesOnlySelectedEntries) {
    addFiles({"/1.xml", "/2.xml", "/3.xml", "/4.xml"});
    action("Delete1")->trigger();
    EXPECT_EQ(shown().size(), 4) << "nothing selected, nothing removed";

    list()->item(0)->setSelected(true);
    list()->item(2)->setSelected(true);
    action("Delete1")->trigger();
    EXPECT_EQ(shown(), (QStringList{"/2.xml", "/4.xml"}));

    action("SelectAll1")->trigger();
    EXPECT_EQ(list()->selectedItems().size(), 2);
    action("Delete1")->trigger();
    EXPECT_TRUE(shown().isEmpty());
}

TEST_F(AppFormTest, DeleteKeyRemovesNothing) {
    addFiles({"/1.xml", "/2.xml"});
    list()->setFocus();
    list()->selectAll();
    QTest::keyClick(list(), Qt::Key_Delete);
    QTest::keyClick(list()->viewport(), Qt::Key_Delete);
    EXPECT_EQ(shown(), (QStringList{"/1.xml", "/2.xml"}));
}

TEST_F(AppFormTest, OnlineHelpOpensTheProductsHelpPage) {
    const OpenedAddresses opened;
    {
        const ScopedEnv host("BRINDLEAF_MAKER_HOST", QStringLiteral("help.test:8080"));
        action("Help2")->trigger();
    }
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl("http://help.test:8080/help/brindleaf/")});
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(AppFormTest, ExportOfAnEmptyListWarns) {
    const ShownMessage warning{"No XML files added!", "WARNING", MB_ICONWARNING};
    child<QPushButton>("Button2")->click();
    action("ExportCombinedXML1")->trigger();
    EXPECT_EQ(messages.messages(), (std::vector<ShownMessage>{warning, warning}));
}

TEST_F(AppFormTest, EnterPressesTheFocusedButtonOnly) {
    form.show();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        list()->clear();
        messages.clear();
        // On the list nothing is pressed: the next open dialog would add this file.
        FileDialog::setNextFileNames({"/typed/enter.xml"});
        list()->setFocus();
        QTest::keyClick(list(), key);
        EXPECT_TRUE(shown().isEmpty());
        auto* add = child<QPushButton>("Button1");
        add->setFocus();
        QTest::keyClick(add, key);
        EXPECT_EQ(shown(), QStringList{"/typed/enter.xml"});
        EXPECT_TRUE(messages.messages().empty());

        list()->clear();
        auto* exportButton = child<QPushButton>("Button2");
        exportButton->setFocus();
        QTest::keyClick(exportButton, key);
        EXPECT_EQ(messages.messages(),
                  (std::vector<ShownMessage>{{"No XML files added!", "WARNING", MB_ICONWARNING}}));
    }
}

TEST_F(AppFormTest, ExitEndsTheMessageLoop) {
    // A guard so that a broken Exit fails the test instead of hanging it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    QTimer::singleShot(0, &form, [this] { action("Exit1")->trigger(); });
    EXPECT_EQ(QApplication::exec(), 0);
}
